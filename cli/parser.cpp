#include "cli/parser.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>

#include "platform/language.h"
#include "render/look_options.h"
#include "render/text_art.h"

namespace quarvel::cli {

using engine::DocumentCode;

using render::kMaxMargin;
using render::kMaxTextBytes;
using render::TextEncoding;
namespace look_options = render::look_options;
using platform::Fill;

namespace {

constexpr const char* kProgram = "quarvel-cli";
// The help fits an 80-column terminal, descriptions beside a column of names.
constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpColumn = 30;

// A usage problem found by a check of the parsed command line, told as it stands.
class BadUsage : public CLI::ParseError {
public:
    explicit BadUsage(std::string message)
        : CLI::ParseError("BadUsage", std::move(message), CLI::ExitCodes::ValidationError) {}
};

// Columns a UTF-8 text takes on a terminal: two for the wide characters of East Asia.
std::size_t Columns(std::string_view text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                          (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                          (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                          (code >= 0xFFE0 && code <= 0xFFE6) || code >= 0x20000;
        columns += wide ? 2 : 1;
        i += length;
    }
    return columns;
}

// The longest start of a word that ends after a wide character and fits in `room`
// columns, when the whole word does not: 0 when there is none.
std::size_t WideBreak(std::string_view word, std::size_t room) {
    if (Columns(word) <= room) return 0;
    std::size_t fits = 0;
    for (std::size_t i = 0; i < word.size();) {
        const auto lead = static_cast<unsigned char>(word[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (Columns(word.substr(0, i + length)) > room) break;
        i += length;
        // Never before a closing mark: "、" "。" "）" "」".
        const std::string_view next = word.substr(i, 3);
        const bool closing = next == "、" || next == "。" || next == "）" || next == "」";
        if (Columns(word.substr(i - length, length)) == 2 && !closing) fits = i;
    }
    return fits;
}

// The text broken into lines of at most `width` columns at its spaces; a line break in
// it stays one.
std::string Wrap(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find_first_of(" \n", at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(at, end - at);
        // Japanese has no spaces: a line may break after any wide character.
        if (const std::size_t fits = WideBreak(word, width - std::min(width, column + (column > 0)));
            fits > 0 && fits < word.size()) {
            end = at + fits;
            word = word.substr(0, fits);
            if (column > 0) out += ' ';
            out += word;
            out += '\n';
            column = 0;
            at = end;
            continue;
        }
        if (column > 0 && column + 1 + Columns(word) > width) {
            out += '\n';
            column = 0;
            if (WideBreak(word, width) > 0) continue;  // broken on the next line
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += Columns(word);
        if (end < text.size() && text[end] == '\n') {
            out += '\n';
            column = 0;
        }
        at = end + 1;
    }
    return out;
}

std::string JoinWords(const std::vector<std::string>& words, std::string_view separator, std::string_view last) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) out += i + 1 == words.size() ? last : separator;
        out += words[i];
    }
    return out;
}

// A check of a value that says what is wrong with it: an empty string when it is good.
CLI::Validator Check(std::function<std::string(const std::string&)> problem) {
    return CLI::Validator([problem = std::move(problem)](std::string& value) { return problem(value); }, std::string());
}

// "option --margin needs a number from 0 to 100, not '101'" for a value that is not
// good; without the value when it is empty.
CLI::Validator Needs(std::string option, std::string needs, std::function<bool(const std::string&)> good) {
    return Check([=](const std::string& value) -> std::string {
        if (good(value)) return {};
        return value.empty() ? Fill(_("option {1} {2}"), {option, needs})
                             : Fill(_("option {1} {2}, not '{3}'"), {option, needs, value});
    });
}

// A file name given to -o: the '=' of `-o=x.png` is not part of it.
std::string OutputProblem(const std::string& value) {
    if (!value.starts_with("=")) return {};
    const std::string name = value.substr(1);
    return Fill(_("option --output needs a file name, not '{1}': write -o {2} or --output={2}"), {value, name});
}

// The checks of an option in order (CLI11 tells their number only by throwing).
std::vector<CLI::Validator*> ChecksOf(CLI::Option& option) {
    std::vector<CLI::Validator*> checks;
    try {
        for (int i = 0;; ++i) checks.push_back(option.get_validator(i));
    } catch (const CLI::OptionNotFound&) {}
    return checks;
}

// "--NAME" of an option whose name the core gives.
std::string Flag(std::string_view name) { return "--" + std::string(name); }

// The words after the program's name, reversed as CLI11 takes them. `--NAME=` with
// nothing after the '=' gives the option an empty value, as `--NAME ''` does (CLI11
// alone would take the next word for it).
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> words;
    bool operands = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        operands = operands || word == "--";
        if (!operands && word.size() > 3 && word.starts_with("--") && word.find('=') == word.size() - 1) {
            word.pop_back();
            words.push_back(std::move(word));
            words.emplace_back();
        } else {
            words.push_back(std::move(word));
        }
    }
    return {words.rbegin(), words.rend()};
}

// The arguments that no option or operand took, as CLI11 leaves them: unknown options
// first; after "--" every word is an operand.
// "; did you mean X?" for the candidate closest to a mistyped word (at most two
// letters added, dropped, changed or swapped, and fewer than half of it), else nothing.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
        return d[a.size()][b.size()];
    };
    const std::string* best = nullptr;
    std::size_t bestDistance = 3;
    for (const std::string& candidate : candidates) {
        const std::size_t d = distance(word, candidate);
        if (d < bestDistance && d * 2 < candidate.size()) best = &candidate, bestDistance = d;
    }
    return best ? Fill(_("; did you mean {1}?"), {*best}) : std::string();
}

