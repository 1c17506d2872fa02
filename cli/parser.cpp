#include "cli/parser.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <optional>
#include <utility>

#include "cmdline/checks.h"
#include "cmdline/help.h"
#include "cmdline/text.h"
#include "cmdline/usage.h"
#include "render/look_options.h"
#include "render/text_art.h"

namespace quarvel::cli {

using cmdline::AddChoice;
using cmdline::Arguments;
using cmdline::BadUsage;
using cmdline::Check;
using cmdline::DidYouMean;
using cmdline::HelpFormatter;
using cmdline::JoinWords;
using cmdline::Leftover;
using cmdline::Needs;
using cmdline::OptionNames;
using cmdline::ValueProblem;

using engine::DocumentCode;

using render::kMaxMargin;
using render::kMaxTextBytes;
using render::TextEncoding;
namespace look_options = render::look_options;

namespace {

constexpr const char* kProgram = "quarvel-cli";

// A file name given to -o: the '=' of `-o=x.png` is not part of it.
std::string OutputProblem(const std::string& value) {
    if (!value.starts_with("=")) return {};
    const std::string name = value.substr(1);
    return "option --output needs a file name, not '" + value + "': write -o " + name + " or --output=" + name;
}

// "--NAME" of an option whose name the core gives.
std::string Flag(std::string_view name) { return "--" + std::string(name); }

std::string RenderExit() {
    return "0 done (warnings, if any, on standard error), 1 the text could not be read or is no text, the picture "
           "could not be written, the text is larger than " +
           std::to_string(kMaxTextBytes >> 20) + " MB or memory ran out, 2 bad usage, 130 stopped by Ctrl+C.";
}

// A file name whose extension says another kind of picture than the PNG file it would be.
bool IsOtherPictureName(const std::string& path) {
    std::string extension = path.substr(std::min(path.size(), path.find_last_of('.') + 1));
    if (path.find_last_of('.') == std::string::npos || extension.find('/') != std::string::npos) return false;
    for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    for (const char* other : {"jpg", "jpeg", "gif", "bmp", "webp", "tif", "tiff", "svg", "avif", "heic"})
        if (extension == other) return true;
    return false;
}

}  // namespace

CommandLine::CommandLine(std::string_view command)
    : app_(
          "Draws Japanese text art into PNG pictures exactly as \"ＭＳ Ｐゴシック\" lays it out: typed text with "
          "render, every piece of a template collection with render-pieces, the marked stretches of HTML "
          "documents in place with convert and convert-folder. `quarvel-cli help COMMAND` tells each "
          "command's options.",
          kProgram) {
    app_.formatter(std::make_shared<HelpFormatter>());
    app_.set_help_flag("-h,--help", "show this help and exit");
    app_.set_version_flag("--version", std::string(kProgram) + " " + QUARVEL_VERSION,
                          "show the program's name and version and exit");
    // One command; after it, a word named like a command is an operand.
    app_.require_subcommand(1);
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.failure_message([this](const CLI::App*, const CLI::Error& error) { return UsageMessage(error); });
    // The drawing commands in the order the help lists them; help comes last, naming them.
    const std::pair<std::string_view, std::function<void()>> drawing[] = {
        {"render", [this] { AddRender(); }},
        {"render-pieces", [this] { AddPieces(); }},
        {"convert", [this] { AddConvert(Mode::file); }},
        {"convert-folder", [this] { AddConvert(Mode::folder); }},
        {"restore", [this] { AddRestore(Mode::file); }},
        {"restore-folder", [this] { AddRestore(Mode::folder); }},
    };
    const auto named =
        std::find_if(std::begin(drawing), std::end(drawing), [&](const auto& entry) { return entry.first == command; });
    if (named != std::end(drawing)) {
        named->second();
    } else {
        for (const auto& [name, add] : drawing) add();
        AddHelp();
    }
    app_.footer(
        "Exit status: 0 done, 1 failed, 2 bad usage, 130 stopped by Ctrl+C; `quarvel-cli help COMMAND` tells each "
        "command's.");
}

CLI::Option* CommandLine::Note(CLI::Option* option, ValueKind value, std::string whenMissing) {
    if (!whenMissing.empty()) option->required();
    notes_.push_back({option, std::move(value), std::move(whenMissing)});
    return option;
}

ValueKind CommandLine::ValueOf(const CLI::Option* option) const {
    for (const OptionNote& note : notes_)
        if (note.option == option) return note.value;
    return {};
}

void CommandLine::AddCommand(CLI::App* app, std::string exitStatus, std::string oneOperand, std::function<int()> run) {
    app->group("Commands");
    app->footer("Exit status: " + exitStatus);
    commands_.push_back({app, std::move(run), std::move(exitStatus), std::move(oneOperand)});
}

void CommandLine::AddLookOptions(CLI::App& app, LookOptions& look) {
    for (auto [name, colour, what, fallback] :
         {std::tuple{Flag(look_options::kFore), &look.textColor, "text colour", "000000, black"},
          std::tuple{Flag(look_options::kBack), &look.backColor, "background colour", "FFFFFF, white"}}) {
        Note(app.add_option_function<std::string>(
                    name, [target = colour](const std::string& v) { *target = look_options::ParseColor(v); },
                    std::string(what) + " as in HTML, RRGGBB (FF0000 is red; a leading # is allowed); default " +
                        fallback)
                 ->type_name("RRGGBB")
                 ->check(Needs(name, std::string(look_options::kColorNeeds),
                               [](const std::string& v) { return look_options::ParseColor(v).has_value(); })),
             {});
    }
    const std::string margin = Flag(look_options::kMargin);
    app.add_option_function<std::string>(
           margin, [&look](const std::string& v) { look.margin = look_options::ParseMargin(v); },
           "blank pixels on every side, a number from 0 to " + std::to_string(kMaxMargin) + "; default 0")
        ->type_name("N")
        ->check(Needs(margin, look_options::MarginNeeds(),
                      [](const std::string& v) { return look_options::ParseMargin(v).has_value(); }));
    app.add_flag(Flag(look_options::kNoSpaceSim), look.noSpace,
                 "draw every half-width space; by default runs of them collapse to one and those at the start of a "
                 "line vanish, as a browser shows them");
    app.add_flag(Flag(look_options::kIndexed), look.indexed,
                 "write two-colour PNG files (a palette of the text and background colours, one when they are equal "
                 "or nothing is inked; one bit per pixel): the same pixels as the default 8-bit RGB files, two to "
                 "four times smaller and several times faster to write");
    Note(app.add_option(Flag(look_options::kFont), look.font,
                        "a font file whose glyph shapes replace Mona's (as $QUARVEL_FONT does); advances always "
                        "follow the original font")
             ->type_name("PATH"),
         {ValueKind::Type::file, {}});
}

// -j N, --jobs N: convert's and render-pieces'.
void CommandLine::AddJobsOption(CLI::App& app, std::optional<int>& jobs) {
    const std::string range = "a number from 1 to " + std::to_string(kMaxJobs);
    app.add_option_function<std::string>(
           "-j,--jobs", [&jobs](const std::string& v) { jobs = look_options::ParseWholeNumber(v, 1, kMaxJobs); },
           "pictures drawn at once, " + range + "; default one per core. The results are the same for any number")
        ->type_name("N")
        ->check(Needs("--jobs", "needs " + range,
                      [](const std::string& v) { return look_options::ParseWholeNumber(v, 1, kMaxJobs).has_value(); }));
}

void CommandLine::AddRender() {
    CLI::App& app = *app_.add_subcommand("render", "draw one piece of text art into one picture");
    RenderOptions& o = render_;
    Note(app.add_option("text-file", o.input,
                        "plain text art in UTF-8 or Shift-JIS (code page 932); - or none: standard input")
             ->type_name("TEXT-FILE|-"),
         {ValueKind::Type::file, {}});
    Note(app.add_option("-o,--output", o.output,
                        "the picture to write (required); - writes it to standard output, which must not be a "
                        "terminal")
             ->type_name("OUT.png|-")
             ->check(Check(OutputProblem)),
         {ValueKind::Type::file, {".png"}},
         "the picture's file name is missing: give -o OUT.png, or -o - for standard output");
    app.add_flag(Flag(look_options::kHtml), o.html,
                 "take the bytes as a document's marked stretch: <br> breaks lines, other tags are dropped, "
                 "character references are decoded");
    Note(AddChoice<TextEncoding>(
             app, Flag(look_options::kEncoding), [&o](TextEncoding e) { o.encoding = e; },
             {{"auto", TextEncoding::automatic},
              {"utf-8", TextEncoding::utf8},
              {"utf8", TextEncoding::utf8},
              {"cp932", TextEncoding::cp932},
              {"sjis", TextEncoding::cp932},
              {"shift-jis", TextEncoding::cp932}},
             {"auto", "utf-8", "cp932"},
             "how the text's bytes are read: auto (UTF-8 when they are), utf-8 (or utf8) or "
             "cp932 (or sjis, shift-jis); default auto"),
         {ValueKind::Type::word, {"auto", "utf-8", "cp932"}});
    AddLookOptions(app, o.look);
    // Checked once the command line is read, so that --help still shows the help.
    app.callback([&o] {
        if (o.output == "-" && ::isatty(STDOUT_FILENO))
            throw BadUsage("standard output is a terminal: send it to a file or a program (> OUT.png, | ...)");
        if (IsOtherPictureName(o.output))
            throw BadUsage("-o " + o.output + ": the picture is a PNG file whatever its name; name it .png");
    });
    AddCommand(&app, RenderExit(), "only one text file can be drawn at a time", [this] { return RunRender(render_); });
}

void CommandLine::AddPieces() {
    CLI::App& app = *app_.add_subcommand(
        "render-pieces", "draw every piece of a template collection into a folder, with a page of them");
    PiecesOptions& o = pieces_;
    Note(app.add_option("file", o.input,
                        "a template collection: .mlt (pieces between lines [SPLIT]) or .ast (each piece headed "
                        "by [AA][name]), Shift-JIS (code page 932) or UTF-8; -: standard input")
             ->type_name("FILE.mlt|FILE.ast|-"),
         {ValueKind::Type::file, {".mlt", ".ast"}},
         "the collection is missing: render-pieces FILE.mlt|FILE.ast -o DIR");
    Note(app.add_option("-o,--output", o.output,
                        "the folder for the pictures 001.png, 002.png, ... and index.html (required; made when "
                        "missing)")
             ->type_name("DIR")
             ->check(Check(OutputProblem))
             ->check(Check([](const std::string& value) -> std::string {
                 if (value != "-") return {};
                 return "render-pieces writes a folder, so '-' (standard output) cannot be one; ./- names a "
                        "folder called -";
             })),
         {ValueKind::Type::folder, {}}, "the pictures' folder is missing: give -o DIR");
    AddLookOptions(app, o.look);
    AddJobsOption(app, o.jobs);
    AddCommand(&app,
               "0 done (warnings, if any, on standard error), 1 the file could not be read or is no text, a "
               "picture, the folder or the page could not be made or written, or memory ran out, 2 bad usage, 130 "
               "stopped by Ctrl+C.",
               "only one collection can be drawn at a time", [this] { return RunRenderPieces(pieces_); });
}

void CommandLine::AddHelp() {
    CLI::App& app = *app_.add_subcommand("help", "show the help of a command and exit");
    std::vector<std::string> names;
    for (const Command& command : commands_) names.push_back(command.app->get_name());
    names.push_back("help");
    Note(app.add_option("command", topic_, JoinWords(names, ", ", " or "))
             ->type_name("COMMAND")
             ->check(Check([names](const std::string& value) -> std::string {
                 if (std::find(names.begin(), names.end(), value) != names.end()) return {};
                 return "no command '" + value + "'; the commands are " + JoinWords(names, ", ", " and ");
             })),
         {ValueKind::Type::word, names});
    AddCommand(&app, "0 done, 2 no such command.", "help takes one command", [this] {
        std::fputs(Help(topic_.empty() ? nullptr : app_.get_subcommand(topic_)).c_str(), stdout);
        return kExitOk;
    });
}

std::string CommandLine::Help(const CLI::App* command) const {
    const CLI::App& app = command ? *command : app_;
    const std::string name = command ? std::string(kProgram) + " " + command->get_name() : kProgram;
    return app.get_formatter()->make_help(&app, name, CLI::AppFormatMode::Normal);
}

const CLI::App* CommandLine::ParsedCommand() const {
    for (const Command& command : commands_)
        if (command.app->parsed()) return command.app;
    return nullptr;
}

// CLI11 says what went wrong in its words; this says it in ours, from what the parse
// left: the words nobody took, the required ones missing, the checks' own messages.
std::string CommandLine::UsageMessage(const CLI::Error& error) const {
    const CLI::App* command = ParsedCommand();
    const std::string name = command ? command->get_name() : std::string();
    auto said = [&](const std::string& message) { return UsageText(message, name); };

    // Words before the command: options go after it.
    if (const std::vector<std::string> before = app_.remaining(false); !before.empty()) {
        const std::string& word = before.front();
        if (word.size() > 1 && word[0] == '-') {
            const std::string option = word.substr(0, word.find('='));
            if (command && command->get_option_no_throw(option))
                return said("option " + option + " goes after the command " + name);
            return said("unknown option '" + word + "'");
        }
        std::vector<std::string> names;
        for (const Command& c : commands_) names.push_back(c.app->get_name());
        return said("unknown command '" + word + "'" + DidYouMean(word, names));
    }
    if (dynamic_cast<const BadUsage*>(&error)) return said(error.what());
    if (dynamic_cast<const CLI::ExtrasError*>(&error) && command) {
        for (const Command& c : commands_)
            if (c.app == command) return said(Leftover(command->remaining(), c.oneOperand, OptionNames(*command)));
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error)) {
        if (!command) {
            std::vector<std::string> names;
            for (const Command& c : commands_) names.push_back(c.app->get_name());
            return said("no command given: " + JoinWords(names, ", ", " or "));
        }
        for (const CLI::Option* option : command->get_options()) {
            if (!option->get_required() || option->count() > 0) continue;
            for (const OptionNote& note : notes_)
                if (note.option == option) return said(note.whenMissing);
        }
    }
    const CLI::App& scope = command ? *command : app_;
    if (std::string problem = ValueProblem(scope, error, lastWord_); !problem.empty()) return said(problem);
    return said(error.what());
}

int CommandLine::Run(int argc, char** argv) {
    lastWord_ = argc > 1 ? argv[argc - 1] : "";
    std::vector<std::string> words = Arguments(argc, argv);
    try {
        app_.parse(words);
    } catch (const CLI::ParseError& error) {
        // Help and version on standard output, exit 0; bad usage through UsageMessage.
        return app_.exit(error) == 0 ? kExitOk : kExitUsage;
    }
    for (const Command& command : commands_)
        if (command.app->parsed()) return command.run();
    return kExitUsage;  // not reached: CLI11 requires a command
}

int ParseAndRun(int argc, char** argv) {
    // Only the first word can name the command (options go after it).
    CommandLine commandLine(argc > 1 ? std::string_view(argv[1]) : std::string_view());
    return commandLine.Run(argc, argv);
}

}  // namespace quarvel::cli
