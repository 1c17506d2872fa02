#pragma once
// Text art to picture: tokenizing, measuring and drawing.

#include <string>
#include <vector>

#include "platform/picture.h"
#include "render/appearance.h"
#include "render/tokens.h"

namespace quarvel::render {

inline constexpr int kMaxLines = 50;
inline constexpr int kLinePitch = 18;
inline constexpr int kRunCutLength = 1008;

// Fills lines[0..n-1] from the NUL-terminated code page 932 text; returns n (0..50).
// `cut`, when given, learns whether text follows the break that ends the last line.
int TokenizeTextArt(const char* text, WordTokenList* lines, bool collapseSpaces, bool* cut = nullptr);

// Width of the text area: the widest line rounded up to a multiple of 4, at most 1024.
int MeasureTextWidth(const WordTokenList* lines, int count);

// One line of renderer input measured as it is drawn, without the picture's limit of
// width: its width, and whether it draws anything at all (a last line that draws
// nothing is no line of a picture).
struct LineMeasure {
    int width = 0;
    bool drawn = false;
};
// The first line of the NUL-terminated renderer input (up to its first line break).
LineMeasure MeasureFirstLine(const char* text, bool collapseSpaces);

// What of the text a picture does not show as written.
struct RenderReport {
    bool linesCut = false;       // text follows the line break that ends the last line (kMaxLines)
    bool widthCut = false;       // a line is wider than the text area (kMaxTextWidth)
    bool missingGlyphs = false;  // a character drawn has no face (or its bytes none): it shows blank
    // With missingGlyphs, which: the characters that no face has (each once, as met)
    // and how many characters the code page could not decode.
    std::vector<char32_t> faceless = {};
    int undecodable = 0;

    bool Any() const { return linesCut || widthCut || missingGlyphs; }
};

// Draws the text into a new picture. Never fails; an empty picture comes out 1 x 1.
// `report`, when given, learns what the picture leaves out.
platform::Picture RenderPicture(const char* text, const Appearance& look, RenderReport* report = nullptr);

}  // namespace quarvel::render
