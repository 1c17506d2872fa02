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
#include "engine/thumbnail.h"
#include "platform/language.h"
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
using platform::Fill;

namespace {

constexpr const char* kProgram = "quarvel-cli";

// A file name given to -o: the '=' of `-o=x.png` is not part of it.
std::string OutputProblem(const std::string& value) {
    if (!value.starts_with("=")) return {};
    const std::string name = value.substr(1);
    return Fill(_("option --output needs a file name, not '{1}': write -o {2} or --output={2}"), {value, name});
}

// "--NAME" of an option whose name the core gives.
std::string Flag(std::string_view name) { return "--" + std::string(name); }

std::string RenderExit() {
    return Fill(_("0 done (warnings, if any, on standard error), 1 the text could not be read or is no text, the "
                  "picture could not be written, the text is larger than {1} MB or memory ran out, 2 bad usage, 130 "
                  "stopped by Ctrl+C."),
                {std::to_string(kMaxTextBytes >> 20)});
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
    : app_(_("Draws Japanese text art into PNG pictures exactly as \"MS PGothic\" lays it out: typed text with "
             "render, every piece of a template collection with render-pieces, the marked stretches of HTML "
             "documents in place with convert and convert-folder. `quarvel-cli help COMMAND` tells each "
             "command's options."),
           kProgram) {
    app_.formatter(std::make_shared<HelpFormatter>());
    app_.option_defaults()->group(_("Options"));
    app_.set_help_flag("-h,--help", _("show this help and exit"));
    app_.set_version_flag("--version", std::string(kProgram) + " " + QUARVEL_VERSION,
                          _("show the program's name and version and exit"));
    // One command; after it, a word named like a command is an operand.
    app_.require_subcommand(1);
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.failure_message([this](const CLI::App*, const CLI::Error& error) { return UsageMessage(error); });
    // The drawing commands in the order the help lists them; help comes last, naming them.
    const std::pair<std::string_view, std::function<void()>> drawing[] = {
        {"render", [this] { AddRender(); }},
        {"render-pieces", [this] { AddPieces(); }},
        {"thumbnail", [this] { AddThumbnail(); }},
        {"convert", [this] { AddConvert(Mode::file); }},
        {"convert-folder", [this] { AddConvert(Mode::folder); }},
        {"restore", [this] { AddRestore(Mode::file); }},
        {"restore-folder", [this] { AddRestore(Mode::folder); }},
        {"measure", [this] { AddMeasure(); }},
        {"pad", [this] { AddPad(); }},
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
        _("Exit status: 0 done, 1 failed, 2 bad usage, 130 stopped by Ctrl+C; `quarvel-cli help COMMAND` tells each "
          "command's."));
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
    app->group(_("Commands"));
    if (CLI::Option* help = app->get_help_ptr()) help->group(_("Options"));
    app->footer(Fill(_("Exit status: {1}"), {exitStatus}));
    commands_.push_back({app, std::move(run), std::move(exitStatus), std::move(oneOperand)});
}

void CommandLine::AddLookOptions(CLI::App& app, LookOptions& look) {
    for (auto [name, colour, what, fallback] :
         {std::tuple{Flag(look_options::kFore), &look.textColor, _("text colour"), _("000000, black")},
          std::tuple{Flag(look_options::kBack), &look.backColor, _("background colour"),
                     _("FFFFFF, white; none: transparent (the text's pixels stay opaque)")}}) {
        const bool back = colour == &look.backColor;
        Note(app.add_option_function<std::string>(
                    name,
                    [target = colour, noBack = back ? &look.noBack : nullptr](const std::string& v) {
                        if (noBack) *noBack = look_options::IsNoBack(v);
                        if (!noBack || !*noBack) *target = look_options::ParseColor(v);
                    },
                    Fill(_("{1} as in HTML, RRGGBB (FF0000 is red; a leading # is allowed); default {2}"),
                         {what, fallback}))
                 ->type_name(back ? "RRGGBB|none" : "RRGGBB")
                 ->check(Needs(name, _(back ? look_options::kBackNeeds : look_options::kColorNeeds),
                               [back](const std::string& v) {
                                   return look_options::ParseColor(v).has_value() ||
                                          (back && look_options::IsNoBack(v));
                               })),
             {});
    }
    const std::string scale = Flag(look_options::kScale);
    app.add_option_function<std::string>(
           scale, [&look](const std::string& v) { look.scale = look_options::ParseScale(v); },
           Fill(_("each pixel of the picture as an N x N block, for screens of N device pixels per pixel: a number "
                  "from 1 to {1}; default 1. The layout and the limits of 1024 pixels and 50 lines are those of "
                  "scale 1"),
                {std::to_string(render::kMaxScale)}))
        ->type_name("N")
        ->check(Needs(scale, Fill(_("needs a number from {1} to {2}"), {"1", std::to_string(render::kMaxScale)}),
                      [](const std::string& v) { return look_options::ParseScale(v).has_value(); }));
    const std::string margin = Flag(look_options::kMargin);
    app.add_option_function<std::string>(
           margin, [&look](const std::string& v) { look.margin = look_options::ParseMargin(v); },
           Fill(_("blank pixels on every side, a number from 0 to {1}; default 0"), {std::to_string(kMaxMargin)}))
        ->type_name("N")
        ->check(Needs(margin, Fill(_("needs a number from {1} to {2}"), {"0", std::to_string(kMaxMargin)}),
                      [](const std::string& v) { return look_options::ParseMargin(v).has_value(); }));
    app.add_flag(Flag(look_options::kNoSpaceSim), look.noSpace,
                 _("draw every half-width space; by default runs of them collapse to one and those at the start of a "
                   "line vanish, as a browser shows them"));
    app.add_flag(Flag(look_options::kIndexed), look.indexed,
                 _("write two-colour PNG files (a palette of the text and background colours, one when they are equal "
                   "or nothing is inked; one bit per pixel): the same pixels as the default 8-bit RGB files, two to "
                   "four times smaller and several times faster to write"));
    Note(app.add_option(Flag(look_options::kFont), look.font,
                        _("a font file whose glyph shapes replace Mona's (as $QUARVEL_FONT does); advances always "
                          "follow the original font"))
             ->type_name("PATH"),
         {ValueKind::Type::file, {}});
}

// -j N, --jobs N: convert's and render-pieces'.
void CommandLine::AddJobsOption(CLI::App& app, std::optional<int>& jobs) {
    const std::string range = Fill(_("a number from {1} to {2}"), {"1", std::to_string(kMaxJobs)});
    app.add_option_function<std::string>(
           "-j,--jobs", [&jobs](const std::string& v) { jobs = look_options::ParseWholeNumber(v, 1, kMaxJobs); },
           Fill(_("pictures drawn at once, {1}; default one per core. The results are the same for any number"),
                {range}))
        ->type_name("N")
        ->check(Needs("--jobs", Fill(_("needs {1}"), {range}),
                      [](const std::string& v) { return look_options::ParseWholeNumber(v, 1, kMaxJobs).has_value(); }));
}

void CommandLine::AddTextOperand(CLI::App& app, std::string& input) {
    Note(app.add_option("text-file", input,
                        _("plain text art in UTF-8 or Shift-JIS (code page 932); - or none: standard input"))
             ->type_name("TEXT-FILE|-"),
         {ValueKind::Type::file, {}});
}

void CommandLine::AddTextForm(CLI::App& app, bool& html, bool& lineBreaks, TextEncoding& encoding) {
    app.add_flag(Flag(look_options::kHtml), html,
                 _("take the bytes as a document's marked stretch: <br> breaks lines, other tags are dropped, "
                   "character references are decoded"));
    app.add_flag("--line-breaks", lineBreaks,
                 _("with --html, line ends (CR LF, LF or CR) break lines too, as <br> does (art kept in <pre>); "
                   "one at the very start and one at the very end begin no line. Plain text always breaks at them"));
    Note(AddChoice<TextEncoding>(
             app, Flag(look_options::kEncoding), [&encoding](TextEncoding e) { encoding = e; },
             {{"auto", TextEncoding::automatic},
              {"utf-8", TextEncoding::utf8},
              {"utf8", TextEncoding::utf8},
              {"cp932", TextEncoding::cp932},
              {"sjis", TextEncoding::cp932},
              {"shift-jis", TextEncoding::cp932}},
             {"auto", "utf-8", "cp932"},
             _("how the text's bytes are read: auto (UTF-8 when they are), utf-8 (or utf8) or "
               "cp932 (or sjis, shift-jis); default auto")),
         {ValueKind::Type::word, {"auto", "utf-8", "cp932"}});
}

void CommandLine::AddRender() {
    CLI::App& app = *app_.add_subcommand("render", _("draw one piece of text art into one picture"));
    RenderOptions& o = render_;
    AddTextOperand(app, o.input);
    Note(app.add_option("-o,--output", o.output,
                        _("the picture to write (required); - writes it to standard output, which must not be a "
                          "terminal"))
             ->type_name("OUT.png|-")
             ->check(Check(OutputProblem)),
         {ValueKind::Type::file, {".png"}},
         _("the picture's file name is missing: give -o OUT.png, or -o - for standard output"));
    AddTextForm(app, o.html, o.lineBreaks, o.encoding);
    AddLookOptions(app, o.look);
    // Checked once the command line is read, so that --help still shows the help.
    app.callback([&o] {
        if (o.output == "-" && ::isatty(STDOUT_FILENO))
            throw BadUsage(_("standard output is a terminal: send it to a file or a program (> OUT.png, | ...)"));
        if (IsOtherPictureName(o.output))
            throw BadUsage(Fill(_("-o {1}: the picture is a PNG file whatever its name; name it .png"), {o.output}));
    });
    AddCommand(&app, RenderExit(), _("only one text file can be drawn at a time"),
               [this] { return RunRender(render_); });
}

void CommandLine::AddPieces() {
    CLI::App& app = *app_.add_subcommand(
        "render-pieces", _("draw every piece of a template collection into a folder, with a page of them"));
    PiecesOptions& o = pieces_;
    Note(app.add_option("file", o.input,
                        _("a template collection: .mlt (pieces between lines [SPLIT]) or .ast (each piece headed "
                          "by [AA][name]), Shift-JIS (code page 932) or UTF-8; -: standard input"))
             ->type_name("FILE.mlt|FILE.ast|-"),
         {ValueKind::Type::file, {".mlt", ".ast"}},
         _("the collection is missing: render-pieces FILE.mlt|FILE.ast -o DIR"));
    Note(app.add_option("-o,--output", o.output,
                        _("the folder for the pictures 001.png, 002.png, ... and index.html (required; made when "
                          "missing)"))
             ->type_name("DIR")
             ->check(Check(OutputProblem))
             ->check(Check([](const std::string& value) -> std::string {
                 if (value != "-") return {};
                 return _(
                     "render-pieces writes a folder, so '-' (standard output) cannot be one; ./- names a "
                     "folder called -");
             })),
         {ValueKind::Type::folder, {}}, _("the pictures' folder is missing: give -o DIR"));
    AddLookOptions(app, o.look);
    AddJobsOption(app, o.jobs);
    AddCommand(&app,
               _("0 done (warnings, if any, on standard error), 1 the file could not be read or is no text, a "
                 "picture, the folder or the page could not be made or written, or memory ran out, 2 bad usage, 130 "
                 "stopped by Ctrl+C."),
               _("only one collection can be drawn at a time"), [this] { return RunRenderPieces(pieces_); });
}

void CommandLine::AddThumbnail() {
    CLI::App& app = *app_.add_subcommand(
        "thumbnail", _("draw the first pieces of a template collection into one square picture, as file managers "
                       "show the collection"));
    ThumbnailOptions& o = thumbnail_;
    Note(app.add_option("file", o.input, _("a template collection, .mlt or .ast; -: standard input"))
             ->type_name("FILE.mlt|FILE.ast|-"),
         {ValueKind::Type::file, {".mlt", ".ast"}},
         _("the collection is missing: thumbnail FILE.mlt|FILE.ast -o OUT.png"));
    Note(app.add_option("-o,--output", o.output, _("the picture to write (required)"))
             ->type_name("OUT.png")
             ->check(Check(OutputProblem)),
         {ValueKind::Type::file, {".png"}}, _("the picture's file name is missing: give -o OUT.png"));
    const std::string range = Fill(_("a number from {1} to {2}"), {std::to_string(engine::kMinThumbnailSize),
                                                                   std::to_string(engine::kMaxThumbnailSize)});
    app.add_option_function<std::string>(
           "-s,--size",
           [&o](const std::string& v) {
               o.size = *look_options::ParseWholeNumber(v, engine::kMinThumbnailSize, engine::kMaxThumbnailSize);
           },
           Fill(_("the picture's width and height in pixels, {1}; default {2}"), {range, std::to_string(o.size)}))
        ->type_name("N")
        ->check(Needs("--size", Fill(_("needs {1}"), {range}), [](const std::string& v) {
            return look_options::ParseWholeNumber(v, engine::kMinThumbnailSize, engine::kMaxThumbnailSize).has_value();
        }));
    AddCommand(&app,
               _("0 done, 1 the file could not be read, is no text or holds no piece, or the picture could not be "
                 "written, 2 bad usage, 130 stopped by Ctrl+C."),
               _("only one collection can be drawn at a time"), [this] { return RunThumbnail(thumbnail_); });
}

void CommandLine::AddHelp() {
    CLI::App& app = *app_.add_subcommand("help", _("show the help of a command and exit"));
    std::vector<std::string> names;
    for (const Command& command : commands_) names.push_back(command.app->get_name());
    names.push_back("help");
    Note(app.add_option("command", topic_, JoinWords(names, ", ", " or "))
             ->type_name("COMMAND")
             ->check(Check([names](const std::string& value) -> std::string {
                 if (std::find(names.begin(), names.end(), value) != names.end()) return {};
                 return Fill(_("no command '{1}'; the commands are {2}"),
                             {value, JoinWords(names, _(", "), _(" and "))});
             })),
         {ValueKind::Type::word, names});
    AddCommand(&app, _("0 done, 2 no such command."), _("help takes one command"), [this] {
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
                return said(Fill(_("option {1} goes after the command {2}"), {option, name}));
            return said(Fill(_("unknown option '{1}'"), {word}));
        }
        std::vector<std::string> names;
        for (const Command& c : commands_) names.push_back(c.app->get_name());
        return said(Fill(_("unknown command '{1}'"), {word}) + DidYouMean(word, names));
    }
    // A word no option took is told before what it may have kept from being given.
    if (command) {
        if (std::string unknown = cmdline::UnknownOption(command->remaining(), OptionNames(*command)); !unknown.empty())
            return said(unknown);
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
            return said(Fill(_("no command given: {1}"), {JoinWords(names, _(", "), _(" or "))}));
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
