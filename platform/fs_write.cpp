// Whole new files: written under a temporary name beside their place, locked while
// they are written, flushed, and only then put in place.

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/paths.h"

namespace quarvel::platform::fs {
namespace {

using detail::Fd;
using detail::IdOf;
using detail::InfoOf;
using detail::NotOpened;
using detail::NotWritten;
using detail::ResolveLinks;
using detail::SameFile;
using detail::WriteAll;

// Temporary files are named ".NAME.quarvel-" and sixteen random letters and digits
// after the file they become, or ".quarvel.quarvel-..." when that name would be too
// long for one name. The clean-up removes files of this form only: sixteen random
// characters make sure that no file of a user's carries the form by chance.
constexpr std::string_view kTempMark = ".quarvel-";
constexpr std::size_t kTempRandom = 16;
constexpr std::size_t kTempTail = kTempMark.size() + kTempRandom;

std::string TemporaryOwnerName(std::string_view name) {
    return 1 + name.size() + kTempTail <= NAME_MAX ? std::string(name) : std::string("quarvel");
}

std::string_view TemporaryOwner(std::string_view temporaryName) {
    return temporaryName.substr(1, temporaryName.size() - 1 - kTempTail);
}

bool IsTempRandomChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string RandomSuffix() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kTempRandom] = {};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        static std::atomic<unsigned> counter{0};
        unsigned long long seed = static_cast<unsigned long long>(::getpid()) * 1000003u + counter++ +
                                  static_cast<unsigned long long>(std::time(nullptr));
        for (unsigned char& b : random)
            b = static_cast<unsigned char>((seed = seed * 6364136223846793005ULL + 1) >> 56);
    }
    std::string suffix;
    for (unsigned char b : random) suffix += kChars[b % (sizeof kChars - 1)];
    return suffix;
}

}  // namespace

