#include "engine/conversion.h"

#include <cerrno>
#include <string_view>

#include "engine/code_convert.h"
#include "engine/declared_charset.h"
#include "engine/document_scan.h"
#include "engine/image_tags.h"
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

    DocumentResult Fail(const std::string& where, const std::string& reason);
    Step Stop(const std::string& where, const std::string& reason);
    Step Read(fs::FileBytes& file);
    Step Decode(KanaPositions& kanaAt);
    Step Scan(Output& output);
    DocumentResult Write(const Output& output);
    Step MakeFolder(const std::string& folder);
    Step PrepareFirstChange();
    Step MakePicture(std::size_t from, std::size_t to, Output& output);

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
    long nextNumber_ = 1;
    bool prepared_ = false;  // the first change has been prepared for
};

DocumentResult DocumentConverter::Fail(const std::string& where, const std::string& reason) {
    Stop(where, reason);
    return std::move(result_);
}

DocumentConverter::Step DocumentConverter::Stop(const std::string& where, const std::string& reason) {
    result_.outcome = Outcome::failed;
    result_.failure = Problem{where, reason};
    settings_.progress->ShowMessage(MessageText(*result_.failure));
    return Step::stop;
}

DocumentResult DocumentConverter::Run() {
    result_.path = path_;
    const std::string base = GetBaseName(path_);
    imageFolder_ = SiblingPath(path_, base);
    // An empty base name (no period in the file name) would make the document's own
    // folder the image folder, shared with every other such document.
    if (base.empty()) return Fail(imageFolder_, TextFolderCreateFailed());

    fs::FileBytes file;
    KanaPositions kanaAt;
    if (Read(file) == Step::stop || Decode(kanaAt) == Step::stop) return std::move(result_);
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
    if (Scan(output) == Step::stop) return std::move(result_);
    return Write(output);
}

DocumentConverter::Step DocumentConverter::Read(fs::FileBytes& file) {
    const fs::ReadStatus read = fs_.ReadFileBytes(path_, file);
    if (read.result != fs::ReadResult::ok) return Stop(path_, WithSystemReason(TextFileOpenFailed(), read.error));
    read_ = read.info;
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
    if (!converted_.Allocate(source_.size())) return Stop(path_, WithSystemReason(TextFileOpenFailed(), ENOMEM));
    converted_.SetSize(EucToShiftJis(source_, converted_.data(), &kanaAt));
    text_ = converted_.view();
    return Step::goOn;
}

DocumentConverter::Step DocumentConverter::Scan(Output& output) {
    const std::atomic<bool>& abort = settings_.progress->abortRequested;
    DocumentScan scan(text_, settings_.startSeparators, settings_.endSeparators);
    std::size_t pending = 0;  // where the text not yet copied begins
    for (;;) {
        if (abort.load(std::memory_order_relaxed)) {
            result_.outcome = Outcome::aborted;
            return Step::stop;
        }
        switch (scan.Next()) {
        case DocumentScan::Step::moved: break;
        case DocumentScan::Step::started:
            output.Copy(pending, scan.position());
            pending = scan.position();
            break;
        case DocumentScan::Step::ended:
            if (MakePicture(pending, scan.position(), output) == Step::stop) return Step::stop;
            pending = scan.position();
            break;
        case DocumentScan::Step::finished:
            if (!scan.inside()) {
                output.Copy(pending, text_.size());
                return Step::goOn;
            }
            return MakePicture(pending, text_.size(), output);
        }
    }
}

DocumentResult DocumentConverter::Write(const Output& output) {
    if (!output.changed()) {
        // Nothing changed: leave the file alone (and its time, and a read-only one).
        result_.outcome = Outcome::converted;
        return std::move(result_);
    }
    // Only while the document is still the one that was read: an edit made by
    // another program meanwhile is in neither the result nor the backup copy.
    const fs::WriteStatus written = fs_.ReplaceFile(path_, output.bytes(), &read_);
    switch (written.result) {
    case fs::WriteResult::ok: break;
    case fs::WriteResult::changed: return Fail(path_, TextChangedMeanwhile());
    default: return Fail(path_, WithSystemReason(TextFileWriteFailed(), written.error));
    }
    result_.outcome = Outcome::converted;
    return std::move(result_);
}

DocumentConverter::Step DocumentConverter::MakeFolder(const std::string& folder) {
    const fs::FolderStatus made = fs_.MakeDirectory(folder);
    switch (made.result) {
    case fs::FolderResult::ok: return Step::goOn;
    case fs::FolderResult::isLink: return Stop(folder, TextLinkRefused());
    default: return Stop(folder, WithSystemReason(TextFolderCreateFailed(), made.error));
    }
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
        const fs::WriteStatus copied = fs_.WriteNewFile(copy, source_, options);
        if (copied.result != fs::WriteResult::ok && copied.result != fs::WriteResult::exists)
            return Stop(copy, WithSystemReason(TextFileWriteFailed(), copied.error));
        if (settings_.progress->abortRequested.load()) {
            result_.outcome = Outcome::aborted;
            return Step::stop;
        }
    }
    return MakeFolder(imageFolder_);
}

DocumentConverter::Step DocumentConverter::MakePicture(std::size_t from, std::size_t to, Output& output) {
    std::string_view stretch(text_.data() + from, to - from);
    if (IsOwnTag(stretch, tagPrefix_)) {
        output.Copy(from, to);
        ++result_.kept;
        return Step::goOn;
    }
    if (!prepared_ && PrepareFirstChange() == Step::stop) return Step::stop;
    settings_.progress->SetProgressText(progressPrefix_ + "(" + PictureNumber(result_.pictures) + ")");
    const long number = nextNumber_++;
    ++result_.pictures;
    const std::string name = PictureNumber(number);
    const std::string picturePath = imageFolder_ + kPathSeparator + name + ".png";

    // The renderer takes the stretch up to its first NUL byte.
    const std::string art(stretch);
    // Without its picture the stretch keeps its art: the document is then not rewritten.
    RenderNotes notes;
    const fs::WriteStatus written = WriteDocumentPicture(
        fs_, picturePath, RenderPicture(art.c_str(), settings_.look, settings_.collectNotes ? &notes : nullptr),
        settings_.pngForm);
    if (written.result == fs::WriteResult::notCreated)
        return Stop(picturePath, WithSystemReason(TextFileOpenFailed(), written.error));
    if (written.result != fs::WriteResult::ok)
        return Stop(picturePath, WithSystemReason(TextFileWriteFailed(), written.error));
    if (notes.Any()) result_.pictureNotes.push_back({picturePath, std::move(notes)});

    std::string tag = tagPrefix_ + name + ".png\">";
    output.Replace(from, settings_.code == DocumentCode::eucJp ? ShiftJisToEuc(tag) : tag);
    return Step::goOn;
}

}  // namespace

DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup) {
    return DocumentConverter(path, settings, backup).Run();
}

}  // namespace quarvel
