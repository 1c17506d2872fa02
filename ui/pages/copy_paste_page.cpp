#include "ui/pages/copy_paste_page.h"

#include <QFile>
#include <QResizeEvent>

#include "engine/picture_file.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/screen_font.h"

namespace quarvel::ui {
namespace {

constexpr int IDC_EDIT_TEXT = 1022;

}  // namespace

CopyPastePage::CopyPastePage() = default;
CopyPastePage::~CopyPastePage() = default;

void CopyPastePage::Create(QWidget* parent, PageHost* host) {
    setParent(parent);
    host_ = host;
    CreatePageControls(IDD_TARGET_COPYPASTE, this, [](const ControlTemplate& c, QWidget* owner) -> QWidget* {
        return c.id == IDC_EDIT_TEXT ? new HtmlEdit(owner) : nullptr;
    });
    edit_ = qobject_cast<HtmlEdit*>(GetDlgItem(this, IDC_EDIT_TEXT));
    if (!edit_) edit_ = new HtmlEdit(this);
    setFocusProxy(edit_);
    edit_->setFont(MakeScreenFont(logicalDpiY()));
}

std::string CopyPastePage::Text() const { return edit_->GetWindowText(); }

void CopyPastePage::Generate() {
    const std::string text = PreparePlainText(Text());
    const auto chosen = GetPrompts().askSaveFile(
        this, {QStringLiteral("png"), {QStringLiteral("PNG画像 (*.png)"), QStringLiteral("All Files (*.*)")}});
    if (!chosen) return;
    const Appearance look = host_ ? host_->Look() : Appearance{};
    const PngForm form = host_ ? host_->PictureForm() : PngForm::rgb;
    // The picture reaches its file whole or not at all; a file that could not be made
    // or written is reported.
    const fs::WriteStatus written = SavePicture(fs::RealFileSystem(), QFile::encodeName(*chosen).toStdString(),
                                                RenderPicture(text.c_str(), look), form);
    if (written.result == fs::WriteResult::ok) return;
    QString message =
        *chosen + (written.result == fs::WriteResult::notCreated ? QStringLiteral("\nファイルのオープンに失敗")
                                                                 : QStringLiteral("\nファイルの書き込みに失敗"));
    if (written.error) message += QLatin1Char('\n') + QString::fromLocal8Bit(fs::SystemReason(written.error));
    GetPrompts().showMessage(host_ ? host_->MessageParent() : this, message, MessageIcon::none);
}

void CopyPastePage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (edit_) edit_->resize(event->size());
}

}  // namespace quarvel::ui
