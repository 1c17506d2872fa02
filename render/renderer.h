#pragma once
// Text art to picture: tokenizing, measuring, drawing, and the PNG file.

#include <cstdio>

#include "platform/picture.h"
#include "render/tokens.h"

namespace quarvel {

// The look of one picture, as the main window sets it.
struct Appearance {
    COLORREF colFore = 0x000000;
    COLORREF colBack = 0xFFFFFF;
    int iMargin = 0;     // blank pixels on each side, 0..100
    bool bSpace = true;  // collapse half-width spaces the way a browser does
};

inline constexpr int kMaxLines = 50;
inline constexpr int kLinePitch = 18;
inline constexpr int kMaxTextWidth = 1024;
inline constexpr int kRunCutLength = 1008;

// Fills lines[0..n-1] from the NUL-terminated code page 932 text; returns n (0..50).
int TokenizeTextArt(const char* text, CWordTokenList* lines, bool bSpace);

// Width of the text area: the widest line rounded up to a multiple of 4, at most 1024.
int MeasureTextWidth(const CWordTokenList* lines, int count);

// Draws the text into a new picture. Never fails; an empty picture comes out 1 x 1.
Picture RenderPicture(const char* text, const Appearance& look);

// Draws the text and, when `stream` is not null, writes the PNG to it and closes it.
// Returns 1 always; use RenderPicture and WritePngFile where a failure matters.
int RenderTextArt(const char* text, std::FILE* stream, COLORREF colFore, COLORREF colBack,
                  int iMargin, bool bSpace);

}  // namespace quarvel
