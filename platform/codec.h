#pragma once
// Code page 932 (Shift-JIS as Windows extends it), from tables that the build makes
// with glibc iconv; IconvHandle wraps iconv itself for other conversions.
//
// Conversions are strict: a code point converts to bytes only when those bytes
// decode back to the same code point, so iconv's one-way mappings (U+00A5 to 0x5C,
// U+203E to 0x7E, U+2014 to 0x815C) count as "not in code page 932".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel::platform {

// Owner of one iconv conversion descriptor.
class IconvHandle {
public:
    IconvHandle(const char* to_code, const char* from_code);
    ~IconvHandle();
    IconvHandle(IconvHandle&& other) noexcept;
    IconvHandle& operator=(IconvHandle&& other) noexcept;
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return handle_ != nullptr; }
    // Converts all of `in`; returns nothing when any input cannot be converted.
    std::optional<std::string> convert(std::string_view in);

private:
    void* handle_ = nullptr;
};

// The lead bytes of double-byte characters (isleadbyte() under the "japanese" locale):
// the one test of the program.
constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
// The bytes that may follow a lead byte.
constexpr bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

namespace cp932 {

// One character decoded from the front of a byte string.
struct Decoded {
    char32_t code = 0;       // the code point; meaningful only when `valid`
    std::size_t length = 0;  // bytes taken: 1 or 2 (0 only at the end of the input)
    bool valid = false;      // false for bytes the code page does not assign
};

// Decodes the character at the front of `bytes`. A lead byte takes the byte after it,
// whatever that byte is (the pair is invalid when it is no character of the code
// page); a lead byte at the end takes one byte and is invalid; 0x80, 0xA0 and
// 0xFD..0xFF are invalid.
Decoded DecodeOne(std::string_view bytes);

// Bytes of one code point (one or two bytes, the same as wcstombs of a single
// character), or empty when the code page cannot hold it exactly. U+0000 gives "".
std::optional<std::string> EncodeOne(char32_t code);

// Whole-text conversions. Invalid bytes become U+FFFD when decoding.
std::u16string ToUtf16(std::string_view bytes);
std::string ToUtf8(std::string_view bytes);

// UTF-16 to code page 932: each character the code page cannot hold becomes '?'
// (the way the clipboard's 8-bit text form of the same text reads).
std::string FromUtf16Lossy(std::u16string_view text);

// Decodes the UTF-8 character at bytes[i] into `cp`; returns its length, or 0 when
// the bytes there are not well-formed UTF-8 (overlong, surrogate, cut short).
std::size_t DecodeUtf8(std::string_view bytes, std::size_t i, char32_t& cp);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

// Calls emit(code point) for each character of UTF-8 text; bytes that are not
// well-formed UTF-8 stand for U+FFFD each.
template <typename Emit>
void ForEachUtf8CodePoint(std::string_view bytes, Emit emit) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        std::size_t n = DecodeUtf8(bytes, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        emit(cp);
        i += n;
    }
}

// Calls emit(code point) for each character of UTF-16 text: a surrogate pair is one
// character, a lone surrogate U+FFFD.
template <typename Emit>
void ForEachUtf16CodePoint(std::u16string_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        emit(cp);
    }
}

}  // namespace cp932
}  // namespace quarvel::platform
