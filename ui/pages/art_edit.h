#pragma once
// The text-art box of the copy-paste page as a place where art is made: a ruler above
// it that marks the picture's pixels (every 10, 50 and 100), guides at chosen pixels
// drawn across it, and the art's own measures: where the caret stands and how wide
// lines are, in the picture's pixels as the renderer draws them, and gaps filled with
// blanks to a pixel (render/blanks.h). The box draws with the picture's faces, whose
// own advances may differ by a pixel from the picture's for a few characters: the
// numbers are the picture's.

#include <optional>
#include <vector>

#include "render/art_lines.h"
#include "ui/kit/html_edit.h"

namespace quarvel::ui {

class ArtRuler;

class ArtEdit : public HtmlEdit {
    Q_OBJECT
public:
    explicit ArtEdit(QWidget* parent = nullptr);
    ~ArtEdit() override;

    // Whether half-width spaces collapse, as the picture is drawn.
    void SetCollapseSpaces(bool collapse);
    const render::WrittenForm& Form() const { return form_; }

    // One line of the picture in the box: its text and where it starts in the box.
    struct Line {
        QString text;
        int start = 0;
    };
    // The line that holds the box position `position`; `step` lines below it (above
    // for a negative step), or nothing past the first or last.
    std::optional<Line> LineAt(int position, int step = 0) const;

    // The caret's x in the picture's pixels, its line's width, and with a selection
    // the widest of the lines it touches.
    struct Measures {
        int x = 0;
        int lineWidth = 0;
        std::optional<int> widestSelected;
    };
    Measures Measure() const;
    // The caret's x alone.
    int CaretX() const;

    // The gap of blanks at the caret: where it starts and where what follows it now
    // starts, in the picture's pixels.
    struct GapSpan {
        int from = 0;
        int to = 0;
    };
    GapSpan GapAtCaret() const;
    // Where the next character of the line `step` lines away can be made to line up
    // with: the start of a character there (or its end) nearest to where the caret's
    // next character starts, not left of the gap; nothing without such a line.
    std::optional<int> NearestStartInLine(int step) const;
    // The first guide right of where the gap at the caret starts.
    std::optional<int> NextGuide() const;

    // What a fill came to: the pixel asked for and the one reached (the widest miss
    // of several lines), and how many lines missed.
    struct Filled {
        int target = 0;
        int off = 0;
        int lines = 0;
        int missed = 0;
    };
    // Fills the gap at the caret with blanks so that what follows starts at `target`;
    // one step of undo. The caret goes after the blanks.
    Filled FillGapTo(int target);
    // The lines of the selection (every line without one), each filled at its end to
    // `target`, or to the widest of them (without the blanks at their ends); one step
    // of undo.
    Filled AlignRightEdges(std::optional<int> target);
    // The widest of those lines without the blanks at their ends.
    int WidestLineEnd() const;
    // The lines from the selection's first to its last (the whole box without one).
    std::vector<Line> SelectedLines() const;

    // Guides at pixels of the picture (text pixels, without the margin), drawn across
    // the box and over the preview, never into a picture.
    const std::vector<int>& Guides() const { return guides_; }
    void SetGuides(std::vector<int> guides);
    // A guide at the caret's x, or none there when there was one.
    void ToggleGuideAtCaret();

    // Box pixels per picture pixel (the box's font is 12 points of the screen), and
    // the x in the viewport where the picture's x 0 lies.
    qreal Scale() const;
    int OriginX() const;
    ArtRuler* ruler() const { return ruler_; }

signals:
    void guidesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    render::WrittenForm form_;
    std::vector<int> guides_;
    ArtRuler* ruler_ = nullptr;
};

// Above the box: ticks at every 10 pixels of the picture, longer at 50, numbered at
// 100, and a mark at each guide; it follows the box's horizontal scrolling.
class ArtRuler : public QWidget {
    Q_OBJECT
public:
    explicit ArtRuler(ArtEdit* edit);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ArtEdit* edit_;
};

}  // namespace quarvel::ui
