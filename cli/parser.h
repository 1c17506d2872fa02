#pragma once
// The command line of quarvel-cli as one table: each command's CLI11 app with its
// options, the record they fill and the function that runs it. The parser, the help,
// the usage errors, the man page and the bash completion are all read from it.

#include <CLI/CLI.hpp>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cmdline/completion.h"

namespace quarvel::cli {

// What the value of an option or an operand is, for the completion and the man page.
using cmdline::ValueKind;

struct Command {
    CLI::App* app;
    std::function<int()> run;
    std::string exitStatus;  // the exit statuses of the command, in words
    std::string oneOperand;  // said of a second operand where one is taken
};

class CommandLine {
public:
    // The whole table, or, when `command` names one of the drawing commands, that
    // command alone: a run of one command need not build the others' options.
    explicit CommandLine(std::string_view command = {});
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Parses the command line and runs the command; returns the exit status.
    int Run(int argc, char** argv);

    const CLI::App& App() const { return app_; }
    const std::vector<Command>& Commands() const { return commands_; }
    // What an option with a value, or an operand, takes.
    ValueKind ValueOf(const CLI::Option* option) const;
    // The help as `help COMMAND` prints it (the program's own for null).
    std::string Help(const CLI::App* command) const;

private:
    struct OptionNote {
        const CLI::Option* option;
        ValueKind value;
        std::string whenMissing;  // a required one's message when it is not given
    };

    CLI::Option* Note(CLI::Option* option, ValueKind value, std::string whenMissing = {});
    void AddCommand(CLI::App* app, std::string exitStatus, std::string oneOperand, std::function<int()> run);
    void AddLookOptions(CLI::App& app, LookOptions& look);
    void AddJobsOption(CLI::App& app, std::optional<int>& jobs);
    void AddLockWaitOption(CLI::App& app, std::chrono::milliseconds& wait);
    // The text operand, then --html, --line-breaks and --encoding: text read as render
    // reads it.
    void AddTextOperand(CLI::App& app, std::string& input);
    void AddTextForm(CLI::App& app, bool& html, bool& lineBreaks, render::TextEncoding& encoding);
    void AddRender();
    void AddMeasure();
    void AddPad();
    void AddPieces();
    void AddThumbnail();
    void AddConvertOperand(CLI::App& app, Mode mode);
    void AddCodeAndSeparators(CLI::App& app);
    void AddConvert(Mode mode);
    void AddRestore(Mode mode);
    void AddHelp();
    std::string UsageMessage(const CLI::Error& error) const;
    const CLI::App* ParsedCommand() const;

    CLI::App app_;
    RenderOptions render_;
    PiecesOptions pieces_;
    ThumbnailOptions thumbnail_;
    ConvertOptions convert_;
    RestoreOptions restore_;
    ArtTextOptions artText_;
    std::string topic_;
    std::string lastWord_;  // of the command line being parsed
    std::vector<Command> commands_;
    std::vector<OptionNote> notes_;
};

}  // namespace quarvel::cli
