#pragma once
// The file-system operations the conversion engine needs, behind a small
// interface so that tests can make single operations fail.
//
// Paths are native byte strings (UTF-8 on Linux) joined with '/'.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/failure.h"

namespace quarvel::platform::fs {

enum class Kind { none, file, folder, other };

struct Entry {
    std::string name;        // without the folder
    Kind kind = Kind::none;  // after following a symbolic link
    bool isLink = false;     // the entry itself is a symbolic link
};

// A file's identity on its file system.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// An extended attribute of a file: its name and value (the access ACL is one).
using Attribute = std::pair<std::string, std::string>;

// What a file was when it was read: enough to tell later whether it is still the
// same file with the same contents, and to give a copy its permission bits, times,
// owner, group and extended attributes.
struct FileInfo {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    struct timespec modified {};
    struct timespec accessed {};
    struct timespec changed {};  // the status change time, which no program can set

    unsigned mode = 0;  // permission bits
    unsigned owner = 0;
    unsigned group = 0;
    std::vector<Attribute> attributes;  // read with the file's bytes; empty otherwise

    FileId id() const { return {device, inode}; }
};

// A whole file's bytes. Large files are read into memory mapped and faulted in at
// once, which costs far less than growing a string page by page.
class FileBytes {
public:
    FileBytes() = default;
    // Bytes that are in memory already, taken over.
    explicit FileBytes(std::string bytes) : spill_(std::move(bytes)) {}
    ~FileBytes() { Release(); }
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::string_view view() const { return data_ ? std::string_view(data_, size_) : std::string_view(spill_); }

    // Room for `capacity` bytes, none of them used yet.
    bool Allocate(std::size_t capacity);
    char* data() { return data_; }
    void SetSize(std::size_t size) { size_ = size; }
    // Bytes beyond the room: everything moves into one growing string.
    void Append(const char* bytes, std::size_t count);

private:
    void Release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // length of the mapping; 0 when `data_` came from new[]
    std::string spill_;
};

// What happens to a file already at the path of a new file.
enum class Existing { replace, keep };

// When a new file's bytes are flushed to disk.
enum class Flush {
    first,  // before the file is put in place
    later,  // flushed with others by FileSystem::FlushPending (see WriteOptions::pending)
    never,  // left to the system: a file whose source still exists
};

class PendingFlush;
class StagedFile;

// What a new file takes of WriteOptions::like.
enum class Likeness {
    copy,     // a copy or a new version of that file: its permission bits, owner, group
              // and extended attributes (its ACL among them)
    madeFor,  // a file made for it (a picture): its owner and group, and no permission
              // that it does not have
};

struct WriteOptions {
    Existing existing = Existing::replace;
    // Owner and group (where the system lets us) and permissions for the new file, as
    // `likeness` says; without it a new file gets 0666 less the umask.
    const FileInfo* like = nullptr;
    Likeness likeness = Likeness::copy;
    bool keepTimes = false;  // also the access and modification times of `like`
    // Replace only while the file at the path is still this one (device, inode, size,
    // modification and status change times); otherwise nothing is written, and the
    // failure is changedMeanwhile.
    const FileInfo* unchanged = nullptr;
    Flush flush = Flush::first;
    PendingFlush* pending = nullptr;  // where Flush::later files wait
    FileId* placed = nullptr;         // set to the new file's identity once it is in place
    FileInfo* placedAs = nullptr;     // and to the file as it stands then (size, times)
    // Written whole but not put in place: `stage` holds it until FileSystem::Place puts it
    // there (as `existing` and `unchanged` say), once what it depends on is on disk.
    StagedFile* stage = nullptr;
};

// Files written unflushed (Flush::later), and the folders where they took their names,
// waiting to be flushed together by FileSystem::FlushPending, so that the disk commits
// them together rather than once per file: one flush of each file system they are on.
class PendingFlush {
public:
    PendingFlush() = default;
    ~PendingFlush() { Clear(); }
    PendingFlush(const PendingFlush&) = delete;
    PendingFlush& operator=(const PendingFlush&) = delete;

