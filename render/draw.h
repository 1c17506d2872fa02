#pragma once
// Drawing glyphs into a picture the way opaque text output does: the cell first,
// in the background colour, then the ink in the text colour.

#include <string_view>

#include "platform/fonts.h"
#include "platform/picture.h"

namespace quarvel::render {

// Ink of one glyph whose cell's top-left corner is at (x, y), clipped to the picture.
void DrawGlyph(platform::Picture& picture, int x, int y, const platform::Glyph& glyph, platform::Color fore);

// Advance of a run of code page 932 bytes: the sum of its characters' advances.
int MeasureRun(std::string_view bytes);

// Fills the run's cell (its advance wide, one font height high) with `back`, then
// draws its glyphs from (x, y). Returns the advance. `missing`, when given, is set
// when a character of the run has no face.
int DrawRun(platform::Picture& picture, int x, int y, std::string_view bytes, platform::Color fore,
            platform::Color back, bool* missing = nullptr);

// Advance of one character drawn on its own (a code-point token), which may lie
// outside the code page.
int MeasureChar(char32_t code);

// Draws one character with its cell's top-left corner at (x, y): the cell in
// `back`, the glyph in `fore`. `missing`, when given, is set when no face has it.
void DrawChar(platform::Picture& picture, int x, int y, char32_t code, platform::Color fore, platform::Color back,
              bool* missing = nullptr);

}  // namespace quarvel::render
