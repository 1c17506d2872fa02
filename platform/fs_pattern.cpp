// Windows wildcard matching of file names.

#include <string>
#include <string_view>

#include "platform/fs.h"

namespace quarvel::platform::fs {
namespace {

// One character of a UTF-8 string (or one stray byte), for '?' and case folding.
std::size_t CharLength(std::string_view s, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

std::size_t CountChars(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) ++count;
    return count;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Plain wildcard matching with backtracking to the last '*'.
bool Glob(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t nl = CharLength(name, n);
            if (pattern[p] == '?') {
                n += nl;
                ++p;
                continue;
            }
            std::size_t pl = CharLength(pattern, p);
            if (pl == nl) {
                bool same = true;
                for (std::size_t k = 0; k < nl && same; ++k) same = Fold(name[n + k]) == Fold(pattern[p + k]);
                if (same) {
                    n += nl;
                    p += pl;
                    continue;
                }
            }
        }
        if (starP == std::string_view::npos) return false;
        starN += CharLength(name, starN);
        n = starN;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.empty()) return true;
    if (Glob(name, pattern)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" && name.find('.') == std::string_view::npos &&
        Glob(name, pattern.substr(0, pattern.size() - 2)))
        return true;
    auto patternDot = pattern.rfind('.');
    auto nameDot = name.rfind('.');
    if (patternDot == std::string_view::npos || nameDot == std::string_view::npos) return false;
    std::string_view patternExt = pattern.substr(patternDot + 1);
    std::string_view nameExt = name.substr(nameDot + 1);
    if (patternExt.find('*') != std::string_view::npos || CountChars(patternExt) != 3) return false;
    if (CountChars(nameExt) <= 3) return false;
    std::size_t cut = 0;
    for (int k = 0; k < 3; ++k) cut += CharLength(nameExt, cut);
    std::string shortName(name.substr(0, nameDot + 1));
    shortName += nameExt.substr(0, cut);
    return Glob(shortName, pattern);
}

}  // namespace quarvel::platform::fs