    // How many files wait.
    std::size_t size() const { return count_; }
    // The most descriptors that the files waiting here and the work they wait for may
    // hold together: a quarter of those this process may open (as the limit is when this
    // is first asked), and at least 16, so that what waits never keeps the process from
    // opening files, whatever the input.
    std::size_t MostOpen() const;
    // How many files may wait at most: a quarter of MostOpen, since the work they wait
    // for (a staged file keeps its own descriptor until it is placed) holds some too.
    std::size_t MostWaiting() const { return MostOpen() / 4; }
    // The folder of the first file, where a failed flush is told.
    const std::string& folder() const { return folder_; }
    // A file written at `path`, open as `fd` (which stays the caller's), on the file
    // system `device`. False when that file system keeps its files in memory only
    // (tmpfs, ramfs): there is nothing of them to write to a disk.
    bool Add(int fd, std::uint64_t device, const std::string& path);
    // A folder, open as `fd` (which stays the caller's), on `device`, whose new names
    // are to reach the disk.
    void AddFolder(int fd, std::uint64_t device);
    void Clear();

private:
    friend class FileSystem;
    // Whether `device` has a disk, learnt from `fd` the first time it is met.
    bool OnDisk(int fd, std::uint64_t device);

    std::size_t count_ = 0;
    // Each file system met, with a descriptor of its own for the flush.
    struct Device {
        std::uint64_t id = 0;
        int fd = -1;
        bool inMemory = false;  // tmpfs, ramfs
    };
    std::vector<Device> devices_;
    int error_ = 0;  // a file system that could not be kept for its flush
    std::string folder_;
    mutable std::size_t mostOpen_ = 0;  // 0 until asked
};

// The temporary files (IsTemporaryName) that a folder held when it was listed, by the
// name of the file each was written for: what RemoveStaleTemporaries looks up for the
// documents of a folder, rather than list the folder again for each of them.
class Temporaries {
public:
    bool empty() const { return byOwner_.empty(); }

private:
    friend class FileSystem;
    std::map<std::string, std::vector<std::string>, std::less<>> byOwner_;
};

namespace detail {
struct Staged;
}

// A new file written whole and not yet in place (WriteOptions::stage).
class StagedFile {
public:
    StagedFile();
    ~StagedFile();
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // The path it is to take; empty when nothing is staged.
    const std::string& path() const { return path_; }
    // Forgets the file: it never takes its name (and, without one, is gone).
    void Drop();
    // The file as it was written (identity, size, times, owner taken), which it keeps
    // when it takes its name, for no one else can reach a file without a name;
    // nothing where the file system keeps staged files its own way.
    std::optional<FileInfo> Info() const;

private:
    friend class FileSystem;
    std::string path_;
    std::unique_ptr<detail::Staged> parts_;  // null where a file system keeps its own
};

class FileSystem;

// A folder held open (FileSystem::Hold) for as long as the handle lives.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder() { Release(); }
    HeldFolder(HeldFolder&& other) noexcept { *this = std::move(other); }
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    const std::string& path() const { return path_; }
    FileId id() const { return id_; }
    // Whether it holds a descriptor (a file system that keeps its own folders holds none).
    bool held() const { return fd_ >= 0; }

private:
    friend class FileSystem;
    void Release();

    FileSystem* owner_ = nullptr;
    std::string path_;
    int fd_ = -1;
    FileId id_;
};

// A file's lock (FileSystem::LockFile), held for as long as the handle lives.
class FileLock {
public:
    FileLock() = default;
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock();
    FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False where the file system has no locks, or the wait was given up.
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// How long FileSystem::LockFile waits for another run's lock.
struct LockWait {
    std::chrono::milliseconds giveUpAfter{10000};
    // `waiting` is called once when the wait has lasted `sayAfter`.
    std::chrono::milliseconds sayAfter{2000};
    std::function<void()> waiting;
};

namespace detail {
struct Location;
struct HeldFolders;
}  // namespace detail

class FileSystem {
public:
    FileSystem();
    virtual ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // What is at the path, following symbolic links.
    virtual Kind Status(const std::string& path);
    // Whether the path itself is a symbolic link.
    bool IsLink(const std::string& path);

    // Makes one folder level; true when this call made it. A folder at the path is
    // fine, also one that another program made a moment ago; a symbolic link there is
    // refused (linkRefused), as is anything else (folderNotMade, EEXIST), an empty path
    // and a failed mkdir. A folder made for a file (`madeFor`) takes its owner and
    // group where the system lets us, and no permission that the file does not have
    // (with the right to enter it where the file may be read).
    virtual Result<bool> MakeDirectory(const std::string& path, const FileInfo* madeFor = nullptr);

    // Holds a folder open until the handle goes. Meanwhile every operation on a path
    // inside it (the folder's path, a separator and a name) works in that folder,
    // wherever it is moved and whatever is put at its path, and a file read or locked
    // there is never one that a symbolic link at its name leads to (linkedDocument).
    // A folder inside a held one is opened only where its name is no symbolic link
    // (linkRefused); any other folder as the system resolves its path
    // (folderNotRead when it cannot be opened).
    virtual Result<HeldFolder> Hold(const std::string& folder);
    // Holds the folder that holds `child` (its "..", never a link) as `parent`, while it
    // is still the folder `expected`: changedMeanwhile when `child` has been moved
    // elsewhere meanwhile. Where `child` holds no descriptor: Hold(parent).
    Result<HeldFolder> HoldParent(const HeldFolder& child, const std::string& parent, FileId expected);

