#include "ui/pages/copy_paste_page.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTextBlock>

#include <cstdlib>

#include "engine/messages.h"
#include "engine/picture_file.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/picture_image.h"
#include "ui/kit/prompts.h"
#include "ui/kit/resources.h"
#include "ui/kit/screen_font.h"
#include "ui/kit/text_codec.h"
#include "ui/pages/art_dialogs.h"
#include "ui/pages/art_edit.h"

namespace quarvel::ui {

using engine::SavePicture;

using render::Appearance;
using render::kMaxLines;
using render::PngForm;
using render::PngOptionsFor;
using render::PreparePlainText;
using render::RenderPicture;
using render::RenderReport;

using platform::Picture;
namespace fs = platform::fs;

namespace {

constexpr int IDC_EDIT_TEXT = 1022;

}  // namespace

CopyPastePage::CopyPastePage() = default;
CopyPastePage::~CopyPastePage() = default;

void CopyPastePage::Create(QWidget* parent, PageHost* host) {
    setParent(parent);
    host_ = host;
    CreatePageControls(IDD_TARGET_COPYPASTE, this, [](const ControlTemplate& c, QWidget* owner) -> QWidget* {
        return c.id == IDC_EDIT_TEXT ? new ArtEdit(owner) : nullptr;
    });
    edit_ = qobject_cast<ArtEdit*>(GetDlgItem(this, IDC_EDIT_TEXT));
    if (!edit_) edit_ = new ArtEdit(this);
    setFocusProxy(edit_);
    // The box has no label; screen readers name it after its page.
    edit_->setAccessibleName(QCoreApplication::translate("CopyPastePage", "コピペ"));
    edit_->setFont(MakeScreenFont(logicalDpiY()));
    copyPictureAction_ = new QAction(QCoreApplication::translate("CopyPastePage", "画像をコピー"), this);
    copyPictureAction_->setObjectName(QStringLiteral("copyPicture"));
    connect(copyPictureAction_, &QAction::triggered, this, &CopyPastePage::CopyPicture);
    edit_->AddContextAction(copyPictureAction_);

    // Below the box: where the caret stands and how wide its line is, in the picture's
    // pixels, as a status line that screen readers read.
    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);
    statusBar_->setAccessibleName(QCoreApplication::translate("CopyPastePage", "ピクセル位置"));
    status_ = new QLabel(statusBar_);
    status_->setObjectName(QStringLiteral("artStatus"));
    statusBar_->addWidget(status_, 1);
    connect(edit_, &QPlainTextEdit::cursorPositionChanged, this, &CopyPastePage::ShowMeasures);
    connect(edit_, &QPlainTextEdit::selectionChanged, this, &CopyPastePage::ShowMeasures);
    connect(edit_, &QPlainTextEdit::textChanged, this, [this] {
        filled_.clear();
        ShowMeasures();
    });
    ShowMeasures();
}

HtmlEdit* CopyPastePage::edit() const { return edit_; }

void CopyPastePage::ShowMeasures() {
    if (!edit_ || !status_) return;
    const ArtEdit::Measures m = edit_->Measure();
    QString text = QCoreApplication::translate("CopyPastePage", "x %1 px　行の幅 %2 px").arg(m.x).arg(m.lineWidth);
    if (m.widestSelected)
        text += QCoreApplication::translate("CopyPastePage", "　選択した行の最大幅 %1 px").arg(*m.widestSelected);
    if (!filled_.isEmpty()) text += QStringLiteral("　") + filled_;
    status_->setText(text);
}

void CopyPastePage::ShowFilled(const ArtEdit::Filled& filled, bool aligned) {
    const int target = filled.target, off = filled.off;
    QString said;
    if (aligned) {
        said = QCoreApplication::translate("CopyPastePage", "%n 行を %1 px にそろえました", nullptr, filled.lines)
                   .arg(target);
        if (filled.missed > 0)
            said += QCoreApplication::translate("CopyPastePage", "（%n 行は最大 %1 px ずれます）", nullptr,
                                                filled.missed)
                        .arg(std::abs(off));
    } else if (off == 0) {
        said = QCoreApplication::translate("CopyPastePage", "%1 px まで埋めました").arg(target);
    } else if (off < 0) {
        said = QCoreApplication::translate("CopyPastePage", "%1 px には %2 px 足りません").arg(target).arg(-off);
    } else {
        said = QCoreApplication::translate("CopyPastePage", "%1 px を %2 px 超えています").arg(target).arg(off);
    }
    filled_ = said;
    ShowMeasures();
}

