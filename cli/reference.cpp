// quarvel-cli-reference: writes the man page and the bash, zsh and fish completion of
// quarvel-cli from the program's own table of commands (cli/parser.cpp) and the texts
// around it, so that none can drift from the program. The build runs it:
//   quarvel-cli-reference MAN-PAGE.in MAN-PAGE COMPLETION.in COMPLETION ZSH-COMPLETION FISH-COMPLETION
// In the man page's text, the lines @SYNOPSIS@, @COMMAND name@ (one per command),
// @OPTIONS@ and @EXIT STATUS@ become what the table says, and @VERSION@ the version;
// in the completion's text, the line @TABLES@ becomes the commands, their options and
// what each option's value is. A command without its @COMMAND@ line, a line for no
// command, or an option named in the text that no command has, fails with the reason.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "cli/parser.h"
#include "cmdline/completion.h"
#include "cmdline/help.h"
#include "engine/collection.h"
#include "platform/fs_walk.h"
#include "platform/language.h"

namespace quarvel::cli {

using cmdline::TakesValue;
using cmdline::UsageName;
using cmdline::UsageOf;
using cmdline::UsageWord;

namespace {

class Disagreement : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Disagreement(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw Disagreement(path + ": cannot be written");
}

// Text as roff: a backslash is \e; a word that begins with '-' (an option, or "-"
// alone) has each of its '-' as \-, the others stay hyphens; a line that would begin
// with a control character begins with \&.
std::string Roff(std::string_view text) {
    std::string out;
    bool option = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char before = i == 0 ? ' ' : text[i - 1];
        if (c == ' ') option = false;
        if (c == '-' && (before == ' ' || before == '(' || before == '"' || before == '\'')) option = true;
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && option)
            out += "\\-";
        else
            out += c;
    }
    if (out.starts_with(".") || out.starts_with("'")) out = "\\&" + out;
    return out;
}

// A summary or a description as a sentence: a capital, a full stop ("。" in Japanese).
std::string Sentence(std::string text) {
    if (text.empty()) return text;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    const bool japanese = std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0xE3 && static_cast<unsigned char>(c) <= 0xE9;
    });
    if (japanese && !text.ends_with("。"))
        text += "。";
    else if (!japanese && text.back() != '.')
        text += '.';
    return text;
}

std::string Bold(std::string_view text) { return "\\fB" + Roff(text) + "\\fR"; }
std::string Italic(std::string_view text) { return "\\fI" + Roff(text) + "\\fR"; }
// A word of names and values, never hyphenated.
std::string Word(const std::string& roff) { return "\\%" + roff; }

// An option's names as typed: "-o", "--output".
std::vector<std::string> Spellings(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& name : option.get_snames()) names.push_back("-" + name);
    for (const std::string& name : option.get_lnames()) names.push_back("--" + name);
    return names;
}