    // Waits until no other process holds a lock of the file at `path` (another run of
    // this program, or any program that took one with flock), then holds it for as long
    // as the handle lives, on the file that is at the path then (one that was renamed
    // over the locked one while it waited is locked anew). Gives up the wait (an unheld
    // lock) once `stop` is set; where the file system has no locks the lock is unheld
    // too. A wait longer than `wait.giveUpAfter` fails (locked). A file that cannot be
    // opened: notOpened.
    virtual Result<FileLock> LockFile(const std::string& path, const std::atomic<bool>& stop,
                                      const LockWait& wait = {});

    // Entries of a folder whose names match the pattern (Windows wildcard rules, see
    // MatchesPattern), in byte order of their names. An empty pattern lists everything.
    // "." and ".." never appear. A folder that cannot be read: folderNotRead.
    virtual Result<std::vector<Entry>> List(const std::string& folder, std::string_view pattern);

    // Reads a whole regular file, and only bytes that were all there at once: when the
    // file changes while it is read (its size or times differ after the read, or it
    // was changed so recently that a change during the read could have left them as
    // they were), it is read again, a few times at most, then given up
    // (changedMeanwhile). The value is the file as it was all the while it was read;
    // a file that is not there, not a regular file or not readable: notOpened.
    virtual Result<FileInfo> ReadFileBytes(const std::string& path, FileBytes& bytes);
    // The same into a string.
    Result<std::string> ReadWhole(const std::string& path);

    // Writes a whole new file at the path: a file in the same folder without a name
    // (or, where the file system cannot, with a temporary name made without following
    // links and locked while it is written; see RemoveStaleTemporaries), flushed to
    // disk as options.flush says and then put in place: linked there when nothing is
    // there, else renamed over what is (with Existing::keep, linked there unless a
    // file exists). On any failure nothing is left but what was there before; a
    // process killed at any moment leaves the old file or the whole new one. The path
    // is taken as it is: a symbolic link there is replaced, never followed.
    // Failures: notOpened (no new file could be made), notWritten, exists (with
    // Existing::keep), changedMeanwhile (with `unchanged`).
    virtual Result<void> WriteNewFile(const std::string& path, std::string_view bytes, const WriteOptions& options);

    // A whole new file written a piece at a time: made as WriteNewFile makes it (its
    // likeness taken at once; `keepTimes`, `unchanged` and `stage` do not apply), then
    // written with Append, and put in place with Place (flushed first as `flush` says:
    // first or never). Until then it has no name, and it vanishes when `file` goes.
    virtual Result<void> BeginNewFile(const std::string& path, const WriteOptions& options, StagedFile& file);
    Result<void> Append(StagedFile& file, std::string_view bytes);

    // Flushes the files waiting in `pending` to disk with the names in the folders it
    // holds: each file system they are on flushed once (syncfs), which writes and waits
    // for every file's bytes and names there. `pending` is empty afterwards either way.
    // A failure (notWritten) names the folder of the first file.
    virtual Result<void> FlushPending(PendingFlush& pending);

    // Puts a staged file in place, as WriteNewFile would have done at once: over what is
    // there (Existing::replace) or only where nothing is (Existing::keep: exists), and
    // with `unchanged` only while the file there is still that one (changedMeanwhile).
    // Sets WriteOptions::placed. The staged file is used up either way.
    // `names`, when given, takes the folder, so that a flush of it makes the new name last.
    virtual Result<void> Place(StagedFile& staged, PendingFlush* names = nullptr);

    // Replaces a file's contents through WriteNewFile, keeping its permission bits,
    // owner, group and extended attributes (its ACL). A symbolic link stays a link:
    // the file it names is replaced (in a held folder the link itself is replaced).
    // A file that CheckWritable refuses is left alone, as is something there that is
    // no file (notWritten). With `unchanged`, the file is left alone when it is no
    // longer that file.
    // With `stage`, the new version is staged instead (its bytes waiting in `pending`),
    // to be put in place by Place.
    Result<void> ReplaceFile(const std::string& path, std::string_view bytes, const FileInfo* unchanged = nullptr,
                             StagedFile* stage = nullptr, PendingFlush* pending = nullptr);
    // Whether ReplaceFile may replace the file: one with no write permission bit at
    // all is read-only (readOnly, even to root), one that we could not open for
    // writing or whose folder we may not change is not ours to replace (notWritten);
    // each with the system's reason.
    virtual Result<void> CheckWritable(const std::string& path);

