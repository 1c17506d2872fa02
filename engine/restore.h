#pragma once
// The way back from a conversion: a document put back from its copy in backup/, and
// the pictures of that conversion removed.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/conversion.h"
#include "engine/jobs.h"
#include "engine/progress.h"

namespace quarvel::platform::fs {
class FileSystem;
}

namespace quarvel::engine {

struct RestoreOptions {
    // Straight back to the first copy (backup/NAME), not one conversion back.
    bool original = false;
    // Also a document edited since its conversion: the edited text is kept in backup/
    // and every picture it names stays.
    bool force = false;
    // How long a document another process holds locked is waited for.
    std::chrono::milliseconds lockWait{kDefaultLockWait};
    // Where a long wait is said, and whose abort ends it (the document then stays as it
    // is: aborted). None: the wait is silent and cannot be ended.
    JobProgress* progress = nullptr;
    // Only decide, without a lock or a change: the result says what restore would do
    // (restored, with the copy it would put back; left; or why it would fail), and
    // nothing is removed.
    bool onlyLook = false;
};

// The number of a copy of the document named `document` that a file in backup/ named
// `entry` is: 0 for the first copy (the document's own name), N for NAME.N (1 to 999);
// -1 for any other file.
long CopyNumber(std::string_view entry, std::string_view document);

// The copies that a backup/ holds, from one listing of it, so that the documents of a
// folder look theirs up rather than list it each.
class BackupCopies {
public:
    // Lists `backupFolder`; nothing is in it when it cannot be listed (failure() says why).
    BackupCopies(const std::string& backupFolder, platform::fs::FileSystem& fileSystem);
    const std::optional<Failure>& failure() const { return failure_; }
    // The copies of the document named `name`, each its number (CopyNumber) and its
    // name in the backup folder, oldest first; none when it has no copy.
    using Copies = std::vector<std::pair<long, std::string>>;
    const Copies& Of(std::string_view name) const;

private:
    std::map<std::string, Copies, std::less<>> copies_;
    std::optional<Failure> failure_;
};

// Puts the document back one conversion: from the copy of the text that conversion
// started from (the newest copy in backup/, or the one before the copy the document
// already holds), down to the first copy; with `original`, straight to the first copy.
// The copy must be what the conversion's record says it started from (else
// copyDamaged, naming the copy), and the document what the conversion wrote (else
// documentEdited, unless `force`). The document as it stands is kept first
// beside the copies (backup/NAME.converted, .converted.1, ...), then replaced; then
// the pictures of the conversions undone are removed: those their records name that
// are still as the runs left them, and no picture the text put back (or, forced, the
// edited text) names. Without a record, the pictures the document's tags name and the
// copy's do not, but none newer than the converted text (a warning says so). Every
// folder is held open from the first look into it. Nothing changes on any failure;
// a document without a copy: noBackup; one that holds the first copy already: left.
// `copies`, when given, are those of the backup/ beside the document, as listed for its
// folder.
DocumentResult RestoreDocument(const std::string& path, platform::fs::FileSystem& fileSystem,
                               const RestoreOptions& options = {}, const BackupCopies* copies = nullptr);

// Every document of a folder (and of its sub-folders, with SubFolders::yes) whose name
// matches the pattern and that has a copy in the backup/ beside it, restored as
// RestoreDocument does, in the order a conversion walks them (platform::fs::FolderWalk),
// each folder and its backup/ listed once. A folder that cannot be read, or that lies
// deeper than the walk goes, is a failed result of its own.
std::vector<DocumentResult> RestoreFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders,
                                          platform::fs::FileSystem& fileSystem, const RestoreOptions& options = {});

}  // namespace quarvel::engine
