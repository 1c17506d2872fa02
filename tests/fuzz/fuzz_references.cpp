// Character references: DecodeReference, EncodeChar and the conversions to code page
// 932 with references on random bytes.
//
// Invariants:
// - a reference found runs from its '&' to its ';' inside the text and gives a code
//   point (no surrogate, at most U+10FFFF);
// - EncodeChar of any code point writes at most 11 bytes and a terminator: the code
//   page's bytes of the character, which decode back to it, or a reference that
//   DecodeReference reads back as the same code point;
// - a UTF-16 text converted to code page 932 with references reads back (bytes
//   decoded, references resolved) as the characters of the UTF-16 text with its own
//   references resolved the same way: the conversion loses and invents nothing;
// - UTF-8 text converts as its UTF-16 form does, and no character takes more than the
//   longest reference.

#include <cstring>
#include <string>

#include "platform/codec.h"
#include "render/references.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using render::DecodeReference;
using render::EncodeChar;
using render::FindEntityName;
using render::Utf16ToCp932WithReferences;
using render::Utf8ToCp932WithReferences;

namespace cp932 = platform::cp932;

namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Checks the reference at text[0] ('&'), if there is one, and returns its length.
std::size_t CheckReference(const char* text, std::size_t available) {
    char32_t code = 0xABCDEF;  // DecodeReference leaves it alone without a reference
    const std::size_t length = DecodeReference(text, code);
    if (length == 0) {
        FUZZ_CHECK(code == 0xABCDEF);
        return 0;
    }
    FUZZ_CHECK(length >= 3 && length <= available);
    FUZZ_CHECK(text[length - 1] == ';');
    FUZZ_CHECK(code <= 0x10FFFF && !IsSurrogate(code));
    return length;
}

void CheckEncode(char32_t code) {
    char out[12];
    std::memset(out, 0x55, sizeof out);
    const std::size_t n = EncodeChar(code, out);
    FUZZ_CHECK(n <= 11 && out[n] == '\0');
    if (code == 0) {
        FUZZ_CHECK(n == 0);
        return;
    }
    if (n <= 2) {
        FUZZ_CHECK(n > 0);
        const cp932::Decoded d = cp932::DecodeOne(std::string_view(out, n));
        FUZZ_CHECK(d.valid && d.length == n && d.code == code);
        FUZZ_CHECK(code < 0x7F || code > 0xFF);
        return;
    }
    FUZZ_CHECK(out[0] == '&');
    char32_t back = 0;
    FUZZ_CHECK(CheckReference(out, n) == n);
    FUZZ_CHECK(DecodeReference(out, back) == n);
    // A lone surrogate has no character to come back as.
    FUZZ_CHECK(back == (IsSurrogate(code) ? 0xFFFD : code));
    char name[16];
    if (std::size_t k = FindEntityName(code, name); k > 0) {
        FUZZ_CHECK(k == n && std::memcmp(name, out, n) == 0);
    }
}

// The reference at text[i], if there is one: its character goes to `out` and `i`
// moves past it.
bool TakeReference(const char* text, std::size_t& i, std::u32string& out) {
    char32_t code = 0;
    const std::size_t length = DecodeReference(text + i, code);
    if (length == 0) return false;
    out += code;
    i += length;
    return true;
}

// The characters of code page 932 text with every reference resolved.
std::u32string ReadMerged(const std::string& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        if (TakeReference(text.c_str(), i, out)) continue;
        cp932::Decoded d = cp932::DecodeOne(std::string_view(text).substr(i));
        out += d.valid ? d.code : char32_t{0xFFFD};
        i += d.length;
    }
    return out;
}

// The characters of UTF-16 text (pairs joined, lone surrogates U+FFFD) with the
// references that its ASCII characters spell resolved.
std::u32string ReadWide(std::u16string_view wide) {
    std::u32string chars;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (IsSurrogate(c)) {
            c = 0xFFFD;
        }
        chars += c;
    }
    // Other characters stand in as a byte that no reference holds.
    std::string ascii;
    for (char32_t c : chars) ascii += c < 0x80 ? static_cast<char>(c) : '\x01';
    std::u32string out;
    for (std::size_t i = 0; i < chars.size();)
        if (!TakeReference(ascii.c_str(), i, out)) out += chars[i++];
    return out;
}

std::u16string AsUtf16Units(std::string_view bytes) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    const std::string_view input = fuzz::AsText(data, size);
    const std::string text(input);

    // Every reference of the text (up to its first NUL), and its character encoded again.
    const std::size_t length = std::strlen(text.c_str());
    for (std::size_t i = text.find('&'); i != std::string::npos && i < length; i = text.find('&', i + 1)) {
        if (CheckReference(text.c_str() + i, length - i) > 0) {
            char32_t code = 0;
            DecodeReference(text.c_str() + i, code);
            CheckEncode(code);
        }
    }
    // Code points spelled by the bytes, three at a time.
    for (std::size_t i = 0; i + 2 < size && i < 48; i += 3)
        CheckEncode(static_cast<char32_t>(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16)) % 0x110000);

    // A text converted from its UTF-16 form reads back as that text.
    std::u16string wide = cp932::IsValidUtf8(input) ? cp932::Utf8ToUtf16(input) : AsUtf16Units(input);
    for (char16_t& c : wide)
        if (c == 0) c = u' ';  // U+0000 is no character of the art: it is left out
    const std::string converted = Utf16ToCp932WithReferences(wide);
    FUZZ_CHECK(ReadMerged(converted) == ReadWide(wide));
    FUZZ_CHECK(converted.size() <= wide.size() * 11);

    // Bytes taken as UTF-8 (a text file) convert as their UTF-16 form (the window).
    FUZZ_CHECK(Utf8ToCp932WithReferences(input) == Utf16ToCp932WithReferences(cp932::Utf8ToUtf16(input)));
    return 0;
}
