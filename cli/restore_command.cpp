// quarvel-cli restore and restore-folder: documents put back from backup/.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "engine/messages.h"
#include "engine/restore.h"
#include "platform/fs.h"
#include "platform/paths.h"

namespace quarvel::cli {

using engine::EscapeControls;
using engine::RestoreDocument;
using engine::RestoreFolder;
using engine::RestoreResult;
using engine::SubFolders;

using platform::GetFileNameWithExtension;
using platform::TrimTrailingSeparators;
namespace fs = platform::fs;

namespace {

// A path inside backup/ as the line shows it: backup/NAME.
std::string InBackup(const std::string& path) { return "backup/" + GetFileNameWithExtension(path); }

// Says what became of one document: a line on standard output, or its message.
bool Report(const RestoreResult& result) {
    const std::string path = EscapeControls(result.path);
    switch (result.outcome) {
    case RestoreResult::Outcome::restored:
        std::printf("%s: put back from %s; %d picture%s of the conversion removed; the converted text kept as %s\n",
                    path.c_str(), InBackup(result.backup).c_str(), result.picturesRemoved,
                    result.picturesRemoved == 1 ? "" : "s", InBackup(result.keptAs).c_str());
        return true;
    case RestoreResult::Outcome::unchanged:
        std::printf("%s: already holds what %s holds; nothing to put back\n", path.c_str(),
                    InBackup(result.backup).c_str());
        return true;
    case RestoreResult::Outcome::failed: PrintFailure(*result.failure); return false;
    }
    return false;
}

// Absolute, as the conversions take their paths.
std::string Absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : TrimTrailingSeparators(absolute.lexically_normal().string());
}

}  // namespace

int RunRestore(const RestoreOptions& options, Mode mode) {
    fs::FileSystem& fileSystem = fs::RealFileSystem();
    bool ok = true;
    if (mode == Mode::file) {
        for (const std::string& target : options.targets) ok &= Report(RestoreDocument(Absolute(target), fileSystem));
    } else {
        const std::string folder = Absolute(options.targets.at(0));
        if (fileSystem.Status(folder) != fs::Kind::folder) {
            PrintFailure({Failure::What::folderNotFound, folder});
            return kExitFailed;
        }
        const auto results = RestoreFolder(folder, options.pattern.value_or("*.htm"),
                                           options.noSubFolders ? SubFolders::no : SubFolders::yes, fileSystem);
        if (results.empty())
            std::printf("%s: no document there has a copy in backup/\n", EscapeControls(folder).c_str());
        for (const RestoreResult& result : results) ok &= Report(result);
    }
    std::fflush(stdout);
    return ok ? kExitOk : kExitFailed;
}

}  // namespace quarvel::cli