    // Writes a file where a user pointed: through symbolic links to the file they
    // name, which is replaced whole by WriteNewFile (keeping its permission bits); a
    // device or a pipe that is there is written as it is and never removed. A name for
    // one of this process's descriptors (/dev/stdout, /dev/fd/N) is written through that
    // descriptor as it is open, as standard output is written for "-". An existing file
    // that we may not write is refused as opening it would be.
    Result<void> WriteToUserPath(const std::string& path, std::string_view bytes, Flush flush = Flush::first);

    // Removes the temporary files that runs killed while writing `name` left in the
    // folder; an empty name means those of every name. Only files that this program
    // made are taken: a regular file with a temporary file's name, owned by the user
    // the program runs as, and not locked (another run still writing it holds a lock).
    // With `found` (FindTemporaries of the folder), only the files found there are looked
    // at, and the folder is not listed again.
    virtual void RemoveStaleTemporaries(const std::string& folder, std::string_view name,
                                        const Temporaries* found = nullptr);
    // The temporary files in the folder, by one listing (none when it cannot be read).
    Temporaries FindTemporaries(const std::string& folder);

    // Removes a file, or a folder that is empty (never a file or folder that a
    // symbolic link at the path leads to); with `onlyIf`, only while that file is the
    // one at the path. False when nothing was removed.
    virtual bool Remove(const std::string& path, const FileId* onlyIf = nullptr);

    // What is at the path itself (a symbolic link is not followed): identity, size,
    // times, owner and permission bits; nothing when nothing is there.
    std::optional<FileInfo> Look(const std::string& path);
    // Removes the regular file at the path only while it is still `file`: the same
    // identity, size and modification time (and status change time with
    // `changeTimeToo`), looked at through a descriptor held open on it, so that no other
    // file can take its identity meanwhile. The file is never read. False when nothing
    // was removed.
    bool RemoveIfStill(const std::string& path, const FileInfo& file, bool changeTimeToo);
    // Reads a small regular file whole, never through a symbolic link at its name: more
    // than `most` bytes is tooLarge (nothing read). The value tells its owner and
    // permission bits. Not there, or no regular file: notOpened.
    Result<FileInfo> ReadSmallFile(const std::string& path, std::size_t most, std::string& bytes);

protected:
    // Called by ReadFileBytes once the bytes are read and before the file is looked at
    // again: where a test changes the file as another program would.
    virtual void WhileReading(const std::string& path) { (void)path; }
    // For a file system that keeps its staged files its own way: marks `file` staged
    // for `path`, with nothing of this class's behind it.
    static void MarkStaged(StagedFile& file, const std::string& path) {
        file.Drop();
        file.path_ = path;
    }

private:
    friend class HeldFolder;
    // Where an operation on `path` works: in the held folder that holds it, else as
    // the system resolves the path.
    detail::Location Locate(const std::string& path) const;
    // The folder that holds `path`, open, and the name in it.
    detail::Location FolderOf(const std::string& path) const;
    void Release(const std::string& folder, int fd);
    // Holds the open folder `fd` (taken over) at the path, when it is `expected` (if given).
    Result<HeldFolder> Register(const std::string& folder, int fd, const FileId* expected);
    std::optional<HeldFolder> HoldAgain(const std::string& folder);
    Result<void> PlaceParts(detail::Staged& parts, const std::string& path);

    std::unique_ptr<detail::HeldFolders> held_;
};

// Whether a file name is one of WriteNewFile's temporary files (".NAME.quarvel-"
// and sixteen random letters and digits).
bool IsTemporaryName(std::string_view name);

// The path as the system resolves it: absolute, without links, "." or ".."; nothing
// when some part of it is missing.
std::optional<std::string> RealPath(const std::string& path);

// The system's text for an errno value, in the language the program speaks.
std::string SystemReason(int error);

// The real file system.
FileSystem& RealFileSystem();

// Lets the process open as many files as the system allows it (the soft limit up to
// the hard one, at most 65536), so that more files wait to be flushed together (see
// PendingFlush::MostOpen); any input goes through without it. Called once, at the start
// of a program.
void RaiseOpenFileLimit();

// Windows wildcard matching of a file name: '*' any run of characters, '?' one
// character, letters without regard to ASCII case. "*.*" and "*" match every name;
// a trailing ".*" also matches a name without a period. A pattern whose extension
// (after its last period) has three characters and no '*' also matches names whose
// extension is longer and begins with a match ("*.htm" finds x.html).
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace quarvel::platform::fs
