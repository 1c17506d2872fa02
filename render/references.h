#pragma once
// HTML character references in code page 932 text: decoding them where the renderer
// meets them, and writing every character that the code page cannot hold as one, so
// that text from the window or from a UTF-8 file loses nothing on its way in.

#include <cstddef>
#include <string>
#include <string_view>

namespace quarvel::render {

// Length of the reference at `text` (which points at '&'), including '&' and ';',
// or 0 when there is none; `code` is written only when the result is above 0.
// `text` must be NUL-terminated.
std::size_t DecodeReference(const char* text, char32_t& code);

// Writes the code page 932 bytes of `code` (1 or 2), or its reference (named where
// the entity table has a name, else decimal), followed by a terminator, into `out`
// (at least 12 bytes). Returns the count without the terminator; 0 for U+0000.
std::size_t EncodeChar(char32_t code, char* out);

// Writes "&name;" (no terminator) and returns its length, or 0 without a name.
std::size_t FindEntityName(char32_t code, char* out);

// Text to code page 932, with every character the code page cannot hold written as
// its character reference. U+0000 is not a character of the art and is left out.
// Bytes that are not UTF-8, and lone surrogates, stand for U+FFFD each.
std::string Utf8ToCp932WithReferences(std::string_view utf8);
std::string Utf16ToCp932WithReferences(std::u16string_view utf16);

// UTF-8 text as it is drawn: each character reference decoded to its character (a
// reference to U+0000 is nothing), for searching art by what it shows.
std::string DecodedReferencesUtf8(std::string_view utf8);

}  // namespace quarvel::render
