// Folders held open and files locked: what keeps a run working in the folders it
// looked at, however the tree is changed around it, and two runs off one document.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <string_view>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/paths.h"

namespace quarvel::platform::fs {

using detail::Fd;
using detail::Location;
using detail::SharedFd;
using detail::ShareFd;

FileSystem::FileSystem() : held_(std::make_unique<detail::HeldFolders>()) {}
FileSystem::~FileSystem() = default;

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        Release();
        owner_ = std::exchange(other.owner_, nullptr);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        id_ = other.id_;
    }
    return *this;
}

void HeldFolder::Release() {
    if (owner_ && fd_ >= 0) owner_->Release(path_, fd_);
    owner_ = nullptr;
    fd_ = -1;
    // Its room too: a handle let go and kept (a level of a folder walk) holds no path.
    std::string().swap(path_);
}

// The descriptor closes once nothing else works in the folder any more (SharedFd).
void FileSystem::Release(const std::string& folder, int fd) {
    SharedFd last;  // closed outside the lock
    const std::lock_guard lock(held_->mutex);
    auto at = held_->byPath.find(folder);
    if (at == held_->byPath.end()) return;
    std::vector<detail::HeldFolders::Held>& fds = at->second;
    const auto mine = std::find_if(fds.begin(), fds.end(), [fd](const auto& held) { return held.fd->get() == fd; });
    if (mine == fds.end()) return;
    last = std::move(mine->fd);
    fds.erase(mine);
    if (fds.empty()) held_->byPath.erase(at);
}

// The deepest held folder that holds the path. Its descriptor is shared, so that a
// holder letting go meanwhile never leaves the operation with a closed one.
Location FileSystem::Locate(const std::string& path) const {
    Location place;
    const std::lock_guard lock(held_->mutex);
    if (held_->byPath.empty() || path.empty()) {
        place.name = path;
        return place;
    }
    for (std::string_view folder = path;;) {
        if (auto at = held_->byPath.find(folder); at != held_->byPath.end() && !at->second.empty()) {
            place.folder = at->second.back().fd;
            place.held = true;
            if (folder.size() == path.size())
                place.name = ".";
            else
                place.name = path.substr(folder == "/" ? 1 : folder.size() + 1);
            return place;
        }
        const std::size_t cut = folder.find_last_of(kPathSeparator);
        if (cut == std::string_view::npos || folder.size() == 1) {
            place.name = path;
            return place;
        }
        folder = cut == 0 ? folder.substr(0, 1) : folder.substr(0, cut);
    }
}

Location FileSystem::FolderOf(const std::string& path) const {
    Location folder = Locate(ContainingFolder(path));
    Location place;
    place.held = folder.held;
    // A held folder is open already.
    if (folder.held && folder.name == ".")
        place.folder = std::move(folder.folder);
    else
        place.folder =
            ShareFd(::openat(folder.at(), folder.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | folder.NoFollow()));
    place.name = GetFileNameWithExtension(path);
    return place;
}

