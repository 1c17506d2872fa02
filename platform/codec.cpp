#include "platform/codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace quarvel::platform {

IconvHandle::IconvHandle(const char* to_code, const char* from_code) {
    iconv_t cd = iconv_open(to_code, from_code);
    if (cd != reinterpret_cast<iconv_t>(-1)) handle_ = cd;
}

IconvHandle::~IconvHandle() {
    if (handle_) iconv_close(static_cast<iconv_t>(handle_));
}

IconvHandle::IconvHandle(IconvHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

IconvHandle& IconvHandle::operator=(IconvHandle&& other) noexcept {
    if (this != &other) {
        if (handle_) iconv_close(static_cast<iconv_t>(handle_));
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

std::optional<std::string> IconvHandle::convert(std::string_view in) {
    if (!handle_) return std::nullopt;
    auto cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = out.data();
    std::size_t dst_left = out.size();
    while (src_left > 0) {
        if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG) return std::nullopt;
            std::size_t used = out.size() - dst_left;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dst_left = out.size() - used;
        }
    }
    if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - dst_left);
    return out;
}

namespace cp932 {
namespace {

// Decoding and encoding tables, written at build time from iconv by
// cmake/cp932_tables_gen.cpp (its comment gives the layout): the hot paths (measuring
// and drawing runs) make no iconv calls and a process builds nothing at start-up.
// Encoding is strict by construction: a code point whose preferred bytes decode to
// something else is simply absent.
#include "cp932_tables.inc"

// The row of a lead byte in kDoubleByte: 0x81..0x9F, then 0xE0..0xFC.
constexpr int LeadRow(unsigned char lead) { return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1); }

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

template <typename Emit>
void ForEachCodePoint(std::string_view bytes, Emit emit) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        Decoded d = DecodeOne(bytes.substr(i));
        emit(d.valid ? d.code : char32_t{0xFFFD});
        i += d.length;
    }
}

}  // namespace

Decoded DecodeOne(std::string_view bytes) {
    Decoded d;
    if (bytes.empty()) return d;
    auto b = static_cast<unsigned char>(bytes[0]);
    if (IsLeadByte(b)) {
        // A lead byte always takes the byte after it, as the tokenizer keeps them: a pair
        // that is no character (mojibake such as 94 2D) is one invalid character, so the
        // second byte is never read as a character of its own.
        if (bytes.size() >= 2) {
            d.length = 2;
            const auto trail = static_cast<unsigned char>(bytes[1]);
            if (IsTrailByte(trail)) d.code = kDoubleByte[LeadRow(b) * 189 + (trail - 0x40)];
            d.valid = d.code != 0;
        } else {
            d.length = 1;
        }
        return d;
    }
    d.length = 1;
    d.code = kSingleByte[b];
    d.valid = b == 0 || d.code != 0;
    return d;
}

std::optional<std::string> EncodeOne(char32_t code) {
    if (code == 0) return std::string();
    if (code > 0xFFFF) return std::nullopt;
    const std::uint16_t e = kEncodeRows[kEncodeRowOf[code >> 8]][code & 0xFF];
    if (e == 0) return std::nullopt;
    if (e < 0x100) return std::string(1, static_cast<char>(e));
    return std::string{static_cast<char>(e >> 8), static_cast<char>(e & 0xFF)};
}

std::u16string ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    ForEachCodePoint(bytes, [&](char32_t cp) { AppendUtf16(out, cp); });
    return out;
}

std::string ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    ForEachCodePoint(bytes, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::string FromUtf16Lossy(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    ForEachUtf16CodePoint(text, [&](char32_t cp) {
        auto bytes = EncodeOne(cp);
        if (bytes)
            out += *bytes;
        else
            out += '?';
    });
    return out;
}

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    std::size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else
        return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool IsValidUtf8(std::string_view bytes) {
    char32_t cp;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = DecodeUtf8(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    ForEachUtf8CodePoint(bytes, [&](char32_t cp) { AppendUtf16(out, cp); });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    ForEachUtf16CodePoint(text, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

}  // namespace cp932
}  // namespace quarvel::platform
