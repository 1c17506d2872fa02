#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "platform/fs_internal.h"
#include "platform/language.h"

namespace quarvel::platform::fs {

using detail::Fd;
using detail::InfoOf;
using detail::KindOf;

std::string SystemReason(int error) { return SystemReasonText(error); }

Kind FileSystem::Status(const std::string& path) {
    struct stat st;
    if (path.empty()) return Kind::none;
    const detail::Location place = Locate(path);
    if (::fstatat(place.at(), place.name.c_str(), &st, 0) != 0) return Kind::none;
    return KindOf(st);
}

bool FileSystem::IsLink(const std::string& path) {
    struct stat st;
    if (path.empty()) return false;
    const detail::Location place = Locate(path);
    return ::fstatat(place.at(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

std::optional<std::string> RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

Result<bool> FileSystem::MakeDirectory(const std::string& path, const FileInfo* madeFor) {
    using What = Failure::What;
    if (path.empty()) return Failure{What::folderNotMade, path, ENOENT};
    const detail::Location place = Locate(path);
    // A folder held is there.
    if (place.held && place.name == ".") return false;
    // The permissions of the file it is made for, with the right to enter where that
    // file may be read.
    const mode_t mode = madeFor ? static_cast<mode_t>((madeFor->mode & 0666) | ((madeFor->mode & 0444) >> 2)) : 0777;
    if (::mkdirat(place.at(), place.name.c_str(), mode) == 0) {
        if (madeFor) {
            Fd made(::openat(place.at(), place.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (made.valid()) detail::KeepOwner(made.get(), madeFor->owner, madeFor->group);
        }
        return true;
    }
    // EEXIST: there already, perhaps made by another run a moment ago.
    const int error = errno;
    struct stat st;
    if (::fstatat(place.at(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) return Failure{What::linkRefused, path};
        if (S_ISDIR(st.st_mode)) return false;
    }
    return Failure{What::folderNotMade, path, error};
}

Result<std::vector<Entry>> FileSystem::List(const std::string& folder, std::string_view pattern) {
    std::vector<Entry> entries;
    const detail::Location place = Locate(folder);
    Fd opened(::openat(place.at(), place.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | place.NoFollow()));
    const detail::FolderListing listing(opened.valid() ? ::fdopendir(opened.get()) : nullptr);
    DIR* dir = listing.get();
    if (!dir) return Failure{Failure::What::folderNotRead, folder, errno};
    opened.release();  // the listing's own now
    // Entries are looked at relative to the open folder, so that a long path to it
    // does not hide them.
    const int at = ::dirfd(dir);
    int error = 0;
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(dir);
        if (!d) {
            error = errno;
            break;
        }
        std::string_view name(d->d_name);
        if (name == "." || name == ".." || !MatchesPattern(name, pattern)) continue;
        Entry entry;
        entry.name = std::string(name);
        struct stat st;
        if (::fstatat(at, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isLink = S_ISLNK(st.st_mode);
            if (entry.isLink)
                entry.kind = ::fstatat(at, d->d_name, &st, 0) == 0 ? KindOf(st) : Kind::none;
            else
                entry.kind = KindOf(st);
        }
        entries.push_back(std::move(entry));
    }
    // A folder read in part is a folder that could not be read.
    if (error != 0) return Failure{Failure::What::folderNotRead, folder, error};
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
        spill_ = std::move(other.spill_);
    }
    return *this;
}

void FileBytes::Release() {
    if (data_ && mapped_)
        ::munmap(data_, mapped_);
    else
        delete[] data_;
    data_ = nullptr;
    size_ = mapped_ = 0;
    spill_.clear();
}

bool FileBytes::Allocate(std::size_t capacity) {
    Release();
    constexpr std::size_t kMapFrom = 1 << 20;
    if (capacity >= kMapFrom) {
        void* map = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) return false;
        // Large pages where the kernel offers them on request: filling tens of
        // megabytes of fresh memory page by page costs more than scanning them.
        ::madvise(map, capacity, MADV_HUGEPAGE);
        data_ = static_cast<char*>(map);
        mapped_ = capacity;
    } else {
        data_ = new (std::nothrow) char[capacity + 1];
        if (!data_) return false;
    }
    return true;
}

void FileBytes::Append(const char* bytes, std::size_t count) {
    if (data_) {
        std::string all(data_, size_);
        Release();
        spill_ = std::move(all);
    }
    spill_.append(bytes, count);
}

Result<std::string> FileSystem::ReadWhole(const std::string& path) {
    FileBytes file;
    const Result<FileInfo> read = ReadFileBytes(path, file);
    if (!read) return read.failure();
    return std::string(file.view());
}

namespace {

// How often a file that changes while it is read is read again.
constexpr int kReadAttempts = 5;

// The clock the system stamps file changes with. It moves in ticks of a few
// milliseconds, so that two changes in one tick carry the same time.
struct timespec ChangeClockNow() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool Earlier(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Whether the file was last changed in the tick in which its read began, or later:
// a change made during the read may then have left its times as they were. A change
// time well ahead of the clock (the clock was set back) is no such case, and waiting
// would not help.
bool ChangedSinceTheReadBegan(const struct stat& st, const struct timespec& began) {
    if (Earlier(st.st_ctim, began)) return false;
    struct timespec limit = ChangeClockNow();
    limit.tv_sec += 1;
    return Earlier(st.st_ctim, limit);
}

// Waits, a tenth of a second at most, until the change clock has moved past `time`.
void WaitForTheClockToPass(const struct timespec& time) {
    for (int tries = 0; tries < 100 && !Earlier(time, ChangeClockNow()); ++tries) {
        const struct timespec pause { 0, 1000000 };
        ::nanosleep(&pause, nullptr);
    }
}

// Reads what `in` holds from its start to its end; `expected` bytes are the size it
// had. 0, or the errno of the read that failed.
int ReadToTheEnd(int in, std::size_t expected, FileBytes& bytes) {
    if (!bytes.Allocate(expected)) return ENOMEM;
    std::size_t got = 0;
    while (got < expected) {
        ssize_t n = ::read(in, bytes.data() + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.SetSize(got);
    // Read to the end rather than trusting the size alone: the file may grow under us.
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        bytes.Append(buffer, static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace

Result<FileInfo> FileSystem::ReadFileBytes(const std::string& path, FileBytes& bytes) {
    bytes = FileBytes();
    auto failed = [&](int error) {
        bytes = FileBytes();
        return Failure{Failure::What::notOpened, path, error};
    };
    // Only regular files: a pipe would block (hence the non-blocking open) and a
    // device such as /dev/zero would never end.
    const detail::Location place = Locate(path);
    Fd in(::openat(place.at(), place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | place.NoFollow()));
    if (!in.valid() && errno == ELOOP && place.held) {
        bytes = FileBytes();
        return Failure{Failure::What::linkedDocument, path};
    }
    struct stat before;
    if (!in.valid() || ::fstat(in.get(), &before) != 0) return failed(errno);
    if (!S_ISREG(before.st_mode)) return failed(S_ISDIR(before.st_mode) ? EISDIR : 0);
    for (int attempt = 1;; ++attempt) {
        const struct timespec began = ChangeClockNow();
        if (attempt > 1 && (::lseek(in.get(), 0, SEEK_SET) != 0 || ::fstat(in.get(), &before) != 0))
            return failed(errno);
        if (const int error = ReadToTheEnd(in.get(), static_cast<std::size_t>(before.st_size), bytes))
            return failed(error);
        WhileReading(path);
        struct stat after;
        if (::fstat(in.get(), &after) != 0) return failed(errno);

        // The bytes are the file's only when nothing wrote to it meanwhile.
        const bool same = detail::SameFile(InfoOf(before), after);
        if (same && !ChangedSinceTheReadBegan(after, began)) {
            FileInfo info = InfoOf(after);
            info.attributes = detail::ReadAttributes(in.get());
            return info;
        }
        if (attempt == kReadAttempts) {
            bytes = FileBytes();
            return Failure{Failure::What::changedMeanwhile, path};
        }
        if (same) WaitForTheClockToPass(after.st_ctim);
    }
}

bool FileSystem::Remove(const std::string& path, const FileId* onlyIf) {
    const detail::Location place = Locate(path);
    struct stat st;
    if (::fstatat(place.at(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (onlyIf && detail::IdOf(st) != *onlyIf) return false;
    return ::unlinkat(place.at(), place.name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0;
}

std::optional<FileInfo> FileSystem::Look(const std::string& path) {
    const detail::Location place = Locate(path);
    struct stat st;
    if (path.empty() || ::fstatat(place.at(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return InfoOf(st);
}

bool FileSystem::RemoveIfStill(const std::string& path, const FileInfo& file, bool changeTimeToo) {
    const detail::Location place = Locate(path);
    // Held open, the file keeps its identity: no other file can take it until the name
    // is gone.
    const Fd held(::openat(place.at(), place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st, there;
    if (!held.valid() || ::fstat(held.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const bool same = detail::IdOf(st) == file.id() && st.st_size == file.size &&
                      detail::SameTime(st.st_mtim, file.modified) &&
                      (!changeTimeToo || detail::SameTime(st.st_ctim, file.changed));
    if (!same || ::fstatat(place.at(), place.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        detail::IdOf(there) != detail::IdOf(st))
        return false;
    return ::unlinkat(place.at(), place.name.c_str(), 0) == 0;
}

Result<FileInfo> FileSystem::ReadSmallFile(const std::string& path, std::size_t most, std::string& bytes) {
    bytes.clear();
    const detail::Location place = Locate(path);
    const Fd in(::openat(place.at(), place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!in.valid() || ::fstat(in.get(), &st) != 0) return Failure{Failure::What::notOpened, path, errno};
    if (!S_ISREG(st.st_mode)) return Failure{Failure::What::notOpened, path, S_ISDIR(st.st_mode) ? EISDIR : 0};
    if (static_cast<std::uint64_t>(st.st_size) > most) return Failure{Failure::What::tooLarge, path};
    // Read to its end: a file that grew meanwhile past the most is too large as well.
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 14];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failure{Failure::What::notOpened, path, errno};
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > most) return Failure{Failure::What::tooLarge, path};
    }
    return InfoOf(st);
}

FileSystem& RealFileSystem() {
    static FileSystem real;
    return real;
}

}  // namespace quarvel::platform::fs
