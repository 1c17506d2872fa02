#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace quarvel::fs {
namespace {

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
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

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a rewrite has to go: through symbolic links to the file they name, so the
// link stays a link.
std::string ResolveTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

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

Kind FileSystem::Status(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return Kind::none;
    return KindOf(st);
}

bool FileSystem::MakeDirectory(const std::string& path) {
    if (path.empty()) return false;
    switch (Status(path)) {
    case Kind::folder: return true;
    case Kind::none: return ::mkdir(path.c_str(), 0777) == 0;
    default: return false;
    }
}

CopyResult FileSystem::CopyNoOverwrite(const std::string& from, const std::string& to) {
    // Non-blocking, so that opening a pipe does not wait for a writer.
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return CopyResult::failed;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return errno == EEXIST ? CopyResult::exists : CopyResult::failed;

    bool ok = true;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (ok) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ok = ::fchmod(out.get(), st.st_mode & 07777) == 0 && ::futimens(out.get(), times) == 0;
    }
    ok = out.close() && ok;
    if (!ok) ::unlink(to.c_str());
    return ok ? CopyResult::copied : CopyResult::failed;
}

std::vector<Entry> FileSystem::List(const std::string& folder, std::string_view pattern) {
    std::vector<Entry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return entries;
    while (struct dirent* d = ::readdir(dir)) {
        std::string_view name(d->d_name);
        if (name == "." || name == ".." || !MatchesPattern(name, pattern)) continue;
        Entry entry;
        entry.name = std::string(name);
        std::string full = folder + "/" + entry.name;
        struct stat st;
        if (::lstat(full.c_str(), &st) == 0) {
            entry.bSymlink = S_ISLNK(st.st_mode);
            if (entry.bSymlink) entry.kind = ::stat(full.c_str(), &st) == 0 ? KindOf(st) : Kind::none;
            else entry.kind = KindOf(st);
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
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
    ReadResult result = ReadFileBytes(path, file);
    bytes = result == ReadResult::ok ? std::string(file.view()) : std::string();
    return result;
}

ReadResult FileSystem::ReadFileBytes(const std::string& path, FileBytes& bytes) {
    bytes = FileBytes();
    // Only regular files: a pipe would block (hence the non-blocking open) and a
    // device such as /dev/zero would never end.
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::failed;
    // Read to the end rather than trusting the size alone: the file may grow under us.
    std::size_t expected = static_cast<std::size_t>(st.st_size);
    if (!bytes.Allocate(expected)) return ReadResult::failed;
    std::size_t got = 0;
    while (got < expected) {
        ssize_t n = ::read(in.get(), bytes.data() + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadResult::failed;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.SetSize(got);
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadResult::failed;
        if (n == 0) break;
        bytes.Append(buffer, static_cast<std::size_t>(n));
    }
    return ReadResult::ok;
}

WriteResult FileSystem::ReplaceAtomically(const std::string& path, std::string_view bytes) {
    std::string target = ResolveTarget(path);
    struct stat st;
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return WriteResult::failed;
        // Read-only in the sense of Windows' attribute: the bits say so even to root.
        if ((st.st_mode & 0222) == 0) return WriteResult::readOnly;
        mode = st.st_mode & 07777;
    }

    // The temporary name carries the document's name when both fit in one name.
    constexpr std::string_view kTempSuffix = ".quarvel-XXXXXX";
    std::string name = NameOf(target);
    std::string temp = FolderOf(target) + "/." +
                       (1 + name.size() + kTempSuffix.size() <= NAME_MAX ? name : std::string("quarvel")) +
                       std::string(kTempSuffix);
    Fd out(::mkstemp(temp.data()));
    if (!out.valid()) return WriteResult::failed;
    bool ok = WriteAll(out.get(), bytes.data(), bytes.size()) && ::fchmod(out.get(), mode) == 0 &&
              ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return WriteResult::failed;
    }
    return WriteResult::ok;
}

std::FILE* FileSystem::OpenForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

FileSystem& RealFileSystem() {
    static FileSystem real;
    return real;
}

}  // namespace quarvel::fs
