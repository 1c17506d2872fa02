// The flush of a batch of new files: their descriptors kept until one flush of their
// file system makes them and their names last, and the open-file limit that bounds
// how many may wait.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/paths.h"

namespace quarvel::platform::fs {

using detail::IdOf;

void PendingFlush::Add(int fd, const std::string& path) {
    if (files_.empty()) folder_ = ContainingFolder(path);
    files_.push_back(fd);
}

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

void PendingFlush::AddFolder(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || std::find(folderIds_.begin(), folderIds_.end(), IdOf(st)) != folderIds_.end()) return;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return;
    folders_.push_back(own);
    folderIds_.push_back(IdOf(st));
}

void PendingFlush::Clear() {
    for (int fd : files_) ::close(fd);
    for (int fd : folders_) ::close(fd);
    files_.clear();
    folders_.clear();
    folderIds_.clear();
    folder_.clear();
}

// This run's files are written first, each, and waited for; then one flush of their
// file system makes them last, with their names. A flush of each file on its own
// (fdatasync) would be the politer call, but each asks the disk to empty its cache: on
// a disk that takes milliseconds for that, a thread of twenty pictures took three
// times as long (BENCHMARKS.md). Called once a batch of documents, so other programs'
// writes are flushed at most that often, and ours are on disk already.
Result<void> FileSystem::FlushPending(PendingFlush& pending) {
    int error = 0;
    for (int fd : pending.files_)
        if (::sync_file_range(fd, 0, 0,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
            error == 0)
            error = errno;
    const int any = !pending.files_.empty()     ? pending.files_.front()
                    : !pending.folders_.empty() ? pending.folders_.front()
                                                : -1;
    // syncfs also tells of the write errors of the file system since the files were opened.
    if (any >= 0 && ::syncfs(any) != 0 && error == 0) error = errno;
    const std::string folder = pending.folder_;
    pending.Clear();
    if (error != 0) return Failure{Failure::What::notWritten, folder, error};
    return {};
}

}  // namespace quarvel::platform::fs
