#include "render/references.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/codec.h"
#include "render/entities.h"

namespace quarvel::render {

namespace cp932 = platform::cp932;

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A numeric reference "&#digits;" or "&#xhex;" at text[0]; its value may be a lone
// surrogate. Returns the length, or 0 when there is none (or its value lies beyond
// U+10FFFF).
std::size_t DecodeNumeric(const char* text, char32_t& code) {
    int base = 10;
    std::size_t pos = 2;
    if (text[2] == 'x') {
        base = 16;
        pos = 3;
    }
    char32_t value = 0;
    bool too_large = false;
    for (;; ++pos) {
        char c = text[pos];
        if (c == ';') break;
        int digit = DigitValue(c, base);
        if (digit < 0) return 0;  // any other byte, the terminator included
        if (!too_large) {
            value = value * static_cast<char32_t>(base) + static_cast<char32_t>(digit);
            too_large = value > kMaxCodePoint;
        }
    }
    if (too_large) return 0;
    code = value;
    return pos + 1;
}

// Calls emit(bytes) with the code page 932 form of each code point, in order: the
// characters of the code page as their bytes, all others as references. Used twice,
// to size the result and to fill it, so that a large text is never held in a buffer
// of twice its size while it grows.
template <typename ForEachCodePoint>
std::string ToCp932WithReferences(ForEachCodePoint forEach) {
    char encoded[16];
    auto pieces = [&](auto emit) {
        forEach([&](char32_t code) {
            if (code == 0) return;
            if (std::optional<std::string> bytes = cp932::EncodeOne(code)) {
                emit(std::string_view(*bytes));
            } else {
                emit(std::string_view(encoded, EncodeChar(code, encoded)));
            }
        });
    };
    std::size_t size = 0;
    pieces([&](std::string_view piece) { size += piece.size(); });
    std::string out;
    out.reserve(size);
    pieces([&](std::string_view piece) { out += piece; });
    return out;
}

}  // namespace

std::size_t DecodeReference(const char* text, char32_t& code) {
    if (text[0] != '&') return 0;
    if (text[1] == '#') {
        char32_t value = 0;
        std::size_t length = DecodeNumeric(text, value);
        if (length == 0) return 0;
        if (IsHighSurrogate(value)) {
            // Characters beyond U+FFFF are often written as two references to the
            // halves of their UTF-16 surrogate pair.
            char32_t low = 0;
            std::size_t next = text[length] == '&' && text[length + 1] == '#' ? DecodeNumeric(text + length, low) : 0;
            if (next > 0 && IsLowSurrogate(low)) {
                code = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
                return length + next;
            }
            value = kReplacement;
        } else if (IsLowSurrogate(value)) {
            value = kReplacement;
        }
        code = value;
        return length;
    }
    std::size_t n = 0;
    while (n <= kLongestEntityName && text[1 + n] != '\0' && text[1 + n] != ';') ++n;
    if (text[1 + n] != ';' || n == 0) return 0;
    const Entity* entity = FindEntityByName(std::string_view(text + 1, n));
    if (!entity) return 0;
    code = entity->code;
    return n + 2;
}

std::size_t EncodeChar(char32_t code, char* out) {
    if (code < 0x7F || code > 0xFF) {
        if (auto bytes = cp932::EncodeOne(code)) {
            std::memcpy(out, bytes->data(), bytes->size());
            out[bytes->size()] = '\0';
            return bytes->size();
        }
    }
    std::size_t n = FindEntityName(code, out);
    if (n > 0) {
        out[n] = '\0';
        return n;
    }
    int written = std::snprintf(out, 12, "&#%u;", static_cast<unsigned>(code));
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t FindEntityName(char32_t code, char* out) {
    const Entity* entity = FindEntityByCode(code);
    if (!entity) return 0;
    out[0] = '&';
    std::memcpy(out + 1, entity->name.data(), entity->name.size());
    out[entity->name.size() + 1] = ';';
    return entity->name.size() + 2;
}

std::string Utf8ToCp932WithReferences(std::string_view utf8) {
    return ToCp932WithReferences([utf8](auto emit) { cp932::ForEachUtf8CodePoint(utf8, emit); });
}

std::string Utf16ToCp932WithReferences(std::u16string_view utf16) {
    return ToCp932WithReferences([utf16](auto emit) { cp932::ForEachUtf16CodePoint(utf16, emit); });
}

std::string DecodedReferencesUtf8(std::string_view utf8) {
    if (utf8.find('&') == std::string_view::npos) return std::string(utf8);
    const std::string terminated(utf8);  // references are read from NUL-terminated text
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t code = 0;
        const std::size_t length = utf8[i] == '&' ? DecodeReference(terminated.c_str() + i, code) : 0;
        if (length == 0) {
            out += utf8[i++];
            continue;
        }
        if (code != 0) {
            std::u16string units;
            if (code > 0xFFFF) {
                units = {static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)),
                         static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF))};
            } else {
                units = {static_cast<char16_t>(code)};
            }
            out += cp932::Utf16ToUtf8(units);
        }
        i += length;
    }
    return out;
}

}  // namespace quarvel::render
