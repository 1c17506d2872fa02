#include "engine/jobs.h"

#include <exception>
#include <new>

#include "engine/messages.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
#include "platform/paths.h"

namespace quarvel::engine {

using platform::GetFileNameWithExtension;
using platform::JoinPath;
using platform::kPathSeparator;
using platform::TrimTrailingSeparators;
namespace fs = platform::fs;

namespace {

fs::FileSystem& FileSystemOf(const ConversionSettings& settings) {
    return settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem();
}

bool AbortRequested(const ConversionSettings& settings, JobResult& result) {
    if (!settings.progress->abortRequested.load()) return false;
    result.aborted = true;
    return true;
}

// A failure of the job itself, shown and kept.
void Report(Failure failure, const ConversionSettings& settings, JobResult& result) {
    settings.progress->ShowFailure(failure);
    result.messages.push_back(std::move(failure));
}

// A document that failed before its conversion began.
void Fail(Failure failure, const ConversionSettings& settings, JobResult& result) {
    DocumentResult failed;
    failed.path = failure.path;
    settings.progress->ShowFailure(failure);
    failed.failure = std::move(failure);
    result.documents.push_back(std::move(failed));
}

void Convert(const std::string& path, const ConversionSettings& settings, Backup backup, DocumentBatch& batch,
             JobResult& result, const FolderTemporaries* temporaries = nullptr) {
    if (settings.claims) {
        const std::string folder = ImageFolderOf(path);
        if (!folder.empty()) {
            if (std::optional<std::string> owner = settings.claims->Claim(folder, path)) {
                Fail({Failure::What::imageFolderShared, path, 0, *owner}, settings, result);
                return;
            }
        }
    }
    try {
        if (batch.Convert(path, backup, temporaries) == Outcome::aborted) result.aborted = true;
    } catch (...) {
        // Whatever the document had come to stays unwritten: its rewrite comes last,
        // and temporary files go with the unwinding.
        Fail(FailureOfThrown(std::current_exception(), path), settings, result);
    }
}

// Runs a job's body; something thrown outside any document ends the job with a message.
template <typename Body>
void RunGuarded(const ConversionSettings& settings, JobResult& result, Body body) {
    try {
        body();
    } catch (...) {
        try {
            Report(FailureOfThrown(std::current_exception()), settings, result);
        } catch (...) {
            // Not even the message could be made: the failure still shows in the result.
            result.aborted = true;
        }
    }
}

// A run's own claims where the caller shares none.
ConversionSettings WithClaims(const ConversionSettings& settings, ImageFolderClaims& own) {
    ConversionSettings withClaims = settings;
    if (!withClaims.claims) withClaims.claims = &own;
    return withClaims;
}

// A document named through a symbolic link: the file it names, so that its pictures
// and backup go beside it and its tags point at them.
std::string WhereTheDocumentLives(const std::string& path, fs::FileSystem& fileSystem) {
    if (!fileSystem.IsLink(path)) return path;
    std::optional<std::string> real = fs::RealPath(path);
    return real ? *real : path;
}

}  // namespace

std::optional<std::string> ImageFolderClaims::Claim(const std::string& imageFolder, const std::string& document) {
    const std::lock_guard lock(mutex_);
    const auto [at, taken] = owners_.try_emplace(imageFolder, document);
    if (taken || at->second == document) return std::nullopt;
    return at->second;
}

bool IsNeverADocument(std::string_view name) {
    return fs::IsTemporaryName(name) || name.ends_with('~') || name.starts_with(".#") ||
           (name.size() >= 2 && name.front() == '#' && name.back() == '#');
}

bool JobResult::AnyFailure() const {
    if (!messages.empty()) return true;
    for (const DocumentResult& document : documents)
        if (document.outcome == Outcome::failed) return true;
    return false;
}

JobResult RunFileJob(const ConversionJob& job, JobProgress& progress) {
    ConversionSettings settings = job.settings;
    settings.progress = &progress;
    JobResult result;
    RunGuarded(settings, result, [&] {
        if (job.path.empty()) {
            // Without a document there is nothing to copy or convert, and no folder
            // (backup, images) may appear wherever the program happens to run.
            Report({Failure::What::noFileGiven}, settings, result);
        } else {
            ImageFolderClaims claims;
            const ConversionSettings withClaims = WithClaims(settings, claims);
            DocumentBatch batch(withClaims, result.documents);
            Convert(WhereTheDocumentLives(job.path, FileSystemOf(settings)), withClaims, job.backup, batch, result);
            batch.Commit();
        }
    });
    return result;
}

JobResult RunFolderJob(const FolderConversionJob& job, JobProgress& progress) {
    ConversionSettings settings = job.settings;
    settings.progress = &progress;
    JobResult result;
    RunGuarded(settings, result, [&] {
        const std::string folder = TrimTrailingSeparators(job.folder);
        if (folder.empty()) {
            Report({Failure::What::noFolderGiven}, settings, result);
        } else if (FileSystemOf(settings).Status(folder) != fs::Kind::folder) {
            Report({Failure::What::folderNotFound, folder}, settings, result);
        } else {
            ImageFolderClaims claims;
            const ConversionSettings withClaims = WithClaims(settings, claims);
            // Also after an abort: what waits is converted whole.
            DocumentBatch batch(withClaims, result.documents);
            WalkFolder(folder, job.fileFilter, job.subFolders, job.backup, withClaims, batch, result);
            batch.Commit();
        }
    });
    return result;
}

unsigned FileJobThreadProc(void* param) {
    auto& job = *static_cast<ConversionJob*>(param);
    JobProgress* progress = job.settings.progress;
    if (!progress) return 0;
    job.result = RunFileJob(job, *progress);
    progress->EndJob();  // the record belongs to the starter from here on
    return 0;
}

unsigned FolderJobThreadProc(void* param) {
    auto& job = *static_cast<FolderConversionJob*>(param);
    JobProgress* progress = job.settings.progress;
    if (!progress) return 0;
    job.result = RunFolderJob(job, *progress);
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

namespace {

// The documents of one folder of a walk, whose turn it is.
bool ConvertDocumentsOf(const std::string& folder, std::string_view pattern, Backup backup,
                        const ConversionSettings& settings, DocumentBatch& batch, JobResult& result) {
    // An empty pattern names no document (the matching would take it as every name).
    if (pattern.empty()) return true;
    fs::FileSystem& files = FileSystemOf(settings);
    Result<std::vector<fs::Entry>> listing = files.List(folder, pattern);
    if (!listing) {
        // Whatever lies in a folder that cannot be read is not converted: say so.
        Report(listing.failure(), settings, result);
        return true;
    }
    // The temporary files of killed runs, found once for all the folder's documents.
    const FolderTemporaries temporaries{files.FindTemporaries(folder),
                                        files.FindTemporaries(JoinPath(folder, kBackupFolderName))};
    const std::string shownFolder = ShownPath(GetFileNameWithExtension(folder));
    for (const fs::Entry& entry : *listing) {
        if (AbortRequested(settings, result)) return false;
        // Only regular files: a pipe or a device would block or never end.
        if (entry.kind != fs::Kind::file || !fs::MatchesPattern(entry.name, pattern) || IsNeverADocument(entry.name))
            continue;
        settings.progress->SetProgressText(shownFolder + kPathSeparator + ShownPath(entry.name));
        const std::string path = JoinPath(folder, entry.name);
        // A link may lead out of the tree the user named.
        if (entry.isLink)
            Fail({Failure::What::linkedDocument, path}, settings, result);
        else
            Convert(path, settings, backup, batch, result, &temporaries);
        if (result.aborted) return false;
    }
    return true;
}

}  // namespace

bool WalkFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders, Backup backup,
                const ConversionSettings& settings, DocumentBatch& batch, JobResult& result) {
    // Each folder is held open while its documents are converted: a folder or link put
    // in its place meanwhile is never walked or written, nor is a link put in place of a
    // sub-folder. Backups of earlier runs are never converted in place, and a link may
    // lead out of the tree or round in a circle.
    fs::FolderWalk walk(FileSystemOf(settings), folder,
                        subFolders == SubFolders::yes ? fs::WalkDepth::tree : fs::WalkDepth::folderOnly,
                        [](std::string_view name) { return name != kBackupFolderName; });
    for (;;) {
        if (AbortRequested(settings, result)) return false;
        fs::FolderWalk::Step step = walk.Next();
        switch (step.kind) {
        case fs::FolderWalk::Step::Kind::end: return true;
        // A folder that cannot be read is reported like a document that failed.
        case fs::FolderWalk::Step::Kind::failure: Report(std::move(*step.failure), settings, result); break;
        case fs::FolderWalk::Step::Kind::folder:
            if (!ConvertDocumentsOf(walk.path(), pattern, backup, settings, batch, result)) return false;
            break;
        }
    }
}

}  // namespace quarvel::engine
