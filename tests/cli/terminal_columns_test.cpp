// Text in terminal columns: the help's layout and the progress line count with it.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "cmdline/text.h"

namespace quarvel::cmdline {
namespace {

// As wcwidth() counts in a UTF-8 locale, whatever the locale the program runs in.
TEST(TerminalColumns, CountAsWcwidthInEveryLocale) {
    const struct {
        const char* text;
        std::size_t columns;
    } cases[] = {
        {"abc", 3},
        {"\xE3\x81\x82", 2},                  // あ
        {"\xEF\xBC\xA1", 2},                  // Ａ, full width
        {"\xEF\xBD\xB1", 1},                  // ｱ, half width
        {"e\xCC\x81", 1},                     // e and a combining acute accent
        {"a\xE2\x80\x8B" "b", 2},             // a zero-width space between
        {"\xF0\x9F\x98\x80", 2},              // an emoji
        {"\xE2\x94\x80", 1},                  // ─, ambiguous: narrow
        {"\xFF", 1},                          // not UTF-8: shown as one replacement mark
    };
    for (const char* locale : {"C", "C.UTF-8", "en_US.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale)) continue;
        for (const auto& c : cases) EXPECT_EQ(Columns(c.text), c.columns) << locale << ": " << c.text;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(TerminalColumns, JapaneseWrapsAfterAWideCharacterNeverBeforeAClosingMark) {
    // 「あいう。」 is 10 columns: at 7 it may not break before 。
    EXPECT_EQ(Wrap("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x80\x82\xE3\x81\x88", 7),
              "\xE3\x81\x82\xE3\x81\x84\n\xE3\x81\x86\xE3\x80\x82\xE3\x81\x88");
    EXPECT_EQ(Wrap("one two three", 7), "one two\nthree");
}

}  // namespace
}  // namespace quarvel::cmdline
