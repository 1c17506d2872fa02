#include "platform/codec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>

namespace quarvel {

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

// Decoding and encoding tables, built once from iconv. Decoding every possible one-
// and two-byte sequence through iconv up front keeps the hot paths (measuring and
// drawing runs) free of iconv calls, and building the encoding side from the decoded
// code points makes encoding strict by construction: a code point whose preferred
// bytes decode to something else is simply absent.
struct Tables {
    std::array<char32_t, 256> single{};           // 0 = not assigned (except for 0x00)
    std::array<char32_t, 0x10000> double_byte{};  // indexed by lead << 8 | trail
    std::array<std::uint16_t, 0x10000> encode{};  // BMP code point -> bytes (0 = none)

    Tables() {
        IconvHandle to_utf32("UTF-32LE", "CP932");
        IconvHandle from_utf32("CP932", "UTF-32LE");
        auto decode = [&](std::string_view bytes) -> char32_t {
            auto r = to_utf32.convert(bytes);
            if (!r || r->size() != 4) return 0;
            auto u = reinterpret_cast<const unsigned char*>(r->data());
            return static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (u[3] << 24));
        };
        for (int b = 1; b < 256; ++b) {
            if (IsLeadByte(static_cast<unsigned char>(b))) continue;
            char c = static_cast<char>(b);
            single[b] = decode(std::string_view(&c, 1));
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!IsTrailByte(static_cast<unsigned char>(trail))) continue;
                char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                double_byte[(lead << 8) | trail] = decode(std::string_view(pair, 2));
            }
        }
        auto try_encode = [&](char32_t cp) {
            if (cp == 0 || cp > 0xFFFF || encode[cp] != 0) return;
            unsigned char u[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8),
                                  static_cast<unsigned char>(cp >> 16), 0};
            auto r = from_utf32.convert(std::string_view(reinterpret_cast<const char*>(u), 4));
            if (!r || r->empty() || r->size() > 2) return;
            auto bytes = reinterpret_cast<const unsigned char*>(r->data());
            if (r->size() == 1) {
                if (single[bytes[0]] == cp) encode[cp] = bytes[0];
            } else if (double_byte[(bytes[0] << 8) | bytes[1]] == cp) {
                encode[cp] = static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
            }
        };
        for (char32_t cp : single) try_encode(cp);
        for (char32_t cp : double_byte) try_encode(cp);
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

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
    const Tables& t = GetTables();
    auto b = static_cast<unsigned char>(bytes[0]);
    if (IsLeadByte(b)) {
        // A lead byte always takes the byte after it, as the tokenizer keeps them: a pair
        // that is no character (mojibake such as 94 2D) is one invalid character, so the
        // second byte is never read as a character of its own.
        if (bytes.size() >= 2) {
            d.length = 2;
            const auto trail = static_cast<unsigned char>(bytes[1]);
            if (IsTrailByte(trail)) d.code = t.double_byte[(b << 8) | trail];
            d.valid = d.code != 0;
        } else {
            d.length = 1;
        }
        return d;
    }
    d.length = 1;
    d.code = t.single[b];
    d.valid = b == 0 || d.code != 0;
    return d;
}

std::optional<std::string> EncodeOne(char32_t code) {
    if (code == 0) return std::string();
    if (code > 0xFFFF) return std::nullopt;
    std::uint16_t e = GetTables().encode[code];
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
}  // namespace quarvel
