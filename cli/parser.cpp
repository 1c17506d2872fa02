// The command line of quarvel-cli: its commands and their options, the help texts,
// and the exit status and message of bad usage. CLI11 does the parsing; what it
// leaves (arguments nobody took, missing ones) is told here in words of our own.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include "cli/commands.h"
#include "render/look_options.h"
#include "render/text_art.h"

namespace quarvel::cli {
namespace {

constexpr const char* kProgram = "quarvel-cli";

std::string RenderExit() {
    return "Exit status: 0 done (warnings, if any, on standard error), 1 the text could not be read,\n"
           "the picture could not be written, the text is larger than " +
           std::to_string(kMaxTextBytes >> 20) + " MB or memory ran out,\n2 bad usage.";
}
constexpr const char* kPiecesExit =
    "Exit status: 0 done (warnings, if any, on standard error), 1 the file could not be read,\n"
    "a picture, the folder or the page could not be made or written, or memory ran out,\n"
    "2 bad usage.";
constexpr const char* kConvertExit =
    "Exit status: 0 done (warnings, if any, on standard error), 1 some document or folder\n"
    "failed (each message on standard error), 2 bad usage, 130 stopped by Ctrl+C.";

// A CLI11 check from a test of our own: an empty string when the value is good, else
// what the option needs.
// What each checked option needs, by its name, for the message of a missing value.
std::map<std::string, std::string>& Needs() {
    static std::map<std::string, std::string> needs;
    return needs;
}

CLI::Validator Check(const std::string& option, std::function<bool(const std::string&)> good, std::string needs) {
    Needs()[option] = needs;
    return CLI::Validator(
        [good = std::move(good), needs = std::move(needs)](std::string& value) {
            return good(value) ? std::string() : needs + ", not '" + value + "'";
        },
        std::string());
}

// One of the words of `choices`, each with the value it stands for.
template <typename T>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, std::function<void(T)> set,
                       std::vector<std::pair<std::string, T>> choices, const std::string& help,
                       const std::string& needs, const std::string& shown) {
    auto find = [choices](const std::string& word) -> std::optional<T> {
        for (const auto& [w, value] : choices)
            if (w == word) return value;
        return std::nullopt;
    };
    return app
        .add_option_function<std::string>(
            name, [set, find](const std::string& word) { set(*find(word)); }, help)
        ->type_name(shown)
        ->check(Check(
            name, [find](const std::string& word) { return find(word).has_value(); }, needs));
}

// "--NAME" of an option whose name the core gives.
std::string Flag(std::string_view name) { return "--" + std::string(name); }

void AddLookOptions(CLI::App& app, LookOptions& look, bool fromSettings) {
    const std::string or_settings = fromSettings ? ", or the settings file's" : "";
    for (auto [name, colour, what, fallback] :
         {std::tuple{Flag(look_options::kFore), &look.textColor, "text colour", "000000, black"},
          std::tuple{Flag(look_options::kBack), &look.backColor, "background colour", "FFFFFF, white"}}) {
        app.add_option_function<std::string>(
               name, [target = colour](const std::string& v) { *target = look_options::ParseColor(v); },
               std::string(what) + " as in HTML, RRGGBB (FF0000 is red); default " + fallback + or_settings)
            ->type_name("RRGGBB")
            ->check(Check(
                name, [](const std::string& v) { return look_options::ParseColor(v).has_value(); },
                std::string(look_options::kColorNeeds)));
    }
    const std::string range = "a number from 0 to " + std::to_string(kMaxMargin);
    app.add_option_function<std::string>(
           Flag(look_options::kMargin), [&look](const std::string& v) { look.margin = look_options::ParseMargin(v); },
           "blank pixels on every side, " + range + "; default 0" + or_settings)
        ->type_name("N")
        ->check(Check(
            Flag(look_options::kMargin), [](const std::string& v) { return look_options::ParseMargin(v).has_value(); },
            look_options::MarginNeeds()));
    app.add_flag(Flag(look_options::kNoSpaceSim), look.noSpace,
                 "draw every half-width space; by default runs of them collapse to one and those at the "
                 "start of a line vanish, as a browser shows them");
    app.add_flag(Flag(look_options::kIndexed), look.indexed,
                 "write two-colour PNG files (a palette, one bit per pixel): the same pixels as the default "
                 "8-bit RGB files, smaller and faster to write" +
                     std::string(fromSettings ? "; default RGB, or the settings file's" : ""));
    app.add_option(Flag(look_options::kFont), look.font,
                   "a font file whose glyph shapes replace Mona's (as $QUARVEL_FONT does); advances always "
                   "follow the original font")
        ->type_name("PATH");
}

void AddRender(CLI::App& app, RenderOptions& o) {
    app.add_option("text-file", o.input,
                   "plain text art in UTF-8 or Shift-JIS (code page 932); - or none: standard input")
        ->type_name("TEXT-FILE|-");
    app.add_option("-o,--output", o.output,
                   "the picture to write (required); - writes it to standard output, which must not be a "
                   "terminal")
        ->type_name("OUT.png|-");
    app.add_flag(Flag(look_options::kHtml), o.html,
                 "take the bytes as a document's marked stretch: <br> breaks lines, other tags are dropped, "
                 "character references are decoded");
    AddChoice<TextEncoding>(
        app, Flag(look_options::kEncoding), [&o](TextEncoding e) { o.encoding = e; },
        {{"auto", TextEncoding::automatic},
         {"utf-8", TextEncoding::utf8},
         {"utf8", TextEncoding::utf8},
         {"cp932", TextEncoding::cp932},
         {"sjis", TextEncoding::cp932},
         {"shift-jis", TextEncoding::cp932}},
        "how the text's bytes are read: auto (UTF-8 when they are), utf-8 or cp932; "
        "default auto",
        "takes auto, utf-8 or cp932", "auto|utf-8|cp932");
    AddLookOptions(app, o.look, false);
    app.footer(RenderExit());
}

// -j N, --jobs N: convert's and render-pieces'.
void AddJobsOption(CLI::App& app, std::optional<int>& jobs) {
    const std::string range = "a number from 1 to " + std::to_string(kMaxJobs);
    app.add_option_function<std::string>(
           "-j,--jobs", [&jobs](const std::string& v) { jobs = look_options::ParseWholeNumber(v, 1, kMaxJobs); },
           "pictures drawn at once, " + range + "; default one per core. The results are the same for any number")
        ->type_name("N")
        ->check(Check(
            "--jobs", [](const std::string& v) { return look_options::ParseWholeNumber(v, 1, kMaxJobs).has_value(); },
            "needs " + range));
}

void AddConvert(CLI::App& app, ConvertOptions& o, Mode mode) {
    if (mode == Mode::file)
        app.add_option("document", o.targets, "the documents (HTML in Shift-JIS or EUC-JP), converted in place")
            ->type_name("DOCUMENT...");
    else
        app.add_option_function<std::string>(
               "folder", [&o](const std::string& folder) { o.targets = {folder}; },
               "the folder whose matching documents are converted in place")
            ->type_name("FOLDER");
    app.add_option("--settings", o.settingsFile,
                   "start from a settings file saved by the program's window; the options below override it")
        ->type_name("FILE.ini");
    AddChoice<DocumentCode>(
        app, "--code", [&o](DocumentCode c) { o.code = c; },
        {{"sjis", DocumentCode::shiftJis},
         {"shift-jis", DocumentCode::shiftJis},
         {"euc", DocumentCode::eucJp},
         {"euc-jp", DocumentCode::eucJp}},
        "the documents' character code, sjis or euc; default sjis, or the settings file's", "takes sjis or euc",
        "sjis|euc");
    app.add_option("--start", o.starts,
                   "a start separator, up to three (each --start once); default <dd>; \\n is a line break; "
                   "one that begins with - goes as --start=SEP")
        ->type_name("SEP")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--end", o.ends, "an end separator, up to three; default \\n, <dt> and </dl>")
        ->type_name("SEP")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--no-backup", o.noBackup,
                 "keep no untouched copy in backup/ (by default one is kept, and never replaced)");
    if (mode == Mode::folder) {
        app.add_option("--pattern", o.pattern,
                       "the documents to convert, a file name pattern; default \"*.htm\" (which also finds "
                       ".html), or the settings file's")
            ->type_name("GLOB");
        app.add_flag("--no-subfolders", o.noSubFolders, "only the folder itself, not its sub-folders");
    }
    AddLookOptions(app, o.look, true);
    AddJobsOption(app, o.jobs);
    app.add_flag("-q,--quiet", o.quiet, "no progress line on the terminal");
    app.footer(kConvertExit);
}

