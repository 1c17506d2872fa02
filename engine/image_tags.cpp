#include "engine/image_tags.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "engine/code_convert.h"
#include "platform/codec.h"

namespace quarvel::engine {

namespace cp932 = platform::cp932;

namespace {

void AppendPercent(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
}

bool IsUnsafeInUrlPath(unsigned char b) {
    if (b < 0x20 || b == 0x7F) return true;
    switch (b) {
    case ' ':
    case '"':
    case '#':
    case '%':
    case '&':
    case '\'':
    case '<':
    case '>':
    case '?':
    case '\\':  // browsers read a backslash in a URL as '/'
        return true;
    default: return false;
    }
}

// The number of a tag `<img src="./B/NNN.png">` that starts at `at` with the given
// prefix (up to and including the slash after B), as this program writes it, or 0.
// Numbers have at least three digits and as many more as they need; those of more
// digits than any picture number count as kLastPictureNumber + 1.
long OwnTagNumber(std::string_view text, std::size_t at, std::string_view prefix, std::size_t* length) {
    static constexpr std::string_view kSuffix = ".png\">";
    static constexpr std::size_t kDigitsOfLast = 18;
    static_assert(kLastPictureNumber == 999'999'999'999'999'999);
    if (text.compare(at, prefix.size(), prefix) != 0) return 0;
    const std::size_t digits = at + prefix.size();
    std::size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    const std::string_view number = text.substr(digits, end - digits);
    if (number.size() < 3 || text.compare(end, kSuffix.size(), kSuffix) != 0) return 0;
    // Only the form "%03d" gives: no extra leading zeros, never 000.
    if (number.size() > 3 ? number[0] == '0' : number == "000") return 0;
    if (length) *length = end + kSuffix.size() - at;
    if (number.size() > kDigitsOfLast) return kLastPictureNumber + 1;
    long n = 0;
    for (const char digit : number) n = n * 10 + (digit - '0');
    return n;
}

}  // namespace

bool IsPictureFileName(std::string_view name) {
    constexpr std::string_view kSuffix = ".png";
    // No more digits than a picture number has.
    if (!name.ends_with(kSuffix) || name.size() == kSuffix.size() || name.size() > kSuffix.size() + 18) return false;
    for (char c : name.substr(0, name.size() - kSuffix.size()))
        if (c < '0' || c > '9') return false;
    return true;
}

std::string PictureNumber(long n) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03ld", n);
    return buffer;
}

long HighestOwnTagNumber(std::string_view text, std::string_view prefix) {
    long highest = 0;
    for (auto at = text.find(prefix); at != std::string_view::npos; at = text.find(prefix, at + 1))
        highest = std::max(highest, OwnTagNumber(text, at, prefix, nullptr));
    return highest;
}

std::vector<long> OwnTagNumbers(std::string_view text, std::string_view prefix) {
    std::vector<long> numbers;
    for (auto at = text.find(prefix); at != std::string_view::npos; at = text.find(prefix, at + 1))
        if (const long n = OwnTagNumber(text, at, prefix, nullptr); n > 0 && n <= kLastPictureNumber)
            numbers.push_back(n);
    return numbers;
}

bool IsOwnTag(std::string_view stretch, std::string_view prefix) {
    std::size_t length = 0;
    return OwnTagNumber(stretch, 0, prefix, &length) != 0 && length == stretch.size();
}

std::string TagBaseName(std::string_view nativeBaseName, DocumentCode code) {
    std::string out;
    for (std::size_t i = 0; i < nativeBaseName.size();) {
        char32_t character = 0;
        const std::size_t length = cp932::DecodeUtf8(nativeBaseName, i, character);
        if (length == 0) {  // not UTF-8: the byte as it is in the file name
            AppendPercent(out, nativeBaseName.substr(i, 1));
            ++i;
            continue;
        }
        std::string_view utf8 = nativeBaseName.substr(i, length);
        i += length;
        if (character < 0x80) {
            if (IsUnsafeInUrlPath(static_cast<unsigned char>(character)))
                AppendPercent(out, utf8);
            else
                out += static_cast<char>(character);
            continue;
        }
        // A UTF-8 document holds every character as it is.
        if (code == DocumentCode::utf8) {
            out += utf8;
            continue;
        }
        std::optional<std::string> bytes = cp932::EncodeOne(character);
        bool held = bytes && !bytes->empty();
        if (held && code == DocumentCode::eucJp) {
            auto b0 = static_cast<unsigned char>((*bytes)[0]);
            held = bytes->size() == 1 ? IsHalfWidthKana(b0)
                                      : ShiftJisToJis(static_cast<std::uint16_t>(
                                            (b0 << 8) | static_cast<unsigned char>((*bytes)[1]))) != 0;
        }
        if (held)
            out += *bytes;
        else
            AppendPercent(out, utf8);
    }
    return out;
}

}  // namespace quarvel::engine