std::string Joined(const std::vector<std::string>& words, const std::string& separator) {
    std::string out;
    for (const std::string& word : words) out += (out.empty() ? "" : separator) + word;
    return out;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

class Reference {
public:
    explicit Reference(const CommandLine& table) : table_(table) {}

    std::string ManPage(const std::string& text) const;
    std::string Completion(const std::string& text) const;

private:
    // What an option takes, as roff: the words of a set in bold, "-" in bold, the
    // rest in italics ("OUT.png|-").
    std::string Value(const CLI::Option& option) const {
        const bool words = table_.ValueOf(&option).type == ValueKind::Type::word;
        std::string out;
        for (const std::string& part : SplitAt(option.get_type_name(), '|')) {
            if (!out.empty()) out += '|';
            out += words || part == "-" ? Bold(part) : Italic(part);
        }
        return out;
    }
    std::string UsageLine(const CLI::App& command) const {
        std::string line;
        for (const UsageWord& word : UsageOf(command)) {
            std::string text = !word.option ? Italic("OPTIONS")
                               : word.option->get_positional()
                                   ? Value(*word.option)
                                   : Bold(UsageName(*word.option)) + "\\~" + Value(*word.option);
            line += (line.empty() ? "" : " ") + Word(word.optional ? "[" + text + "]" : text);
        }
        return line;
    }
    // "\fB\-o\fR, \fB\-\-output\fR \fIOUT.png\fR|\fB\-\fR"
    std::string Heading(const CLI::Option& option) const {
        std::vector<std::string> names;
        for (const std::string& name : Spellings(option)) names.push_back(Word(Bold(name)));
        return Joined(names, ", ") + (TakesValue(option) ? " " + Word(Value(option)) : "");
    }
    std::string Synopsis() const;
    std::string CommandEntry(const CLI::App& command) const;
    std::string Options() const;
    std::string ExitStatus() const;
    void CheckOptionsNamed(const std::string& text) const;
    const Command* Find(const std::string& name) const {
        for (const Command& command : table_.Commands())
            if (command.app->get_name() == name) return &command;
        return nullptr;
    }

    const CommandLine& table_;
};

std::string Reference::Synopsis() const {
    std::string out;
    for (const Command& command : table_.Commands())
        out += ".SY quarvel\\-cli\n" + Bold(command.app->get_name()) + "\n" + UsageLine(*command.app) + "\n.YS\n";
    const CLI::App& main = table_.App();
    if (const CLI::Option* help = main.get_help_ptr())
        out += ".SY quarvel\\-cli\n" + Italic("COMMAND") + "\n" + Bold("--" + help->get_lnames().front()) + "\n.YS\n";
    for (const CLI::Option* option : main.get_options())
        out += ".SY quarvel\\-cli\n" + Bold("--" + option->get_lnames().front()) + "\n.YS\n";
    return out;
}

// The command, its usage and summary; each operand with its description. The text's
// own paragraphs about the command follow.
std::string Reference::CommandEntry(const CLI::App& command) const {
    std::string out = ".TP\n" + Bold(command.get_name()) + " " + UsageLine(command) + "\n" +
                      Roff(Sentence(command.get_description())) + "\n";
    for (const CLI::Option* option : command.get_options())
        if (option->get_positional())
            out += ".IP\n" + Value(*option) + ": " + Roff(Sentence(option->get_description())) + "\n";
    return out + ".IP\n";
}

// The options, in groups of the commands that share them word for word: "Options of
// render", "Options of every command", ... in the order they first appear.
std::string Reference::Options() const {
    struct Group {
        std::vector<std::string> commands;
        std::vector<const CLI::Option*> options;
    };
    std::vector<std::pair<std::string, std::vector<std::string>>> owners;  // option's text, its commands
    std::map<std::string, const CLI::Option*> first;
    std::vector<std::string> commandsWithOptions;
    for (const Command& command : table_.Commands()) {
        bool any = false;
        for (const CLI::Option* option : command.app->get_options()) {
            if (option->get_positional() || option == command.app->get_help_ptr()) continue;
            any = true;
            const std::string key =
                option->get_name(false, true) + "\n" + option->get_type_name() + "\n" + option->get_description();
            auto owner = std::find_if(owners.begin(), owners.end(), [&](const auto& o) { return o.first == key; });
            if (owner == owners.end()) {
                owners.push_back({key, {}});
                owner = owners.end() - 1;
                first[key] = option;
            }
            owner->second.push_back(command.app->get_name());
        }
        if (any) commandsWithOptions.push_back(command.app->get_name());
    }
    std::vector<Group> groups;
    for (const auto& owner : owners) {
        const std::string& key = owner.first;
        const auto& commands = owner.second;
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.commands == commands; });
        if (group == groups.end()) {
            groups.push_back({commands, {}});
            group = groups.end() - 1;
        }
        group->options.push_back(first[key]);
    }
    std::string out;
    for (const Group& group : groups) {
        std::string names;
        for (std::size_t i = 0; i < group.commands.size(); ++i)
            names += (i == 0 ? "" : i + 1 == group.commands.size() ? _(" and ") : _(", ")) + group.commands[i];
        out +=
            ".SS \"" +
            platform::Fill(_("Options of {1}"), {group.commands == commandsWithOptions ? _("every command") : names}) +
            "\"\n";
        for (const CLI::Option* option : group.options)
            out += ".TP\n" + Heading(*option) + "\n" + Roff(Sentence(option->get_description())) + "\n";
    }
    return out;
}

