#pragma once
// Blanks to an exact pixel: the gap between two characters of a line of text art,
// or the end of a line, filled with blank characters so that what follows starts at
// (or the line ends at) a given x. The blanks are those a bulletin board keeps as
// they are written: full-width spaces, single half-width spaces between other
// characters (a browser folds a run of them into one and drops them at a line's
// start and end) and the other spaces that the width table gives a width (U+2002 ..
// U+200A, written as references, since code page 932 lacks them). Their widths are
// the renderer's own advances, and a line filled is measured again by the renderer.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "render/art_lines.h"

namespace quarvel::render {

// One blank: its character, its advance, whether the renderer draws it inside a run
// of code page 932 bytes, and how many characters it takes written (1, or its
// reference's length).
struct Blank {
    char32_t code = 0;
    int width = 0;
    bool inRun = false;
    int written = 1;
};

// The blanks that fill gaps, the half-width space first: those of the candidates
// that the width table has, that no face draws ink for and that every face has.
const std::vector<Blank>& BoardBlanks();
// Whether a character is one of them (a full-width space, a half-width space, ...).
bool IsBlank(char32_t code);

// What is on either side of a gap: a half-width space may follow only a character
// drawn inside a run (not the line's start, nor a character drawn on its own), and
// may not end a line.
struct GapEdges {
    bool afterRunCharacter = false;
    bool atLineEnd = false;
};

// The blanks whose advances add up to `pixels` with the fewest characters written (a
// reference counts its own: "&#8202;" is seven), then the fewest blanks, in the order
// they are to be written: full-width and half-width spaces, with a reference only for
// what they cannot make. Where none add up, those that come nearest (a gap never
// narrower than nothing).
struct BlankRun {
    std::vector<char32_t> codes;
    int width = 0;
};
BlankRun ChooseBlanks(int pixels, GapEdges edges);

// A blank as written in `encoding`: the character itself where code page 932 holds
// it, else its character reference.
std::string WrittenBlank(char32_t code, TextEncoding encoding);

// A line whose gap was filled.
struct FilledLine {
    std::string text;
    std::size_t gapBegin = 0;   // the gap replaced: [gapBegin, gapEnd) of the line given,
    std::size_t gapEnd = 0;     // now [gapBegin, filledEnd) of `text`
    std::size_t filledEnd = 0;
    int target = 0;
    int reached = 0;  // where what follows the gap now starts (the line's width at its end)
    int Off() const { return reached - target; }
};

// Fills the gap at `offset` of the line (the blanks right before and after it, which
// are replaced) so that the character after it starts at `target`, or at the line's
// end so that the line is `target` wide.
FilledLine FillGap(std::string_view line, std::size_t offset, int target, const WrittenForm& form);
// The same at the line's end: the line `target` wide.
FilledLine PadLine(std::string_view line, int target, const WrittenForm& form);

// The gap at `offset`: [begin, end) of the line, the blanks around it.
struct Gap {
    std::size_t begin = 0;
    std::size_t end = 0;
};
Gap GapAt(std::string_view line, std::size_t offset, const WrittenForm& form);

// The x of the start of every character drawn that is not a blank, and of the line's
// end: where a character of another line can be made to line up.
std::vector<int> CharacterStarts(std::string_view line, const WrittenForm& form);

// The width of the line without the blanks at its end.
int WidthWithoutEndBlanks(std::string_view line, const WrittenForm& form);

}  // namespace quarvel::render
