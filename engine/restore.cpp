#include "engine/restore.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "engine/code_convert.h"
#include "engine/document_code.h"
#include "engine/image_tags.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/paths.h"

namespace quarvel::engine {

using platform::ContainingFolder;
using platform::GetBaseName;
using platform::GetFileNameWithExtension;
using platform::JoinPath;
using platform::SiblingPath;
namespace fs = platform::fs;

namespace {

// The numbers of the pictures that the document's own image tags name.
std::set<long> PicturesNamed(std::string_view bytes, const std::string& document) {
    const DocumentCode code = DetectDocumentCode(bytes);
    const std::string text = code == DocumentCode::eucJp ? EucToShiftJis(bytes) : std::string(bytes);
    const std::string prefix = "<img src=\"./" + TagBaseName(GetBaseName(document), code) + "/";
    const std::vector<long> numbers = OwnTagNumbers(text, prefix);
    return {numbers.begin(), numbers.end()};
}

// The document as it stands, kept beside its copies under a name of its own.
Result<std::string> KeepAsItStands(const std::string& document, std::string_view bytes, const fs::FileInfo& info,
                                   fs::FileSystem& fileSystem, fs::FileId& kept) {
    const std::string base =
        JoinPath(SiblingPath(document, kBackupFolderName), GetFileNameWithExtension(document) + ".converted");
    fs::WriteOptions options;
    options.existing = fs::Existing::keep;
    options.like = &info;
    options.keepTimes = true;
    options.placed = &kept;
    for (int number = 0;; ++number) {
        const std::string path = number == 0 ? base : base + "." + std::to_string(number);
        Result<void> written = fileSystem.WriteNewFile(path, bytes, options);
        if (written) return path;
        if (!written.failure().Is(Failure::What::exists) || number == 999) return written.failure();
    }
}

// Removes the pictures of the conversion: regular files only, never what a link leads to.
int RemovePictures(const std::string& document, const std::set<long>& numbers, fs::FileSystem& fileSystem) {
    const std::string folder = ImageFolderOf(document);
    if (folder.empty() || numbers.empty()) return 0;
    Result<fs::HeldFolder> held = fileSystem.Hold(folder);
    if (!held) return 0;
    int removed = 0;
    for (long number : numbers) {
        const std::string picture = JoinPath(folder, PictureNumber(number) + ".png");
        if (fileSystem.IsLink(picture) || fileSystem.Status(picture) != fs::Kind::file) continue;
        removed += fileSystem.Remove(picture);
    }
    const fs::FileId id = held->id();
    *held = fs::HeldFolder();
    fileSystem.Remove(folder, &id);  // only when nothing else is left in it
    return removed;
}

}  // namespace

BackupCopies::BackupCopies(const std::string& backupFolder, fs::FileSystem& fileSystem) : folder_(backupFolder) {
    Result<std::vector<fs::Entry>> entries = fileSystem.List(folder_, {});
    if (!entries) return;
    auto take = [&](std::string_view name, long number) {
        auto [at, made] = newest_.try_emplace(std::string(name), number);
        if (!made) at->second = std::max(at->second, number);
    };
    for (const fs::Entry& entry : *entries) {
        if (entry.kind != fs::Kind::file || entry.isLink) continue;
        const std::string_view name = entry.name;
        take(name, 0);
        // NAME.N: a later copy of NAME (N from 1 to 999, without leading zeros).
        const std::size_t dot = name.find_last_of('.');
        if (dot == std::string_view::npos) continue;
        const std::string_view digits = name.substr(dot + 1);
        if (digits.empty() || digits.size() > 3 || digits[0] == '0' ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        take(name.substr(0, dot), std::stol(std::string(digits)));
    }
}

std::string BackupCopies::NewestOf(std::string_view name) const {
    const auto at = newest_.find(name);
    if (at == newest_.end()) return {};
    return JoinPath(folder_, at->second == 0 ? std::string(name) : std::string(name) + "." + std::to_string(at->second));
}

std::string NewestBackupOf(const std::string& document, fs::FileSystem& fileSystem) {
    return BackupCopies(SiblingPath(document, kBackupFolderName), fileSystem)
        .NewestOf(GetFileNameWithExtension(document));
}

RestoreResult RestoreDocument(const std::string& path, fs::FileSystem& fileSystem, const BackupCopies* copies) {
    RestoreResult result;
    result.path = path;
    auto fail = [&](Failure failure) {
        result.outcome = RestoreResult::Outcome::failed;
        result.failure = std::move(failure);
        return std::move(result);
    };
    Result<fs::HeldFolder> folder = fileSystem.Hold(ContainingFolder(path));
    if (!folder) return fail({Failure::What::notOpened, path, folder.failure().error});
    const std::atomic<bool> never{false};
    Result<fs::FileLock> lock = fileSystem.LockFile(path, never);
    if (!lock) return fail(lock.failure());
    fs::FileBytes current;
    Result<fs::FileInfo> read = fileSystem.ReadFileBytes(path, current);
    if (!read) return fail(read.failure());

    result.backup = copies ? copies->NewestOf(GetFileNameWithExtension(path)) : NewestBackupOf(path, fileSystem);
    if (result.backup.empty()) return fail({Failure::What::noBackup, path});
    Result<std::string> copy = fileSystem.ReadWhole(result.backup);
    if (!copy) return fail(copy.failure());
    if (*copy == current.view()) {
        result.outcome = RestoreResult::Outcome::unchanged;
        return result;
    }
    if (Result<void> writable = fileSystem.CheckWritable(path); !writable) return fail(writable.failure());

    fs::FileId kept;
    Result<std::string> keptAs = KeepAsItStands(path, current.view(), *read, fileSystem, kept);
    if (!keptAs) return fail(keptAs.failure());
    if (Result<void> replaced = fileSystem.ReplaceFile(path, *copy, &*read); !replaced) {
        fileSystem.Remove(*keptAs, &kept);  // nothing changed, so nothing needs keeping
        Failure failure = replaced.failure();
        failure.path = path;
        return fail(std::move(failure));
    }
    result.keptAs = *keptAs;
    result.outcome = RestoreResult::Outcome::restored;
    std::set<long> gone = PicturesNamed(current.view(), path);
    for (long number : PicturesNamed(*copy, path)) gone.erase(number);
    result.picturesRemoved = RemovePictures(path, gone, fileSystem);
    return result;
}

std::vector<RestoreResult> RestoreFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders,
                                         fs::FileSystem& fileSystem) {
    std::vector<RestoreResult> results;
    auto failed = [&](Failure failure) {
        RestoreResult result;
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
                IsNeverADocument(entry.name) || copies.NewestOf(entry.name).empty())
                continue;
            results.push_back(RestoreDocument(JoinPath(walk.path(), entry.name), fileSystem, &copies));
        }
    }
    return results;
}

}  // namespace quarvel::engine
