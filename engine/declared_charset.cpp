#include "engine/declared_charset.h"

#include <algorithm>
#include <array>

namespace quarvel::engine {
namespace {

// Browsers look for the declaration in the first 1024 bytes; saved pages with a long
// head of scripts and styles put it later, so a little more is read.
constexpr std::size_t kHeadBytes = 64 * 1024;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) { return a == Lower(b); });
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == ':';
}

}  // namespace

std::string DeclaredCharset(std::string_view document) {
    const std::string_view head = document.substr(0, kHeadBytes);
    for (std::size_t tag = head.find('<'); tag != std::string_view::npos; tag = head.find('<', tag + 1)) {
        if (!StartsWithNoCase(head.substr(tag + 1), "meta")) continue;
        const std::size_t end = std::min(head.find('>', tag), head.size());
        const std::string_view inside = head.substr(tag, end - tag);
        for (std::size_t at = 0; at + 7 <= inside.size(); ++at) {
            if (!StartsWithNoCase(inside.substr(at), "charset")) continue;
            std::size_t pos = at + 7;
            while (pos < inside.size() && inside[pos] == ' ') ++pos;
            if (pos >= inside.size() || inside[pos] != '=') continue;
            ++pos;
            while (pos < inside.size() && (inside[pos] == ' ' || inside[pos] == '"' || inside[pos] == '\'')) ++pos;
            std::string name;
            while (pos < inside.size() && IsNameChar(inside[pos])) name += Lower(inside[pos++]);
            if (!name.empty()) return name;
        }
    }
    return {};
}

bool CharsetNamesCode(std::string_view charset, DocumentCode code) {
    static constexpr std::array<std::string_view, 10> kShiftJis = {"shift_jis", "shift-jis",  "sjis",        "x-sjis",
                                                                   "ms_kanji",  "csshiftjis", "windows-31j", "cp932",
                                                                   "ms932",     "x-ms-cp932"};
    static constexpr std::array<std::string_view, 5> kEucJp = {"euc-jp", "x-euc-jp", "eucjp", "ujis",
                                                               "cseucpkdfmtjapanese"};
    static constexpr std::array<std::string_view, 3> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8"};
    auto in = [&](const auto& names) { return std::find(names.begin(), names.end(), charset) != names.end(); };
    switch (code) {
    case DocumentCode::eucJp: return in(kEucJp);
    case DocumentCode::utf8: return in(kUtf8);
    default: return in(kShiftJis);
    }
}

}  // namespace quarvel::engine
