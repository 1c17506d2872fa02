#include "ui/pages/art_edit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/fonts.h"
#include "render/blanks.h"

namespace quarvel::ui {

using render::CharacterStarts;
using render::FilledLine;
using render::MeasureWritten;
using render::WidthWithoutEndBlanks;

namespace {

bool IsLineSeparator(QChar c) {
    const char16_t u = c.unicode();
    return u == QChar::LineSeparator || u == QChar::ParagraphSeparator || u == 0xFDD0 || u == 0xFDD1;
}

// A line of the box as the core reads it: a no-break space of the box is a space (as
// the box's plain text has it).
std::string Utf8(const QString& line) {
    QString text = line;
    text.replace(QChar(QChar::Nbsp), QLatin1Char(' '));
    return text.toStdString();
}

// The UTF-8 offset of index `i` of the line, and back.
std::size_t Utf8Offset(const QString& line, int i) { return static_cast<std::size_t>(Utf8(line.left(i)).size()); }
int Utf16Index(const std::string& utf8, std::size_t offset) {
    return static_cast<int>(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(offset)).size());
}

// Replaces [from, to) of the box's text with `text` unless it holds that already;
// the cursor ends after it.
QTextCursor Replace(QTextDocument* document, int from, int to, const QString& text) {
    QTextCursor cursor(document);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    if (cursor.selectedText() != text) {
        cursor.insertText(text);
    } else {
        cursor.clearSelection();
        cursor.setPosition(to);
    }
    return cursor;
}

constexpr int kRulerPadding = 4;

}  // namespace

ArtEdit::ArtEdit(QWidget* parent) : HtmlEdit(parent) {
    ruler_ = new ArtRuler(this);
    setViewportMargins(0, ruler_->sizeHint().height(), 0, 0);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, ruler_, qOverload<>(&QWidget::update));
    connect(this, &QPlainTextEdit::cursorPositionChanged, ruler_, qOverload<>(&QWidget::update));
    connect(this, &QPlainTextEdit::updateRequest, ruler_, qOverload<>(&QWidget::update));
}

ArtEdit::~ArtEdit() = default;

void ArtEdit::SetCollapseSpaces(bool collapse) { form_.collapseSpaces = collapse; }

std::optional<ArtEdit::Line> ArtEdit::LineAt(int position, int step) const {
    const QTextBlock block = document()->findBlock(std::clamp(position, 0, document()->characterCount() - 1));
    if (!block.isValid()) return std::nullopt;
    const QString text = block.text();
    const int at = std::clamp(position - block.position(), 0, static_cast<int>(text.size()));
    int begin = at, end = at;
    while (begin > 0 && !IsLineSeparator(text[begin - 1])) --begin;
    while (end < text.size() && !IsLineSeparator(text[end])) ++end;
    if (step < 0) {
        if (begin > 0) return LineAt(block.position() + begin - 1, step + 1);
        const QTextBlock before = block.previous();
        if (!before.isValid()) return std::nullopt;
        return LineAt(before.position() + before.length() - 1, step + 1);
    }
    if (step > 0) {
        if (end < text.size()) return LineAt(block.position() + end + 1, step - 1);
        const QTextBlock after = block.next();
        if (!after.isValid()) return std::nullopt;
        return LineAt(after.position(), step - 1);
    }
    return Line{text.mid(begin, end - begin), block.position() + begin};
}

std::vector<ArtEdit::Line> ArtEdit::SelectedLines() const {
    const QTextCursor cursor = textCursor();
    const int first = cursor.hasSelection() ? cursor.selectionStart() : 0;
    const int last = cursor.hasSelection() ? cursor.selectionEnd() : document()->characterCount() - 1;
    std::vector<Line> lines;
    for (std::optional<Line> line = LineAt(first); line; line = LineAt(line->start, 1)) {
        // A selection that ends at the start of a line leaves that line out.
        if (!lines.empty() && line->start >= last) break;
        lines.push_back(*line);
        if (line->start + line->text.size() >= last) break;
    }
    return lines;
}

