#pragma once
// The way back from a conversion: a document put back from its copy in backup/, and
// the pictures of that conversion removed.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jobs.h"
#include "platform/failure.h"

namespace quarvel::platform::fs {
class FileSystem;
}

namespace quarvel::engine {

struct RestoreResult {
    enum class Outcome {
        restored,   // put back from `backup`
        unchanged,  // the document already holds what its newest copy holds
        failed,     // `failure` says why; the document is as it was
    };
    std::string path;
    Outcome outcome = Outcome::failed;
    std::optional<Failure> failure;
    std::string backup;       // the copy it was put back from
    std::string keptAs;       // where the document as it stood is kept
    int picturesRemoved = 0;  // pictures of the conversion that no tag names any more
};

// The copies that a backup/ holds, from one listing of it, so that the documents of a
// folder look theirs up rather than list it each.
class BackupCopies {
public:
    // Lists `backupFolder` (nothing is in it when it is missing or cannot be read).
    BackupCopies(const std::string& backupFolder, platform::fs::FileSystem& fileSystem);
    // The copy the document named `name` is put back from: the newest (NAME.N with the
    // highest N, else NAME), as a path in the backup folder; empty when there is none.
    std::string NewestOf(std::string_view name) const;

private:
    std::string folder_;
    std::map<std::string, long, std::less<>> newest_;  // 0: NAME itself
};

// The copy a document is put back from: the newest in backup/ beside it (NAME.N with
// the highest N, else NAME); empty when there is none.
std::string NewestBackupOf(const std::string& document, platform::fs::FileSystem& fileSystem);

// Puts the document back from its newest copy in backup/, byte for byte. The document
// as it stands is kept first beside the copies (backup/NAME.converted, .converted.1,
// ...), so that nothing is lost; then the pictures that the document's own image tags
// name and the restored text no longer does are removed (regular files only), with the
// image folder when nothing else is left in it. A document that another program changes
// meanwhile is left as it is (changedMeanwhile); one without a copy: noBackup.
// `copies`, when given, are those of the backup/ beside the document, as listed for its
// folder.
RestoreResult RestoreDocument(const std::string& path, platform::fs::FileSystem& fileSystem,
                              const BackupCopies* copies = nullptr);

// Every document of a folder (and of its sub-folders, with SubFolders::yes) whose name
// matches the pattern and that has a copy in the backup/ beside it, restored as
// RestoreDocument does, in the order a conversion walks them (platform::fs::FolderWalk),
// each folder and its backup/ listed once. A folder that cannot be read, or that lies
// deeper than the walk goes, is a failed result of its own.
std::vector<RestoreResult> RestoreFolder(const std::string& folder, std::string_view pattern, SubFolders subFolders,
                                         platform::fs::FileSystem& fileSystem);

}  // namespace quarvel::engine
