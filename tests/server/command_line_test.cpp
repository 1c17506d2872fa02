// The options of quarvel-server as its help, its man page and docs/SERVER.md list them:
// every one of the table's, in its order, with its value and its default, and no other.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "server/command_line.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

using server::ServerOption;
using server::ServerOptions;

// One option as a text lists it: its name, what it takes, the text around its default.
struct Listed {
    std::string name, value, text;
};

// Runs of white space as one space; or as nothing, for Japanese text, which a line may
// break anywhere.
std::string Squeezed(const std::string& text, bool spaced = true) {
    return std::regex_replace(text, std::regex("\\s+"), spaced ? " " : "");
}

// How a text in one language says an option's default: "default 5", "既定は 5".
struct DefaultWord {
    std::string word;
    bool spaced = true;
};

// The help's rows that begin with an option taking a value ("  --listen ADDR:PORT ...").
std::vector<Listed> InHelp(const std::string& help) {
    std::vector<Listed> listed;
    std::istringstream lines(help);
    static const std::regex row("^  (--[a-z-]+) ([A-Z:]+) +(.*)$");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row))
            listed.push_back({m[1], m[2], m[3]});
        else if (!listed.empty() && line.starts_with("   "))
            listed.back().text += " " + line;
        else if (!listed.empty() && line.empty())
            break;
    }
    return listed;
}

// The man page's entries of options with a value (".BI \-\-listen " ADDR" : PORT") in
// its section of options (`options`, in the page's language), and the option names of
// its synopsis.
std::vector<Listed> InManPage(const std::string& page, std::vector<std::string>& synopsis, const std::string& options) {
    std::vector<Listed> listed;
    std::string section;
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);) {
        line = std::regex_replace(line, std::regex("\\\\-"), "-");
        if (line.starts_with(".SH ")) {
            section = line.substr(4);
            continue;
        }
        std::smatch m;
        if ((section == "SYNOPSIS" || section == "書式") && std::regex_search(line, m, std::regex("^\\.RB \\[ (--[a-z-]+)")))
            synopsis.push_back(m[1]);
        if (section != options) continue;
        if (std::regex_match(line, m, std::regex("^\\.BI (--[a-z-]+) (.*)$"))) {
            listed.push_back({m[1], std::regex_replace(std::string(m[2]), std::regex("[\" ]"), ""), ""});
        } else if (line.starts_with(".TP")) {
            continue;
        } else if (!listed.empty()) {
            listed.back().text += " " + line;
        }
    }
    return listed;
}

// The rows of the table under "## Options" ("| `--listen ADDR:PORT` | 127.0.0.1:8080 | ...").
std::vector<Listed> InServerDoc(const std::string& doc) {
    std::vector<Listed> listed;
    static const std::regex row("^\\| `(--[a-z-]+) ([A-Z:]+)` \\| ([^|]*) \\|.*$");
    std::istringstream lines(doc);
    bool options = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("## ")) options = line == "## Options";
        std::smatch m;
        if (options && std::regex_match(line, m, row)) listed.push_back({m[1], m[2], "default " + m[3].str()});
    }
    return listed;
}

// Each listed option is the table's, in its order, with its value, and its text says
// `word` and the default (`defaults`, in the text's language) with nothing after it but a
// mark.
void ExpectTheTable(const std::vector<Listed>& listed, const std::string& where, const DefaultWord& says,
                    const std::vector<std::string>& defaults) {
    const std::vector<ServerOption>& table = ServerOptions();
    ASSERT_EQ(listed.size(), table.size()) << where;
    ASSERT_EQ(defaults.size(), table.size()) << where;
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(listed[i].name, table[i].name) << where;
        EXPECT_EQ(listed[i].value, table[i].value) << where << " " << table[i].name;
        const std::string text = Squeezed(listed[i].text, says.spaced);
        const std::string shown =
            std::regex_replace(Squeezed(says.word + " " + defaults[i], says.spaced), std::regex("[.*+?()\\[\\]]"), "\\$&");
        EXPECT_TRUE(std::regex_search(text, std::regex(shown + "($|[^0-9A-Za-z])")))
            << where << " " << table[i].name << " does not say '" << says.word << " " << defaults[i] << "': " << text;
    }
}

// The default of each option of a help, in its language: what follows the last `word`.
std::vector<std::string> DefaultsOf(const std::vector<Listed>& help, const DefaultWord& says) {
    std::vector<std::string> defaults;
    for (const Listed& row : help) {
        const std::string text = Squeezed(row.text, says.spaced);
        const std::size_t at = text.rfind(says.word);
        defaults.push_back(at == std::string::npos ? "" : Squeezed(text.substr(at + says.word.size()), says.spaced));
    }
    return defaults;
}

TEST(ServerCommandLine, HelpManPagesAndDocumentListTheTable) {
    std::vector<std::string> names, defaults;
    for (const ServerOption& option : ServerOptions()) {
        names.push_back(option.name);
        defaults.push_back(option.defaultValue);
    }
    const DefaultWord english{"default"}, japanese{"既定は", false};
    const test::ProcessResult help = test::RunProcess({QUARVEL_SERVER_PATH, "--help"});
    ASSERT_EQ(help.exit_code, 0);
    ExpectTheTable(InHelp(help.out), "--help", english, defaults);
    std::vector<std::string> synopsis;
    ExpectTheTable(InManPage(test::ReadFile(QUARVEL_SOURCE_DIR "/res/man/quarvel-server.1"), synopsis, "OPTIONS"),
                   "res/man/quarvel-server.1", english, defaults);
    EXPECT_EQ(synopsis, names) << "the man page's synopsis";
    ExpectTheTable(InServerDoc(test::ReadFile(QUARVEL_SOURCE_DIR "/docs/SERVER.md")), "docs/SERVER.md", english, defaults);

    // The Japanese page against the Japanese help.
    const test::ProcessResult inJapanese =
        test::RunProcess({QUARVEL_SERVER_PATH, "--help"}, {}, {"LC_ALL=ja_JP.UTF-8", "LANGUAGE="});
    ASSERT_EQ(inJapanese.exit_code, 0);
    const std::vector<Listed> japaneseHelp = InHelp(inJapanese.out);
    const std::vector<std::string> japaneseDefaults = DefaultsOf(japaneseHelp, japanese);
    ExpectTheTable(japaneseHelp, "the Japanese --help", japanese, japaneseDefaults);
    synopsis.clear();
    ExpectTheTable(InManPage(test::ReadFile(QUARVEL_SOURCE_DIR "/res/man/ja/quarvel-server.1"), synopsis, "オプション"),
                   "res/man/ja/quarvel-server.1", japanese, japaneseDefaults);
    EXPECT_EQ(synopsis, names) << "the Japanese man page's synopsis";
}

}  // namespace
}  // namespace quarvel
