// One document put back from backup/ (engine/restore.h): where it stands among its
// copies, what to put back and which pictures of the conversions undone to remove,
// all decided before anything changes; then the change.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <set>

#include "engine/code_convert.h"
#include "engine/conversion_record.h"
#include "engine/document_code.h"
#include "engine/image_tags.h"
#include "engine/messages.h"
#include "engine/restore.h"
#include "platform/fs.h"
#include "platform/paths.h"

namespace quarvel::engine {

using platform::ContainingFolder;
using platform::GetBaseName;
using platform::GetFileNameWithExtension;
using platform::JoinPath;
using platform::SiblingPath;
namespace fs = platform::fs;

namespace {

// The document, or one of its copies: what restore needs to know of it.
struct Text {
    std::string path;
    fs::FileInfo info;
    std::string bytes;     // read on demand; kept only for the text put back
    std::set<long> named;  // the pictures the text's own image tags name
    TextPrint print;
    bool read = false;
};

// The numbers of the pictures that the text's own image tags name.
std::set<long> PicturesNamed(std::string_view bytes, const std::string& document) {
    const DocumentCode code = DetectDocumentCode(bytes);
    const std::string text = code == DocumentCode::eucJp ? EucToShiftJis(bytes) : std::string(bytes);
    const std::string prefix = "<img src=\"./" + TagBaseName(GetBaseName(document), code) + "/";
    const std::vector<long> numbers = OwnTagNumbers(text, prefix);
    return {numbers.begin(), numbers.end()};
}

Result<void> Read(Text& text, const std::string& document, fs::FileSystem& files) {
    if (text.read) return {};
    fs::FileBytes bytes;
    Result<fs::FileInfo> info = files.ReadFileBytes(text.path, bytes);
    if (!info) return info.failure();
    text.info = *info;
    text.bytes = std::string(bytes.view());
    text.named = PicturesNamed(text.bytes, document);
    text.print = PrintOf(text.bytes);
    text.read = true;
    return {};
}

// The document as it stands, kept beside its copies under a name of its own.
Result<std::string> KeepAsItStands(const std::string& document, const Text& current, fs::FileSystem& files,
                                   fs::FileId& kept) {
    const std::string base =
        JoinPath(SiblingPath(document, kBackupFolderName), GetFileNameWithExtension(document) + ".converted");
    fs::WriteOptions options;
    options.existing = fs::Existing::keep;
    options.like = &current.info;
    options.keepTimes = true;
    options.placed = &kept;
    for (int number = 0;; ++number) {
        const std::string path = number == 0 ? base : base + "." + std::to_string(number);
        Result<void> written = files.WriteNewFile(path, current.bytes, options);
        if (written) return path;
        if (!written.failure().Is(Failure::What::exists) || number == 999) return written.failure();
    }
}

// A picture a conversion undone made, as far as restore knows it.
struct Candidate {
    std::optional<fs::FileInfo> recorded;  // as its record names it; none: no record
    std::optional<unsigned> owner;         // the record's owner, when it speaks only for that user's files
    struct timespec convertedAt {};        // without a record: the time of the text that named it
};

bool Later(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

class Restore {
public:
    Restore(const std::string& path, fs::FileSystem& files, const RestoreOptions& options, const BackupCopies* listed)
        : path_(path), files_(files), options_(options), listed_(listed) {
        result_.path = path;
    }
    DocumentResult Run();

private:
    DocumentResult Fail(Failure failure) {
        result_.outcome = Outcome::failed;
        result_.failure = std::move(failure);
        return std::move(result_);
    }
    bool Aborted() const { return options_.progress && options_.progress->abortRequested.load(); }
    Result<void> HoldAndLock();
    Result<void> ListCopies();
    Result<std::optional<std::size_t>> CopyItHolds();
    Result<void> Plan(std::size_t target, std::optional<std::size_t> at);
    void RemovePictures();

    const std::string path_;
    fs::FileSystem& files_;
    const RestoreOptions& options_;
    const BackupCopies* listed_;  // the copies as listed for the folder, if it was
    DocumentResult result_;
    fs::HeldFolder folder_, backupFolder_;
    fs::FileLock lock_;
    Text document_;
    std::vector<Text> copies_;  // oldest first
    bool edited_ = false;
    std::map<std::string, Candidate> candidates_;  // by name in the image folder
    std::set<long> keep_;
};

Result<void> Restore::HoldAndLock() {
    Result<fs::HeldFolder> folder = files_.Hold(ContainingFolder(path_));
    if (!folder) return Failure{Failure::What::notOpened, path_, folder.failure().error};
    folder_ = std::move(*folder);
    if (options_.onlyLook) return {};
    static const std::atomic<bool> never{false};
    fs::LockWait wait;
    wait.giveUpAfter = options_.lockWait;
    if (JobProgress* progress = options_.progress)
        wait.waiting = [this, progress] { progress->ShowWaiting(ShownPath(path_) + "\n" + TextWaitingForLock()); };
    Result<fs::FileLock> lock =
        files_.LockFile(path_, options_.progress ? options_.progress->abortRequested : never, wait);
    if (!lock) return lock.failure();
    lock_ = std::move(*lock);
    return {};
}

// The copies of the document in backup/, held open from here on: every copy and record
// is read through it, whatever is put at its name meanwhile. Listed for this document
// alone unless the folder's listing is given.
Result<void> Restore::ListCopies() {
    const std::string folder = SiblingPath(path_, kBackupFolderName);
    Result<fs::HeldFolder> held = files_.Hold(folder);
    if (!held) {
        if (held.failure().Is(Failure::What::linkRefused)) return held.failure();
        return Failure{Failure::What::noBackup, path_};
    }
    backupFolder_ = std::move(*held);
    const std::string name = GetFileNameWithExtension(path_);
    std::optional<BackupCopies> own;
    if (!listed_) {
        own.emplace(folder, files_);
        if (own->failure()) return *own->failure();
    }
    for (const auto& [number, entry] : (listed_ ? *listed_ : *own).Of(name))
        copies_.emplace_back().path = JoinPath(folder, entry);
    if (copies_.empty()) return Failure{Failure::What::noBackup, path_};
    return {};
}

// The newest copy that holds what the document holds: the document stands there.
Result<std::optional<std::size_t>> Restore::CopyItHolds() {
    for (std::size_t i = copies_.size(); i-- > 0;) {
        const std::optional<fs::FileInfo> there = files_.Look(copies_[i].path);
        if (!there || there->size != document_.info.size) continue;
        if (Result<void> read = Read(copies_[i], path_, files_); !read) return read.failure();
        if (copies_[i].bytes == document_.bytes) return std::optional<std::size_t>(i);
    }
    return std::optional<std::size_t>();
}

// What to put back (copies_[target]) and which pictures go, for the conversions from
// copies_[target] on: those of copies_[target..at) when the document holds copies_[at],
// else of every copy from the target on.
Result<void> Restore::Plan(std::size_t target, std::optional<std::size_t> at) {
    const std::size_t end = at ? *at : copies_.size();
    bool saidNoRecord = false;
    for (std::size_t i = target; i < end; ++i) {
        Text& before = copies_[i];
        Text& after = i + 1 < end ? copies_[i + 1] : document_;
        for (Text* text : {&before, &after})
            if (Result<void> read = Read(*text, path_, files_); !read) return read.failure();
        RecordRead record = ReadRecord(files_, before.path, MostRecordBytes(after.named.size()));
        if (record.warning) result_.warnings.push_back(std::move(*record.warning));
        const bool last = i + 1 == end && !at;
        if (i == target && ((record.record && !record.record->copy.Of(before.bytes)) || before.bytes.empty()))
            return Failure{Failure::What::copyDamaged, before.path};
        if (!record.record) {
            if (!saidNoRecord) result_.warnings.push_back({Failure::What::noRecord, before.path});
            saidNoRecord = true;
            for (long number : after.named)
                if (!before.named.contains(number))
                    candidates_.try_emplace(PictureNumber(number) + ".png", Candidate{{}, {}, after.info.modified});
        } else {
            // Only what the document is after the last conversion tells of an edit: an
            // earlier text is kept in backup/ as it was converted.
            if (last && !record.record->converted.Of(after.bytes)) edited_ = true;
            for (const ConversionRecord::Picture& picture : record.record->pictures)
                candidates_[picture.name] = Candidate{picture.file, record.onlyPicturesOf, {}};
        }
        // Only the copy put back is kept whole.
        if (i != target) before.bytes = std::string();
    }
    if (edited_ && !options_.force) return Failure{Failure::What::documentEdited, path_};
    keep_ = copies_[target].named;
    if (edited_) keep_.insert(document_.named.begin(), document_.named.end());
    return {};
}

void Restore::RemovePictures() {
    const std::string folder = ImageFolderOf(path_);
    if (folder.empty() || candidates_.empty()) return;
    Result<fs::HeldFolder> held = files_.Hold(folder);
    if (!held) return;
    PicturesKept& kept = result_.picturesKept;
    for (const auto& [name, candidate] : candidates_) {
        const std::string picture = JoinPath(folder, name);
        const std::optional<fs::FileInfo> there = files_.Look(picture);
        if (!there) continue;  // gone already
        const long number = std::stol(name);
        if (keep_.contains(number)) {
            ++kept.named;
        } else if (candidate.recorded) {
            const fs::FileInfo& was = *candidate.recorded;
            if (candidate.owner && there->owner != *candidate.owner)
                ++kept.notOwn;
            else if (!files_.RemoveIfStill(picture, was, true))
                ++kept.changed;
            else
                ++result_.picturesRemoved;
        } else if (there->owner != ::geteuid() && there->owner != document_.info.owner) {
            ++kept.notOwn;
        } else if (Later(there->modified, candidate.convertedAt)) {
            ++kept.newer;
        } else if (files_.RemoveIfStill(picture, *there, true)) {
            ++result_.picturesRemoved;
        } else {
            ++kept.changed;
        }
    }
    const fs::FileId id = held->id();
    *held = fs::HeldFolder();
    files_.Remove(folder, &id);  // only when nothing else is left in it
}

DocumentResult Restore::Run() {
    if (Result<void> locked = HoldAndLock(); !locked) return Fail(locked.failure());
    if (Aborted()) {
        result_.outcome = Outcome::aborted;
        return std::move(result_);
    }
    document_.path = path_;
    if (Result<void> read = Read(document_, path_, files_); !read) return Fail(read.failure());
    if (Result<void> listed = ListCopies(); !listed) return Fail(listed.failure());
    Result<std::optional<std::size_t>> at = CopyItHolds();
    if (!at) return Fail(at.failure());
    if (*at == 0u) {
        result_.outcome = Outcome::left;
        result_.backup = copies_[0].path;
        return std::move(result_);
    }
    const std::size_t target = options_.original ? 0 : *at ? **at - 1 : copies_.size() - 1;
    const Text& copy = copies_[target];
    result_.backup = copy.path;
    if (Result<void> planned = Plan(target, *at); !planned) return Fail(planned.failure());
    if (options_.onlyLook) {
        result_.outcome = Outcome::restored;
        return std::move(result_);
    }
    if (Result<void> writable = files_.CheckWritable(path_); !writable) return Fail(writable.failure());

    fs::FileId kept;
    Result<std::string> keptAs = KeepAsItStands(path_, document_, files_, kept);
    if (!keptAs) return Fail(keptAs.failure());
    if (Result<void> replaced = files_.ReplaceFile(path_, copy.bytes, &document_.info); !replaced) {
        files_.Remove(*keptAs, &kept);  // nothing changed, so nothing needs keeping
        Failure failure = replaced.failure();
        failure.path = path_;
        return Fail(std::move(failure));
    }
    result_.keptAs = *keptAs;
    result_.outcome = Outcome::restored;
    RemovePictures();
    return std::move(result_);
}

}  // namespace

long CopyNumber(std::string_view entry, std::string_view document) {
    if (!entry.starts_with(document)) return -1;
    const std::string_view rest = entry.substr(document.size());
    if (rest.empty()) return 0;
    if (rest.size() < 2 || rest.size() > 4 || rest[0] != '.' || rest[1] == '0' ||
        !std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stol(std::string(rest.substr(1)));
}

DocumentResult RestoreDocument(const std::string& path, fs::FileSystem& fileSystem, const RestoreOptions& options,
                               const BackupCopies* copies) {
    return Restore(path, fileSystem, options, copies).Run();
}

}  // namespace quarvel::engine
