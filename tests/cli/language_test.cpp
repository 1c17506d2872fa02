// quarvel-cli speaks the language of the locale: Japanese under a Japanese locale,
// English under any other and under C (its own language), one language on every line.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {

namespace {

using test::RunProcess;

enum class Speaks { japanese, english };

struct Locale {
    std::vector<std::string> env;
    Speaks speaks;
};

const Locale kLocales[] = {
    {{"LC_ALL=C", "LANGUAGE="}, Speaks::english},
    {{"LC_ALL=ja_JP.UTF-8", "LANGUAGE="}, Speaks::japanese},
    {{"LC_ALL=en_US.UTF-8", "LANGUAGE="}, Speaks::english},
    // The usual overrides: $LANGUAGE before the locale, LC_MESSAGES before LANG, and
    // any language the program lacks is English.
    {{"LC_ALL=", "LANG=ja_JP.UTF-8", "LANGUAGE=en_US:ja"}, Speaks::english},
    {{"LC_ALL=", "LANG=en_US.UTF-8", "LC_MESSAGES=ja_JP.UTF-8", "LANGUAGE="}, Speaks::japanese},
    {{"LC_ALL=de_DE.UTF-8", "LANGUAGE="}, Speaks::english},
    // In the C locale gettext reads no catalogue: $LANGUAGE does not count; in
    // C.UTF-8 it does.
    {{"LC_ALL=C", "LANGUAGE=ja"}, Speaks::english},
    {{"LC_ALL=C.UTF-8", "LANGUAGE=ja"}, Speaks::japanese},
};

std::string Named(const Locale& locale) {
    std::string name;
    for (const std::string& e : locale.env) name += e + " ";
    return name;
}

// (The font's name is a name in any language.)
bool HasJapanese(std::string line) {
    line = std::regex_replace(line, std::regex("ＭＳ Ｐゴシック"), "");
    // Hiragana, katakana and kanji in UTF-8 begin with E3 to E9.
    for (unsigned char c : line)
        if (c >= 0xE3 && c <= 0xE9) return true;
    return false;
}

// English words that no Japanese line has, outside names of commands and options.
bool HasEnglish(std::string line) {
    line = std::regex_replace(line, std::regex("quarvel-cli( help [A-Za-z-]+)?|--?[a-z-]+|'[^']*'|/[^ :]*"), "");
    return std::regex_search(line, std::regex("\\b(the|of|to|is|not|and|or|no|could|unknown|warning|see|file|"
                                              "folder|option|drawn|show|exit|text|picture|Usage|Options)\\b"));
}

// Every non-empty line in one language: the locale's.
void ExpectSpoken(const std::string& text, const Locale& locale, const std::string& what) {
    ASSERT_FALSE(text.empty()) << what;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        if (locale.speaks == Speaks::english) {
            EXPECT_FALSE(HasJapanese(line)) << Named(locale) << what << ": " << line;
        } else if (!std::regex_match(line, std::regex(" *[-a-z]+( [-A-Z|.]+)?"))) {
            // (a command's or an option's name alone on a line of the help has no words)
            EXPECT_TRUE(HasJapanese(line)) << Named(locale) << what << ": " << line;
            EXPECT_FALSE(HasEnglish(line)) << Named(locale) << what << ": " << line;
        }
    }
}

TEST(CliLanguage, EachLineInTheLocalesLanguage) {
    test::TempDir dir;
    const std::string none = (dir / "none.txt").string();
    test::WriteFile(dir / "bad.txt", "(\xFF)\n");
    for (const Locale& locale : kLocales) {
        const bool english = locale.speaks == Speaks::english;
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), QUARVEL_CLI_PATH);
            return RunProcess(args, {}, locale.env);
        };

        auto r = run({"render", "--frobnicate", "-o", (dir / "x.png").string()});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err, english ? "quarvel-cli: unknown option '--frobnicate' (see quarvel-cli help render)\n"
                                 : "quarvel-cli: 不明なオプション '--frobnicate'（quarvel-cli help render を参照）\n")
            << Named(locale);

        r = run({"render", none, "-o", (dir / "x.png").string()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "quarvel-cli: " + none +
                             (english ? ": could not open the file: No such file or directory\n"
                                      : ": ファイルのオープンに失敗: そのようなファイルやディレクトリはありません\n"))
            << Named(locale);

        r = run({"render", "--encoding", "utf-8", (dir / "bad.txt").string(), "-o", (dir / "bad.png").string()});
        EXPECT_EQ(r.exit_code, 0);
        ExpectSpoken(r.err, locale, "a warning");

        for (std::vector<std::string> help : {std::vector<std::string>{"--help"},
                                              {"help", "render"},
                                              {"help", "convert"},
                                              {"help", "render-pieces"},
                                              {"help", "restore"}}) {
            r = run(help);
            EXPECT_EQ(r.exit_code, 0);
            ExpectSpoken(r.out, locale, "help " + help.back());
        }
    }
}

}  // namespace

}  // namespace quarvel
