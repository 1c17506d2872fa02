#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "platform/paths.h"

namespace quarvel::fs {
namespace {

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

Kind KindOf(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return Kind::folder;
    if (S_ISREG(st.st_mode)) return Kind::file;
    return Kind::other;
}

FileInfo InfoOf(const struct stat& st) {
    FileInfo info;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.size = st.st_size;
    info.modified = st.st_mtim;
    info.accessed = st.st_atim;
    info.mode = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    return info;
}

bool SameFile(const FileInfo& info, const struct stat& st) {
    return info.device == st.st_dev && info.inode == st.st_ino && info.size == st.st_size &&
           info.modified.tv_sec == st.st_mtim.tv_sec && info.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// Where a write has to go: through symbolic links, also dangling ones, to the file
// they name, so that the link stays a link. `throughProc` is set when a link leads
// through /proc, where the names stand for descriptors this process has open.
std::string ResolveLinks(const std::string& path, bool* throughProc = nullptr) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        if (throughProc) {
            char* folder = ::realpath(ContainingFolder(current).c_str(), nullptr);
            if (folder && std::string_view(folder).starts_with("/proc/")) *throughProc = true;
            std::free(folder);
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0) return current;
        target.resize(static_cast<std::size_t>(n));
        current = target[0] == '/' ? target : ContainingFolder(current) + "/" + target;
    }
    return current;
}

// Temporary files are named ".NAME.quarvel-XXXXXX" after the file they become, or
// ".quarvel.quarvel-XXXXXX" when that name would be too long for one name.
constexpr std::string_view kTempMark = ".quarvel-";
constexpr std::size_t kTempRandom = 6;
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
        for (unsigned char& b : random) b = static_cast<unsigned char>((seed = seed * 6364136223846793005ULL + 1) >> 56);
    }
    std::string suffix;
    for (unsigned char b : random) suffix += kChars[b % (sizeof kChars - 1)];
    return suffix;
}

// The new file of one WriteNewFile call while it is written: made without following
// links and never over an existing name, locked for as long as it exists under its
// temporary name, and removed again unless it was put in place.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        if (fd_.valid() && !placed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // False with errno set when no file could be made beside `target`.
    bool Create(const std::string& target, mode_t mode) {
        const std::string prefix = ContainingFolder(target) + "/." + TemporaryOwnerName(GetFileNameWithExtension(target)) + std::string(kTempMark);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = prefix + RandomSuffix();
            Fd fd(::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
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
            if (::fstat(fd.get(), &mine) != 0 || ::lstat(candidate.c_str(), &there) != 0 ||
                mine.st_ino != there.st_ino || mine.st_dev != there.st_dev)
                continue;
            fd_ = std::move(fd);
            path_ = std::move(candidate);
            return true;
        }
        errno = EEXIST;
        return false;
    }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    // The file has left its temporary name (renamed into place).
    void Placed() { placed_ = true; }

private:
    Fd fd_;
    std::string path_;
    bool placed_ = false;
};

// The owner and group of `like`, where the system allows it: all of it for root, the
// group alone for its member. Otherwise the file stays ours.
void KeepOwner(int fd, const FileInfo& like) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || (st.st_uid == like.owner && st.st_gid == like.group)) return;
    if (::fchown(fd, like.owner, like.group) != 0 && ::fchown(fd, static_cast<uid_t>(-1), like.group) != 0) {
        // Not ours to give away: the file keeps our owner and group.
    }
}

WriteStatus Failure(WriteResult result) { return WriteStatus{result, errno}; }

// One character of a UTF-8 string (or one stray byte), for '?' and case folding.
std::size_t CharLength(std::string_view s, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

std::size_t CountChars(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) ++count;
    return count;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Plain wildcard matching with backtracking to the last '*'.
bool Glob(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t nl = CharLength(name, n);
            if (pattern[p] == '?') {
                n += nl;
                ++p;
                continue;
            }
            std::size_t pl = CharLength(pattern, p);
            if (pl == nl) {
                bool same = true;
                for (std::size_t k = 0; k < nl && same; ++k) same = Fold(name[n + k]) == Fold(pattern[p + k]);
                if (same) {
                    n += nl;
                    p += pl;
                    continue;
                }
            }
        }
        if (starP == std::string_view::npos) return false;
        starN += CharLength(name, starN);
        n = starN;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.empty()) return true;
    if (Glob(name, pattern)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos && Glob(name, pattern.substr(0, pattern.size() - 2)))
        return true;
    auto patternDot = pattern.rfind('.');
    auto nameDot = name.rfind('.');
    if (patternDot == std::string_view::npos || nameDot == std::string_view::npos) return false;
    std::string_view patternExt = pattern.substr(patternDot + 1);
    std::string_view nameExt = name.substr(nameDot + 1);
    if (patternExt.find('*') != std::string_view::npos || CountChars(patternExt) != 3) return false;
    if (CountChars(nameExt) <= 3) return false;
    std::size_t cut = 0;
    for (int k = 0; k < 3; ++k) cut += CharLength(nameExt, cut);
    std::string shortName(name.substr(0, nameDot + 1));
    shortName += nameExt.substr(0, cut);
    return Glob(shortName, pattern);
}

