#pragma once
// What the file-system sources share; not part of the interface.

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

#include "platform/fs.h"

namespace quarvel::platform::fs::detail {

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
    int release() { return std::exchange(fd_, -1); }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

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

}  // namespace quarvel::platform::fs::detail
