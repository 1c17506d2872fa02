#pragma once
// File jobs and folder jobs: backups, the folder walk and the worker threads.
//
// How a front end runs a job: on a thread of its own, RunFileJob / RunFolderJob with
// the progress interface it serves, which return what became of the job. Or: fill a
// job record (it must stay alive and unchanged until the job ends), then
// StartFileJob / StartFolderJob, which call BeginJob on the settings' progress and
// start the thread procedure on a new thread. The worker calls EndJob exactly once,
// as its last act, after storing the job's result in the record; once `running` is
// false (or the thread has been joined) the starter reads `result` and may destroy
// the record.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/conversion.h"

namespace quarvel::engine {

enum class SubFolders { no, yes };

// The image folders that the documents of one run have taken, so that no two share
// one: thread.htm and thread.htm_old, or x.htm and x.html, would draw their pictures
// over each other's. A document takes its folder before it is converted, whether it
// then changes or not; the first to come keeps it for the whole run.
class ImageFolderClaims {
public:
    // Takes the image folder for the document; when another document has it already,
    // takes nothing and returns that document.
    std::optional<std::string> Claim(const std::string& imageFolder, const std::string& document);

private:
    std::mutex mutex_;
    std::map<std::string, std::string> owners_;  // image folder -> document
};

// Names that are never documents, whatever the pattern: this program's temporary
// files and what editors leave beside a file they edit (backups "name~", locks
// ".#name" and autosaves "#name#").
bool IsNeverADocument(std::string_view name);

struct JobResult {
    std::vector<DocumentResult> documents;  // in the order they were worked on
    std::vector<Failure> messages;          // failures of the job itself (folder not found,
                                            // folder not readable ...), each shown
    bool aborted = false;

    // Whether any document or the job itself failed.
    bool AnyFailure() const;
};

struct ConversionJob {
    std::string path;  // the document; one named through a symbolic link is converted where it lives
    Backup backup = Backup::yes;
    ConversionSettings settings;
    JobResult result;  // written by the worker before EndJob
};

struct FolderConversionJob {
    std::string folder;  // trailing separators are ignored
    std::string fileFilter = "*.htm";
    SubFolders subFolders = SubFolders::yes;
    Backup backup = Backup::yes;
    ConversionSettings settings;
    JobResult result;
};

// Runs a job on the calling thread, reporting to `progress` (the record's own
// settings.progress is not used); returns what became of it. Nothing thrown leaves
// them: a document during which something is thrown (no memory, say) fails with a
// message and stays as it was, and the job goes on or ends with a message. They do
// not call BeginJob or EndJob.
JobResult RunFileJob(const ConversionJob& job, JobProgress& progress);
JobResult RunFolderJob(const FolderConversionJob& job, JobProgress& progress);

// Thread procedures, as a thread of the job's own starts them: `param` points at the
// job record, whose settings.progress reports; the job's result goes to the record,
// then EndJob. They return 0 at once, touching nothing, when the settings have no
// progress interface.
unsigned FileJobThreadProc(void* param);
unsigned FolderJobThreadProc(void* param);

// Calls BeginJob and runs the job's thread procedure on a new thread.
std::thread StartFileJob(ConversionJob& job);
std::thread StartFolderJob(FolderConversionJob& job);

// Converts the matching documents of a folder tree, depth first: each sub-folder
// with its whole tree (in byte order of names; not symbolic links and not the
// folders named "backup"), then the folder's own documents, each backed up just
// before its first change (see ConvertDocument). Names that are never documents are
// passed over; a document that is a symbolic link is not followed, and one whose
// image folder an earlier document of the run has taken is left as it is, each with
// a message. A folder that cannot be read, or that lies deeper than the walk goes
// (platform::fs::kMaxWalkDepth levels below `folder`), is reported like a document
// that failed, and the walk goes on without it. The walk takes no more memory or
// descriptors for a deep tree than for a shallow one (platform::fs::FolderWalk). The
// documents go through `batch`, which puts them in place (the caller commits what
// waits at the end). False when the user aborted.
bool WalkFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders, Backup backup,
                const ConversionSettings& settings, DocumentBatch& batch, JobResult& result);

}  // namespace quarvel::engine
