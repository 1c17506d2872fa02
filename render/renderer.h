#pragma once
// Text art to picture: tokenizing, measuring, drawing, and the PNG file.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "render/appearance.h"
#include "render/tokens.h"

namespace quarvel {

inline constexpr int kMaxLines = 50;
inline constexpr int kLinePitch = 18;
inline constexpr int kRunCutLength = 1008;

// Fills lines[0..n-1] from the NUL-terminated code page 932 text; returns n (0..50).
int TokenizeTextArt(const char* text, WordTokenList* lines, bool collapseSpaces);

// Width of the text area: the widest line rounded up to a multiple of 4, at most 1024.
int MeasureTextWidth(const WordTokenList* lines, int count);

// What a picture could not show of its text, for a warning.
struct RenderNotes {
    bool tooManyLines = false;       // something to draw follows the last line
    bool tooWide = false;            // a line is wider than the widest text area
    int undecodable = 0;             // characters the code page cannot decode, drawn blank
    std::vector<char32_t> faceless;  // characters that no face has, drawn blank; each once, as met

    bool Cut() const { return tooManyLines || tooWide; }
    bool Any() const { return Cut() || undecodable > 0 || !faceless.empty(); }
};

// Draws the text into a new picture. Never fails; an empty picture comes out 1 x 1.
// With `notes`, also tells what of the text the picture does not show.
Picture RenderPicture(const char* text, const Appearance& look, RenderNotes* notes = nullptr);

// What became of a picture written to a stream: `failure` says what went wrong when
// the file did not reach the stream whole.
struct RenderResult {
    bool written = true;
    std::string failure;

    explicit operator bool() const { return written; }
};

// Draws the text and, when `stream` is not null, writes the PNG to it and closes it.
RenderResult RenderTextArt(const char* text, std::FILE* stream, const Appearance& look);

}  // namespace quarvel
