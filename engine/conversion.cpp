#include "engine/conversion.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "engine/code_convert.h"
#include "engine/conversion_internal.h"
#include "engine/conversion_record.h"
#include "engine/declared_charset.h"
#include "engine/document_code.h"
#include "engine/document_converter_internal.h"
#include "engine/document_scan.h"
#include "engine/image_tags.h"
#include "engine/messages.h"
#include "engine/naming_note.h"
#include "engine/picture_pipeline_internal.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "render/references.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::engine {

using platform::ContainingFolder;
using platform::GetBaseName;
using platform::GetDirectoryPart;
using platform::GetExtension;
using platform::GetFileNameWithExtension;
using platform::kPathSeparator;
using platform::SiblingPath;
using render::LineEndsAsBreaks;
using render::Utf8ToCp932WithReferences;
namespace cp932 = platform::cp932;
namespace fs = platform::fs;

using detail::DocumentConverter;

namespace detail {

DocumentConverter::Step DocumentConverter::Stop(Failure failure) {
    FailDocument(result_, *settings_.progress, std::move(failure));
    return Step::stop;
}

void DocumentConverter::Prepare() {
    try {
        Convert();
    } catch (...) {
        RemoveWhatThisRunMade();
        throw;
    }
    // A document that failed or was stopped keeps its art: the pictures made for it
    // would only be strays (and, never named, they are gone anyway).
    if (result_.failure || result_.outcome == Outcome::aborted) RemoveWhatThisRunMade();
    // What is kept until the putting in place is small: the files wait on disk.
    converted_ = fs::FileBytes();
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
    if (HoldAndLock() == Step::stop || Read(file) == Step::stop) return;
    ChooseCode();
    if (Decode(kanaAt) == Step::stop) return;
    if (settings_.collectNotes) {
        std::string declared = DeclaredCharset(source_);
        if (!declared.empty() && !CharsetNamesCode(declared, code_)) result_.otherCharset = std::move(declared);
    }

    progressPrefix_ = ShownPath(GetFileNameWithExtension(GetDirectoryPart(path_)) + kPathSeparator + base + "." +
                                GetExtension(path_));
    tagPrefix_ = "<img src=\"./" + TagBaseName(base, code_) + "/";
    // Tags written by an earlier run keep their pictures: number on from the highest.
    nextNumber_ = HighestOwnTagNumber(text_, tagPrefix_) + 1;

    Output output(text_, source_, code_ == DocumentCode::eucJp ? &kanaAt : nullptr);
    DocumentScan scan(text_, starts_, ends_,
                      code_ == DocumentCode::utf8 ? DocumentScan::Characters::utf8 : DocumentScan::Characters::cp932);
    switch (pictures_.Run([&](PictureWork& work) { return ScanToNextPicture(scan, output, work); })) {
    case PicturesEnd::done: break;
    case PicturesEnd::aborted: result_.outcome = Outcome::aborted; return;
    // Its message has been shown, the first in document order.
    case PicturesEnd::failed: return;
    // Something thrown goes on to the job as it would from a single thread.
    case PicturesEnd::threw: std::rethrow_exception(pictures_.thrown());
    case PicturesEnd::underWay: return;
    }
    result_.kept = kept_;
    Stage(output);
}

void DocumentConverter::RemoveWhatThisRunMade() {
    pictures_.RemoveWritten();
    // A copy of a document that is not rewritten is no copy of anything replaced.
    stagedBackup_.Drop();
    if (backupId_.inode != 0) fs_.Remove(backupPath_, &backupId_);
    backupId_ = {};
    // Nor is there a conversion for a record to tell of.
    if (recordId_.inode != 0) fs_.Remove(RecordPathOf(recordCopy_), &recordId_);
    recordId_ = {};
    stagedDocument_.Drop();
    // Only the folder this run made, and only when nothing else is in it.
    if (madeImageFolder_) {
        const fs::FileId made = heldImageFolder_.id();
        heldImageFolder_ = fs::HeldFolder();
        fs_.Remove(imageFolder_, &made);
    }
}

// The document's folder is held from here on, and the document locked: a second run
// of this program on it waits, and then finds it converted.
DocumentConverter::Step DocumentConverter::HoldAndLock() {
    Result<fs::HeldFolder> held = fs_.Hold(ContainingFolder(path_));
    // The document is as unreadable as its folder.
    if (!held) return Stop({Failure::What::notOpened, path_, held.failure().error});
    documentFolder_ = std::move(*held);
    fs::LockWait wait;
    wait.giveUpAfter = settings_.lockWait;
    wait.waiting = [this] { settings_.progress->ShowWaiting(ShownPath(path_) + "\n" + TextWaitingForLock()); };
    Result<fs::FileLock> locked = fs_.LockFile(path_, settings_.progress->abortRequested, wait);
    if (!locked) return Stop(locked.failure());
    lock_ = std::move(*locked);
    if (settings_.progress->abortRequested.load()) {
        result_.outcome = Outcome::aborted;
        return Step::stop;
    }
    return Step::goOn;
}

DocumentConverter::Step DocumentConverter::Read(fs::FileBytes& file) {
    Result<fs::FileInfo> read = fs_.ReadFileBytes(path_, file);
    if (!read) return Stop(read.failure());
    read_ = *read;
    source_ = file.view();
    // This program's own pictures, and pictures, archives and programs of any kind, are
    // never documents, whatever the pattern found.
    if (const std::optional<std::string_view> format = render::SignedBinaryFormat(source_)) {
        result_.outcome = Outcome::skipped;
        result_.notText = *format;
        return Step::stop;
    }
    return Step::goOn;
}

// The code of the document: the one its bytes tell, or the one chosen, which is kept
// for the scan even where it does not fit (the failure then comes at the first change).
void DocumentConverter::ChooseCode() {
    Result<DocumentCode> code = CodeForDocument(source_, settings_.code, path_);
    if (code) {
        code_ = *code;
    } else {
        code_ = EffectiveCode(settings_.code);
        wrongCode_ = code.failure();
    }
    result_.code = code_;
    starts_ = settings_.startSeparators;
    ends_ = settings_.endSeparators;
    if (code_ != DocumentCode::utf8) return;
    for (Separators* separators : {&starts_, &ends_})
        for (std::string& separator : *separators) separator = cp932::ToUtf8(separator);
}

DocumentConverter::Step DocumentConverter::Decode(KanaPositions& kanaAt) {
    if (code_ != DocumentCode::eucJp) {
        text_ = source_;
        return Step::goOn;
    }
    // Large documents get the same kind of buffer as the file itself.
    if (!converted_.Allocate(source_.size())) return Stop({Failure::What::notOpened, path_, ENOMEM});
    converted_.SetSize(EucToShiftJis(source_, converted_.data(), &kanaAt));
    text_ = converted_.view();
    return Step::goOn;
}

// The scan runs on as it always does, up to the next stretch that needs a picture,
// which goes to `work`; false at the end of the document. An abort, or a step of the
// scan that failed, is its last item.
bool DocumentConverter::ScanToNextPicture(DocumentScan& scan, Output& output, PictureWork& work) {
    const std::atomic<bool>& abort = settings_.progress->abortRequested;
    while (!scanOver_) {
        work.keptBefore = kept_;
        if (abort.load(std::memory_order_relaxed)) {
            work.kind = PictureWork::Kind::abort;
            scanOver_ = true;
            return true;
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
            scanOver_ = true;
            if (!scan.inside()) {
                output.Copy(pending_, text_.size());
                return false;
            }
            return StartPicture(from, text_.size(), output, work);
        }
    }
    return false;
}

// False when the stretch is one of this program's own tags, kept as it is.
bool DocumentConverter::StartPicture(std::size_t from, std::size_t to, Output& output, PictureWork& work) {
    std::string_view stretch(text_.data() + from, to - from);
    if (IsOwnTag(stretch, tagPrefix_)) {
        output.Copy(from, to);
        ++kept_;
        return false;
    }
    work.keptBefore = kept_;
    if (!prepared_ && !PrepareFirstChange(work)) {
        scanOver_ = true;
        return true;
    }
    // A file already in the image folder is not this run's to replace: the picture
    // takes the next free number.
    std::string name = PictureNumber(nextNumber_);
    while (nextNumber_ <= kLastPictureNumber && taken_.contains(name + ".png")) name = PictureNumber(++nextNumber_);
    if (nextNumber_ > kLastPictureNumber) {
        work.kind = PictureWork::Kind::failure;
        work.failure = Failure{Failure::What::noPictureNumber, path_};
        scanOver_ = true;
        return true;
    }
    ++nextNumber_;
    work.kind = PictureWork::Kind::picture;
    work.progressText = progressPrefix_ + "(" + PictureNumber(started_++) + ")";
    // The renderer takes the stretch up to its first NUL byte; UTF-8 art is drawn as the
    // same text in Shift-JIS would be, with references for what the code page lacks.
    const std::string_view art = stretch.substr(0, stretch.find('\0'));
    work.art = code_ == DocumentCode::utf8 ? Utf8ToCp932WithReferences(art) : std::string(art);
    if (settings_.lineBreaks) work.art = LineEndsAsBreaks(work.art);
    work.path = imageFolder_ + kPathSeparator + name + ".png";
    std::string tag = tagPrefix_ + name + ".png\">";
    output.Replace(from, code_ == DocumentCode::eucJp ? ShiftJisToEuc(tag) : tag);
    return true;
}

// The new document waits beside the old one, unnamed, for the batch to put it in
// place once the pictures it shows are on disk. Nothing changed: the file is left
// alone (and its time, and a read-only one).
void DocumentConverter::Stage(const Output& output) {
    if (!output.changed()) {
        result_.outcome = Outcome::converted;
        return;
    }
    // What the record of the conversion says of the texts, while their bytes are here.
    if (!recordCopy_.empty()) record_ = {PrintOf(source_), PrintOf(output.bytes()), {}};
    // Only while the document is still the one that was read: an edit made by another
    // program meanwhile is in neither the result nor the backup copy.
    Result<void> staged = fs_.ReplaceFile(path_, output.bytes(), &read_, &stagedDocument_, &unflushed_);
    if (!staged) Fail(staged.failure());
}

void DocumentConverter::PlacePicturesAndBackup(fs::PendingFlush& names) {
    if (result_.failure) return;
    if (Result<void> named = pictures_.NameWritten(names); !named) {
        Fail(named.failure());
        return;
    }
    // Another copy put at its name meanwhile keeps it; this document then waits for a
    // run of its own.
    if (!stagedBackup_.path().empty()) {
        if (Result<void> placed = fs_.Place(stagedBackup_, &names); !placed) {
            Failure failure = placed.failure();
            if (failure.Is(Failure::What::exists)) failure = Failure{Failure::What::changedMeanwhile, backupPath_};
            Fail(std::move(failure));
            return;
        }
    }
    // The record, once the pictures are named as they stay; its bytes are flushed with
    // the names, before the document is replaced.
    if (recordCopy_.empty()) return;
    for (const PicturePipeline::Named& picture : pictures_.NamedPictures())
        record_.pictures.push_back({GetFileNameWithExtension(picture.path), picture.file});
    if (Result<void> written = WriteRecord(fs_, recordCopy_, record_, read_, names, &recordId_); !written)
        result_.warnings.push_back(written.failure());
}

void DocumentConverter::PlaceDocument() {
    if (result_.failure || !Waiting()) return;
    if (Result<void> placed = fs_.Place(stagedDocument_); !placed) {
        Fail(placed.failure());
        return;
    }
    pictures_.Shown();
    result_.outcome = Outcome::converted;
}

std::size_t DocumentConverter::OpenFiles() const {
    return static_cast<std::size_t>(lock_.held()) + documentFolder_.held() + backupFolder_.held() +
           heldImageFolder_.held() + !stagedDocument_.path().empty() + !stagedBackup_.path().empty() +
           pictures_.Unnamed();
}

void DocumentConverter::Fail(Failure failure) {
    if (result_.failure) return;  // its message is out already
    // Whatever kept the new document from its place, it was not written.
    if (!failure.Is(Failure::What::changedMeanwhile) && !failure.Is(Failure::What::readOnly))
        failure.what = Failure::What::notWritten;
    if (failure.path.empty()) failure.path = path_;
    FailDocument(result_, *settings_.progress, std::move(failure));
    RemoveWhatThisRunMade();
}

// Makes a folder for the document (its owner's, no more open than the document) and
// holds it.
Result<fs::HeldFolder> DocumentConverter::MakeFolder(const std::string& folder) {
    Result<bool> made = fs_.MakeDirectory(folder, &read_);
    if (!made) return made.failure();
    Result<fs::HeldFolder> held = fs_.Hold(folder);
    if (!held) return held.failure();
    if (*made && folder == imageFolder_) madeImageFolder_ = true;
    return held;
}

// The untouched copy in backup/. The oldest copy keeps the name of the document; a
// later text that a conversion replaces is kept beside it, as NAME.1, NAME.2, ...
// unless the newest of them holds it already, so that the copies follow each other as
// the conversions did. It is written now and takes its name with the batch, before the
// document is replaced.
Result<void> DocumentConverter::StageBackup(const std::string& folder) {
    const std::string copy = folder + kPathSeparator + GetFileNameWithExtension(path_);
    fs::WriteOptions options;
    options.existing = fs::Existing::keep;
    options.like = &read_;
    options.keepTimes = true;
    options.flush = fs::Flush::later;
    options.pending = &unflushed_;
    options.stage = &stagedBackup_;
    options.placed = &backupId_;
    auto at = [&](int number) { return number == 0 ? copy : copy + "." + std::to_string(number); };
    auto free = [&](const std::string& path) { return fs_.Status(path) == fs::Kind::none && !fs_.IsLink(path); };
    for (int number = 0; number <= kLastBackupNumber; ++number) {
        const std::string path = at(number);
        if (free(path)) {
            backupPath_ = recordCopy_ = path;
            Result<void> staged = fs_.WriteNewFile(path, source_, options);
            if (!staged) return Failure{Failure::What::notWritten, path, staged.failure().error};
            return {};
        }
        if (number < kLastBackupNumber && !free(at(number + 1))) continue;
        Result<std::string> there = fs_.ReadWhole(path);
        if (there && *there == source_) {
            recordCopy_ = path;
            return {};
        }
    }
    return Failure{Failure::What::notWritten, copy, EEXIST};
}

Result<void> DocumentConverter::ListTakenNames() {
    Result<std::vector<fs::Entry>> entries = fs_.List(imageFolder_, "*.png");
    if (!entries) return entries.failure();
    for (fs::Entry& entry : *entries) taken_.insert(std::move(entry.name));
    return {};
}

// Before the first change: the document must be one that can be rewritten, the stale
// temporary files go, the untouched copy goes to backup/ and the image folder is made.
// False, with `work` the reason (a failure or the abort), when the document cannot
// change.
bool DocumentConverter::PrepareFirstChange(PictureWork& work) {
    prepared_ = true;
    auto stop = [&](Failure failure) {
        work.kind = PictureWork::Kind::failure;
        work.failure = std::move(failure);
        return false;
    };
    // Never rewritten in a code that does not fit it.
    if (wrongCode_) return stop(*wrongCode_);
    // No copy and no picture for a document that will not be rewritten.
    if (Result<void> writable = fs_.CheckWritable(path_); !writable) return stop(writable.failure());
    // Temporary files that runs killed while writing this document, its copy or its
    // pictures left behind.
    const std::string name = GetFileNameWithExtension(path_);
    const std::string backupFolder = SiblingPath(path_, kBackupFolderName);
    fs_.RemoveStaleTemporaries(SiblingPath(path_, "."), name, temporaries_ ? &temporaries_->folder : nullptr);
    fs_.RemoveStaleTemporaries(backupFolder, name, temporaries_ ? &temporaries_->backup : nullptr);
    fs_.RemoveStaleTemporaries(imageFolder_, {});

    if (backup_ == Backup::yes) {
        // No change without the untouched copy safely in place.
        Result<fs::HeldFolder> held = MakeFolder(backupFolder);
        if (!held) return stop(held.failure());
        backupFolder_ = std::move(*held);
        if (Result<void> copied = StageBackup(backupFolder); !copied) return stop(copied.failure());
        if (settings_.progress->abortRequested.load()) {
            work.kind = PictureWork::Kind::abort;
            return false;
        }
    }
    Result<fs::HeldFolder> held = MakeFolder(imageFolder_);
    if (!held) return stop(held.failure());
    heldImageFolder_ = std::move(*held);
    // A folder made a moment ago holds no picture and no note of a killed run. Should
    // another program put a picture there meanwhile, its name is never taken over: the
    // picture of that number takes its name only where there is none.
    if (!madeImageFolder_) {
        if (Result<void> listed = ListTakenNames(); !listed) return stop(listed.failure());
        KilledRun killed = RemovePicturesOfAKilledRun(fs_, imageFolder_, read_, taken_.size());
        for (const std::string& picture : killed.removed) taken_.erase(picture);
        if (killed.warning) result_.warnings.push_back(std::move(*killed.warning));
        if (killed.noteLeft) pictures_.LeaveNoteAlone();
    }
    pictures_.MadeFor(&read_);
    return true;
}

}  // namespace detail

std::string ImageFolderOf(const std::string& document) {
    const std::string base = GetBaseName(document);
    if (base.empty() || base == "." || base == "..") return {};
    return SiblingPath(document, base);
}

// The processors this process may run on, as oneTBB counts them, without loading it.
int AllCores() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
    return std::max(1, CPU_COUNT(&cpus));
}

std::unique_ptr<PreparedDocument> PrepareDocument(const std::string& path, const ConversionSettings& settings,
                                                  Backup backup, fs::PendingFlush& pending,
                                                  const FolderTemporaries* temporaries) {
    auto converter = std::make_unique<DocumentConverter>(path, settings, backup, pending, temporaries);
    converter->Prepare();
    return converter;
}

}  // namespace quarvel::engine