// The long names of a command's options ("--no-backup").
std::vector<std::string> OptionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

std::string Leftover(const std::vector<std::string>& rest, const std::string& oneOperand,
                     const std::vector<std::string>& optionNames) {
    std::vector<std::string> operands;
    bool afterMark = false;
    for (const std::string& word : rest) {
        if (word == "--" && !afterMark) {
            afterMark = true;
        } else if (!afterMark && word.size() > 1 && word[0] == '-') {
            return Fill(_("unknown option '{1}'"), {word}) + DidYouMean(word.substr(0, word.find('=')), optionNames);
        } else {
            operands.push_back(word);
        }
    }
    return operands.empty() ? Fill(_("unknown option '{1}'"), {"--"})
                            : Fill(_("{1}: '{2}' is one too many"), {oneOperand, operands.front()});
}

// The usage line of a command as the help shows it.
std::string UsageLine(const CLI::App& app) {
    if (!app.get_subcommands({}).empty()) return "COMMAND ...";
    std::string line;
    for (const UsageWord& word : UsageOf(app)) {
        std::string text = !word.option ? "OPTIONS"
                           : word.option->get_positional()
                               ? word.option->get_type_name()
                               : UsageName(*word.option) + " " + word.option->get_type_name();
        line += (line.empty() ? "" : " ") + (word.optional ? "[" + text + "]" : text);
    }
    return line;
}

// The help in the program's layout: every text broken to fit 80 columns, operands
// named by what they take, required options and operands shown as required.
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter() {
        column_width(kHelpColumn);
        label("Positionals", _("Arguments"));
    }
    std::string make_description(const CLI::App* app) const override {
        return app->get_description().empty() ? std::string() : Wrap(app->get_description(), kHelpWidth) + "\n";
    }
    std::string make_usage(const CLI::App* app, std::string name) const override {
        return Wrap(Fill(_("Usage: {1}"), {name + " " + UsageLine(*app)}), kHelpWidth) + "\n";
    }
    std::string make_footer(const CLI::App* app) const override {
        return app->get_footer().empty() ? std::string() : Wrap(app->get_footer(), kHelpWidth) + "\n";
    }
    std::string make_subcommand(const CLI::App* command) const override {
        return Row(command->get_name(), command->get_description());
    }
    std::string make_option(const CLI::Option* option, bool positional) const override {
        std::string name = positional ? option->get_type_name() : option->get_name(false, true);
        if (!positional && TakesValue(*option)) name += " " + option->get_type_name();
        return Row(name, option->get_description());
    }

private:
    static std::string Row(const std::string& name, const std::string& description) {
        std::ostringstream out;
        CLI::detail::format_help(out, name, Wrap(description, kHelpWidth - kHelpColumn), kHelpColumn);
        return out.str();
    }
};

template <typename T>
using Choices = std::vector<std::pair<std::string, T>>;

// One of the words of `choices`, each with the value it stands for, in any case;
// `shown` are the words the help, the man page and the completion offer (the others
// are synonyms).
template <typename T>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, std::function<void(T)> set, Choices<T> choices,
                       const std::vector<std::string>& shown, const std::string& help) {
    auto find = [choices](const std::string& word) -> std::optional<T> {
        for (const auto& [w, value] : choices)
            if (std::equal(w.begin(), w.end(), word.begin(), word.end(), [](char a, char b) {
                    return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
                }))
                return value;
        return std::nullopt;
    };
    return app
        .add_option_function<std::string>(
            name, [set, find](const std::string& word) { set(*find(word)); }, help)
        ->type_name(JoinWords(shown, "|", "|"))
        ->check(Needs(name, Fill(_("takes {1}"), {JoinWords(shown, _(", "), _(" or "))}),
                      [find](const std::string& word) { return find(word).has_value(); }));
}

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

