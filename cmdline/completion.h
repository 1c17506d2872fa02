#pragma once
// Shell completion written from a program's own table (its CLI11 app): the commands,
// their options, what each option's value and each operand is. Bash, zsh and fish
// each get a script of their own from the same table, so none can drift from the
// program.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace quarvel::cmdline {

// What the value of an option or an operand is, for the completion and the man page.
struct ValueKind {
    enum class Type { text, word, file, folder };
    Type type = Type::text;
    // word: the words it takes, as the help shows them; file: the extensions a file
    // has (".png"), none for any file.
    std::vector<std::string> words;
};

struct CompletionOption {
    std::vector<std::string> names;  // as typed: "-o", "--output"
    std::string summary;             // the help's first clause
    bool takesValue = false;
    bool repeats = false;   // given more than once, each counts
    std::string valueName;  // as the help names the value: "OUT.png|-"
    ValueKind value;        // what the value is, or the operands are
};

struct CompletionCommand {
    std::string name;  // empty: the program itself, without commands
    std::string summary;
    std::vector<CompletionOption> options;
    bool operands = false;  // takes operands, of the kind operand.value
    CompletionOption operand;
};

struct CompletionTable {
    std::string program;
    CompletionCommand main;                   // the options before any command
    std::vector<CompletionCommand> commands;  // none: the program has no commands
};

// The table of a CLI11 app and its subcommands; `kind` tells what an option's value,
// or an operand, is.
CompletionTable CompletionTableOf(const std::string& program, const CLI::App& app,
                                  const std::function<ValueKind(const CLI::Option*)>& kind);

// The first clause of a help text: up to its first ';', ':' or full stop (". ", not
// the dots of "...") outside parentheses, for a shell's one-line description.
std::string Summary(const std::string& help);

// The scripts, each whole: bash (for a program without commands; quarvel-cli's has a
// text of its own), zsh (#compdef) and fish.
std::string BashCompletion(const CompletionTable& table);
std::string ZshCompletion(const CompletionTable& table);
std::string FishCompletion(const CompletionTable& table);

}  // namespace quarvel::cmdline
