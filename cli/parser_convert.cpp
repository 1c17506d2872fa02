// The commands that change documents in place as the command line's table has them:
// convert and convert-folder, restore and restore-folder.

#include <string>
#include <tuple>
#include <utility>

#include "cli/parser.h"
#include "cmdline/checks.h"
#include "platform/language.h"
#include "render/look_options.h"

namespace quarvel::cli {

using cmdline::AddChoice;
using cmdline::BadUsage;
using cmdline::Check;
using cmdline::Needs;
using engine::DocumentCode;
using platform::Fill;

// --lock-wait: how long a document that another process holds locked is waited for.
void CommandLine::AddLockWaitOption(CLI::App& app, std::chrono::milliseconds& wait) {
    constexpr int kMostSeconds = 86400;
    const std::string range = Fill(_("a number of seconds from {1} to {2}"), {"0", std::to_string(kMostSeconds)});
    app.add_option_function<std::string>(
           "--lock-wait",
           [&wait](const std::string& v) {
               wait = std::chrono::seconds(render::look_options::ParseWholeNumber(v, 0, kMostSeconds).value_or(0));
           },
           Fill(_("how long to wait for a document that another process holds locked, {1}; default {2}. The wait "
                  "is said after 2 seconds; a document still locked then is left as it is, and the exit status is 1"),
                {range,
                 std::to_string(std::chrono::duration_cast<std::chrono::seconds>(engine::kDefaultLockWait).count())}))
        ->type_name("SECONDS")
        ->check(Needs("--lock-wait", Fill(_("needs {1}"), {range}), [](const std::string& v) {
            return render::look_options::ParseWholeNumber(v, 0, kMostSeconds).has_value();
        }));
}

// convert's documents, or convert-folder's folder.
void CommandLine::AddConvertOperand(CLI::App& app, Mode mode) {
    const bool file = mode == Mode::file;
    ConvertOptions& o = convert_;
    if (file)
        Note(app.add_option("document", o.targets,
                            _("the documents (HTML in Shift-JIS, EUC-JP or UTF-8), converted in place"))
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
}

// --code, --start and --end: how convert reads documents and finds their stretches.
void CommandLine::AddCodeAndSeparators(CLI::App& app) {
    ConvertOptions& o = convert_;
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
             _("the documents' character code: auto (each document's own: a byte-order mark, else the charset it "
               "declares where that decodes it cleanly, else its bytes tell: valid UTF-8, else Shift-JIS or EUC-JP "
               "by which reads it cleanly), sjis (or shift-jis), euc (or euc-jp) or utf8 (or utf-8); default auto, "
               "or the settings file's. A document whose bytes do not fit a code named here is left as it is, and "
               "the message names the code that fits")),
         {ValueKind::Type::word, {"auto", "sjis", "euc", "utf8"}});
    for (auto [name, list, help] :
         {std::tuple{"--start", &o.starts,
                     _("a start separator, up to three (each --start once); default <dd>; \\n is a line break, "
                       "CR LF or a bare LF; one that begins with - goes as --start=SEP. Separators given here "
                       "replace all three of the settings file's or the default ones")},
          std::tuple{"--end", &o.ends,
                     _("an end separator, up to three, as --start; default \\n, <dt> and </dl>; --end= alone: every "
                       "stretch runs to the end of its document")}}) {
        app.add_option(name, *list, help)
            ->type_name("SEP")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
}

void CommandLine::AddConvert(Mode mode) {
    const bool file = mode == Mode::file;
    CLI::App& app = *app_.add_subcommand(file ? "convert" : "convert-folder",
                                         file ? _("convert documents in place: every marked stretch becomes a picture")
                                              : _("convert every matching document of a folder tree in place"));
    ConvertOptions& o = convert_;
    AddConvertOperand(app, mode);
    Note(app.add_option("--settings", o.settingsFile,
                        _("start from a settings file saved by the program's window: its separators, character code, "
                          "line breaks, backup, colours, margin, spaces and picture form (and for convert-folder its "
                          "pattern and sub-folders) replace the defaults; the options override it"))
             ->type_name("FILE.ini"),
         {ValueKind::Type::file, {".ini"}});
    AddCodeAndSeparators(app);
    app.add_flag("--line-breaks", o.lineBreaks,
                 _("draw each line end inside a stretch (CR LF, LF or CR) as a line break, as <br> is: for art "
                   "kept in <pre> or broken by line ends; the line end right after the start separator and the one "
                   "right before the end separator begin no line. Default off, or the settings file's"));
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
    AddLockWaitOption(app, o.lockWait);
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
        file ? _("put converted documents back one conversion, from their copies in backup/, and remove the "
                 "pictures of that conversion")
             : _("put back every document of a folder tree that has a copy in backup/, as restore does"));
    RestoreOptions& o = restore_;
    if (file) {
        Note(app.add_option("documents", o.targets,
                            _("documents to put back from the copies in the backup/ beside them: each restore goes "
                              "one conversion back, down to the first copy"))
                 ->type_name("DOCUMENT..."),
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
    app.add_flag("--original", o.original,
                 _("straight back to the first copy (backup/NAME), the text from before the first conversion, rather "
                   "than one conversion back"));
    app.add_flag("--force", o.force,
                 _("also put back a document edited since its conversion: the edited text is kept as "
                   "backup/NAME.converted, and every picture it names stays"));
    AddLockWaitOption(app, o.lockWait);
    AddCommand(&app,
               _("0 done (each document's line on standard output), 1 some document could not be put back: no copy, "
                 "a copy that is not the text its conversion started from, a document edited since (see --force), "
                 "or locked by another process (each message on standard error), 2 bad usage, 130 stopped by "
                 "Ctrl+C."),
               file ? "" : _("restore-folder takes one folder"), [this, mode] { return RunRestore(restore_, mode); });
}

}  // namespace quarvel::cli