void AddPieces(CLI::App& app, PiecesOptions& o) {
    app.add_option("file", o.input,
                   "a template collection: .mlt (pieces between lines [SPLIT]) or .ast (each piece headed "
                   "by [AA][name]), Shift-JIS (code page 932) or UTF-8")
        ->type_name("FILE.mlt|FILE.ast");
    app.add_option("-o,--output", o.output,
                   "the folder for the pictures 001.png, 002.png, ... and index.html (required; made when "
                   "missing)")
        ->type_name("DIR");
    AddLookOptions(app, o.look, false);
    AddJobsOption(app, o.jobs);
    app.footer(kPiecesExit);
}

// The arguments that no option or operand took: unknown options first.
std::string Leftover(const std::vector<std::string>& rest, const std::string& tooMany) {
    for (const std::string& a : rest)
        if (a.size() > 1 && a[0] == '-') return "unknown option '" + a + "'";
    return tooMany + ": '" + rest.front() + "' is one too many";
}

// What the parse left to check: operands and options CLI11 does not require.
std::string Complaint(const CLI::App& command, const RenderOptions& render, const ConvertOptions& convert,
                      const PiecesOptions& pieces) {
    const std::string name = command.get_name();
    const std::vector<std::string> rest = command.remaining();
    if (name == "render") {
        if (!rest.empty()) return Leftover(rest, "only one text file can be drawn at a time");
        if (render.output.empty())
            return "the picture's file name is missing: give -o OUT.png, or -o - for "
                   "standard output";
        if (render.output == "-" && ::isatty(STDOUT_FILENO))
            return "standard output is a terminal: send it to a file or a program (> OUT.png, | ...)";
    } else if (name == "render-pieces") {
        if (!rest.empty()) return Leftover(rest, "only one collection can be drawn at a time");
        if (pieces.input.empty()) return "the collection is missing: render-pieces FILE.mlt|FILE.ast -o DIR";
        if (pieces.output.empty()) return "the pictures' folder is missing: give -o DIR";
    } else if (name == "convert" || name == "convert-folder") {
        if (!rest.empty()) return Leftover(rest, "convert-folder takes one folder");
        if (convert.targets.empty()) return name == "convert" ? "no document given" : "no folder given";
        for (const auto* list : {&convert.starts, &convert.ends})
            if (list->size() > 3)
                return std::string("at most three ") + (list == &convert.starts ? "--start" : "--end") + " separators";
        if (convert.pattern && convert.pattern->empty()) return "--pattern needs a file name pattern";
    } else if (!rest.empty()) {
        return Leftover(rest, "help takes one command");
    }
    return {};
}

