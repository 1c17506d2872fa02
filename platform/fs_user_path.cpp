// Writes to a path the user named: through symbolic links to the file they name, to
// devices and descriptors as they are, to a file as a whole new file in its place.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/fs.h"
#include "platform/fs_internal.h"
#include "platform/paths.h"

namespace quarvel::platform::fs {

using detail::Fd;
using detail::InfoOf;
using detail::LinkTarget;
using detail::NotOpened;
using detail::NotWritten;
using detail::ResolveLinks;
using detail::WriteAll;

namespace detail {

LinkTarget ResolveLinks(const std::string& path) {
    LinkTarget target{path};
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(target.path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        char* folder = ::realpath(ContainingFolder(target.path).c_str(), nullptr);
        const std::string real = folder ? folder : "";
        std::free(folder);
        if (real.starts_with("/proc/")) {
            target.throughProc = true;
            // One of our own descriptors: written as it is open, never opened anew (a log
            // opened for appending must not be truncated nor written from its start).
            const std::string name = GetFileNameWithExtension(target.path);
            if (real == "/proc/" + std::to_string(::getpid()) + "/fd" && !name.empty() &&
                name.find_first_not_of("0123456789") == std::string::npos && name.size() < 10) {
                target.descriptor = std::stoi(name);
                return target;
            }
        }
        std::string next(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.path.c_str(), next.data(), next.size());
        if (n <= 0) return target;
        next.resize(static_cast<std::size_t>(n));
        target.path = next[0] == kPathSeparator ? next : JoinPath(ContainingFolder(target.path), next);
    }
    return target;
}

}  // namespace detail

Result<void> FileSystem::CheckWritable(const std::string& path) {
    const detail::Location place = Locate(path);
    struct stat st;
    if (::fstatat(place.at(), place.name.c_str(), &st, 0) != 0) return Failure{Failure::What::notWritten, path, errno};
    // Read-only in the sense of Windows' attribute: the bits say so even to root.
    if ((st.st_mode & 0222) == 0) return Failure{Failure::What::readOnly, path, EACCES};
    // A file that we could not open for writing is not ours to replace, nor is one in
    // a folder where its new version cannot be put.
    if (::faccessat(place.at(), place.name.c_str(), W_OK, AT_EACCESS) != 0)
        return Failure{Failure::What::notWritten, path, errno};
    const detail::Location folder = FolderOf(path);
    if (!folder.open() || ::faccessat(folder.at(), ".", W_OK | X_OK, AT_EACCESS) != 0)
        return Failure{Failure::What::notWritten, path, errno};
    return {};
}

Result<void> FileSystem::WriteToUserPath(const std::string& path, std::string_view bytes, Flush flush) {
    const LinkTarget link = ResolveLinks(path);
    const std::string& target = link.path;
    if (link.descriptor >= 0) {
        if (!WriteAll(link.descriptor, bytes.data(), bytes.size())) return NotWritten(path);
        return {};
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || link.throughProc)) {
        if (S_ISDIR(st.st_mode)) return Failure{Failure::What::notOpened, path, EISDIR};
        // A device, a pipe or a descriptor of another process: written as it is, and
        // whatever happens never removed.
        Fd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (S_ISREG(st.st_mode) ? O_TRUNC : 0)));
        if (!out.valid()) return NotOpened(path);
        if (!WriteAll(out.get(), bytes.data(), bytes.size()) || !out.close()) return NotWritten(path);
        return {};
    }
    FileInfo like;
    WriteOptions options;
    options.flush = flush;
    if (::stat(target.c_str(), &st) == 0) {
        // Where opening the file for writing would be refused, so is replacing it.
        if (::access(target.c_str(), W_OK) != 0) return NotOpened(path);
        like = InfoOf(st);
        options.like = &like;
    }
    return WriteNewFile(target, bytes, options);
}

}  // namespace quarvel::platform::fs
