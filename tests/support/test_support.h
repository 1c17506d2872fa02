#pragma once
// Helpers shared by the tests: temporary folders, whole files, PNG decoding and
// running the command-line tool.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/picture.h"

namespace quarvel::test {

// A fresh folder under the system's temporary folder (or under `base`), removed with
// its contents.
class TempDir {
public:
    explicit TempDir(const std::filesystem::path& base = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Makes a chain of `depth` folders named `name` below `top` (top/name/name/...), each
// made in the one above it through its descriptor, so that no path grows longer than
// the system resolves; `each` (when given) is called with every new folder, open, and
// its level (1 for the first), to put files in it with openat.
void MakeFolderChain(const std::filesystem::path& top, int depth, const std::string& name,
                     const std::function<void(int folder, int level)>& each = {});
// Writes a file in an open folder.
void WriteFileAt(int folder, const std::string& name, const std::string& bytes);
// Reads a file of an open folder; empty when it cannot be read.
std::string ReadFileAt(int folder, const std::string& name);
// Removes a folder and everything under it however deep, working in open folders; also
// what TempDir does with what it holds.
void RemoveTree(const std::filesystem::path& folder);

// Holds the soft limit of open files at `files` for as long as it lives.
class OpenFileLimit {
public:
    explicit OpenFileLimit(std::uint64_t files);
    ~OpenFileLimit();
    OpenFileLimit(const OpenFileLimit&) = delete;
    OpenFileLimit& operator=(const OpenFileLimit&) = delete;

private:
    std::uint64_t old_ = 0;
};

// A settings file saved from scratch with every setting at its initial value.
inline constexpr char kFreshSettingsFile[] =
    "[TargetFilePage]\r\n"
    "strSepalaterStart1=\"<dd>\"\r\n"
    "strSepalaterStart2=\"\"\r\n"
    "strSepalaterStart3=\"\"\r\n"
    "strSepalaterEnd1=\"\\n\"\r\n"
    "strSepalaterEnd2=\"<dt>\"\r\n"
    "strSepalaterEnd3=\"</dl>\"\r\n"
    "bBackup=TRUE\r\n"
    "iCode=0\r\n"
    "[TargetFolderPage]\r\n"
    "strFileFilter=\"*.htm\"\r\n"
    "bSubFolder=TRUE\r\n"
    "strSepalaterStart1=\"<dd>\"\r\n"
    "strSepalaterStart2=\"\"\r\n"
    "strSepalaterStart3=\"\"\r\n"
    "strSepalaterEnd1=\"\\n\"\r\n"
    "strSepalaterEnd2=\"<dt>\"\r\n"
    "strSepalaterEnd3=\"</dl>\"\r\n"
    "bBackup=TRUE\r\n"
    "iCode=0\r\n"
    "[General]\r\n"
    "colFore=#000000\r\n"
    "colBack=#FFFFFF\r\n"
    "iMargin=0\r\n"
    "bSpace=TRUE\r\n";

std::string ReadFile(const std::filesystem::path& path);

// What failed, or nothing when the result is a success.
template <typename T>
std::optional<Failure::What> WhatFailed(const Result<T>& result) {
    if (result) return std::nullopt;
    return result.failure().what;
}

// Every entry under a folder, relative to it, sorted; folders end in '/' ("a/",
// "a/001.png"). Symbolic links are listed, never followed.
std::vector<std::string> TreeOf(const std::filesystem::path& folder);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A folder tree of documents with something to say about each, as the end of a job sums
// it up: tree/art.htm (three stretches, one wider than a picture, one of 51 lines),
// tree/sub/plain.htm (no art), tree/sub/picture.htm (a PNG picture) and tree/link.htm, a
// link to `elsewhere` (a document of one stretch), which a folder walk refuses.
void WriteWarningTree(const std::filesystem::path& tree, const std::filesystem::path& elsewhere);

// Holds the process's file-size limit at `bytes` for as long as it lives: writes
// beyond it fail with EFBIG (the signal that would end the process is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t oldSoft_ = 0;
    std::uint64_t oldHard_ = 0;
    void (*oldSignal_)(int) = nullptr;
};

// Decodes a PNG file with libpng into an RGB picture, palettes expanded; returns false
// on any error. `chunks` receives the chunk types in file order when not null; `alpha`
// each pixel's alpha (255 where the file has none), row by row.
bool DecodePng(const std::filesystem::path& path, platform::Picture& out, std::vector<std::string>* chunks = nullptr);
bool DecodePngBytes(const std::string& bytes, platform::Picture& out, std::vector<std::uint8_t>* alpha = nullptr);

// The chunks of a PNG file's bytes in file order: type and data.
struct PngChunk {
    std::string type;
    std::string data;
};
std::vector<PngChunk> PngChunks(const std::string& bytes);

// Waits until `done` holds, looking again every `step`. A wait in a test stands for
// something the code under test must bring about; if it has not come within `bound`
// it never will, so the test program ends with `what` rather than hang or go on in a
// state the test did not mean. Usable on any thread, the window thread included.
void WaitUntil(const std::function<bool()>& done, const char* what,
               std::chrono::milliseconds bound = std::chrono::minutes(2),
               std::chrono::microseconds step = std::chrono::milliseconds(1));

// Waits, looking every `step`, until `seen` holds while the process `pid` (a child)
// runs: true then, with the process still running; false once it ended without
// `seen` (reaped, its status in `status`). Past `bound` the test program ends with
// `what`, as WaitUntil does.
bool WaitWhileRunning(int pid, const std::function<bool()>& seen, int& status, const char* what,
                      std::chrono::microseconds step = std::chrono::microseconds(100),
                      std::chrono::milliseconds bound = std::chrono::minutes(2));

// Whether the process is writing a new file in the folder: it holds one open that
// has no name yet ("#N (deleted)", a file made with O_TMPFILE) or a temporary name
// (".NAME.quarvel-...").
bool WritesANewFileIn(int pid, const std::filesystem::path& folder);

struct ProcessResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), feeding `input` to its standard input.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::vector<std::string>& extra_env = {});

// A program run on a terminal of its own, a pseudo-terminal `columns` wide that is its
// standard input, output and error: for what only a terminal shows (text typed and
// ended by Ctrl+D, a live progress line). Killed if still running at the end.
class TerminalProcess {
public:
    TerminalProcess(const std::vector<std::string>& argv, int columns, const std::vector<std::string>& extra_env = {});
    ~TerminalProcess();
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    // Keys as typed: "\x04" is Ctrl+D.
    void Type(const std::string& keys);
    // Waits up to `timeout` for the program to end, keeping what it shows; its exit
    // status, or nothing while it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // Everything the terminal received, as the program wrote it (LF as CR LF).
    const std::string& Shown() const { return shown_; }

private:
    int master_ = -1;
    int pid_ = -1;
    std::optional<int> exit_;
    std::string shown_;
};

}  // namespace quarvel::test
