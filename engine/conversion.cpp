#include "engine/conversion.h"

#include <tbb/info.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/code_convert.h"
#include "engine/declared_charset.h"
#include "engine/document_scan.h"
#include "engine/image_tags.h"
#include "engine/ordered_pipeline.h"
#include "engine/picture_file.h"
#include "platform/paths.h"
#include "render/renderer.h"

namespace quarvel {
namespace {

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

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";

// One stretch on its way to its picture file. The scan makes it, a worker draws and
// encodes the picture, and the results' stage writes it, in document order.
struct PictureWork {
    bool isPicture = true;           // false: only `thrown`, from the scan
    std::string progressText;        // shown when the result is taken
    int keptBefore = 0;              // own tags the scan had passed by then
    std::string art;                 // the stretch up to its first NUL byte
    std::string path;                // of the picture file
    bool drawn = false;              // not drawn: the job was stopped or aborted meanwhile
    std::optional<std::string> png;  // the file's bytes; nullopt: no memory to encode
    std::exception_ptr thrown;       // from drawing, or from the scan
    RenderReport report;             // with ConversionSettings::collectNotes
};

class DocumentConverter {
public:
    DocumentConverter(const std::string& path, const ConversionSettings& settings, Backup backup)
        : path_(path),
          settings_(settings),
          backup_(backup),
          fs_(settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem()) {}

    DocumentResult Run();

private:
    // Whether the work goes on after a step; a step that stops has set the outcome
    // (and shown its message).
    enum class Step { goOn, stop };

    void Convert();
    void RemoveWhatThisRunMade();
    Step Stop(Failure failure);
    Step Read(fs::FileBytes& file);
    Step Decode(KanaPositions& kanaAt);
    void MakePictures(Output& output);
    void Write(const Output& output);
    Step MakeFolder(const std::string& folder);
    Step PrepareFirstChange();

    // The three stages of MakePictures.
    bool ScanToNextPicture(DocumentScan& scan, Output& output, PictureWork& work);
    bool StartPicture(std::size_t from, std::size_t to, Output& output, PictureWork& work);
    void DrawPicture(PictureWork& work) const;
    void TakePicture(PictureWork& work);
    void WritePicture(PictureWork& work);
    bool FlushPictures();

    const std::string& path_;
    const ConversionSettings& settings_;
    const Backup backup_;
    fs::FileSystem& fs_;
    DocumentResult result_;

    std::string imageFolder_;
    std::string progressPrefix_;  // "F/B.X" in code page 932
    std::string tagPrefix_;       // `<img src="./B/` as it stands in the scanned text
    std::string_view source_;     // the document's bytes as read
    fs::FileInfo read_;           // the document as it was read
    std::string_view text_;       // the scanned text (Shift-JIS)
    fs::FileBytes converted_;     // its storage for EUC-JP documents

    // The scan's own (its stage runs one call at a time).
    std::size_t pending_ = 0;  // where the text not yet copied begins
    long nextNumber_ = 1;
    int started_ = 0;        // pictures handed on
    int kept_ = 0;           // own tags passed
    bool prepared_ = false;  // the first change has been prepared for
    bool scanFinished_ = false;
    bool scanAborted_ = false;
    bool scanStopped_ = false;  // a step of the scan failed (its message shown)

    std::vector<PictureWork> slots_;  // the stretches under way