std::string Reference::ExitStatus() const {
    std::string out;
    for (const Command& command : table_.Commands())
        out += ".TP\n" + Bold(command.app->get_name()) + "\n" + Roff(Sentence(command.exitStatus)) + "\n";
    return out;
}

// Every option the text names (as \-\-name) is one the program has.
void Reference::CheckOptionsNamed(const std::string& text) const {
    std::set<std::string> known;
    const auto add = [&](const CLI::App& app) {
        for (const CLI::Option* option : app.get_options())
            for (const std::string& name : option->get_lnames()) known.insert(name);
    };
    add(table_.App());
    for (const Command& command : table_.Commands()) add(*command.app);
    const std::string mark = "\\-\\-";
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
        std::string name;
        std::size_t i = at + mark.size();
        while (i < text.size()) {
            if (std::islower(static_cast<unsigned char>(text[i])) ||
                std::isdigit(static_cast<unsigned char>(text[i]))) {
                name += text[i++];
            } else if (text.compare(i, 2, "\\-") == 0 && i + 2 < text.size() &&
                       std::islower(static_cast<unsigned char>(text[i + 2]))) {
                name += '-';
                i += 2;
            } else {
                break;
            }
        }
        if (!name.empty() && !known.contains(name))
            throw Disagreement("the man page's text names --" + name + ", which no command has");
    }
}

std::string Reference::ManPage(const std::string& text) const {
    CheckOptionsNamed(text);
    std::string out;
    std::set<std::string> described;
    for (std::string line : SplitAt(text, '\n')) {
        if (line == "@SYNOPSIS@") {
            out += Synopsis();
        } else if (line == "@OPTIONS@") {
            out += Options();
        } else if (line == "@EXIT STATUS@") {
            out += ExitStatus();
        } else if (line.starts_with("@COMMAND ") && line.ends_with("@")) {
            const std::string name = line.substr(9, line.size() - 10);
            const Command* command = Find(name);
            if (!command)
                throw Disagreement("the man page's text describes a command '" + name + "' the program lacks");
            if (!described.insert(name).second) throw Disagreement("the man page's text describes " + name + " twice");
            out += CommandEntry(*command->app);
        } else if (line.starts_with(".\\\"")) {
            continue;  // the text's own comments are about the text
        } else {
            // The version, and the limits as the program holds them.
            const std::pair<std::string_view, std::string> values[] = {
                {"@VERSION@", QUARVEL_VERSION},
                {"@MAX WALK DEPTH@", std::to_string(platform::fs::kMaxWalkDepth)},
                {"@MAX COLLECTION MB@", std::to_string(engine::kMaxCollectionBytes >> 20)},
                {"@MAX DRAWN LINE KIB@", std::to_string(engine::kMaxDrawnLineBytes >> 10)},
                {"@LABEL CHARACTERS@", std::to_string(engine::kLabelCharacters)},
            };
            for (const auto& [name, value] : values)
                for (std::size_t at = line.find(name); at != std::string::npos; at = line.find(name))
                    line.replace(at, name.size(), value);
            if (line.find('@') != std::string::npos && line.find("@") != line.rfind("@"))
                throw Disagreement("the man page's text has a line the table cannot fill: " + line);
            out += line + "\n";
        }
    }
    for (const Command& command : table_.Commands())
        if (!described.contains(command.app->get_name()))
            throw Disagreement("the man page's text has no @COMMAND " + command.app->get_name() + "@ line");
    return ".\\\" -*- coding: UTF-8 -*-\n"
           ".\\\" Written by the build from res/man/quarvel-cli.1.in and the program's table of commands.\n" +
           out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string Reference::Completion(const std::string& text) const {
    std::vector<std::string> commands, mainNames;
    for (const CLI::Option* option : table_.App().get_options())
        for (const std::string& name : Spellings(*option)) mainNames.push_back(name);
    std::string options = "    '') echo " + Quoted(Joined(mainNames, " ")) + " ;;\n", values;
    for (const Command& command : table_.Commands()) {
        const std::string name = command.app->get_name();
        commands.push_back(name);
        std::vector<std::string> names;
        bool operands = false;
        for (const CLI::Option* option : command.app->get_options()) {
            std::vector<std::string> patterns;
            if (option->get_positional()) {
                operands = true;
                patterns.push_back(Quoted(name + " "));
            } else {
                for (const std::string& spelled : Spellings(*option)) {
                    names.push_back(spelled);
                    patterns.push_back(Quoted(name + " " + spelled));
                }
                if (!TakesValue(*option)) continue;  // a flag takes nothing
            }
            const ValueKind kind = table_.ValueOf(option);
            std::string what = kind.type == ValueKind::Type::word     ? "words"
                               : kind.type == ValueKind::Type::file   ? "files"
                               : kind.type == ValueKind::Type::folder ? "folders"
                                                                      : "text";
            for (const std::string& word : kind.words) what += " " + word;
            values += "    " + Joined(patterns, " | ") + ") echo " + Quoted(what) + " ;;\n";
        }
        if (operands) names.push_back("--");  // the end of the options
        options += "    " + name + ") echo " + Quoted(Joined(names, " ")) + " ;;\n";
    }
    const std::string tables =
        "# Written by the build from the program's table of commands.\n"
        "_quarvel_cli_commands() {\n    echo " +
        Quoted(Joined(commands, " ")) +
        "\n}\n\n"
        "# The options of a command; of the program itself for ''.\n"
        "_quarvel_cli_options() {\n    case $1 in\n" +
        options +
        "    esac\n}\n\n"
        "# What the value of an option of a command is, or (for the option '') its operands:\n"
        "# words W..., files (with the extensions given), folders, text; nothing for a flag.\n"
        "_quarvel_cli_value() {\n    case \"$1 $2\" in\n" +
        values + "    esac\n}";
    std::string out;
    bool filled = false;
    for (const std::string& line : SplitAt(text, '\n')) {
        if (line == "@TABLES@") {
            out += tables + "\n";
            filled = true;
        } else {
            out += line + "\n";
        }
    }
    if (!filled) throw Disagreement("the completion's text has no @TABLES@ line");
    return out;
}

}  // namespace
}  // namespace quarvel::cli