Result<HeldFolder> FileSystem::Hold(const std::string& folder) {
    if (std::optional<HeldFolder> again = HoldAgain(folder)) return std::move(*again);
    const Location place = Locate(folder);
    const int fd = ::openat(place.at(), place.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | place.NoFollow());
    if (fd < 0) {
        const int error = errno;
        struct stat st;
        if (place.held && ::fstatat(place.at(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            return Failure{Failure::What::linkRefused, folder};
        return Failure{Failure::What::folderNotRead, folder, error};
    }
    return Register(folder, fd, nullptr);
}

Result<HeldFolder> FileSystem::HoldParent(const HeldFolder& child, const std::string& parent, FileId expected) {
    // A file system that keeps its own folders holds them its own way.
    if (child.owner_ != this || child.fd_ < 0) return Hold(parent);
    // ".." is never a symbolic link; where it leads is checked.
    const int fd = ::openat(child.fd_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Failure{Failure::What::folderNotRead, parent, errno};
    return Register(parent, fd, &expected);
}

// A folder held already, held once more through the same descriptor (a document's
// backup folder, held by each of the folder's documents in turn).
std::optional<HeldFolder> FileSystem::HoldAgain(const std::string& folder) {
    const std::lock_guard lock(held_->mutex);
    const auto at = held_->byPath.find(folder);
    if (at == held_->byPath.end() || at->second.empty()) return std::nullopt;
    detail::HeldFolders::Held again = at->second.back();
    at->second.push_back(again);
    HeldFolder held;
    held.owner_ = this;
    held.path_ = folder;
    held.fd_ = again.fd->get();
    held.id_ = again.id;
    return held;
}

Result<HeldFolder> FileSystem::Register(const std::string& folder, int fd, const FileId* expected) {
    Fd owned(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) return Failure{Failure::What::folderNotRead, folder, errno};
    if (expected && detail::IdOf(st) != *expected) return Failure{Failure::What::changedMeanwhile, folder};
    SharedFd shared = ShareFd(fd);
    owned.release();  // the shared one's now
    HeldFolder held;
    held.path_ = folder;
    held.id_ = detail::IdOf(st);
    {
        const std::lock_guard lock(held_->mutex);
        held_->byPath[folder].push_back({std::move(shared), held.id_});
    }
    held.owner_ = this;
    held.fd_ = fd;
    return held;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Result<FileLock> FileSystem::LockFile(const std::string& path, const std::atomic<bool>& stop, const LockWait& wait) {
    const Location place = Locate(path);
    const auto started = std::chrono::steady_clock::now();
    bool said = false;
    for (;;) {
        Fd fd(::openat(place.at(), place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | place.NoFollow()));
        if (!fd.valid()) {
            if (errno == ELOOP && place.held) return Failure{Failure::What::linkedDocument, path};
            return Failure{Failure::What::notOpened, path, errno};
        }
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            // No locks on this file system: nothing to wait for.
            if (errno != EWOULDBLOCK && errno != EINTR) return FileLock();
            if (stop.load()) return FileLock();
            const auto waited = std::chrono::steady_clock::now() - started;
            if (waited >= wait.giveUpAfter) return Failure{Failure::What::locked, path};
            if (!said && waited >= wait.sayAfter) {
                said = true;
                if (wait.waiting) wait.waiting();
            }
            const struct timespec pause { 0, 10000000 };
            ::nanosleep(&pause, nullptr);
        }
        // The run that held the lock may have put a new file in place of this one: the
        // lock is then on a file that nobody converts any more.
        struct stat mine, there;
        if (::fstat(fd.get(), &mine) != 0) return Failure{Failure::What::notOpened, path, errno};
        if (::fstatat(place.at(), place.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
            detail::IdOf(mine) == detail::IdOf(there) || S_ISLNK(there.st_mode))
            return FileLock(fd.release());
    }
}

namespace detail {

std::vector<Attribute> ReadAttributes(int fd) {
    std::vector<Attribute> attributes;
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) return attributes;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(fd, names.data(), names.size());
    if (size <= 0) return attributes;
    names.resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = names.find('\0', at);
        const std::string name = names.substr(at, end - at);
        at = end == std::string::npos ? names.size() : end + 1;
        if (name.empty()) continue;
        ssize_t length = ::fgetxattr(fd, name.c_str(), nullptr, 0);
        if (length < 0) continue;
        std::string value(static_cast<std::size_t>(length), '\0');
        length = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (length < 0) continue;
        value.resize(static_cast<std::size_t>(length));
        attributes.emplace_back(name, std::move(value));
    }
    return attributes;
}

int WriteAttributes(int fd, const std::vector<Attribute>& attributes) {
    for (const auto& [name, value] : attributes) {
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0) continue;
        const bool system = name.starts_with("trusted.") || name.starts_with("security.");
        if (system && (errno == EPERM || errno == ENOTSUP || errno == EACCES)) continue;
        return errno;
    }
    return 0;
}

}  // namespace detail

}  // namespace quarvel::platform::fs
