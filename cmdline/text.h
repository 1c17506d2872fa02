#pragma once
// Text laid out for a terminal: the columns a UTF-8 text takes, lines broken to a
// width, and lists of words joined as a sentence joins them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel::cmdline {

// Columns a UTF-8 text takes on a terminal, as wcwidth() counts them in a UTF-8
// locale: two for the wide characters of East Asia, none for combining marks.
std::size_t Columns(std::string_view text);

// The text broken into lines of at most `width` columns at its spaces, and in Japanese
// after a wide character (never before a closing mark); a line break in it stays one.
std::string Wrap(std::string_view text, std::size_t width);

// The words with `separator` between them and `last` before the last ("a, b or c").
std::string JoinWords(const std::vector<std::string>& words, std::string_view separator, std::string_view last);

}  // namespace quarvel::cmdline