std::vector<UsageWord> UsageOf(const CLI::App& command) {
    std::vector<UsageWord> words;
    const std::vector<const CLI::Option*> options = command.get_options();
    if (std::any_of(options.begin(), options.end(),
                    [](const CLI::Option* o) { return o->nonpositional() && !o->get_required(); }))
        words.push_back({nullptr, true});
    for (const CLI::Option* option : options)
        if (option->get_positional() || option->get_required()) words.push_back({option, !option->get_required()});
    return words;
}

std::string UsageName(const CLI::Option& option) {
    return option.get_snames().empty() ? "--" + option.get_lnames().front() : "-" + option.get_snames().front();
}

CommandLine::CommandLine(std::string_view command)
    : app_(_("Draws Japanese text art into PNG pictures exactly as \"ＭＳ Ｐゴシック\" lays it out: typed text with "
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

void CommandLine::AddRender() {
    CLI::App& app = *app_.add_subcommand("render", _("draw one piece of text art into one picture"));
    RenderOptions& o = render_;
    Note(app.add_option("text-file", o.input,
                        _("plain text art in UTF-8 or Shift-JIS (code page 932); - or none: standard input"))
             ->type_name("TEXT-FILE|-"),
         {ValueKind::Type::file, {}});
    Note(app.add_option("-o,--output", o.output,
                        _("the picture to write (required); - writes it to standard output, which must not be a "
                          "terminal"))
             ->type_name("OUT.png|-")
             ->check(Check(OutputProblem)),
         {ValueKind::Type::file, {".png"}},
         _("the picture's file name is missing: give -o OUT.png, or -o - for standard output"));
    app.add_flag(Flag(look_options::kHtml), o.html,
                 _("take the bytes as a document's marked stretch: <br> breaks lines, other tags are dropped, "
                   "character references are decoded"));
    Note(AddChoice<TextEncoding>(
             app, Flag(look_options::kEncoding), [&o](TextEncoding e) { o.encoding = e; },
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

void CommandLine::AddConvert(Mode mode) {
    const bool file = mode == Mode::file;
    CLI::App& app = *app_.add_subcommand(file ? "convert" : "convert-folder",
                                         file ? _("convert documents in place: every marked stretch becomes a picture")
                                              : _("convert every matching document of a folder tree in place"));
    ConvertOptions& o = convert_;
    if (file)
        Note(app.add_option("document", o.targets, _("the documents (HTML in Shift-JIS or EUC-JP), converted in place"))
                 ->type_name("DOCUMENT...")
                 ->check(Check([](const std::string& value) -> std::string {
                     if (value != "-") return {};
                     return _(
                         "convert changes documents in place, so '-' (standard input) cannot be one; ./- names "
                         "a file called -");
                 })),
             {ValueKind::Type::file, {}}, _("no document given"));
    else
        Note(app.add_option_function<std::string>(
                    "folder", [&o](const std::string& folder) { o.targets = {folder}; },
                    _("the folder whose matching documents are converted in place"))
                 ->type_name("FOLDER")
                 ->check(Check([](const std::string& value) -> std::string {
                     if (value != "-") return {};
                     return _(
                         "convert-folder takes a folder, so '-' (standard input) cannot be one; ./- names a "
                         "folder called -");
                 })),
             {ValueKind::Type::folder, {}}, _("no folder given"));
    Note(app.add_option("--settings", o.settingsFile,
                        _("start from a settings file saved by the program's window: its separators, character code, "
                          "backup, colours, margin, spaces and picture form (and for convert-folder its pattern and "
                          "sub-folders) replace the defaults; the options override it"))
             ->type_name("FILE.ini"),
         {ValueKind::Type::file, {".ini"}});
    Note(AddChoice<DocumentCode>(
             app, "--code", [&o](DocumentCode c) { o.code = c; },
             {{"auto", DocumentCode::automatic},
              {"sjis", DocumentCode::shiftJis},
              {"shift-jis", DocumentCode::shiftJis},
              {"shift_jis", DocumentCode::shiftJis},
              {"euc", DocumentCode::eucJp},
              {"euc-jp", DocumentCode::eucJp},
              {"utf8", DocumentCode::utf8},
              {"utf-8", DocumentCode::utf8}},
             {"auto", "sjis", "euc", "utf8"},
             _("the documents' character code: auto (each document's own, told from its bytes: a byte-order mark, "
               "valid UTF-8, else Shift-JIS or EUC-JP by which reads it cleanly; a declared charset only breaks a "
               "tie), sjis (or shift-jis), euc (or euc-jp) or utf8 (or utf-8); default auto, or the settings "
               "file's. A document whose bytes do not fit a code named here is left as it is, and the message "
               "names the code that fits")),
         {ValueKind::Type::word, {"auto", "sjis", "euc", "utf8"}});
    for (auto [name, list, help] :
         {std::tuple{"--start", &o.starts,
                     _("a start separator, up to three (each --start once); default <dd>; \\n is a line break; one "
                       "that begins with - goes as --start=SEP. Separators given here replace all three of the "
                       "settings file's or the default ones")},
          std::tuple{"--end", &o.ends,
                     _("an end separator, up to three, as --start; default \\n, <dt> and </dl>; --end= alone: every "
                       "stretch runs to the end of its document")}}) {
        app.add_option(name, *list, help)
            ->type_name("SEP")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    app.add_flag("--no-backup", o.noBackup,
                 _("keep no untouched copy in backup/ (by default one is kept, and never replaced: a later text goes "
                   "beside it as NAME.1, ...)"));
    if (!file) {
        app.add_option("--pattern", o.pattern,
                       _("the documents to convert, a file name pattern; default \"*.htm\" (which also finds .html)"))
            ->type_name("GLOB")
            ->check(
                Needs("--pattern", _("needs a file name pattern"), [](const std::string& v) { return !v.empty(); }));
        app.add_flag("--no-subfolders", o.noSubFolders, _("only the folder itself, not its sub-folders"));
    }
    AddLookOptions(app, o.look);
    AddJobsOption(app, o.jobs);
    app.add_flag("-q,--quiet", o.quiet, _("no progress line on the terminal"));
    app.callback([&o] {
        for (auto [list, name] : {std::pair{&o.starts, "--start"}, std::pair{&o.ends, "--end"}})
            if (list->size() > 3) throw BadUsage(Fill(_("at most three {1} separators"), {name}));
    });
    AddCommand(&app,
               _("0 done (warnings, if any, on standard error), 1 some document or folder failed (each message on "
                 "standard error), 2 bad usage, 130 stopped by Ctrl+C."),
               file ? "" : _("convert-folder takes one folder"),
               [this, mode] { return RunConversion(convert_, mode); });
}

void CommandLine::AddRestore(Mode mode) {
    const bool file = mode == Mode::file;
    CLI::App& app = *app_.add_subcommand(
        file ? "restore" : "restore-folder",
        file
            ? _("put converted documents back from their copies in backup/, and remove the pictures of that conversion")
            : _("put back every document of a folder tree that has a copy in backup/, as restore does"));
    RestoreOptions& o = restore_;
    if (file) {
        Note(app.add_option("documents", o.targets,
                            _("documents to put back from their newest copy in the backup/ beside them"))
                 ->type_name("DOCUMENT"),
             {ValueKind::Type::file, {}}, _("no document given"));
    } else {
        Note(app.add_option_function<std::string>(
                    "folder", [&o](const std::string& folder) { o.targets = {folder}; },
                    _("the folder whose documents with a copy in backup/ are put back"))
                 ->type_name("FOLDER"),
             {ValueKind::Type::folder, {}}, _("no folder given"));
        app.add_option("--pattern", o.pattern, _("the documents to put back, a file name pattern; default \"*.htm\""))
            ->type_name("GLOB")
            ->check(
                Needs("--pattern", _("needs a file name pattern"), [](const std::string& v) { return !v.empty(); }));
        app.add_flag("--no-subfolders", o.noSubFolders, _("only the folder itself, not its sub-folders"));
    }
    AddCommand(&app,
               _("0 done (each document's line on standard output), 1 some document could not be put back (each "
                 "message on standard error), 2 bad usage, 130 stopped by Ctrl+C."),
               file ? "" : _("restore-folder takes one folder"), [this, mode] { return RunRestore(restore_, mode); });
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
    // A value missing can only be the last word's: every option takes the next word,
    // whatever it is.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && !lastWord_.empty()) {
        if (CLI::Option* option = const_cast<CLI::App&>(scope).get_option_no_throw(lastWord_)) {
            for (CLI::Validator* check : ChecksOf(*option)) {
                std::string empty;
                if (std::string problem = (*check)(empty); !problem.empty()) return said(problem);
            }
            return said(Fill(_("option {1} needs a value"), {option->get_name()}));
        }
    }
    // A value refused: CLI11 puts the option's name in front of the check's message,
    // so the check is asked again, of the values in the order CLI11 checked them.
    if (dynamic_cast<const CLI::ValidationError*>(&error)) {
        for (CLI::Option* option : const_cast<CLI::App&>(scope).get_options()) {
            for (std::string value : option->results()) {
                for (CLI::Validator* check : ChecksOf(*option))
                    if (std::string problem = (*check)(value); !problem.empty()) return said(problem);
            }
        }
    }
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
