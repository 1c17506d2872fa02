#include "ui/kit/prompts.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/kit/resources.h"

namespace quarvel::ui {
namespace {

std::optional<QColor> QtChooseColor(QWidget* parent, QColor initial) {
    QColorDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedColor();
}

// Runs a file dialog set up by the caller; the first chosen path, or nothing.
std::optional<QString> RunFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first();
}

std::optional<QString> QtAskSaveFile(QWidget* parent, const SaveFileRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setNameFilters(request.nameFilters);
    // Qt asks before an existing file is replaced unless told not to.
    return RunFileDialog(dialog);
}

std::optional<QString> QtAskOpenFile(QWidget* parent, const OpenFileRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.nameFilters.isEmpty()) dialog.setNameFilters(request.nameFilters);
    return RunFileDialog(dialog);
}

std::optional<QString> QtBrowseFolder(QWidget* parent, const QString& title, const QString& preselect) {
    QFileDialog dialog(parent, title, preselect);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return RunFileDialog(dialog);
}

void QtShowMessage(QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::warning ? QMessageBox::Warning : QMessageBox::NoIcon, LoadResString(IDS_TITLE),
                    text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtConfirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, LoadResString(IDS_TITLE), text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

Prompts DefaultPrompts() {
    return {QtChooseColor, QtAskSaveFile, QtAskOpenFile, QtBrowseFolder, QtShowMessage, QtConfirm};
}

}  // namespace

Prompts& GetPrompts() {
    static Prompts prompts = DefaultPrompts();
    return prompts;
}

}  // namespace quarvel::ui
