// quarvel-cli convert and convert-folder: file jobs and folder jobs without a window.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "engine/document_code.h"
#include "engine/job_summary.h"
#include "engine/jobs.h"
#include "engine/messages.h"
#include "platform/codec.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "settings/engine_settings.h"
#include "settings/settings_file.h"

namespace quarvel::cli {

using settings::BackupOf;
using settings::CommonSettings;
using settings::EngineSettings;
using settings::FolderPageSettings;
using settings::HoldsSettingsKeys;
using settings::LoadCommonSettings;
using settings::LoadFolderPageSettings;
using settings::LoadGeneralSettings;
using settings::SettingsLoad;
using settings::ValueNotUnderstood;
namespace keys = settings::keys;

using engine::Backup;
using engine::CodeName;
using engine::ConversionJob;
using engine::ConversionSettings;
using engine::DocumentCode;
using engine::DocumentResult;
using engine::EscapeControls;
using engine::FolderConversionJob;
using engine::ImageFolderClaims;
using engine::JobResult;
using engine::JobSummary;
using engine::Outcome;
using engine::StartFileJob;
using engine::StartFolderJob;
using engine::SubFolders;

using render::Appearance;
using render::kMaxMargin;
using render::PngForm;

using platform::Fill;
using platform::TrimTrailingSeparators;
namespace cp932 = platform::cp932;

namespace {

// Text typed on the command line (UTF-8) as code page 932; raw bytes that are not
// UTF-8 are taken as they are.
std::optional<std::string> ArgumentToCp932(const std::string& text) {
    if (!cp932::IsValidUtf8(text)) return text;
    std::string bytes = cp932::FromUtf16Lossy(cp932::Utf8ToUtf16(text));
    // Every character the code page lacks became '?'.
    if (std::count(bytes.begin(), bytes.end(), '?') != std::count(text.begin(), text.end(), '?')) return std::nullopt;
    return bytes;
}

std::string NativeText(const std::string& cp932Text) { return cp932::ToUtf8(cp932Text); }

// The settings file's values for the mode, with a warning for each part of it that
// changes nothing or is not understood. A file that cannot be read fails, as a document
// that cannot be read does.
Result<void> LoadSettingsFile(const std::string& path, Mode mode, FolderPageSettings& page, Appearance& look,
                              PngForm& form) {
    const std::string_view section = mode == Mode::file ? keys::kFilePage : keys::kFolderPage;
    const Result<SettingsLoad> general = LoadGeneralSettings(path, look, form);
    if (!general) return general.failure();
    // A file without any of the program's sections changes nothing: say so, and go on
    // with the defaults and the options.
    if (!general->settingsFile)
        PrintProblem(path, _("not a settings file of this program (none of the sections General, TargetFilePage, "
                             "TargetFolderPage); the defaults are used"));
    else if (!HoldsSettingsKeys(path, {keys::kGeneral, section}))
        PrintProblem(path, Warning(platform::Fill(_("none of the keys of the sections General and {1} is in it, so it "
                                                    "changes nothing; the defaults are used (save the settings from "
                                                    "the window to make one)"),
                                                  {section})));
    const Result<SettingsLoad> pageLoad =
        mode == Mode::file ? LoadCommonSettings(path, section, page.common) : LoadFolderPageSettings(path, page);
    if (!pageLoad) return pageLoad.failure();
    for (const Result<SettingsLoad>* load : {&general, &pageLoad})
        for (const ValueNotUnderstood& value : (*load)->notUnderstood)
            PrintProblem(path, Warning(platform::Fill(
                                   _("[{1}] {2}={3} is not understood; {4} is used"),
                                   {value.section, value.key, NativeText(value.value), NativeText(value.used)})));
    page.fileFilter = cp932::ToUtf8(page.fileFilter);
    return {};
}

// The options over the settings of the mode; what is wrong with the command line when
// they cannot be applied.
std::optional<std::string> ApplyOptions(const ConvertOptions& o, FolderPageSettings& page, Appearance& look,
                                        PngForm& form) {
    CommonSettings& common = page.common;
    if (o.code) common.code = *o.code;
    for (auto [typed, separators] :
         {std::pair{&o.starts, &common.startSeparators}, std::pair{&o.ends, &common.endSeparators}}) {
        if (typed->empty()) continue;
        // Separators given on the command line replace all three of the kind.
        for (std::size_t k = 0; k < separators->size(); ++k) {
            std::optional<std::string> bytes = k < typed->size() ? ArgumentToCp932((*typed)[k]) : std::string();
            if (!bytes)
                return platform::Fill(_("the separator '{1}' holds characters outside code page 932"), {(*typed)[k]});
            (*separators)[k] = *bytes;
        }
    }
    if (o.lineBreaks) common.lineBreaks = true;
    if (o.noBackup) common.backup = false;
    if (o.pattern) page.fileFilter = *o.pattern;
    if (o.noSubFolders) page.subFolders = false;
    o.look.ApplyTo(look);
    o.look.ApplyTo(form);
    if (look.margin < 0 || look.margin > kMaxMargin)
        return platform::Fill(_("the margin {1} of the settings file is outside 0..{2}"),
                              {std::to_string(look.margin), std::to_string(kMaxMargin)});
    return std::nullopt;
}

// Absolute and resolved as the system resolves it (".." after a link leads where
// the link leads, not back), so that the progress line and the image folders never
// depend on how the path was typed.
std::string Absolute(const std::string& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    if (ec) return path;
    return TrimTrailingSeparators(resolved.string());
}

// The option that names a code.
std::string CodeOption(DocumentCode code) {
    switch (code) {
    case DocumentCode::eucJp: return "--code euc";
    case DocumentCode::utf8: return "--code utf8";
    default: return "--code sjis";
    }
}

// The warnings of a job's documents: what their pictures do not show, a character set
// other than the one they were read in, and for a document left as it was in a code
// that does not fit it, the option that fits.
void PrintWarnings(const JobResult& result, TerminalProgress& progress, DocumentCode chosen) {
    progress.ClearLine();
    for (const DocumentResult& document : result.documents) {
        if (document.failure && document.failure->Is(Failure::What::wrongCode)) {
            // The failure names the code that fits.
            DocumentCode fits = DocumentCode::shiftJis;
            for (DocumentCode code : {DocumentCode::eucJp, DocumentCode::utf8})
                if (document.failure->detail == CodeName(code)) fits = code;
            PrintProblem(document.path, platform::Fill(_("convert it with {1} (or --code auto)"), {CodeOption(fits)}));
        }
        for (const Failure& warning : document.warnings) PrintWarning(warning);
        if (document.outcome != Outcome::converted) continue;
        if (!document.otherCharset.empty()) {
            const std::string read =
                chosen == DocumentCode::automatic
                    ? platform::Fill(_("its bytes are {1}, and were read so"), {CodeName(document.code)})
                    : platform::Fill(_("it was read with {1}, which its bytes fit"), {CodeOption(document.code)});
            PrintProblem(document.path, Warning(platform::Fill(_("it declares the character set {1} but {2}"),
                                                               {document.otherCharset, read})));
        }
        for (const auto& picture : document.pictureNotes) PrintNotes(picture.path, picture.report, "--code");
    }
}

// "N documents: ..., P pictures written; W warnings": what a run came to, in the terms
// of the window's summary.
std::string SummaryLine(const JobSummary& s) {
    // (Counted's texts are the catalogue's plural forms: scripts/update-po.sh.)
    const auto Counted = [](int n, const char* one, const char* more) {
        return platform::Fill(platform::TranslatePlural(one, more, static_cast<unsigned long>(n)), {std::to_string(n)});
    };
    std::string line = s.aborted ? _("stopped: ") : "";
    line += platform::Fill(
        _("{1}: {2}; {3}; {4}"),
        {Counted(s.documents, "{1} document", "{1} documents"),
         platform::Fill(_("{1} converted, {2} left as they were, {3} failed"),
                        {std::to_string(s.converted), std::to_string(s.unchanged), std::to_string(s.failed)}),
         Counted(s.pictures, "{1} picture written", "{1} pictures written"),
         Counted(s.warnings, "{1} warning", "{1} warnings")});
    if (s.jobFailures > 0)
        line += platform::Fill(_("; {1}"), {Counted(s.jobFailures, "{1} failure outside the documents",
                                                    "{1} failures outside the documents")});
    if (!s.locked.empty()) {
        std::string names;
        for (const std::string& path : s.locked) names += (names.empty() ? "" : ", ") + EscapeControls(path);
        line += platform::Fill(_("; not converted, locked by another process: {1}"), {names});
    }
    return line;
}

// The exit status of a job: every failure has had its message already.
int ExitStatus(const JobResult& result) {
    if (result.aborted) return kExitAborted;
    return result.AnyFailure() ? kExitFailed : kExitOk;
}

// A file given to convert-folder, or a folder given to convert (which would make
// backup/ beside it and fail to read it), is bad usage: its exit status, else none.
std::optional<int> TargetsMisnamed(const ConvertOptions& options, Mode mode) {
    std::error_code ec;
    if (mode == Mode::folder) {
        if (const std::string& target = options.targets[0]; std::filesystem::is_regular_file(target, ec))
            return UsageError(platform::Fill(_("'{1}' is a file; convert-folder takes a folder, and convert takes "
                                               "documents: quarvel-cli convert {1}"),
                                             {target}),
                              "convert-folder");
        return std::nullopt;
    }
    for (const std::string& target : options.targets) {
        if (std::filesystem::is_directory(target, ec))
            return UsageError(
                platform::Fill(_("'{1}' is a folder; convert its documents with: quarvel-cli convert-folder {1}"),
                               {target}),
                "convert");
    }
    return std::nullopt;
}

// What the conversion starts from: the settings file, then the options.
struct Starting {
    FolderPageSettings page;
    Appearance look;
    PngForm form = PngForm::rgb;
};

// Reads the settings file and the options into `start`; the exit status when the run
// cannot start (its message printed), none when it can.
std::optional<int> ReadStarting(const ConvertOptions& options, Mode mode, Starting& start) {
    const std::string_view command = mode == Mode::file ? "convert" : "convert-folder";
    // Each document's own code unless a settings file or --code names one.
    start.page.common.code = DocumentCode::automatic;
    if (options.settingsFile) {
        const Result<void> loaded = LoadSettingsFile(*options.settingsFile, mode, start.page, start.look, start.form);
        if (!loaded) {
            PrintFailure(loaded.failure());
            return kExitFailed;
        }
    }
    if (const std::optional<std::string> complaint = ApplyOptions(options, start.page, start.look, start.form))
        return UsageError(*complaint, command);
    if (const Result<void> applied = ApplyFontOption(options.look.font); !applied) {
        PrintFailure(applied.failure());
        return kExitFailed;
    }
    return TargetsMisnamed(options, mode);
}

int ConvertFolder(const ConvertOptions& options, const Starting& start, const ConversionSettings& settings,
                  TerminalProgress& progress, JobSummary& summary) {
    FolderConversionJob job;
    job.folder = options.targets[0].empty() ? std::string() : Absolute(options.targets[0]);
    job.fileFilter = start.page.fileFilter;
    job.subFolders = start.page.subFolders ? SubFolders::yes : SubFolders::no;
    job.backup = BackupOf(start.page.common);
    job.settings = settings;
    StartFolderJob(job).join();
    PrintWarnings(job.result, progress, settings.code);
    summary.Add(job.result);
    return ExitStatus(job.result);
}

int ConvertFiles(const ConvertOptions& options, const Starting& start, ConversionSettings settings,
                 TerminalProgress& progress, JobSummary& summary) {
    // The documents of one command line are one run: no two share an image folder.
    ImageFolderClaims claims;
    settings.claims = &claims;
    int status = kExitOk;
    for (const std::string& target : options.targets) {
        if (g_interruptRequested.load()) break;
        ConversionJob job;
        job.path = Absolute(target);
        job.backup = BackupOf(start.page.common);
        job.settings = settings;
        StartFileJob(job).join();
        PrintWarnings(job.result, progress, settings.code);
        summary.Add(job.result);
        status = std::max(status, ExitStatus(job.result));
        // The engine passes over a picture without a word; named here, it was
        // not converted.
        for (const DocumentResult& document : job.result.documents) {
            if (document.outcome != Outcome::skipped) continue;
            PrintProblem(document.path, Fill(_("not text but {1}; left as it is"), {_(document.notText.c_str())}));
            status = std::max(status, kExitFailed);
        }
        if (status == kExitAborted) break;
    }
    return status;
}

int Convert(const ConvertOptions& options, Mode mode) {
    Starting start;
    if (const std::optional<int> refused = ReadStarting(options, mode, start)) return *refused;

    const bool onATerminal = !options.quiet && ::isatty(STDERR_FILENO);
    TerminalProgress progress(onATerminal);
    JobSummary summary;
    InterruptGuard guard(progress);
    ConversionSettings settings = EngineSettings(start.page.common, start.look, start.form, &progress);
    settings.collectNotes = true;
    if (options.jobs) settings.workers = *options.jobs;
    settings.lockWait = options.lockWait;
    const int status = mode == Mode::folder ? ConvertFolder(options, start, settings, progress, summary)
                                            : ConvertFiles(options, start, settings, progress, summary);
    progress.ClearLine();
    // A folder's counts go to a script's or a cron job's log too; one document's only to
    // a person watching.
    if (onATerminal || mode == Mode::folder) progress.Print("quarvel-cli: " + SummaryLine(summary));
    // Interrupted, the run did not do all it was asked to, even when the interrupt
    // came after the last check of a job.
    return g_interruptRequested.load() ? kExitAborted : status;
}

}  // namespace

// The jobs report what is thrown during them; this is for what is thrown around them.
int RunConversion(const ConvertOptions& options, Mode mode) {
    try {
        return Convert(options, mode);
    } catch (const std::bad_alloc&) {
        PrintFailure(Failure{Failure::What::outOfMemory});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quarvel-cli: %s\n", e.what());
    }
    return kExitFailed;
}

}  // namespace quarvel::cli
