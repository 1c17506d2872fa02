#pragma once
// Text art to picture: tokenizing, measuring, drawing, and the PNG file.

#include <cstdio>
#include <string>

#include "platform/picture.h"
#include "render/appearance.h"
#include "render/tokens.h"

namespace quarvel {

inline constexpr int kMaxLines = 50;
inline constexpr int kLinePitch = 18;
inline constexpr int kRunCutLength = 1008;

// Fills lines[0..n-1] from the NUL-terminated code page 932 text; returns n (0..50).
// `end`, when not null, receives where the lines stopped: the text's length, or just
// past the line break that ended the 50th line.
int TokenizeTextArt(const char* text, WordTokenList* lines, bool collapseSpaces, std::size_t* end = nullptr);

// Width of the text area: the widest line rounded up to a multiple of 4, at most 1024.
int MeasureTextWidth(const WordTokenList* lines, int count);

// What of its text a picture could not show.
struct ArtCut {
    bool lines = false;  // lines past the 50th hold something besides spaces
    bool width = false;  // a line is wider than the widest text area

    explicit operator bool() const { return lines || width; }
};

// Draws the text into a new picture. Never fails; an empty picture comes out 1 x 1.
// `cut`, when not null, receives what the picture leaves out.
Picture RenderPicture(const char* text, const Appearance& look, ArtCut* cut = nullptr);

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
