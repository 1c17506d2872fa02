#pragma once
// Bridge between code page 932 text and Unicode: HTML character references,
// encoding single characters back, merging clipboard text with its UTF-16 twin,
// and measuring and drawing single characters outside the code page.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/picture.h"

namespace quarvel {

class CUnicoder {
public:
    virtual ~CUnicoder() = default;

    // Length of the reference at `text` (which points at '&'), including '&' and ';',
    // or 0 when there is none; `code` is written only when the result is above 0.
    // `text` must be NUL-terminated.
    std::size_t DecodeReference(const char* text, char32_t& code) const;

    // Writes the code page 932 bytes of `code` (1 or 2), or its reference (named where
    // the entity table has a name, else decimal), followed by a terminator, into `out`
    // (at least 12 bytes). Returns the count without the terminator; 0 for U+0000.
    std::size_t EncodeChar(char32_t code, char* out) const;

    // Writes "&name;" (no terminator) and returns its length, or 0 without a name.
    std::size_t FindEntityName(char32_t code, char* out) const;

    // Merges code page 932 text with its UTF-16 twin: every '?' that stands for a
    // character the code page cannot hold becomes that character's reference. A U+0000
    // of the twin has nothing in the code page text (cp932::FromUtf16Lossy drops it).
    std::string MergeWideText(std::string_view cp932, std::u16string_view utf16) const;

    // Advance of one character drawn on its own (a code-point token).
    int MeasureChar(char32_t code) const;
    // Draws one character with its cell's top-left corner at (x, y): the cell in
    // `back`, the glyph in `fore`.
    void DrawChar(Picture& picture, int x, int y, char32_t code, COLORREF fore, COLORREF back) const;
};

const CUnicoder& GetUnicoder();

}  // namespace quarvel
