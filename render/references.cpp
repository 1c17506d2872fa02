#include "render/references.h"

#include <cstdio>
#include <cstring>

#include "platform/codec.h"
#include "platform/fonts.h"
#include "render/draw.h"
#include "render/entities.h"

namespace quarvel {
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

}  // namespace

std::size_t CUnicoder::DecodeReference(const char* text, char32_t& code) const {
    if (text[0] != '&') return 0;
    if (text[1] == '#') {
        char32_t value = 0;
        std::size_t length = DecodeNumeric(text, value);
        if (length == 0) return 0;
        if (IsHighSurrogate(value)) {
            // Characters beyond U+FFFF are often written as two references to the
            // halves of their UTF-16 surrogate pair.
            char32_t low = 0;
            std::size_t next = text[length] == '&' && text[length + 1] == '#'
                                   ? DecodeNumeric(text + length, low)
                                   : 0;
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

std::size_t CUnicoder::EncodeChar(char32_t code, char* out) const {
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

std::size_t CUnicoder::FindEntityName(char32_t code, char* out) const {
    const Entity* entity = FindEntityByCode(code);
    if (!entity) return 0;
    out[0] = '&';
    std::memcpy(out + 1, entity->name.data(), entity->name.size());
    out[entity->name.size() + 1] = ';';
    return entity->name.size() + 2;
}

std::string CUnicoder::MergeWideText(std::string_view text, std::u16string_view wide) const {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t index = 0;  // into `wide`, one step per character of `text`
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++index) {
        // U+0000 has no bytes in the code page text: it must not take a step there.
        while (index < wide.size() && wide[index] == 0) ++index;
        auto b = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(b)) {
            // A lead byte at the very end has no partner to keep it company: drop it.
            if (i + 1 >= text.size() || text[i + 1] == '\0') break;
            out.append(text, i, 2);
            i += 2;
            continue;
        }
        ++i;
        if (b != '?' || index >= wide.size()) {
            out += static_cast<char>(b);
            continue;
        }
        char32_t code = wide[index];
        if (IsHighSurrogate(code) && index + 1 < wide.size() && IsLowSurrogate(wide[index + 1])) {
            // One '?' stands for the whole pair.
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[index + 1] - 0xDC00);
            ++index;
        } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
            code = kReplacement;
        }
        char encoded[16];
        out.append(encoded, EncodeChar(code, encoded));
    }
    return out;
}

int CUnicoder::MeasureChar(char32_t code) const { return GlyphCache::Instance().Get(code).advance; }

void CUnicoder::DrawChar(Picture& picture, int x, int y, char32_t code, COLORREF fore,
                         COLORREF back) const {
    const Glyph& glyph = GlyphCache::Instance().Get(code);
    picture.fill(x, y, x + glyph.advance, y + kFontPixelHeight, back);
    DrawGlyph(picture, x, y, glyph, fore);
}

const CUnicoder& GetUnicoder() {
    static const CUnicoder instance;
    return instance;
}

}  // namespace quarvel
