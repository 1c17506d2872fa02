#include "cmdline/text.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>

#include "platform/codec.h"

namespace quarvel::cmdline {

namespace {

// The columns of one character as wcwidth() gives them in the C.UTF-8 locale, whatever
// the locale the program runs in (under C or POSIX wcwidth knows no character beyond
// ASCII): two for the wide characters of East Asia, none for combining marks and
// controls.
class TerminalWidths {
public:
    TerminalWidths() : utf8_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {
        if (utf8_) before_ = ::uselocale(utf8_);
    }
    ~TerminalWidths() {
        if (!utf8_) return;
        ::uselocale(before_);
        ::freelocale(utf8_);
    }
    TerminalWidths(const TerminalWidths&) = delete;
    TerminalWidths& operator=(const TerminalWidths&) = delete;

    std::size_t Of(char32_t code) const {
        const int width = ::wcwidth(static_cast<wchar_t>(code));
        return width < 0 ? 0 : static_cast<std::size_t>(width);
    }

private:
    locale_t utf8_;
    locale_t before_ = nullptr;
};

// The length of the UTF-8 character at text[at]; a byte that starts none is one.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    char32_t code = 0;
    const std::size_t length = platform::cp932::DecodeUtf8(text, at, code);
    return length == 0 ? 1 : length;
}

}  // namespace

std::size_t Columns(std::string_view text) {
    const TerminalWidths widths;
    std::size_t columns = 0;
    platform::cp932::ForEachUtf8CodePoint(text, [&](char32_t code) { columns += widths.Of(code); });
    return columns;
}

namespace {

// The longest start of a word that ends after a wide character and fits in `room`
// columns, when the whole word does not: 0 when there is none.
std::size_t WideBreak(std::string_view word, std::size_t room) {
    if (Columns(word) <= room) return 0;
    std::size_t fits = 0;
    for (std::size_t i = 0; i < word.size();) {
        const std::size_t length = CharacterLength(word, i);
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
