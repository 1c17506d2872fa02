#pragma once
// Text art as it is written (a text file, the window's box): its lines, their
// characters and where each stands in pixels, measured by the renderer itself
// (MeasureFirstLine), so that what a line measures here is what it draws.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "render/text_prep.h"

namespace quarvel::render {

// The text is taken without NUL bytes, which are no characters of the art: the
// renderer leaves them out before it reads the rest (so "<b\0r>" would break a line
// there), and a caller leaves them out first.
//
// How text is written and read: its encoding (utf8 or cp932; an automatic one is
// settled first by ResolveEncoding), plain text or a document's stretch, and whether
// half-width spaces collapse as the picture draws them.
struct WrittenForm {
    TextEncoding encoding = TextEncoding::utf8;
    TextForm form = TextForm::plain;
    bool collapseSpaces = true;
    // In a stretch, line ends break lines as "<br>" does (LineEndsAsBreaks), but for one
    // at the very start and one at the very end of the text.
    bool lineBreaks = false;
};

// The encoding of a whole text: utf8 for an automatic one when its bytes are UTF-8
// (as PrepareTextFile reads them), else the one asked for.
TextEncoding ResolveEncoding(std::string_view bytes, TextEncoding asked);

// One line of a text: its bytes [begin, end) and the line break after it [end, next)
// (CR LF, LF or CR in plain text, "<br>" in a stretch; none after the last line).
struct WrittenLine {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

// The lines of a text as the renderer breaks them (a stretch's line ends too, with
// lineBreaks): every one before the last break,
// and what follows it when it draws anything (a text that ends with a line break has
// no empty line after it). No limit of lines.
std::vector<WrittenLine> SplitWrittenLines(std::string_view text, const WrittenForm& form);

// The width in pixels of one line as written (no line break in it), as the renderer
// draws it and without the picture's limit.
int MeasureWritten(std::string_view line, const WrittenForm& form);
// The x at which byte `end` of the line stands: the width of what comes before it, as
// part of the line (a line end before it is no end of the stretch).
int MeasureBefore(std::string_view line, std::size_t end, const WrittenForm& form);
// Whether the line draws anything at all.
bool DrawsAnything(std::string_view line, const WrittenForm& form);

// One character of a line as written: a character (`code`), a character reference
// (`code` its value), a tag of a stretch, or a character the renderer passes over
// (tab, CR, LF; code is kept).
struct WrittenChar {
    enum class Kind { character, reference, tag, passedOver };
    std::size_t begin = 0;
    std::size_t end = 0;
    char32_t code = 0;
    Kind kind = Kind::character;

    bool IsDrawn() const { return kind == Kind::character || kind == Kind::reference; }
};
// The character of the line that starts at byte `at`.
WrittenChar WrittenCharAt(std::string_view line, std::size_t at, const WrittenForm& form);
// Calls fn(char) for each character of the line in turn, until it returns false.
template <typename Fn>
void ForEachWrittenChar(std::string_view line, const WrittenForm& form, Fn fn) {
    for (std::size_t at = 0; at < line.size();) {
        const WrittenChar c = WrittenCharAt(line, at, form);
        if (!fn(c)) return;
        at = c.end;
    }
}

// Whether the renderer draws the character inside a run of code page 932 bytes
// rather than as a token of its own (a half-width space that follows a token of its
// own is dropped where spaces collapse).
bool DrawnInRun(const WrittenChar& c, const WrittenForm& form);

// The x at which the character at `offset` of the line starts (an offset inside a
// character counts as that character's start).
int XAt(std::string_view line, std::size_t offset, const WrittenForm& form);

}  // namespace quarvel::render