void CopyPastePage::FillTo() {
    FillToDialog dialog(host_ ? host_->MessageParent() : this, *edit_);
    if (dialog.exec() != QDialog::Accepted) return;
    ShowFilled(edit_->FillGapTo(dialog.Target()), false);
    ComeBackToTheBox();
}

void CopyPastePage::AlignRightEdges() {
    AlignDialog dialog(host_ ? host_->MessageParent() : this, edit_->WidestLineEnd(),
                       static_cast<int>(edit_->SelectedLines().size()));
    if (dialog.exec() != QDialog::Accepted) return;
    ShowFilled(edit_->AlignRightEdges(dialog.Target()), true);
    ComeBackToTheBox();
}

void CopyPastePage::ComeBackToTheBox() {
    // The keys go on to the box, also where no window manager hands them back.
    edit_->activateWindow();
    edit_->setFocus(Qt::OtherFocusReason);
}

void CopyPastePage::ToggleGuide() { edit_->ToggleGuideAtCaret(); }

void CopyPastePage::ClearGuides() { edit_->SetGuides({}); }

void CopyPastePage::LookChanged() {
    if (!host_ || !edit_) return;
    const bool collapse = host_->ShownLook().collapseSpaces;
    if (edit_->Form().collapseSpaces == collapse) return;
    edit_->SetCollapseSpaces(collapse);
    ShowMeasures();
}

std::string CopyPastePage::Text() const { return edit_->GetWindowText(); }

std::string CopyPastePage::ShownText() const {
    // Each line of the box is one line of the picture (a '<' of the box never starts a
    // tag), so only the first kMaxLines lines and their breaks can show; of the rest
    // the renderer asks only whether it holds anything but line ends and tabs. A long
    // paste is then not converted whole at every redraw of the preview.
    // The characters are those of the box's plain text (Text()): line and paragraph
    // separators are line breaks, a no-break space is a space.
    QString shown;
    int breaks = 0;
    for (QTextBlock block = edit_->document()->begin(); block.isValid(); block = block.next()) {
        QString text = block.text();
        if (block.next().isValid()) text += QLatin1Char('\n');
        for (QChar c : text) {
            switch (c.unicode()) {
            case 0xFDD0:
            case 0xFDD1:
            case QChar::ParagraphSeparator:
            case QChar::LineSeparator: c = QLatin1Char('\n'); break;
            case QChar::Nbsp: c = QLatin1Char(' '); break;
            default: break;
            }
            if (breaks < kMaxLines) {
                shown += c;
                if (c == QLatin1Char('\n')) ++breaks;
            } else if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t') &&
                       !ToCp932(QString(c)).empty()) {
                // Something follows the last line (a NUL is not kept): its first
                // character stands for all of it (never drawn, it says the text goes on).
                shown += c;
                return PreparePlainText(ToCp932(shown));
            }
        }
    }
    return PreparePlainText(ToCp932(shown));
}

Picture CopyPastePage::Render(const Appearance& look, RenderReport* report) const {
    return RenderPicture(ShownText().c_str(), look, report);
}

void CopyPastePage::CopyPicture() {
    const std::optional<Appearance> look = host_ ? host_->TakeLook() : Appearance{};
    if (look) CopyPictureToClipboard(Render(*look), PngOptionsFor(*look, host_ ? host_->PictureForm() : PngForm::rgb));
}

void CopyPastePage::Generate() {
    const auto chosen =
        GetPrompts().askSaveFile(this, {QStringLiteral("png"),
                                        {QCoreApplication::translate("CopyPastePage", "PNG画像 (*.png)"),
                                         QCoreApplication::translate("CopyPastePage", "All Files (*.*)")}});
    if (!chosen) return;
    const Appearance look = host_ ? host_->Look() : Appearance{};
    const PngForm form = host_ ? host_->PictureForm() : PngForm::rgb;
    // The picture reaches its file whole or not at all; a file that could not be made
    // or written is reported.
    Result<void> written = SavePicture(fs::RealFileSystem(), QFile::encodeName(*chosen).toStdString(), Render(look),
                                       PngOptionsFor(look, form));
    if (written) return;
    GetPrompts().showMessage(host_ ? host_->MessageParent() : this, FailureMessage(*chosen, written.failure()),
                             MessageIcon::none);
}

void CopyPastePage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int status = statusBar_ ? statusBar_->sizeHint().height() : 0;
    if (edit_) edit_->resize(event->size().width(), event->size().height() - status);
    if (statusBar_) statusBar_->setGeometry(0, event->size().height() - status, event->size().width(), status);
}

}  // namespace quarvel::ui
