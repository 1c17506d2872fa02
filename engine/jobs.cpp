#include "engine/jobs.h"

#include "engine/paths.h"

namespace quarvel {
namespace {

fs::FileSystem& FileSystemOf(const ConversionSettings& settings) {
    return settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem();
}

bool AbortRequested(const ConversionSettings& settings, JobResult& result) {
    if (!settings.progress->bAbort.load()) return false;
    result.bAborted = true;
    return true;
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
    path += name;
    return path;
}

// Makes the backup folder; a failure matters only when there is something to copy.
bool MakeBackupFolder(const std::string& folder, bool needed, const ConversionSettings& settings,
                      JobResult& result) {
    if (MakeDirectory(folder, FileSystemOf(settings))) return true;
    if (needed) result.backupFailures.push_back({folder, TextFolderCreateFailed()});
    return false;
}

void CopyToBackup(const std::string& from, const std::string& to, const ConversionSettings& settings,
                  JobResult& result) {
    // An existing copy is the oldest one and stays.
    if (FileSystemOf(settings).CopyNoOverwrite(from, to) == fs::CopyResult::failed)
        result.backupFailures.push_back({to, TextFileWriteFailed()});
}

void Convert(const std::string& path, const ConversionSettings& settings, JobResult& result) {
    result.documents.push_back(ConvertDocument(path, settings));
    if (result.documents.back().outcome == Outcome::aborted) result.bAborted = true;
}

}  // namespace

bool JobResult::AnyFailure() const {
    if (!messages.empty() || !backupFailures.empty()) return true;
    for (const DocumentResult& document : documents)
        if (document.outcome == Outcome::failed || !document.pictureFailures.empty()) return true;
    return false;
}

bool JobResult::Succeeded() const { return !bAborted && !AnyFailure(); }

unsigned FileJobThreadProc(void* param) {
    auto& job = *static_cast<ConversionJob*>(param);
    JobProgress* progress = job.settings.progress;
    if (!progress) return 0;

    JobResult result;
    if (job.path.empty()) {
        // Without a document there is nothing to copy or convert, and no folder
        // (backup, images) may appear wherever the program happens to run.
        progress->ShowMessage(TextNoFileGiven());
        result.messages.push_back(Problem{"", TextNoFileGiven()});
    } else {
        if (job.bBackup == Backup::yes) {
            const std::string backupFolder = SiblingPath(job.path, kBackupFolderName);
            // The copy keeps the document's own name, with or without an extension.
            if (MakeBackupFolder(backupFolder, true, job.settings, result))
                CopyToBackup(job.path, Join(backupFolder, GetFileNameWithExtension(job.path)), job.settings,
                             result);
        }
        Convert(job.path, job.settings, result);
    }

    job.result = std::move(result);
    progress->EndJob();  // the record belongs to the starter from here on
    return 0;
}

unsigned FolderJobThreadProc(void* param) {
    auto& job = *static_cast<FolderConversionJob*>(param);
    JobProgress* progress = job.settings.progress;
    if (!progress) return 0;

    JobResult result;
    std::string folder = job.folder;
    while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
    std::optional<Problem> refusal;
    if (folder.empty()) refusal = Problem{"", TextNoFolderGiven()};
    else if (FileSystemOf(job.settings).Status(folder) != fs::Kind::folder)
        refusal = Problem{folder, TextFolderNotFound()};

    if (refusal) {
        // An empty path has only the reason to show.
        progress->ShowMessage(refusal->path.empty() ? refusal->reason : MessageText(*refusal));
        result.messages.push_back(std::move(*refusal));
    } else {
        WalkFolder(folder, job.strFileFilter, job.bSubFolder, job.bBackup, job.settings, result);
    }

    job.result = std::move(result);
    progress->EndJob();
    return 0;
}

std::thread StartFileJob(ConversionJob& job) {
    if (job.settings.progress) job.settings.progress->BeginJob();
    return std::thread(FileJobThreadProc, &job);
}

std::thread StartFolderJob(FolderConversionJob& job) {
    if (job.settings.progress) job.settings.progress->BeginJob();
    return std::thread(FolderJobThreadProc, &job);
}

bool WalkFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders, Backup backup,
                const ConversionSettings& settings, JobResult& result) {
    fs::FileSystem& fileSystem = FileSystemOf(settings);

    if (subFolders == SubFolders::yes) {
        for (const fs::Entry& entry : fileSystem.List(folder, {})) {
            if (AbortRequested(settings, result)) return false;
            // Backups of earlier runs are never converted in place, and a link may
            // lead out of the tree or round in a circle.
            if (entry.kind != fs::Kind::folder || entry.bSymlink || entry.name == kBackupFolderName) continue;
            if (!WalkFolder(Join(folder, entry.name), pattern, subFolders, backup, settings, result))
                return false;
        }
    }

    // An empty pattern names no document (the file system's listing would take it
    // as every name).
    std::vector<std::string> names;
    for (const fs::Entry& entry : pattern.empty() ? std::vector<fs::Entry>() : fileSystem.List(folder, pattern)) {
        if (AbortRequested(settings, result)) return false;
        // Only regular files: a pipe or a device would block or never end.
        if (entry.kind == fs::Kind::file) names.push_back(entry.name);
    }

    if (backup == Backup::yes) {
        const std::string backupFolder = Join(folder, kBackupFolderName);
        const bool made = MakeBackupFolder(backupFolder, !names.empty(), settings, result);
        for (const std::string& name : names) {
            if (AbortRequested(settings, result)) return false;
            if (made) CopyToBackup(Join(folder, name), Join(backupFolder, name), settings, result);
        }
    }

    const std::string shownFolder = NativeToCp932(GetFileNameWithExtension(folder));
    for (const std::string& name : names) {
        if (AbortRequested(settings, result)) return false;
        settings.progress->SetProgressText(shownFolder + kPathSeparator + NativeToCp932(name));
        Convert(Join(folder, name), settings, result);
    }
    return true;
}

}  // namespace quarvel
