#pragma once
// The converter of one document (conversion.cpp): its new text as it is built
// (Output), and each step from the reading of the document to its putting in place.
// Nothing outside the engine uses it.

#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "engine/conversion_internal.h"
#include "engine/conversion_record.h"
#include "engine/document_scan.h"
#include "engine/picture_pipeline_internal.h"
#include "platform/fs.h"

namespace quarvel::engine::detail {

namespace fs = platform::fs;

// The new document, built from pieces of the scanned text and inserted tags. In
// EUC-JP mode the pieces are copied from the original bytes, never converted back,
// so nothing outside the stretches changes, valid EUC-JP or not. Until the first tag
// the new document is the old one, so nothing is copied before it is needed.
class Output {
public:
    Output(std::string_view scanned, std::string_view original, const KanaPositions* kanaAt)
        : scanned_(scanned), original_(original), kanaAt_(kanaAt) {}

    void Copy(std::size_t from, std::size_t to) {
        if (!changed_) return;
        std::size_t a = SourceOffset(from), b = SourceOffset(to);
        bytes_.append(original_.substr(a, b - a));
    }
    // The stretch [from, to) of the scanned text is replaced by `documentBytes`.
    void Replace(std::size_t from, std::string_view documentBytes) {
        if (!changed_) {
            changed_ = true;
            bytes_.reserve(original_.size() + 4096);
            bytes_.append(original_.substr(0, SourceOffset(from)));
        }
        bytes_ += documentBytes;
    }
    bool changed() const { return changed_; }
    const std::string& bytes() const { return bytes_; }

private:
    std::size_t SourceOffset(std::size_t pos) const {
        return kanaAt_ ? EucSourceOffset(pos, scanned_.size(), original_.size(), *kanaAt_) : pos;
    }

    std::string_view scanned_;
    std::string_view original_;  // the document's bytes as read
    const KanaPositions* kanaAt_;
    bool changed_ = false;
    std::string bytes_;
};

// How many later copies of a document backup/ keeps beside the oldest.
constexpr int kLastBackupNumber = 999;

class DocumentConverter : public PreparedDocument {
public:
    DocumentConverter(std::string path, const ConversionSettings& settings, Backup backup, fs::PendingFlush& pending,
                      const FolderTemporaries* temporaries)
        : path_(std::move(path)),
          settings_(settings),
          backup_(backup),
          temporaries_(temporaries),
          fs_(settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem()),
          unflushed_(pending),
          pictures_(settings, fs_, result_, pending) {}

    // Converts the document up to its putting in place.
    void Prepare();

    DocumentResult& result() override { return result_; }
    bool Waiting() const override { return !stagedDocument_.path().empty(); }
    void PlacePicturesAndBackup(fs::PendingFlush& names) override;
    void PlaceDocument() override;
    void Fail(Failure failure) override;
    std::size_t OpenFiles() const override;

private:
    // Whether the work goes on after a step; a step that stops has set the outcome
    // (and shown its message).
    enum class Step { goOn, stop };

    void Convert();
    void RemoveWhatThisRunMade();
    Step Stop(Failure failure);
    Step HoldAndLock();
    Step Read(fs::FileBytes& file);
    void ChooseCode();
    Step Decode(KanaPositions& kanaAt);
    void Stage(const Output& output);

    // The scan's part of the pictures: the next item for them, false at the end.
    bool ScanToNextPicture(DocumentScan& scan, Output& output, PictureWork& work);
    bool StartPicture(std::size_t from, std::size_t to, Output& output, PictureWork& work);
    bool PrepareFirstChange(PictureWork& work);
    Result<fs::HeldFolder> MakeFolder(const std::string& folder);
    Result<void> StageBackup(const std::string& folder);
    Result<void> ListTakenNames();

    const std::string path_;
    const ConversionSettings& settings_;
    const Backup backup_;
    const FolderTemporaries* temporaries_;  // of the document's folder, when a walk found them
    fs::FileSystem& fs_;
    fs::PendingFlush& unflushed_;  // the batch's files that wait to be flushed
    DocumentResult result_;
    PicturePipeline pictures_;
    // The untouched copy and the new document, written and waiting for their places.
    fs::StagedFile stagedBackup_, stagedDocument_;
    std::string backupPath_;  // where the copy goes, or went
    fs::FileId backupId_;     // the copy, once in place
    // The copy that holds the text as it was read (new or already there), and the
    // record of the conversion written beside it.
    std::string recordCopy_;
    ConversionRecord record_;
    fs::FileId recordId_;

    std::string imageFolder_;
    // The folders worked in, held open: the document's, its backup folder and its
    // image folder, so that no folder or link put in their place meanwhile is written.
    fs::HeldFolder documentFolder_, backupFolder_, heldImageFolder_;
    fs::FileLock lock_;             // another run of this program waits for it
    bool madeImageFolder_ = false;  // the image folder was made by this run
    // Names in the image folder before this run: no picture of this run takes one.
    std::unordered_set<std::string> taken_;
    std::string progressPrefix_;  // "F/B.X", as ShownPath shows it
    std::string tagPrefix_;       // `<img src="./B/` as it stands in the scanned text
    std::string_view source_;     // the document's bytes as read
    fs::FileInfo read_;           // the document as it was read
    // The code the document is read in, and the failure to show at its first change
    // when that is not the code of its bytes (a document without a stretch is no harm).
    DocumentCode code_ = DocumentCode::shiftJis;
    std::optional<Failure> wrongCode_;
    std::string_view text_;     // the scanned text (Shift-JIS, or UTF-8 for a UTF-8 document)
    fs::FileBytes converted_;   // its storage for EUC-JP documents
    Separators starts_, ends_;  // the separators in the scanned text's code

    // The scan's own (its stage runs one call at a time).
    std::size_t pending_ = 0;  // where the text not yet copied begins
    long nextNumber_ = 1;
    int started_ = 0;        // pictures handed on
    int kept_ = 0;           // own tags passed
    bool prepared_ = false;  // the first change has been prepared for
    bool scanOver_ = false;  // the scan has handed on its last item
};

}  // namespace quarvel::engine::detail