int main(int argc, char** argv) {
    if (argc != 7 && argc != 3) {
        std::fputs(
            "usage: quarvel-cli-reference MAN-PAGE.in MAN-PAGE [COMPLETION.in COMPLETION ZSH-COMPLETION "
            "FISH-COMPLETION]\n",
            stderr);
        return 2;
    }
    try {
        // The man page alone is written in the locale's language (the English one from
        // the table's own texts, without reading any catalogue).
        if (argc == 3) {
            quarvel::platform::SetUpLanguage("quarvel-cli");
            const quarvel::cli::CommandLine table;
            const quarvel::cli::Reference reference(table);
            quarvel::cli::WriteText(argv[2], reference.ManPage(quarvel::cli::ReadText(argv[1])));
            return 0;
        }
        const quarvel::cli::CommandLine table;
        const quarvel::cli::Reference reference(table);
        quarvel::cli::WriteText(argv[2], reference.ManPage(quarvel::cli::ReadText(argv[1])));
        quarvel::cli::WriteText(argv[4], reference.Completion(quarvel::cli::ReadText(argv[3])));
        const quarvel::cmdline::CompletionTable completion = quarvel::cmdline::CompletionTableOf(
            "quarvel-cli", table.App(), [&table](const CLI::Option* option) { return table.ValueOf(option); });
        quarvel::cli::WriteText(argv[5], quarvel::cmdline::ZshCompletion(completion));
        quarvel::cli::WriteText(argv[6], quarvel::cmdline::FishCompletion(completion));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quarvel-cli-reference: %s\n", e.what());
        return 1;
    }
    return 0;
}