int ArtEdit::CaretX() const {
    const int position = textCursor().position();
    const std::optional<Line> line = LineAt(position);
    return line ? render::XAt(Utf8(line->text), Utf8Offset(line->text, position - line->start), form_) : 0;
}

ArtEdit::Measures ArtEdit::Measure() const {
    const QTextCursor cursor = textCursor();
    Measures m;
    m.x = CaretX();
    if (const std::optional<Line> line = LineAt(cursor.position())) m.lineWidth = MeasureWritten(Utf8(line->text), form_);
    if (cursor.hasSelection()) {
        int widest = 0;
        for (const Line& line : SelectedLines()) widest = std::max(widest, MeasureWritten(Utf8(line.text), form_));
        m.widestSelected = widest;
    }
    return m;
}

ArtEdit::GapSpan ArtEdit::GapAtCaret() const {
    const int position = textCursor().position();
    const std::optional<Line> line = LineAt(position);
    if (!line) return {};
    const std::string text = Utf8(line->text);
    const render::Gap gap = render::GapAt(text, Utf8Offset(line->text, position - line->start), form_);
    const std::string_view view = text;
    return {render::MeasureBefore(view, gap.begin, form_), render::MeasureBefore(view, gap.end, form_)};
}

std::optional<int> ArtEdit::NearestStartInLine(int step) const {
    const std::optional<Line> other = LineAt(textCursor().position(), step);
    if (!other) return std::nullopt;
    const GapSpan gap = GapAtCaret();
    std::optional<int> best;
    for (int start : CharacterStarts(Utf8(other->text), form_)) {
        if (start < gap.from) continue;
        if (!best || std::abs(start - gap.to) < std::abs(*best - gap.to)) best = start;
    }
    return best;
}

std::optional<int> ArtEdit::NextGuide() const {
    const int from = GapAtCaret().from;
    for (int guide : guides_)
        if (guide > from) return guide;
    return std::nullopt;
}

ArtEdit::Filled ArtEdit::FillGapTo(int target) {
    QTextCursor cursor = textCursor();
    const std::optional<Line> line = LineAt(cursor.position());
    if (!line) return {target, 0, 0, 0};
    const std::string text = Utf8(line->text);
    const FilledLine filled =
        render::FillGap(text, Utf8Offset(line->text, cursor.position() - line->start), target, form_);
    const QString blanks = QString::fromUtf8(filled.text.data() + filled.gapBegin,
                                             static_cast<qsizetype>(filled.filledEnd - filled.gapBegin));
    setTextCursor(Replace(document(), line->start + Utf16Index(text, filled.gapBegin),
                          line->start + Utf16Index(text, filled.gapEnd), blanks));
    return {target, filled.Off(), 1, filled.Off() != 0 ? 1 : 0};
}

int ArtEdit::WidestLineEnd() const {
    int widest = 0;
    for (const Line& line : SelectedLines()) widest = std::max(widest, WidthWithoutEndBlanks(Utf8(line.text), form_));
    return widest;
}

