#pragma once
// The pictures of one document: the scan hands on one stretch after another, workers
// draw and encode the pictures, and the results are taken in document order, so that
// the progress texts, the messages and the files are the same as with one worker,
// also when the disk fills up. What DocumentConverter (conversion.cpp) hands its
// stretches to; nothing outside the engine uses it.

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/conversion.h"
#include "platform/fs.h"

namespace quarvel::engine {

// A document stops with a failure: the outcome, the failure, and its message shown.
void FailDocument(DocumentResult& result, JobProgress& progress, Failure failure);

// One item of the scan on its way to the results: a stretch's picture, or the reason
// the scan stopped, which the results take in document order like the pictures.
struct PictureWork {
    enum class Kind {
        picture,  // a stretch to draw
        failure,  // the scan could not go on: `failure`
        abort,    // the scan saw the abort
        thrown,   // something was thrown in the scan: `thrown`
    };
    Kind kind = Kind::picture;
    std::string progressText;        // shown when the result is taken
    int keptBefore = 0;              // own tags the scan had passed by then
    std::string art;                 // the stretch up to its first NUL byte
    std::string path;                // of the picture file
    bool drawn = false;              // not drawn: the pictures had ended meanwhile
    std::optional<std::string> png;  // the file's bytes; nullopt: no memory to encode
    std::exception_ptr thrown;       // from drawing, or from the scan
    std::optional<Failure> failure;  // with Kind::failure
    render::RenderReport report;     // with ConversionSettings::collectNotes
};

// How the pictures of a document ended: the first end the results met.
enum class PicturesEnd {
    underWay,  // not yet
    done,      // the scan went to the end of the document, every picture in place
    aborted,   // the user stopped the job
    failed,    // a picture or a step of the scan failed (the message has been shown)
    threw,     // something was thrown (see PicturePipeline::thrown)
};

class PicturePipeline {
public:
    // The pictures' bytes wait in `pending` to be flushed with the batch's other files.
    PicturePipeline(const ConversionSettings& settings, platform::fs::FileSystem& files, DocumentResult& result,
                    platform::fs::PendingFlush& pending);

    // Runs the scan (`next` fills in the next item; false at the end of the document),
    // the drawing on the settings' workers and the taking of the results, and returns
    // how the pictures ended. At most twice as many pictures as workers are under way.
    PicturesEnd Run(const std::function<bool(PictureWork&)>& next);
    // Whether the results have ended, so that the scan stops too.
    bool Ended() const { return end_.load(std::memory_order_relaxed) != PicturesEnd::underWay; }
    std::exception_ptr thrown() const { return thrown_; }

    // Gives the pictures written their names (their bytes are on disk: the batch has
    // flushed them); `names` takes their folder. A file that took one of their numbers
    // meanwhile keeps it: changedMeanwhile.
    Result<void> NameWritten(platform::fs::PendingFlush& names);
    // Removes the pictures this run wrote (those named only while they are still there).
    void RemoveWritten();
    // The document that shows the pictures is in place: they need no note any more.
    void Shown();
    // The pictures are made for this file: its owner's, and no more open than it.
    void MadeFor(const platform::fs::FileInfo* document) { madeFor_ = document; }
    // How many pictures are written and wait for their names (each holds its file open).
    std::size_t Unnamed() const { return written_.size() - named_; }
    // A note that this program did not write holds the note's name: none is written.
    void LeaveNoteAlone() { leaveNote_ = true; }
    // What each picture named is, once named (for the record of the conversion).
    struct Named {
        std::string path;
        platform::fs::FileInfo file;
    };
    std::vector<Named> NamedPictures() const;

private:
    void Draw(PictureWork& work) const;
    void Take(PictureWork& work);
    void End(PicturesEnd end);

    const ConversionSettings& settings_;
    platform::fs::FileSystem& files_;
    DocumentResult& result_;
    std::vector<PictureWork> slots_;  // the stretches under way
    // The results' own (in document order, one at a time).
    platform::fs::PendingFlush& unflushed_;  // pictures in place, not yet on disk
    const platform::fs::FileInfo* madeFor_ = nullptr;
    // The pictures this run wrote: unnamed until the batch names them (a run killed
    // before leaves none of them), and which files they are once named.
    struct Written {
        std::string path;
        platform::fs::StagedFile staged;
        platform::fs::FileId id;
        platform::fs::FileInfo file;  // once named
    };
    std::deque<Written> written_;
    std::size_t named_ = 0;  // the first of written_ that have their names
    // The note that lists them once they take names (engine/naming_note.h): its folder,
    // its lines, and how many of written_ it has seen.
    std::string notedIn_;
    std::string noteLines_;
    std::size_t noted_ = 0;
    bool leaveNote_ = false;
    std::exception_ptr thrown_;
    std::atomic<PicturesEnd> end_{PicturesEnd::underWay};
};

}  // namespace quarvel::engine
