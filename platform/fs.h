#pragma once
// The file-system operations the conversion engine needs, behind a small
// interface so that tests can make single operations fail.
//
// Paths are native byte strings (UTF-8 on Linux) joined with '/'.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel::fs {

enum class Kind { none, file, folder, other };

struct Entry {
    std::string name;  // without the folder
    Kind kind = Kind::none;  // after following a symbolic link
    bool bSymlink = false;   // the entry itself is a symbolic link
};

enum class CopyResult { copied, exists, failed };

enum class ReadResult { ok, failed };

// A whole file's bytes. Large files are read into memory mapped and faulted in at
// once, which costs far less than growing a string page by page.
class FileBytes {
public:
    FileBytes() = default;
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
enum class WriteResult { ok, readOnly, failed };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // What is at the path, following symbolic links.
    virtual Kind Status(const std::string& path);

    // Makes one folder level. True when a folder exists at the path afterwards;
    // false for an empty path, an existing file or a failed mkdir.
    virtual bool MakeDirectory(const std::string& path);

    // Copies a file to a new name; an existing target is never overwritten. The copy
    // keeps the source's permission bits and its access and modification times.
    virtual CopyResult CopyNoOverwrite(const std::string& from, const std::string& to);

    // Entries of a folder whose names match the pattern (Windows wildcard rules, see
    // MatchesPattern), in byte order of their names. An empty pattern lists everything.
    // "." and ".." never appear. A folder that cannot be read gives no entries.
    virtual std::vector<Entry> List(const std::string& folder, std::string_view pattern);

    // Reads a whole file.
    virtual ReadResult ReadFileBytes(const std::string& path, FileBytes& bytes);
    // The same into a string.
    virtual ReadResult ReadWhole(const std::string& path, std::string& bytes);

    // Replaces the file's contents through a temporary file in the same folder that is
    // flushed to disk and renamed over it, keeping the permission bits. A file with no
    // write permission bit at all is read-only and is left alone. On any failure the
    // old file stays as it was and no temporary file is left behind.
    virtual WriteResult ReplaceAtomically(const std::string& path, std::string_view bytes);

    // Opens a file for binary writing ("wb"), or returns null.
    virtual std::FILE* OpenForWriting(const std::string& path);
};

// The real file system.
FileSystem& RealFileSystem();

// Windows wildcard matching of a file name: '*' any run of characters, '?' one
// character, letters without regard to ASCII case. "*.*" and "*" match every name;
// a trailing ".*" also matches a name without a period. A pattern whose extension
// (after its last period) has three characters and no '*' also matches names whose
// extension is longer and begins with a match ("*.htm" finds x.html).
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace quarvel::fs