// Help texts broken into lines that fit beside the option column of an 80-column
// terminal (CLI11 indents the lines after a line break).
std::string Wrap(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (column > 0 && column + 1 + word.size() > width) {
            out += '\n';
            column = 0;
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

// The help of a command, as `COMMAND --help` and `help COMMAND` print it. Only then
// are the texts broken into lines: a run that draws has no use for it.
std::string HelpOf(CLI::App& app) {
    constexpr std::size_t kColumn = 30, kWidth = 80;
    app.get_formatter()->column_width(kColumn);
    for (CLI::Option* option : app.get_options())
        option->description(Wrap(option->get_description(), kWidth - kColumn));
    return app.get_formatter()->make_help(
        &app, app.get_parent() ? std::string(kProgram) + " " + app.get_name() : std::string(kProgram),
        CLI::AppFormatMode::Normal);
}

}  // namespace

int ParseAndRun(int argc, char** argv) {
    CLI::App app(
        "Draws Japanese text art into PNG pictures exactly as \"ＭＳ Ｐゴシック\" lays it out: "
        "typed text with render, every piece of a template collection with render-pieces, the "
        "marked stretches of HTML documents in place with convert and convert-folder. "
        "`quarvel-cli help COMMAND` tells each command's options.",
        kProgram);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.require_subcommand(0, 1);  // an operand named like a command stays an operand
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    bool version = false;
    app.add_flag("--version", version, "show the program's name and version and exit");

    RenderOptions render;
    ConvertOptions convert;
    PiecesOptions pieces;
    AddRender(*app.add_subcommand("render", "draw one piece of text art into one picture"), render);
    AddPieces(*app.add_subcommand("render-pieces",
                                  "draw every piece of a template collection into a folder, with a page of them"),
              pieces);
    AddConvert(*app.add_subcommand("convert", "convert documents in place: every marked stretch becomes a picture"),
               convert, Mode::file);
    AddConvert(*app.add_subcommand("convert-folder", "convert every matching document of a folder tree in place"),
               convert, Mode::folder);
    CLI::App* help = app.add_subcommand("help", "show the help of a command and exit");
    std::string topic;
    help->add_option("command", topic, "render, render-pieces, convert or convert-folder");
    app.footer(
        "Exit status: 0 done, 1 failed, 2 bad usage, 130 stopped by Ctrl+C; `quarvel-cli help COMMAND` "
        "tells each command's.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        const auto chosen = app.get_subcommands();
        std::fputs(HelpOf(chosen.empty() ? app : *chosen.front()).c_str(), stdout);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        const auto chosen = app.get_subcommands();
        std::string what = e.what();
        if (!what.empty() && what.back() == '\n') what.pop_back();
        // CLI11 says "--margin: ..."; ours "option --margin needs ...", also for a
        // missing value.
        if (const std::size_t colon = what.find(": "); what.starts_with("-") && colon != std::string::npos) {
            const std::string name = what.substr(0, colon);
            std::string rest = what.substr(colon + 2);
            if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
                const auto known = Needs().find(name);
                rest = known != Needs().end() ? known->second : "needs a value";
            }
            what = "option " + name + " " + rest;
        }
        return UsageError(what, chosen.empty() ? std::string() : chosen.front()->get_name());
    }

    const auto chosen = app.get_subcommands();
    if (chosen.empty()) {
        if (version) {
            std::printf("%s %s\n", kProgram, QUARVEL_VERSION);
            return kExitOk;
        }
        if (!app.remaining().empty()) {
            const std::string first = app.remaining().front();
            return UsageError((first[0] == '-' ? "unknown option '" : "unknown command '") + first + "'");
        }
        return UsageError("no command given: render, render-pieces, convert or convert-folder");
    }
    CLI::App& command = *chosen.front();
    if (std::string complaint = Complaint(command, render, convert, pieces); !complaint.empty())
        return UsageError(complaint, command.get_name());
    if (version) return UsageError("--version goes alone: quarvel-cli --version");

    const std::string name = command.get_name();
    if (name == "render") return RunRender(render);
    if (name == "render-pieces") return RunRenderPieces(pieces);
    if (name == "convert") return RunConversion(convert, Mode::file);
    if (name == "convert-folder") return RunConversion(convert, Mode::folder);
    if (topic.empty()) {
        std::fputs(HelpOf(app).c_str(), stdout);
        return kExitOk;
    }
    for (const char* known : {"render", "render-pieces", "convert", "convert-folder", "help"})
        if (topic == known) {
            std::fputs(HelpOf(*app.get_subcommand(topic)).c_str(), stdout);
            return kExitOk;
        }
    return UsageError("no command '" + topic + "'; the commands are render, convert and convert-folder", "help");
}

}  // namespace quarvel::cli
