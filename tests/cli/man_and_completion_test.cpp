// quarvel-cli's man page and completion, written from its own table: every option known to
// both, and what the completion offers where the cursor is, in bash as a user types.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/parser.h"
#include "support/test_support.h"

namespace quarvel::test {
namespace {
// Runs bash with the completion loaded on `script`; what it prints.
std::string InBash(const std::string& script, const std::filesystem::path& folder = ".") {
    return RunProcess(
               {"/bin/bash", "-c", "cd \"$1\" && source \"$0\" && " + script, QUARVEL_CLI_COMPLETION, folder.string()})
        .out;
}

// The man page and the completion are written from the program's table: every option
// of every command, with its value and its whole description as the help gives them,
// is in the man page, and the completion offers it; the man page is clean for man.
TEST(UsageCli, ManPageAndCompletionKnowEveryOption) {
    const std::string source = ReadFile(QUARVEL_CLI_MAN_PAGE);
    ASSERT_FALSE(source.empty());
    // The page's text without its escapes, each paragraph's words one space apart.
    std::string man;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '\\' && i + 1 < source.size()) {
            const char c = source[++i];
            if (c == 'f') ++i;  // \fB, \fI, \fR
            if (c == '-') man += '-';
            if (c == 'e') man += '\\';
            if (c == '~') man += ' ';
            continue;
        }
        if (source[i] == '\n' || (source[i] == ' ' && !man.empty() && man.back() == ' ')) {
            if (!man.empty() && man.back() != ' ') man += ' ';
            continue;
        }
        man += source[i];
    }
    auto inMan = [&](const std::string& text) { return man.find(text) != std::string::npos; };
    int options = 0;
    // The program itself (""), then every command of its table.
    std::vector<std::string> commands{""};
    const cli::CommandLine table;
    for (const cli::Command& entry : table.Commands()) commands.push_back(entry.app->get_name());
    ASSERT_GT(commands.size(), 10u);
    for (const std::string& command : commands) {
        auto help = RunProcess(command.empty() ? std::vector<std::string>{QUARVEL_CLI_PATH, "--help"}
                                               : std::vector<std::string>{QUARVEL_CLI_PATH, "help", command});
        ASSERT_EQ(help.exit_code, 0) << command;
        std::string offered = InBash("_quarvel_cli_options '" + command + "'");
        offered = " " + offered.substr(0, offered.find('\n')) + " ";
        // Option lines begin "  -h,--help" or "  --margin N", their descriptions from
        // the 31st column, continued on lines that begin there.
        struct Entry {
            std::string names, value, description;
        };
        std::vector<Entry> entries;
        bool continued = false;
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("  -")) {
                std::string column = line.substr(2, 28);
                column.erase(column.find_last_not_of(' ') + 1);
                const std::size_t space = column.find(' ');
                entries.push_back({column.substr(0, space), space == std::string::npos ? "" : column.substr(space + 1),
                                   line.size() > 30 ? line.substr(30) : ""});
                continued = true;
            } else if (continued && line.starts_with(std::string(30, ' '))) {
                entries.back().description += " " + line.substr(30);
            } else {
                continued = false;
            }
        }
        for (const Entry& entry : entries) {
            ++options;
            std::string spelled;  // "-o, --output OUT.png|-", as the man page spells it
            std::istringstream names(entry.names);
            for (std::string name; std::getline(names, name, ',');) {
                EXPECT_NE(offered.find(" " + name + " "), std::string::npos) << name << " of '" << command << "'";
                spelled += (spelled.empty() ? "" : ", ") + name;
            }
            // The program's own options and the help's flag are told in the page's prose.
            if (command.empty() || entry.names == "-h,--help") continue;
            if (!entry.value.empty()) spelled += " " + entry.value;
            EXPECT_TRUE(inMan(spelled)) << spelled << " of '" << command << "' is not in the man page";
            EXPECT_TRUE(inMan(entry.description.substr(1))) << command << ": " << entry.description;
        }
        if (!command.empty()) {
            EXPECT_TRUE(inMan(".SY quarvel-cli " + command)) << command;
            EXPECT_NE((" " + InBash("_quarvel_cli_commands")).find(" " + command), std::string::npos) << command;
        }
    }
    EXPECT_GT(options, 30);

    // As scripts/check-package.sh reads it: no warning from man, groff or the macros.
    auto shown =
        RunProcess({"/usr/bin/man", "--warnings", "-l", QUARVEL_CLI_MAN_PAGE}, "", {"LC_ALL=C.UTF-8", "MANWIDTH=80"});
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_EQ(shown.err, "");
    EXPECT_NE(shown.out.find("quarvel-cli render [OPTIONS] [TEXT-FILE|-] -o OUT.png|-"), std::string::npos)
        << shown.out;
}

// What the completion offers where the cursor is: commands, a command's options, the
// words of an option that takes a set, the files or folders that a value or an
// operand names.
TEST(UsageCli, CompletionOffersWhatGoesWhereTheCursorIs) {
    TempDir dir;
    for (const char* name : {"a.png", "b.PNG", "c.txt", "s.ini", "x.mlt", "y.AST"}) WriteFile(dir / name, "");
    std::filesystem::create_directory(dir / "sub");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"conv"}, "convert convert-folder"},
        {{"-"}, "--help --version -h"},
        {{"render", "--enc"}, "--encoding"},
        {{"render", "--encoding", ""}, "auto cp932 utf-8"},
        {{"render", "--encoding", "=", "u"}, "utf-8"},  // --encoding=u, as bash splits it
        {{"render", "-o", ""}, "a.png b.PNG sub"},
        {{"render", "--margin", ""}, ""},
        {{"render", "--html", "c"}, "c.txt"},
        {{"render-pieces", ""}, "sub x.mlt y.AST"},
        {{"render-pieces", "-o", ""}, "sub"},
        {{"convert", "--code", ""}, "auto euc sjis utf8"},
        {{"convert", "--settings", ""}, "s.ini sub"},
        {{"convert", "--", "-"}, ""},  // after "--" no option
        {{"convert-folder", "--no-sub"}, "--no-subfolders"},
        {{"convert-folder", ""}, "sub"},
        {{"help", "render"}, "render render-pieces"},
    };
    for (const auto& [words, offered] : cases) {
        std::string line = "COMP_WORDS=(quarvel-cli";
        for (const std::string& word : words) line += " '" + word + "'";
        line += "); COMP_CWORD=" + std::to_string(words.size()) +
                "; _quarvel_cli; printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | paste -sd ' '";
        std::string out = InBash(line, dir.path());
        if (!out.empty() && out.back() == '\n') out.pop_back();
        EXPECT_EQ(out, offered) << testing::PrintToString(words);
    }
}

}  // namespace
}  // namespace quarvel::test