    // The results' own (in document order, one at a time).
    fs::PendingFlush unflushed_;        // pictures in place, not yet on disk
    std::vector<std::string> written_;  // the pictures this run put in place
    bool madeImageFolder_ = false;      // the image folder was made by this run
    std::exception_ptr thrown_;
    bool takenAborted_ = false;
    // Set by the results' stage when the document stops; the scan stops too then.
    std::atomic<bool> stopped_{false};
};

DocumentConverter::Step DocumentConverter::Stop(Failure failure) {
    result_.outcome = Outcome::failed;
    result_.failure = std::move(failure);
    settings_.progress->ShowMessage(MessageText(*result_.failure));
    return Step::stop;
}

DocumentResult DocumentConverter::Run() {
    try {
        Convert();
    } catch (...) {
        RemoveWhatThisRunMade();
        throw;
    }
    // A document that failed keeps its art: the pictures made for it would only be
    // strays. (Those of an aborted one stay, as far as it came.)
    if (result_.outcome == Outcome::failed) RemoveWhatThisRunMade();
    return std::move(result_);
}

void DocumentConverter::Convert() {
    result_.path = path_;
    imageFolder_ = ImageFolderOf(path_);
    if (imageFolder_.empty()) {
        Stop({Failure::What::noImageFolderName, path_});
        return;
    }
    const std::string base = GetBaseName(path_);

    fs::FileBytes file;
    KanaPositions kanaAt;
    if (Read(file) == Step::stop || Decode(kanaAt) == Step::stop) return;
    if (settings_.collectNotes) {
        std::string declared = DeclaredCharset(source_);
        if (!declared.empty() && !CharsetNamesCode(declared, settings_.code))
            result_.otherCharset = std::move(declared);
    }

    progressPrefix_ = NativeToCp932(GetFileNameWithExtension(GetDirectoryPart(path_)) + kPathSeparator + base + "." +
                                    GetExtension(path_));
    tagPrefix_ = "<img src=\"./" + TagBaseName(base, settings_.code) + "/";
    // Tags written by an earlier run keep their pictures: number on from the highest.
    nextNumber_ = HighestOwnTagNumber(text_, tagPrefix_) + 1;

    Output output(text_, source_, settings_.code == DocumentCode::eucJp ? &kanaAt : nullptr);
    MakePictures(output);
    // What failed first in document order has had its message; something thrown
    // meanwhile goes on to the job as it would from a single thread.
    if (thrown_) std::rethrow_exception(thrown_);
    // Unless the results stopped at a picture, the scan went as far as one worker's would.
    if (!stopped_) result_.kept = kept_;
    if (takenAborted_ || scanAborted_) {
        result_.outcome = Outcome::aborted;
        return;
    }
    if (stopped_ || scanStopped_) return;
    // Once the document is rewritten its art lives only in the pictures: they reach
    // the disk first, together.
    if (!FlushPictures()) return;
    Write(output);
}

void DocumentConverter::RemoveWhatThisRunMade() {
    for (const std::string& picture : written_) fs_.Remove(picture);
    written_.clear();
    // Only a folder this run made, and only when nothing else is in it.
    if (madeImageFolder_) fs_.Remove(imageFolder_);
}

DocumentConverter::Step DocumentConverter::Read(fs::FileBytes& file) {
    Result<fs::FileInfo> read = fs_.ReadFileBytes(path_, file);
    if (!read) return Stop(read.failure());
    read_ = *read;
    source_ = file.view();
    // This program's own pictures are never documents, whatever the pattern found.
    if (source_.starts_with(kPngSignature)) {
        result_.outcome = Outcome::skipped;
        return Step::stop;
    }
    return Step::goOn;
}

DocumentConverter::Step DocumentConverter::Decode(KanaPositions& kanaAt) {
    if (settings_.code != DocumentCode::eucJp) {
        text_ = source_;
        return Step::goOn;
    }
    // Large documents get the same kind of buffer as the file itself.
    if (!converted_.Allocate(source_.size())) return Stop({Failure::What::notOpened, path_, ENOMEM});
    converted_.SetSize(EucToShiftJis(source_, converted_.data(), &kanaAt));
    text_ = converted_.view();
    return Step::goOn;
}

// The scan runs on as it always does and hands on one stretch after another; the
// workers draw and encode the pictures; the results are taken and written in document
// order, so that the progress texts, the messages and the files are the same as with
// one worker, also when the disk fills up. At most twice as many pictures as workers
// are under way at once.
void DocumentConverter::MakePictures(Output& output) {
    DocumentScan scan(text_, settings_.startSeparators, settings_.endSeparators);
    auto scanStage = [&](PictureWork& work) {
        try {
            return ScanToNextPicture(scan, output, work);
        } catch (...) {
            work = PictureWork();
            work.isPicture = false;
            work.thrown = std::current_exception();
            scanStopped_ = true;
            return true;
        }
    };
    auto drawStage = [&](PictureWork& work) {
        if (work.isPicture && !stopped_.load(std::memory_order_relaxed) &&
            !settings_.progress->abortRequested.load(std::memory_order_relaxed))
            DrawPicture(work);
    };
    // One worker takes one stretch at a time through all three, as the scan always did.
    RunInOrder(settings_.workers, slots_, scanStage, drawStage, [&](PictureWork& work) { TakePicture(work); });
}

// The scan up to the next stretch that needs a picture, which goes to `work`; false
// at the end of the document, on abort and when a step of the scan failed.
bool DocumentConverter::ScanToNextPicture(DocumentScan& scan, Output& output, PictureWork& work) {
    const std::atomic<bool>& abort = settings_.progress->abortRequested;
    while (!scanFinished_ && !scanStopped_ && !stopped_.load(std::memory_order_relaxed)) {
        if (abort.load(std::memory_order_relaxed)) {
            scanAborted_ = true;
            return false;
        }
        const std::size_t from = pending_;
        switch (scan.Next()) {
        case DocumentScan::Step::moved: break;
        case DocumentScan::Step::started:
            output.Copy(pending_, scan.position());
            pending_ = scan.position();
            break;
        case DocumentScan::Step::ended:
            pending_ = scan.position();
            if (StartPicture(from, scan.position(), output, work)) return true;
            break;
        case DocumentScan::Step::finished:
            scanFinished_ = true;
            if (!scan.inside()) {
                output.Copy(pending_, text_.size());
                return false;
            }
            return StartPicture(from, text_.size(), output, work);
        }
    }
    return false;
}

// False when the stretch is one of this program's own tags (kept as it is) or when
// the first change could not be prepared for.
bool DocumentConverter::StartPicture(std::size_t from, std::size_t to, Output& output, PictureWork& work) {
    std::string_view stretch(text_.data() + from, to - from);
    if (IsOwnTag(stretch, tagPrefix_)) {
        output.Copy(from, to);
        ++kept_;
        return false;
    }
    if (nextNumber_ > kLastPictureNumber) {
        Stop({Failure::What::noPictureNumber, path_});
        scanStopped_ = true;
        return false;
    }
    if (!prepared_ && PrepareFirstChange() == Step::stop) {
        scanStopped_ = result_.outcome != Outcome::aborted;
        scanAborted_ = result_.outcome == Outcome::aborted;
        return false;
    }
    work.progressText = progressPrefix_ + "(" + PictureNumber(started_++) + ")";
    work.keptBefore = kept_;
    // The renderer takes the stretch up to its first NUL byte.
    work.art = std::string(stretch.substr(0, stretch.find('\0')));
    const std::string name = PictureNumber(nextNumber_++);
    work.path = imageFolder_ + kPathSeparator + name + ".png";
    std::string tag = tagPrefix_ + name + ".png\">";
    output.Replace(from, settings_.code == DocumentCode::eucJp ? ShiftJisToEuc(tag) : tag);
    return true;
}

// On a worker: nothing here is shared but the glyph cache.
void DocumentConverter::DrawPicture(PictureWork& work) const {
    try {
        Result<std::string> png =
            EncodePng(RenderPicture(work.art.c_str(), settings_.look, settings_.collectNotes ? &work.report : nullptr),
                      settings_.pngForm);
        if (png) work.png = std::move(*png);  // else no memory to encode it
        work.drawn = true;
        if (settings_.pictureDrawn) settings_.pictureDrawn();
    } catch (...) {
        work.thrown = std::current_exception();
    }
}

// In document order, one at a time: what one worker would have shown and made.
void DocumentConverter::TakePicture(PictureWork& work) {
    if (stopped_.load(std::memory_order_relaxed)) return;  // after a failure or an abort: dropped
    if (!work.isPicture) {
        stopped_ = true;
        thrown_ = work.thrown;
        return;
    }
    if (settings_.progress->abortRequested.load(std::memory_order_relaxed) || (!work.drawn && !work.thrown)) {
        stopped_ = true;
        takenAborted_ = true;
        return;
    }
    settings_.progress->SetProgressText(work.progressText);
    ++result_.pictures;
    result_.kept = work.keptBefore;
    if (work.thrown) {
        stopped_ = true;
        thrown_ = work.thrown;
        return;
    }
    try {
        WritePicture(work);
    } catch (...) {
        stopped_ = true;
        thrown_ = std::current_exception();
    }
}

// Put in place at once, flushed later with the others. Without its picture the
// stretch keeps its art: the document is then not rewritten.
void DocumentConverter::WritePicture(PictureWork& work) {
    Result<void> written = Failure{Failure::What::notOpened, work.path, ENOMEM};  // no memory to encode it
    if (work.png) {
        fs::WriteOptions options;
        options.flush = fs::Flush::later;
        options.pending = &unflushed_;
        written = fs_.WriteNewFile(work.path, *work.png, options);
    }
    work.png.reset();
    if (!written) {
        Stop(written.failure());
        stopped_ = true;
    } else {
        written_.push_back(work.path);
        if (work.report.Any()) result_.pictureNotes.push_back({work.path, std::move(work.report)});
    }
}

// The pictures written so far, to disk; false when that failed (the message names
// their folder).
bool DocumentConverter::FlushPictures() {
    const std::string folder = unflushed_.folder();
    Result<void> flushed = fs_.FlushPending(unflushed_);
    if (flushed) return true;
    Stop(flushed.failure());
    stopped_ = true;
    return false;
}

void DocumentConverter::Write(const Output& output) {
    if (output.changed()) {
        // Only while the document is still the one that was read: an edit made by
        // another program meanwhile is in neither the result nor the backup copy.
        Result<void> written = fs_.ReplaceFile(path_, output.bytes(), &read_);
        if (!written) {
            // Whatever kept the new document from its place, it was not written.
            Failure failure = written.failure();
            if (!failure.Is(Failure::What::changedMeanwhile)) failure.what = Failure::What::notWritten;
            failure.path = path_;
            Stop(std::move(failure));
            return;
        }
    }
    // Nothing changed: the file is left alone (and its time, and a read-only one).
    result_.outcome = Outcome::converted;
}

DocumentConverter::Step DocumentConverter::MakeFolder(const std::string& folder) {
    Result<bool> made = fs_.MakeDirectory(folder);
    if (!made) return Stop(made.failure());
    if (*made && folder == imageFolder_) madeImageFolder_ = true;
    return Step::goOn;
}

DocumentConverter::Step DocumentConverter::PrepareFirstChange() {
    prepared_ = true;
    // Temporary files that runs killed while writing this document, its copy or its
    // pictures left behind.
    const std::string name = GetFileNameWithExtension(path_);
    const std::string backupFolder = SiblingPath(path_, kBackupFolderName);
    fs_.RemoveStaleTemporaries(SiblingPath(path_, "."), name);
    fs_.RemoveStaleTemporaries(backupFolder, name);
    fs_.RemoveStaleTemporaries(imageFolder_, {});

    if (backup_ == Backup::yes) {
        // No change without the untouched copy safely in place; an existing copy is
        // the oldest one and stays.
        if (MakeFolder(backupFolder) == Step::stop) return Step::stop;
        const std::string copy = backupFolder + kPathSeparator + name;
        fs::WriteOptions options;
        options.existing = fs::Existing::keep;
        options.like = &read_;
        options.keepTimes = true;
        // An existing copy is the oldest one, and stays.
        Result<void> copied = fs_.WriteNewFile(copy, source_, options);
        if (!copied && !copied.failure().Is(Failure::What::exists))
            return Stop({Failure::What::notWritten, copy, copied.failure().error});
        if (settings_.progress->abortRequested.load()) {
            result_.outcome = Outcome::aborted;
            return Step::stop;
        }
    }
    return MakeFolder(imageFolder_);
}

}  // namespace

std::string ImageFolderOf(const std::string& document) {
    const std::string base = GetBaseName(document);
    if (base.empty() || base == "." || base == "..") return {};
    return SiblingPath(document, base);
}

int AllCores() { return std::max(1, tbb::info::default_concurrency()); }

DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup) {
    return DocumentConverter(path, settings, backup).Run();
}

}  // namespace quarvel
