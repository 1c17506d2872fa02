#include "engine/restore.h"

#include <algorithm>

#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/paths.h"

namespace quarvel::engine {

using platform::JoinPath;
namespace fs = platform::fs;

BackupCopies::BackupCopies(const std::string& backupFolder, fs::FileSystem& fileSystem) {
    Result<std::vector<fs::Entry>> entries = fileSystem.List(backupFolder, {});
    if (!entries) {
        failure_ = entries.failure();
        return;
    }
    for (const fs::Entry& entry : *entries) {
        if (entry.kind != fs::Kind::file || entry.isLink) continue;
        // NAME.N is a later copy of NAME (CopyNumber), and the first copy of NAME.N.
        if (const std::size_t dot = entry.name.find_last_of('.'); dot != std::string::npos) {
            std::string document = entry.name.substr(0, dot);
            if (const long number = CopyNumber(entry.name, document); number > 0)
                copies_[std::move(document)].emplace_back(number, entry.name);
        }
        copies_[entry.name].emplace_back(0, entry.name);
    }
    for (auto& [name, copies] : copies_) std::sort(copies.begin(), copies.end());
}

const BackupCopies::Copies& BackupCopies::Of(std::string_view name) const {
    static const Copies none;
    const auto at = copies_.find(name);
    return at == copies_.end() ? none : at->second;
}

std::vector<DocumentResult> RestoreFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders,
                                          fs::FileSystem& fileSystem, const RestoreOptions& options) {
    std::vector<DocumentResult> results;
    auto failed = [&](Failure failure) {
        DocumentResult result;
        result.path = failure.path;
        result.failure = std::move(failure);
        results.push_back(std::move(result));
    };
    fs::FolderWalk walk(fileSystem, folder, subFolders == SubFolders::yes ? fs::WalkDepth::tree : fs::WalkDepth::folderOnly,
                        [](std::string_view name) { return name != kBackupFolderName; });
    for (fs::FolderWalk::Step step; (step = walk.Next()).kind != fs::FolderWalk::Step::Kind::end;) {
        if (step.failure) {
            failed(std::move(*step.failure));
            continue;
        }
        if (pattern.empty()) continue;
        Result<std::vector<fs::Entry>> entries = fileSystem.List(walk.path(), pattern);
        if (!entries) {
            failed(entries.failure());
            continue;
        }
        const BackupCopies copies(JoinPath(walk.path(), kBackupFolderName), fileSystem);
        for (const fs::Entry& entry : *entries) {
            if (entry.kind != fs::Kind::file || entry.isLink || !fs::MatchesPattern(entry.name, pattern) ||
                IsNeverADocument(entry.name) || copies.Of(entry.name).empty())
                continue;
            results.push_back(RestoreDocument(JoinPath(walk.path(), entry.name), fileSystem, options, &copies));
        }
    }
    return results;
}

}  // namespace quarvel::engine
