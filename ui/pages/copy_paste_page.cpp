#include "ui/pages/copy_paste_page.h"

#include <QFile>
#include <QFontDatabase>
#include <QResizeEvent>

#include <algorithm>

#include "ui/kit/dialog_template.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/text_codec.h"
#include "engine/picture_file.h"
#include "ui/kit/html_edit.h"
#include "render/renderer.h"

namespace quarvel::ui {
namespace {

constexpr int IDC_EDIT_TEXT = 1022;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(text, pos, hit - pos).append(to);
    }
    out.append(text, pos);
    text = std::move(out);
}

// The family that draws the pictures, loaded once.
QStringList PictureFamilies() {
    static const QStringList families = [] {
        QStringList list;
        const QByteArray userFont = qgetenv("QUARVEL_FONT");
        if (!userFont.isEmpty()) {
            const int id = QFontDatabase::addApplicationFont(QFile::decodeName(userFont));
            if (id >= 0) list << QFontDatabase::applicationFontFamilies(id);
        }
        list << QStringLiteral("Mona") << QStringLiteral("Monapo") << QStringLiteral("IPAPGothic");
        return list;
    }();
    return families;
}

}  // namespace

std::string PrepareTextArt(std::string text) {
    ReplaceAll(text, "<", "&lt;");
    ReplaceAll(text, "\r\n", "<br>");
    return text;
}

QFont MakeScreenFont(CLogFont& logFont, int pixelsPerInch) {
    const LogFont* description = logFont.BuildLogFont(pixelsPerInch);
    QFont font;
    font.setFamilies(PictureFamilies());
    const int height = description->lfHeight < 0 ? -description->lfHeight : description->lfHeight;
    font.setPixelSize(std::max(1, height));
    font.setWeight(description->lfWeight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(description->lfItalic != 0);
    font.setUnderline(description->lfUnderline != 0);
    font.setStrikeOut(description->lfStrikeOut != 0);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

CTargetCopyPasteDlg::CTargetCopyPasteDlg() = default;
CTargetCopyPasteDlg::~CTargetCopyPasteDlg() = default;

void CTargetCopyPasteDlg::Create(QWidget* parent) {
    setParent(parent);
    if (const auto dlg = LoadDialogTemplate(IDD_TARGET_COPYPASTE)) {
        CreateControls(*dlg, this, [](const ControlTemplate& c, QWidget* owner) -> QWidget* {
            return c.id == IDC_EDIT_TEXT ? new CHTMLEdit(owner) : nullptr;
        });
        resize(DialogUnits(font()).Map(dlg->size));
    }
    ctrlEdit = qobject_cast<CHTMLEdit*>(GetDlgItem(this, IDC_EDIT_TEXT));
    if (!ctrlEdit) ctrlEdit = new CHTMLEdit(this);
    setFocusProxy(ctrlEdit);
    ctrlEdit->setFont(MakeScreenFont(logFont, logicalDpiY()));
}

bool CTargetCopyPasteDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        strText = ctrlEdit->GetWindowText();
    } else {
        QString text = FromCp932(strText);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        ctrlEdit->setPlainText(text);
    }
    return true;
}

void CTargetCopyPasteDlg::Generate() {
    UpdateData(true);
    const auto chosen = GetPrompts().askSaveFile(
        this, {QStringLiteral("png"), {QStringLiteral("PNG画像 (*.png)"), QStringLiteral("All Files (*.*)")}});
    if (!chosen) return;
    const std::string text = PrepareTextArt(strText);
    const Appearance look = host ? host->Look() : Appearance{};
    // The picture reaches its file whole or not at all; a file that could not be made
    // or written is reported.
    const fs::WriteStatus written =
        SavePicture(fs::RealFileSystem(), QFile::encodeName(*chosen).toStdString(), RenderPicture(text.c_str(), look));
    if (written.result == fs::WriteResult::ok) return;
    QString message = *chosen + (written.result == fs::WriteResult::notCreated
                                     ? QStringLiteral("\nファイルのオープンに失敗")
                                     : QStringLiteral("\nファイルの書き込みに失敗"));
    if (written.error) message += QLatin1Char('\n') + QString::fromLocal8Bit(fs::SystemReason(written.error));
    GetPrompts().showMessage(host ? host->MessageParent() : this, message, MessageIcon::none);
}

void CTargetCopyPasteDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (ctrlEdit) ctrlEdit->resize(event->size());
}

}  // namespace quarvel::ui