bool IsTemporaryName(std::string_view name) {
    if (name.size() < 2 + kTempTail || name[0] != '.') return false;
    if (name.substr(name.size() - kTempTail, kTempMark.size()) != kTempMark) return false;
    return std::all_of(name.end() - kTempRandom, name.end(), IsTempRandomChar);
}

std::string SystemReason(int error) { return std::error_code(error, std::system_category()).message(); }

Kind FileSystem::Status(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return Kind::none;
    return KindOf(st);
}

FolderStatus FileSystem::MakeDirectory(const std::string& path) {
    if (path.empty()) return {FolderResult::failed, ENOENT};
    if (::mkdir(path.c_str(), 0777) == 0) return {};
    // EEXIST: there already, perhaps made by another run a moment ago.
    const int error = errno;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) return {FolderResult::isLink, 0};
        if (S_ISDIR(st.st_mode)) return {};
    }
    return {FolderResult::failed, error};
}

Listing FileSystem::List(const std::string& folder, std::string_view pattern) {
    Listing listing;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    // Entries are looked at relative to the open folder, so that a long path to it
    // does not hide them.
    const int at = ::dirfd(dir);
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(dir);
        if (!d) {
            listing.error = errno;
            break;
        }
        std::string_view name(d->d_name);
        if (name == "." || name == ".." || !MatchesPattern(name, pattern)) continue;
        Entry entry;
        entry.name = std::string(name);
        struct stat st;
        if (::fstatat(at, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isLink = S_ISLNK(st.st_mode);
            if (entry.isLink) entry.kind = ::fstatat(at, d->d_name, &st, 0) == 0 ? KindOf(st) : Kind::none;
            else entry.kind = KindOf(st);
        }
        listing.entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return listing;
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
    if (data_ && mapped_) ::munmap(data_, mapped_);
    else delete[] data_;
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

ReadResult FileSystem::ReadWhole(const std::string& path, std::string& bytes) {
    FileBytes file;
    ReadResult result = ReadFileBytes(path, file).result;
    bytes = result == ReadResult::ok ? std::string(file.view()) : std::string();
    return result;
}

ReadStatus FileSystem::ReadFileBytes(const std::string& path, FileBytes& bytes) {
    bytes = FileBytes();
    auto failed = [](int error) { return ReadStatus{ReadResult::failed, error, {}}; };
    // Only regular files: a pipe would block (hence the non-blocking open) and a
    // device such as /dev/zero would never end.
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!in.valid() || ::fstat(in.get(), &st) != 0) return failed(errno);
    if (!S_ISREG(st.st_mode)) return failed(S_ISDIR(st.st_mode) ? EISDIR : 0);
    // Read to the end rather than trusting the size alone: the file may grow under us.
    std::size_t expected = static_cast<std::size_t>(st.st_size);
    if (!bytes.Allocate(expected)) return failed(ENOMEM);
    std::size_t got = 0;
    while (got < expected) {
        ssize_t n = ::read(in.get(), bytes.data() + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.SetSize(got);
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        if (n == 0) break;
        bytes.Append(buffer, static_cast<std::size_t>(n));
    }
    // The file as it is once read: what a later check compares with.
    if (::fstat(in.get(), &st) != 0) return failed(errno);
    return ReadStatus{ReadResult::ok, 0, InfoOf(st)};
}

WriteStatus FileSystem::WriteNewFile(const std::string& path, std::string_view bytes, const WriteOptions& options) {
    TemporaryFile temp;
    // A copy of another file stays private until it has that file's permission bits.
    if (!temp.Create(path, options.like ? 0600 : 0666)) return Failure(WriteResult::notCreated);
    if (!WriteAll(temp.fd(), bytes.data(), bytes.size())) return Failure(WriteResult::failed);
    if (options.like) {
        const FileInfo& like = *options.like;
        KeepOwner(temp.fd(), like);  // before the bits: a change of owner clears set-id bits
        if (::fchmod(temp.fd(), like.mode & 07777) != 0) return Failure(WriteResult::failed);
        const struct timespec times[2] = {like.accessed, like.modified};
        if (options.keepTimes && ::futimens(temp.fd(), times) != 0) return Failure(WriteResult::failed);
    }
    if (::fsync(temp.fd()) != 0) return Failure(WriteResult::failed);

    if (options.unchanged) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !SameFile(*options.unchanged, st)) return {WriteResult::changed, 0};
    }
    if (options.existing == Existing::replace) {
        if (::rename(temp.path().c_str(), path.c_str()) != 0) return Failure(WriteResult::failed);
        temp.Placed();
        return {};
    }
    // Never over an existing file: a second name for the finished file (the
    // temporary name then goes with `temp`), or where the file system has no
    // hard links a rename that refuses to replace.
    if (::link(temp.path().c_str(), path.c_str()) != 0) {
        if (errno != EEXIST) {
            if (::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
                temp.Placed();
                return {};
            }
        }
        if (errno != EEXIST) return Failure(WriteResult::failed);
        // Only a file counts as the one there before; a link or a folder in its place does not.
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return {WriteResult::exists, 0};
        return {WriteResult::failed, EEXIST};
    }
    return {};
}

