#include "engine/restore.h"

#include <algorithm>
#include <iterator>

#include "platform/fs.h"
#include "platform/paths.h"

namespace quarvel::engine {

using platform::GetFileNameWithExtension;
using platform::JoinPath;
using platform::SiblingPath;
namespace fs = platform::fs;

std::string NewestBackupOf(const std::string& document, fs::FileSystem& fileSystem) {
    const std::string folder = SiblingPath(document, kBackupFolderName);
    const std::string name = GetFileNameWithExtension(document);
    Result<std::vector<fs::Entry>> entries = fileSystem.List(folder, {});
    if (!entries) return {};
    long newest = -1;
    for (const fs::Entry& entry : *entries)
        if (entry.kind == fs::Kind::file && !entry.isLink) newest = std::max(newest, CopyNumber(entry.name, name));
    if (newest < 0) return {};
    return JoinPath(folder, newest == 0 ? name : name + "." + std::to_string(newest));
}

std::vector<DocumentResult> RestoreFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders,
                                          fs::FileSystem& fileSystem, const RestoreOptions& options) {
    std::vector<DocumentResult> results;
    auto failed = [&](Failure failure) {
        DocumentResult result;
        result.path = failure.path;
        result.failure = std::move(failure);
        results.push_back(std::move(result));
        return results;
    };
    Result<fs::HeldFolder> held = fileSystem.Hold(folder);
    if (!held) return failed(held.failure());
    Result<std::vector<fs::Entry>> entries = fileSystem.List(folder, {});
    if (!entries) return failed(entries.failure());
    if (subFolders == SubFolders::yes) {
        for (const fs::Entry& entry : *entries) {
            if (entry.kind != fs::Kind::folder || entry.isLink || entry.name == kBackupFolderName) continue;
            std::vector<DocumentResult> inside =
                RestoreFolder(JoinPath(folder, entry.name), pattern, subFolders, fileSystem, options);
            std::move(inside.begin(), inside.end(), std::back_inserter(results));
        }
    }
    for (const fs::Entry& entry : *entries) {
        if (entry.kind != fs::Kind::file || entry.isLink || pattern.empty() ||
            !fs::MatchesPattern(entry.name, pattern) || IsNeverADocument(entry.name))
            continue;
        const std::string document = JoinPath(folder, entry.name);
        if (!NewestBackupOf(document, fileSystem).empty())
            results.push_back(RestoreDocument(document, fileSystem, options));
    }
    return results;
}

}  // namespace quarvel::engine
