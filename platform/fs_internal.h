#pragma once
// What the file-system sources share; not part of the interface.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.h"

namespace quarvel::platform::fs::detail {

// Closes a folder's listing, and the descriptor it took over.
struct FolderCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using FolderListing = std::unique_ptr<DIR, FolderCloser>;

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
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
    int release() { return std::exchange(fd_, -1); }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// An open folder shared by all that work in it: a held folder's descriptor is closed
// once its holder and every file staged in it have let it go, so that files waiting in
// one folder take no descriptor of their own for it.
using SharedFd = std::shared_ptr<const Fd>;

inline SharedFd ShareFd(int fd) { return std::make_shared<const Fd>(fd); }

// Where an operation on a path works: a name relative to an open folder, or, outside
// every held folder, the path itself relative to the current folder.
struct Location {
    SharedFd folder;    // null or not valid: the path as it is
    std::string name;   // in `folder`; "." for the folder itself
    bool held = false;  // in a held folder: a symbolic link at the name is never followed

    bool open() const { return folder && folder->valid(); }
    int at() const { return open() ? folder->get() : AT_FDCWD; }
    // O_NOFOLLOW where the name is not to be followed.
    int NoFollow() const { return held ? O_NOFOLLOW : 0; }
};

// The folders held open, by their paths. A path held again while it is held shares
// the descriptor: the folder is the one held already, and it takes no descriptor more.
struct HeldFolders {
    struct Held {
        SharedFd fd;
        FileId id;
    };
    std::mutex mutex;
    std::map<std::string, std::vector<Held>, std::less<>> byPath;
};

// Gives the open file `like`'s owner and group where the system allows it: both for
// root, the group alone for its member. Otherwise the file stays ours.
void KeepOwner(int fd, unsigned owner, unsigned group);
// The same for a file whose status is `st`, which follows the change.
void KeepOwner(int fd, unsigned owner, unsigned group, struct stat& st);

// The extended attributes of an open file; those that cannot be read are left out.
std::vector<Attribute> ReadAttributes(int fd);
// Sets them on an open file: 0, or the errno of one that could not be set. Attributes
// that only the system or a security module may set (trusted.*, security.*) are left
// as the system makes them when they cannot be set.
int WriteAttributes(int fd, const std::vector<Attribute>& attributes);

inline Kind KindOf(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return Kind::folder;
    if (S_ISREG(st.st_mode)) return Kind::file;
    return Kind::other;
}

inline FileInfo InfoOf(const struct stat& st) {
    FileInfo info;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.size = st.st_size;
    info.modified = st.st_mtim;
    info.accessed = st.st_atim;
    info.changed = st.st_ctim;
    info.mode = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    return info;
}

inline FileId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

inline bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file is still the one described, with the same contents as far as the
// system can tell: any write changes the modification time and the status change
// time, and no program can set the latter back.
inline bool SameFile(const FileInfo& info, const struct stat& st) {
    return info.device == st.st_dev && info.inode == st.st_ino && info.size == st.st_size &&
           SameTime(info.modified, st.st_mtim) && SameTime(info.changed, st.st_ctim);
}

// Writes all the bytes, again after an interrupted write; false with errno set on failure.
inline bool WriteAll(int fd, const char* data, std::size_t size) {
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

// A failure of a write at `path`, with errno as its reason.
inline Failure NotOpened(const std::string& path) { return {Failure::What::notOpened, path, errno}; }
inline Failure NotWritten(const std::string& path) { return {Failure::What::notWritten, path, errno}; }

// Where a write has to go: through symbolic links, also dangling ones, to the file
// they name, so that the link stays a link.
struct LinkTarget {
    std::string path;
    bool throughProc = false;  // a link of /proc, whose names stand for open descriptors
    int descriptor = -1;       // the descriptor of this process such a link names (/dev/stdout)
};
LinkTarget ResolveLinks(const std::string& path);

}  // namespace quarvel::platform::fs::detail