namespace detail {

void KeepOwner(int fd, unsigned owner, unsigned group, struct stat& st) {
    if (st.st_uid == owner && st.st_gid == group) return;
    if (::fchown(fd, owner, group) != 0 && ::fchown(fd, static_cast<uid_t>(-1), group) != 0) {
        // Not ours to give away: the file keeps our owner and group.
    }
    struct stat now;
    if (::fstat(fd, &now) == 0) st = now;
}

void KeepOwner(int fd, unsigned owner, unsigned group) {
    struct stat st;
    if (::fstat(fd, &st) == 0) KeepOwner(fd, owner, group, st);
}

// The new file of one WriteNewFile call while it is written. Where the file system
// can, it has no name until it is put in place (O_TMPFILE): a program killed before
// leaves nothing behind, and a new file takes one step of the folder instead of two.
// Otherwise, and for a moment when it replaces a file, it has a temporary name beside
// its place, made without following links and never over an existing name, and is
// locked for as long as that name is its own.
class TemporaryFile {
public:
    // In `folder`, the open folder where the file is to be put (as `name`).
    TemporaryFile(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
    ~TemporaryFile() {
        if (!temporary_.empty() && !placed_) ::unlinkat(folder_, temporary_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // False with errno set when no file could be made in the folder.
    bool Create(mode_t mode) {
        if (UnnamedFilesWork()) {
            Fd fd(::openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
            if (fd.valid()) {
                fd_ = std::move(fd);
                return true;
            }
            // File systems without unnamed files say so in several ways; a missing
            // or unwritable folder fails the named file just as well.
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
        }
        return CreateNamed(mode);
    }
    int fd() const { return fd_.get(); }

    // Puts the file in place unless something is there (errno EEXIST then).
    bool Link() {
        if (!temporary_.empty()) return ::linkat(folder_, temporary_.c_str(), folder_, name_.c_str(), 0) == 0;
        if (!LinkUnnamed(name_)) return false;
        placed_ = true;
        return true;
    }
    // Puts the file in place of whatever is there; `there`: a file is known to be there,
    // so the file takes a temporary name to replace it at once.
    bool Replace(bool there) {
        if (temporary_.empty()) {
            if (!there) {
                if (Link()) return true;
                if (errno != EEXIST) return false;
            }
            if (!GiveName()) return false;
        }
        if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) return false;
        placed_ = true;
        return true;
    }
    // Where a file system has no hard links: a rename that refuses to replace.
    bool RenameUnlessThere() {
        if (temporary_.empty() && !GiveName()) return false;
        if (::renameat2(folder_, temporary_.c_str(), folder_, name_.c_str(), RENAME_NOREPLACE) != 0) return false;
        placed_ = true;
        return true;
    }

private:
    static bool UnnamedFilesWork() {
        // They are put in place through /proc, which a bare chroot may lack.
        static const bool work = ::access("/proc/self/fd", X_OK) == 0;
        return work;
    }

    // Gives the unnamed file a name in the folder. Straight from its descriptor where
    // the system lets a program do so (Linux 6.10 on, or root), which spares the walk
    // through /proc: a few microseconds of every picture. The way through /proc is
    // learnt once, when it works where the straight one did not.
    bool LinkUnnamed(const std::string& name) const {
        static std::atomic<bool> straight{true};
        if (straight.load(std::memory_order_relaxed)) {
            if (::linkat(fd_.get(), "", folder_, name.c_str(), AT_EMPTY_PATH) == 0) return true;
            if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        if (::linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
        straight.store(false, std::memory_order_relaxed);
        return true;
    }

    std::string Prefix() const { return "." + TemporaryOwnerName(name_) + std::string(kTempMark); }

    bool CreateNamed(mode_t mode) {
        const std::string prefix = Prefix();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = prefix + RandomSuffix();
            Fd fd(::openat(folder_, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (!fd.valid()) {
                if (errno == EEXIST) continue;
                return false;
            }
            // Until the lock is ours another run's clean-up may take the file for a
            // stale one and remove it; then the name is no longer this file's. (Where
            // the file system has no locks the file stays unlocked, and clean-ups
            // leave it alone.)
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
            struct stat mine, there;
            if (::fstat(fd.get(), &mine) != 0 ||
                ::fstatat(folder_, candidate.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 || IdOf(mine) != IdOf(there))
                continue;
            fd_ = std::move(fd);
            temporary_ = std::move(candidate);
            return true;
        }
        errno = EEXIST;
        return false;
    }

    // A temporary name for the unnamed file, locked before it has the name, so that no
    // clean-up takes it for a stale one. (A file that only ever takes its own name
    // needs no lock: no clean-up looks at it.)
    bool GiveName() {
        ::flock(fd_.get(), LOCK_EX | LOCK_NB);
        const std::string prefix = Prefix();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = prefix + RandomSuffix();
            if (LinkUnnamed(candidate)) {
                temporary_ = std::move(candidate);
                return true;
            }
            if (errno != EEXIST) return false;
        }
        errno = EEXIST;
        return false;
    }

    int folder_;
    std::string name_;
    Fd fd_;
    std::string temporary_;  // the temporary name; empty while the file has none
    bool placed_ = false;
};

// A new file with everything its putting in place needs: the open folder it goes in
// (which the temporary file works in), and what WriteOptions said of its place.
struct Staged {
    explicit Staged(Location where) : folder(std::move(where)), file(folder.at(), folder.name) {}
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;

    Location folder;
    TemporaryFile file;
    FileId made;
    FileInfo written;  // the file as it was written, owner and permissions taken
    Existing existing = Existing::replace;
    std::optional<FileInfo> unchanged;
    FileId* placed = nullptr;
    bool flushFirst = false;  // written in pieces (BeginNewFile): flushed as it is put in place
    FileInfo* placedAs = nullptr;
};

}  // namespace detail

bool IsTemporaryName(std::string_view name) {
    if (name.size() < 2 + kTempTail || name[0] != '.') return false;
    if (name.substr(name.size() - kTempTail, kTempMark.size()) != kTempMark) return false;
    return std::all_of(name.end() - kTempRandom, name.end(), IsTempRandomChar);
}

namespace {

// Writes the bytes into the new file; false with errno set on failure.
bool WriteContents(detail::TemporaryFile& temp, std::string_view bytes) {
    return WriteAll(temp.fd(), bytes.data(), bytes.size());
}

}  // namespace

namespace {

// The file's owner, group, permissions, attributes and times, as `options` asks; `st`,
// the file's status, follows. False with errno set on failure.
bool TakeLikeness(int fd, const WriteOptions& options, struct stat& st) {
    if (!options.like) return true;
    const FileInfo& like = *options.like;
    detail::KeepOwner(fd, like.owner, like.group, st);       // before the bits: a change of owner clears set-id bits
    if (options.likeness == Likeness::madeFor) return true;  // its bits were set when it was made
    if (::fchmod(fd, like.mode & 07777) != 0) return false;
    if (const int error = detail::WriteAttributes(fd, like.attributes)) {
        errno = error;
        return false;
    }
    const struct timespec times[2] = {like.accessed, like.modified};
    if (options.keepTimes && ::futimens(fd, times) != 0) return false;
    return ::fstat(fd, &st) == 0;
}

// The mode a new file is made with: a copy stays private until it has its file's bits;
// a file made for another has no permission that file lacks (the umask still applies).
mode_t CreationMode(const WriteOptions& options) {
    if (!options.like) return 0666;
    return options.likeness == Likeness::madeFor ? static_cast<mode_t>(options.like->mode & 0666) : 0600;
}

}  // namespace

Result<void> FileSystem::WriteNewFile(const std::string& path, std::string_view bytes, const WriteOptions& options) {
    auto parts = std::make_unique<detail::Staged>(FolderOf(path));
    if (!parts->folder.open()) return NotOpened(path);
    detail::TemporaryFile& temp = parts->file;
    if (!temp.Create(CreationMode(options))) return NotOpened(path);
    struct stat made;
    if (!WriteContents(temp, bytes) || ::fstat(temp.fd(), &made) != 0 || !TakeLikeness(temp.fd(), options, made))
        return NotWritten(path);
    if (options.flush == Flush::first && ::fsync(temp.fd()) != 0) return NotWritten(path);
    parts->made = IdOf(made);
    parts->written = InfoOf(made);
    parts->existing = options.existing;
    if (options.unchanged) parts->unchanged = *options.unchanged;
    parts->placed = options.placed;
    parts->placedAs = options.placedAs;
    // Its bytes wait with the others'. The kernel starts writing them now, so that by
    // the flush they are on disk or on their way, and the flush finds little left to do
    // (where there is a disk to write them to).
    auto waitForFlush = [&] {
        if (options.flush != Flush::later) return;
        if (!options.pending || options.pending->Add(temp.fd(), made.st_dev, path))
            ::sync_file_range(temp.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
    };
    if (options.stage) {
        waitForFlush();
        // Its name waits for Place.
        options.stage->Drop();
        options.stage->path_ = path;
        options.stage->parts_ = std::move(parts);
        return {};
    }
    if (Result<void> placed = PlaceParts(*parts, path); !placed) return placed;
    waitForFlush();
    if (options.flush == Flush::later && options.pending)
        options.pending->AddFolder(parts->folder.at(), made.st_dev);
    return {};
}

Result<void> FileSystem::Place(StagedFile& staged, PendingFlush* names) {
    if (!staged.parts_) return Failure{Failure::What::notWritten, staged.path_};
    const std::string path = staged.path_;
    Result<void> placed = PlaceParts(*staged.parts_, path);
    if (placed && names) names->AddFolder(staged.parts_->folder.at(), staged.parts_->made.device);
    staged.Drop();
    return placed;
}

Result<void> FileSystem::BeginNewFile(const std::string& path, const WriteOptions& options, StagedFile& file) {
    auto parts = std::make_unique<detail::Staged>(FolderOf(path));
    if (!parts->folder.open()) return NotOpened(path);
    detail::TemporaryFile& temp = parts->file;
    if (!temp.Create(CreationMode(options))) return NotOpened(path);
    struct stat made;
    if (::fstat(temp.fd(), &made) != 0 || !TakeLikeness(temp.fd(), options, made)) return NotWritten(path);
    parts->made = IdOf(made);
    parts->existing = options.existing;
    parts->placed = options.placed;
    parts->flushFirst = options.flush == Flush::first;
    file.Drop();
    file.path_ = path;
    file.parts_ = std::move(parts);
    return {};
}

Result<void> FileSystem::Append(StagedFile& file, std::string_view bytes) {
    if (!file.parts_) return Failure{Failure::What::notWritten, file.path_};
    if (!WriteAll(file.parts_->file.fd(), bytes.data(), bytes.size())) return NotWritten(file.path_);
    return {};
}

Result<void> FileSystem::PlaceParts(detail::Staged& parts, const std::string& path) {
    detail::TemporaryFile& temp = parts.file;
    if (parts.flushFirst && ::fsync(temp.fd()) != 0) return NotWritten(path);
    const int at = parts.folder.at();
    const char* name = parts.folder.name.c_str();
    if (parts.unchanged) {
        struct stat st;
        if (::fstatat(at, name, &st, 0) != 0 || !SameFile(*parts.unchanged, st))
            return Failure{Failure::What::changedMeanwhile, path};
    }
    if (parts.existing == Existing::replace) {
        if (!temp.Replace(parts.unchanged.has_value())) return NotWritten(path);
    } else if (!temp.Link()) {
        // Never over an existing file: a name for the finished file, or where the file
        // system has no hard links a rename that refuses to replace.
        const bool renamed = errno != EEXIST && temp.RenameUnlessThere();
        if (!renamed && errno != EEXIST) return NotWritten(path);
        if (!renamed) {
            // Only a file counts as the one there before; a link or a folder in its place does not.
            struct stat st;
            if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
                return Failure{Failure::What::exists, path};
            return Failure{Failure::What::notWritten, path, EEXIST};
        }
    }
    if (parts.placed) *parts.placed = parts.made;
    // Taking its name changed its status change time.
    struct stat st;
    if (parts.placedAs && ::fstat(temp.fd(), &st) == 0) *parts.placedAs = InfoOf(st);
    return {};
}

StagedFile::StagedFile() = default;

std::optional<FileInfo> StagedFile::Info() const {
    if (!parts_) return std::nullopt;
    return parts_->written;
}
StagedFile::~StagedFile() = default;
StagedFile::StagedFile(StagedFile&& other) noexcept = default;
StagedFile& StagedFile::operator=(StagedFile&& other) noexcept = default;

void StagedFile::Drop() {
    parts_.reset();
    path_.clear();
}

Result<void> FileSystem::ReplaceFile(const std::string& path, std::string_view bytes, const FileInfo* unchanged,
                                     StagedFile* stage, PendingFlush* pending) {
    // In a held folder the name itself is replaced, whatever it is now; elsewhere a
    // link stays a link and the file it names is replaced.
    const bool held = Locate(path).held;
    const std::string target = held ? path : ResolveLinks(path).path;
    const detail::Location place = Locate(target);
    struct stat st;
    FileInfo like;
    WriteOptions options;
    options.unchanged = unchanged;
    if (::fstatat(place.at(), place.name.c_str(), &st, 0) == 0) {
        if (!S_ISREG(st.st_mode)) return Failure{Failure::What::notWritten, target, S_ISDIR(st.st_mode) ? EISDIR : 0};
        if (Result<void> writable = CheckWritable(target); !writable) return writable;
        like = InfoOf(st);
        if (unchanged) {
            like.attributes = unchanged->attributes;
        } else if (Fd file(::openat(place.at(), place.name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)); file.valid()) {
            like.attributes = detail::ReadAttributes(file.get());
        }
        options.like = &like;
    }
    if (stage) {
        options.stage = stage;
        options.pending = pending;
        options.flush = pending ? Flush::later : Flush::first;
    }
    return WriteNewFile(target, bytes, options);
}

Temporaries FileSystem::FindTemporaries(const std::string& folder) {
    Temporaries found;
    const detail::Location place = Locate(folder);
    Fd listed(::openat(place.at(), place.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | place.NoFollow()));
    if (const detail::FolderListing dir{listed.valid() ? ::fdopendir(listed.get()) : nullptr}) {
        listed.release();  // the listing's own now
        while (struct dirent* d = ::readdir(dir.get())) {
            const std::string_view entry(d->d_name);
            if (IsTemporaryName(entry)) found.byOwner_[std::string(TemporaryOwner(entry))].emplace_back(entry);
        }
    }
    return found;
}

void FileSystem::RemoveStaleTemporaries(const std::string& folder, std::string_view name, const Temporaries* found) {
    // Only a folder that holds some is opened.
    if (found && found->empty()) return;
    const Temporaries listed = found ? Temporaries() : FindTemporaries(folder);
    const Temporaries& known = found ? *found : listed;
    std::vector<std::string> candidates;
    if (name.empty()) {
        for (const auto& [owner, names] : known.byOwner_) candidates.insert(candidates.end(), names.begin(), names.end());
    } else if (auto mine = known.byOwner_.find(TemporaryOwnerName(name)); mine != known.byOwner_.end()) {
        candidates = mine->second;
    }
    if (candidates.empty()) return;
    const detail::Location place = Locate(folder);
    const Fd at(::openat(place.at(), place.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | place.NoFollow()));
    if (!at.valid()) return;
    for (const std::string& entry : candidates) {
        Fd fd(::openat(at.get(), entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        // Another user's file is not ours to remove, even for root. A run that is
        // still writing the file holds its lock; a killed one holds none.
        struct stat mine, there;
        if (!fd.valid() || ::fstat(fd.get(), &mine) != 0 || !S_ISREG(mine.st_mode) || mine.st_uid != ::geteuid() ||
            ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::fstatat(at.get(), entry.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && IdOf(mine) == IdOf(there))
            ::unlinkat(at.get(), entry.c_str(), 0);
    }
}

}  // namespace quarvel::platform::fs