WriteStatus FileSystem::ReplaceFile(const std::string& path, std::string_view bytes, const FileInfo* unchanged) {
    const std::string target = ResolveLinks(path);
    struct stat st;
    FileInfo like;
    WriteOptions options;
    options.unchanged = unchanged;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return {WriteResult::notCreated, S_ISDIR(st.st_mode) ? EISDIR : 0};
        // Read-only in the sense of Windows' attribute: the bits say so even to root.
        if ((st.st_mode & 0222) == 0) return {WriteResult::readOnly, 0};
        like = InfoOf(st);
        options.like = &like;
    }
    return WriteNewFile(target, bytes, options);
}

WriteStatus FileSystem::WriteToUserPath(const std::string& path, std::string_view bytes) {
    bool throughProc = false;
    const std::string target = ResolveLinks(path, &throughProc);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || throughProc)) {
        if (S_ISDIR(st.st_mode)) return {WriteResult::notCreated, EISDIR};
        // A device, a pipe or a descriptor of this process (/dev/stdout): written as
        // it is, and whatever happens never removed.
        Fd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (S_ISREG(st.st_mode) ? O_TRUNC : 0)));
        if (!out.valid()) return Failure(WriteResult::notCreated);
        if (!WriteAll(out.get(), bytes.data(), bytes.size()) || !out.close()) return Failure(WriteResult::failed);
        return {};
    }
    FileInfo like;
    WriteOptions options;
    if (::stat(target.c_str(), &st) == 0) {
        // Where opening the file for writing would be refused, so is replacing it.
        if (::access(target.c_str(), W_OK) != 0) return Failure(WriteResult::notCreated);
        like = InfoOf(st);
        options.like = &like;
    }
    return WriteNewFile(target, bytes, options);
}

void FileSystem::RemoveStaleTemporaries(const std::string& folder, std::string_view name) {
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        const std::string owner = TemporaryOwnerName(name);
        while (struct dirent* d = ::readdir(dir)) {
            std::string_view entry(d->d_name);
            if (IsTemporaryName(entry) && (name.empty() || TemporaryOwner(entry) == owner)) found.emplace_back(entry);
        }
        ::closedir(dir);
    }
    for (const std::string& entry : found) {
        const std::string path = folder + "/" + entry;
        Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        // A run that is still writing the file holds its lock; a killed one holds none.
        if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        struct stat mine, there;
        if (::fstat(fd.get(), &mine) == 0 && S_ISREG(mine.st_mode) && ::lstat(path.c_str(), &there) == 0 &&
            mine.st_ino == there.st_ino && mine.st_dev == there.st_dev)
            ::unlink(path.c_str());
    }
}

FileSystem& RealFileSystem() {
    static FileSystem real;
    return real;
}

}  // namespace quarvel::fs
