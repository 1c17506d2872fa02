// The flush of a batch of new files: a descriptor of each file system they are on,
// kept until one flush of it makes them and their names last, and the open-file limit
// that bounds how many may wait.

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/paths.h"

namespace quarvel::platform::fs {

bool PendingFlush::OnDisk(int fd, std::uint64_t device) {
    for (const Device& known : devices_)
        if (known.id == device) return !known.inMemory;
    // Learnt once a batch: a device number may later name another file system.
    struct statfs fs {};
    const bool inMemory = ::fstatfs(fd, &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
    // A descriptor opened before the files that follow it, so that the flush also tells
    // of their write errors.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0 && error_ == 0) error_ = errno;
    devices_.push_back({device, own, inMemory});
    return !inMemory;
}

bool PendingFlush::Add(int fd, std::uint64_t device, const std::string& path) {
    if (count_++ == 0) folder_ = ContainingFolder(path);
    return OnDisk(fd, device);
}

void PendingFlush::AddFolder(int fd, std::uint64_t device) { OnDisk(fd, device); }

void RaiseOpenFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 65536);
    if (limit.rlim_cur >= wanted) return;
    limit.rlim_cur = wanted;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::size_t PendingFlush::MostOpen() const {
    if (mostOpen_ == 0) {
        struct rlimit limit {};
        const rlim_t open = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 256;
        mostOpen_ = static_cast<std::size_t>(std::clamp<rlim_t>(open / 4, 16, 16384));
    }
    return mostOpen_;
}

void PendingFlush::Clear() {
    for (const Device& device : devices_)
        if (device.fd >= 0) ::close(device.fd);
    devices_.clear();
    error_ = 0;
    count_ = 0;
    folder_.clear();
}

// One flush of each file system the files and names are on writes their bytes and
// waits for them, and makes them last. A flush of each file on its own (fdatasync)
// would be the politer call, but each asks the disk to empty its cache: on a disk that
// takes milliseconds for that, a thread of twenty pictures took three times as long
// (BENCHMARKS.md). Called once a batch of documents, so other programs' writes are
// flushed at most that often. (A file system in memory only has nothing to flush, and
// its one call costs nothing.)
Result<void> FileSystem::FlushPending(PendingFlush& pending) {
    int error = pending.error_;
    for (const PendingFlush::Device& device : pending.devices_)
        // syncfs also tells of the write errors of the file system since the
        // descriptor was opened, before the first of the files.
        if (device.fd >= 0 && ::syncfs(device.fd) != 0 && error == 0) error = errno;
    const std::string folder = pending.folder_;
    pending.Clear();
    if (error != 0) return Failure{Failure::What::notWritten, folder, error};
    return {};
}

}  // namespace quarvel::platform::fs
