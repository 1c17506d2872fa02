#pragma once
// One document converted in place: every stretch between a start separator and an
// end separator becomes a numbered PNG file in the document's image folder, and an
// image tag pointing at it takes the stretch's place.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_settings.h"
#include "platform/failure.h"
#include "platform/fs.h"
#include "render/renderer.h"

namespace quarvel::engine {

// What happened to a document: converted (rewritten with its pictures, or nothing to
// draw in it: DocumentResult::pictures is then 0); restored (put back from a copy in
// backup/); left (nothing to put back); failed (DocumentResult::failure says why, its
// message shown); aborted; skipped: not a document (a picture, an archive, other binary),
// left alone without a message, DocumentResult::notText says what it is.
enum class Outcome { converted, restored, left, failed, aborted, skipped };

// The pictures of the conversions undone that restore kept, by why.
struct PicturesKept {
    int changed = 0;  // changed since the conversion made them (retouched, replaced)
    int named = 0;    // named by the text put back, or by the edited text kept
    int notOwn = 0;   // files of another user than the one whose record names them
    int newer = 0;    // without a record: newer than the converted text
    int Total() const { return changed + named + notOwn + newer; }
};

// What became of one document, in a conversion or a restore.
struct DocumentResult {
    std::string path;
    Outcome outcome = Outcome::failed;
    std::optional<Failure> failure;              // what failed, when the document failed (its message shown)
    DocumentCode code = DocumentCode::shiftJis;  // the code the document was read in
    int pictures = 0;                            // pictures drawn
    int kept = 0;                                // stretches that already were this program's tags
    std::string notText;                         // skipped: what the file is ("PNG picture", ...)

    // With ConversionSettings::collectNotes: the pictures that do not show all of
    // their art, in document order, and the character set the document declares when
    // it is not the code it was read in.
    struct PictureNotes {
        std::string path;
        render::RenderReport report;
    };
    std::vector<PictureNotes> pictureNotes;
    std::string otherCharset;

    // What went wrong without stopping the document, to be said: a note or a record of
    // this program's that it did not write (left alone), a conversion undone without its
    // record, a record that could not be written.
    std::vector<Failure> warnings;

    // Restored, or left: the copy in backup/ it was put back from (or holds already),
    // where the text it held is kept, and the pictures of the conversions undone:
    // removed, and kept.
    std::string backup;
    std::string keptAs;
    int picturesRemoved = 0;
    PicturesKept picturesKept;
};

// The image folder of a document: its base name beside it; empty when the base name
// is no plain name of a new folder ("", "." or "..": a document named ".htm", "..htm"
// or "...htm"), which would put its pictures into a folder that is not its own.
std::string ImageFolderOf(const std::string& document);

// Converts the document at `path` in place. Nothing is made unless the document
// changes: it is read and scanned, and only at its first change are the stale
// temporary files of earlier killed runs removed, the untouched copy written to
// backup/ (with Backup::yes; an existing copy stays), the image folder made and the
// pictures written. Any failure among these leaves the document as it is, as does a
// change made to it by another program meanwhile (also while it is read); each shows
// its message through the progress interface, and the pictures written for it go
// again. On abort stops at once and leaves the document as it was. A batch of one.
DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup = Backup::no);

class PreparedDocument;

// What a folder walk found once for all the documents of a folder: the temporary files
// of killed runs in the folder and in its backup/, which each document's conversion
// looks its own up in rather than list the folders again.
struct FolderTemporaries {
    platform::fs::Temporaries folder;
    platform::fs::Temporaries backup;
};

// The documents of a job, each converted up to its putting in place and then put in
// place together: their pictures, copies and new texts are flushed to disk in one go
// (this run's files only), the copies take their names, and only then are the
// documents replaced. A crash never leaves a document that names a picture the disk
// lacks, nor one replaced before its copy; and the disk is asked to flush once a
// batch rather than once a document.
class DocumentBatch {
public:
    // At most this many documents wait, and none longer than this; nor once what they
    // keep open reaches half of PendingFlush::MostOpen, so that a batch takes a bounded
    // share of the files the process may open, whatever its documents hold.
    static constexpr std::size_t kMaxDocuments = 20;
    static constexpr std::chrono::milliseconds kMaxWait{2000};

    // The results of the documents go to `results`, in the order they come.
    DocumentBatch(const ConversionSettings& settings, std::vector<DocumentResult>& results);
    // Puts what waits in place.
    ~DocumentBatch();
    DocumentBatch(const DocumentBatch&) = delete;
    DocumentBatch& operator=(const DocumentBatch&) = delete;

    // Converts a document (as ConvertDocument does) up to its putting in place; its
    // result joins `results` now and is completed when the batch is put in place.
    // The outcome so far: converted stands for "waiting" too. `temporaries`, when
    // given, are those of the document's folder.
    Outcome Convert(const std::string& path, Backup backup, const FolderTemporaries* temporaries = nullptr);
    // Puts every waiting document in place.
    void Commit();

private:
    struct Waiting {
        std::unique_ptr<PreparedDocument> document;
        std::size_t result;  // its place in `results_`
    };
    // The files the waiting documents keep open, and those waiting to be flushed.
    std::size_t OpenFiles() const;

    const ConversionSettings& settings_;
    platform::fs::FileSystem& fileSystem_;
    std::vector<DocumentResult>& results_;
    platform::fs::PendingFlush pending_;
    std::vector<Waiting> waiting_;
    std::chrono::steady_clock::time_point firstWaiting_;
};

}  // namespace quarvel::engine
