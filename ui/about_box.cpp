#include "ui/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "ui/kit/dialog_template.h"
#include "ui/kit/resources.h"

namespace quarvel::ui {
namespace {
constexpr int IDC_VERSION = 1027;
constexpr int IDOK = 1;
}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    if (const auto dlg = LoadDialogTemplate(IDD_ABOUTBOX)) {
        CreateControls(*dlg, this);
        setWindowTitle(dlg->caption);
        setFixedSize(DialogUnits(font()).Map(dlg->size));
    }
    if (auto* ok = qobject_cast<QPushButton*>(GetDlgItem(this, IDOK))) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    const QString version = VersionLine();
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(this, IDC_VERSION))) label->setText(version);
    setWindowTitle(version);
}

AboutBox::~AboutBox() = default;

}  // namespace quarvel::ui
