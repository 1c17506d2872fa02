// quarvel-cli restore and restore-folder: documents put back from backup/.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "engine/messages.h"
#include "engine/restore.h"
#include "platform/fs.h"
#include "platform/language.h"
#include "platform/paths.h"

namespace quarvel::cli {

using engine::DocumentResult;
using engine::EscapeControls;
using engine::Outcome;
using engine::PicturesKept;
using engine::RestoreDocument;
using engine::RestoreFolder;
using engine::SubFolders;

using platform::Fill;
using platform::GetFileNameWithExtension;
using platform::TrimTrailingSeparators;
namespace fs = platform::fs;

namespace {

// A path inside backup/ as the line shows it: backup/NAME.
std::string InBackup(const std::string& path) { return "backup/" + GetFileNameWithExtension(path); }

std::string Pictures(int n) {
    return Fill(platform::TranslatePlural("{1} picture", "{1} pictures", n), {std::to_string(n)});
}

// "; 2 kept: 1 changed since the conversion, 1 named by the text put back or kept", or nothing.
std::string KeptText(const PicturesKept& kept) {
    if (kept.Total() == 0) return {};
    std::string why;
    for (auto [count, reason] : {std::pair{kept.changed, _("{1} changed since the conversion")},
                                 std::pair{kept.named, _("{1} named by the text put back or kept")},
                                 std::pair{kept.notOwn, _("{1} another user's")},
                                 std::pair{kept.newer, _("{1} newer than the converted text")}})
        if (count > 0) why += (why.empty() ? "" : ", ") + Fill(reason, {std::to_string(count)});
    return Fill(_("; {1} kept: {2}"), {std::to_string(kept.Total()), why});
}

// Says what became of one document: a line on standard output, or its message.
bool Report(const DocumentResult& result) {
    const std::string path = EscapeControls(result.path);
    for (const Failure& warning : result.warnings) PrintWarning(warning);
    switch (result.outcome) {
    case Outcome::restored:
        std::printf("%s\n", Fill(_("{1}: put back from {2}; {3} of the conversion removed{4}; the converted text kept "
                                   "as {5}"),
                                 {path, InBackup(result.backup), Pictures(result.picturesRemoved),
                                  KeptText(result.picturesKept), InBackup(result.keptAs)})
                                .c_str());
        return true;
    case Outcome::left:
        std::printf("%s\n", Fill(_("{1}: already holds the first copy, {2}; nothing to put back"),
                                 {path, InBackup(result.backup)})
                                .c_str());
        return true;
    case Outcome::failed:
        PrintFailure(*result.failure);
        if (result.failure->Is(Failure::What::documentEdited))
            PrintProblem(result.path, Fill(_("restore --force puts it back all the same, keeping the edited text as "
                                             "{1}.converted"),
                                           {InBackup(result.path)}));
        return false;
    default: return false;
    }
}

// Absolute, as the conversions take their paths.
std::string Absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : TrimTrailingSeparators(absolute.lexically_normal().string());
}

int Restore(const RestoreOptions& options, Mode mode) {
    fs::FileSystem& fileSystem = fs::RealFileSystem();
    TerminalProgress progress(false);
    InterruptGuard guard(progress);
    engine::RestoreOptions how;
    how.original = options.original;
    how.force = options.force;
    how.lockWait = options.lockWait;
    how.progress = &progress;
    bool ok = true;
    if (mode == Mode::file) {
        for (const std::string& target : options.targets) {
            if (g_interruptRequested.load()) break;
            ok &= Report(RestoreDocument(Absolute(target), fileSystem, how));
        }
    } else {
        const std::string folder = Absolute(options.targets.at(0));
        std::error_code ec;
        if (std::filesystem::is_regular_file(options.targets[0], ec))
            return UsageError(Fill(_("'{1}' is a file; restore-folder takes a folder, and restore takes documents: "
                                     "quarvel-cli restore {1}"),
                                   {options.targets[0]}),
                              "restore-folder");
        if (fileSystem.Status(folder) != fs::Kind::folder) {
            PrintFailure({Failure::What::folderNotFound, folder});
            return kExitFailed;
        }
        const auto results = RestoreFolder(folder, options.pattern.value_or("*.htm"),
                                           options.noSubFolders ? SubFolders::no : SubFolders::yes, fileSystem, how);
        if (results.empty())
            std::printf("%s\n",
                        Fill(_("{1}: no document there has a copy in backup/"), {EscapeControls(folder)}).c_str());
        for (const DocumentResult& result : results) ok &= Report(result);
    }
    std::fflush(stdout);
    if (g_interruptRequested.load()) return kExitAborted;
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

int RunRestore(const RestoreOptions& options, Mode mode) { return Restore(options, mode); }

}  // namespace quarvel::cli
