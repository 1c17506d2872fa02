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

// Runs of white space as one space.
std::string Squeezed(const std::string& text) { return std::regex_replace(text, std::regex("\\s+"), " "); }

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
// its OPTIONS section, and the option names of its synopsis.
std::vector<Listed> InManPage(const std::string& page, std::vector<std::string>& synopsis) {
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
        if (section == "SYNOPSIS" && std::regex_search(line, m, std::regex("^\\.RB \\[ (--[a-z-]+)")))
            synopsis.push_back(m[1]);
        if (section != "OPTIONS") continue;
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

void ExpectTheTable(const std::vector<Listed>& listed, const std::string& where) {
    const std::vector<ServerOption>& table = ServerOptions();
    ASSERT_EQ(listed.size(), table.size()) << where;
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(listed[i].name, table[i].name) << where;
        EXPECT_EQ(listed[i].value, table[i].value) << where << " " << table[i].name;
        const std::string text = Squeezed(listed[i].text);
        const std::string shown = std::regex_replace(table[i].defaultValue, std::regex("[.*+?()\\[\\]]"), "\\$&");
        EXPECT_TRUE(std::regex_search(text, std::regex("default " + shown + "($|[^0-9A-Za-z])")))
            << where << " " << table[i].name << " does not say 'default " << table[i].defaultValue << "': " << text;
    }
}

TEST(ServerCommandLine, HelpManPageAndDocumentListTheTable) {
    const test::ProcessResult help = test::RunProcess({QUARVEL_SERVER_PATH, "--help"});
    ASSERT_EQ(help.exit_code, 0);
    ExpectTheTable(InHelp(help.out), "--help");
    std::vector<std::string> synopsis;
    ExpectTheTable(InManPage(test::ReadFile(QUARVEL_SOURCE_DIR "/res/man/quarvel-server.1"), synopsis),
                   "res/man/quarvel-server.1");
    std::vector<std::string> names;
    for (const ServerOption& option : ServerOptions()) names.push_back(option.name);
    EXPECT_EQ(synopsis, names) << "the man page's synopsis";
    ExpectTheTable(InServerDoc(test::ReadFile(QUARVEL_SOURCE_DIR "/docs/SERVER.md")), "docs/SERVER.md");
}

}  // namespace
}  // namespace quarvel
