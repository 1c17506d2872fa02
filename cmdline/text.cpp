#include "cmdline/text.h"

#include <algorithm>

namespace quarvel::cmdline {

std::size_t Columns(std::string_view text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                          (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                          (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                          (code >= 0xFFE0 && code <= 0xFFE6) || code >= 0x20000;
        columns += wide ? 2 : 1;
        i += length;
    }
    return columns;
}

namespace {

// The longest start of a word that ends after a wide character and fits in `room`
// columns, when the whole word does not: 0 when there is none.
std::size_t WideBreak(std::string_view word, std::size_t room) {
    if (Columns(word) <= room) return 0;
    std::size_t fits = 0;
    for (std::size_t i = 0; i < word.size();) {
        const auto lead = static_cast<unsigned char>(word[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (Columns(word.substr(0, i + length)) > room) break;
        i += length;
        // Never before a closing mark: "、" "。" "）" "」".
        const std::string_view next = word.substr(i, 3);
        const bool closing = next == "、" || next == "。" || next == "）" || next == "」";
        if (Columns(word.substr(i - length, length)) == 2 && !closing) fits = i;
    }
    return fits;
}

}  // namespace

std::string Wrap(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find_first_of(" \n", at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(at, end - at);
        // Japanese has no spaces: a line may break after any wide character.
        if (const std::size_t fits = WideBreak(word, width - std::min(width, column + (column > 0)));
            fits > 0 && fits < word.size()) {
            end = at + fits;
            word = word.substr(0, fits);
            if (column > 0) out += ' ';
            out += word;
            out += '\n';
            column = 0;
            at = end;
            continue;
        }
        if (column > 0 && column + 1 + Columns(word) > width) {
            out += '\n';
            column = 0;
            if (WideBreak(word, width) > 0) continue;  // broken on the next line
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += Columns(word);
        if (end < text.size() && text[end] == '\n') {
            out += '\n';
            column = 0;
        }
        at = end + 1;
    }
    return out;
}

std::string JoinWords(const std::vector<std::string>& words, std::string_view separator, std::string_view last) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) out += i + 1 == words.size() ? last : separator;
        out += words[i];
    }
    return out;
}

}  // namespace quarvel::cmdline