ArtEdit::Filled ArtEdit::AlignRightEdges(std::optional<int> target) {
    const std::vector<Line> lines = SelectedLines();
    const bool selected = textCursor().hasSelection();
    Filled result{target.value_or(WidestLineEnd()), 0, static_cast<int>(lines.size()), 0};
    QTextCursor edit(document());
    edit.beginEditBlock();
    int grown = 0;
    // From the last line up, so that the positions of those above stay as they are.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string text = Utf8(line->text);
        const FilledLine filled = render::PadLine(text, result.target, form_);
        const QString blanks = QString::fromUtf8(filled.text.data() + filled.gapBegin,
                                                 static_cast<qsizetype>(filled.filledEnd - filled.gapBegin));
        const int from = line->start + Utf16Index(text, filled.gapBegin);
        const int to = line->start + Utf16Index(text, filled.gapEnd);
        edit.setPosition(from);
        edit.setPosition(to, QTextCursor::KeepAnchor);
        if (edit.selectedText() != blanks) {
            edit.insertText(blanks);
            grown += static_cast<int>(blanks.size()) - (to - from);
        }
        if (filled.Off() == 0) continue;
        ++result.missed;
        if (std::abs(filled.Off()) > std::abs(result.off)) result.off = filled.Off();
    }
    edit.endEditBlock();
    if (selected && !lines.empty()) {
        // The same lines stay selected.
        QTextCursor cursor(document());
        cursor.setPosition(lines.front().start);
        cursor.setPosition(lines.back().start + static_cast<int>(lines.back().text.size()) + grown,
                           QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
    return result;
}

void ArtEdit::SetGuides(std::vector<int> guides) {
    std::sort(guides.begin(), guides.end());
    guides.erase(std::unique(guides.begin(), guides.end()), guides.end());
    if (guides == guides_) return;
    guides_ = std::move(guides);
    viewport()->update();
    ruler_->update();
    emit guidesChanged();
}

void ArtEdit::ToggleGuideAtCaret() {
    const int x = CaretX();
    std::vector<int> guides = guides_;
    const auto at = std::find(guides.begin(), guides.end(), x);
    if (at != guides.end()) {
        guides.erase(at);
    } else {
        guides.push_back(x);
    }
    SetGuides(std::move(guides));
}

qreal ArtEdit::Scale() const { return QFontInfo(font()).pixelSize() / static_cast<qreal>(platform::kFontPixelHeight); }

int ArtEdit::OriginX() const { return cursorRect(QTextCursor(document()->firstBlock())).left(); }

void ArtEdit::paintEvent(QPaintEvent* event) {
    HtmlEdit::paintEvent(event);
    if (guides_.empty()) return;
    QPainter painter(viewport());
    QPen pen(palette().color(QPalette::Highlight));
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    const int origin = OriginX();
    for (int guide : guides_) {
        const int x = origin + static_cast<int>(std::lround(guide * Scale()));
        painter.drawLine(x, 0, x, viewport()->height());
    }
}

void ArtEdit::resizeEvent(QResizeEvent* event) {
    HtmlEdit::resizeEvent(event);
    const QRect area = contentsRect();
    ruler_->setGeometry(area.left(), area.top(), area.width(), ruler_->sizeHint().height());
}

ArtRuler::ArtRuler(ArtEdit* edit) : QWidget(edit), edit_(edit) {
    QFont small = QApplication::font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    setFont(small);
    setAccessibleName(QCoreApplication::translate("ArtEdit", "ルーラー"));
}

QSize ArtRuler::sizeHint() const { return {100, fontMetrics().height() + 2 * kRulerPadding}; }

void ArtRuler::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    const int bottom = height() - 1;
    painter.drawLine(0, bottom, width(), bottom);
    const qreal scale = edit_->Scale();
    // Ruler x of picture x 0: the viewport's origin, moved by the box's frame.
    const int origin = edit_->OriginX() + edit_->viewport()->x() - x();
    const auto at = [&](int pixel) { return origin + static_cast<int>(std::lround(pixel * scale)); };
    for (int pixel = std::max(0, static_cast<int>(-origin / scale) / 10 * 10); at(pixel) < width(); pixel += 10) {
        const int x = at(pixel);
        const int length = pixel % 100 == 0 ? height() - 2 : pixel % 50 == 0 ? height() / 2 : height() / 4;
        painter.drawLine(x, bottom - length, x, bottom);
        if (pixel % 100 == 0) painter.drawText(x + 3, kRulerPadding + fontMetrics().ascent(), QString::number(pixel));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const auto mark = [&](int pixel, const QColor& colour, bool down) {
        const qreal x = at(pixel) + 0.5, h = kRulerPadding + 2;
        QPainterPath path;
        path.moveTo(x - h, down ? 0 : bottom);
        path.lineTo(x + h, down ? 0 : bottom);
        path.lineTo(x, down ? h : bottom - h);
        path.closeSubpath();
        painter.fillPath(path, colour);
    };
    for (int guide : edit_->Guides()) mark(guide, palette().color(QPalette::Highlight), true);
    mark(edit_->CaretX(), palette().color(QPalette::WindowText), false);
}

}  // namespace quarvel::ui
