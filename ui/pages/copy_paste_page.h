#pragma once
// The "コピペ" page: one large box for text art, saved as one PNG picture by Generate,
// with what a maker of art needs: a ruler and guides over the box, the caret's place
// and the lines' widths in the picture's pixels in a status line, and gaps filled with
// blanks to a pixel (ArtEdit).

#include <QWidget>

#include <filesystem>
#include <string>

#include "platform/picture.h"
#include "render/renderer.h"
#include "settings/profile.h"
#include "ui/pages/art_edit.h"
#include "ui/pages/page_host.h"

class QAction;
class QLabel;
class QStatusBar;

namespace quarvel::ui {

class HtmlEdit;

class CopyPastePage : public QWidget {
    Q_OBJECT
public:
    CopyPastePage();
    ~CopyPastePage() override;

    // Makes the page's controls as a child of `parent` (the tab control); the page
    // asks `host` for the look and the parent of its messages.
    void Create(QWidget* parent, PageHost* host);

    // The box's text as the core reads it (code page 932, lines ending in CR LF).
    std::string Text() const;
    // The renderer's input for the box: the box's text prepared as plain text art,
    // its lines past the last one the picture can show reduced to what the renderer
    // makes of them.
    std::string ShownText() const;
    // The picture of the box's text art in `look`, as Generate saves it; `report`
    // learns what it leaves out.
    platform::Picture Render(const render::Appearance& look, render::RenderReport* report = nullptr) const;
    // Asks for a file name and writes the box's text art there as a PNG picture, in
    // the host's colours, margin and space setting and the host's form of file.
    void Generate();
    // "画像をコピー" (the box's context menu): the picture Generate would save, on the
    // clipboard as an image. The look is taken from the window's controls as the
    // generate button takes it; a refused margin copies nothing.
    void CopyPicture();
    QAction* copyPictureAction() const { return copyPictureAction_; }
    // The page keeps nothing in a settings file.
    void LoadSettings(const std::filesystem::path&) {}
    Result<void> SaveSettings(const std::filesystem::path&) { return {}; }

    HtmlEdit* edit() const;
    ArtEdit* artEdit() const { return edit_; }

    // "空白で位置まで埋める...": asks the pixel and fills the gap at the caret to it.
    void FillTo();
    // "右端をそろえる...": asks the pixel and fills the ends of the lines to it.
    void AlignRightEdges();
    // "ガイドを置く／外す": a guide at the caret's x, or none there.
    void ToggleGuide();
    // "ガイドをすべて消す".
    void ClearGuides();
    // The look changed: the widths follow the space setting.
    void LookChanged();

    // The status line: the caret's x, its line's width, the widest line selected, and
    // what the last fill came to.
    QLabel* statusLine() const { return status_; }
    // Tells what a fill (or the alignment of line ends) came to in the status line,
    // until the text next changes.
    void ShowFilled(const ArtEdit::Filled& filled, bool aligned);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowMeasures();
    void ComeBackToTheBox();

    PageHost* host_ = nullptr;
    ArtEdit* edit_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* status_ = nullptr;
    QString filled_;  // what the last fill came to
    QAction* copyPictureAction_ = nullptr;
};

}  // namespace quarvel::ui
