// quarvel-cli render-pieces: every piece of a template collection (.mlt, .ast) to a
// picture of its own, and a page that shows them all.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "engine/collection.h"
#include "engine/conversion.h"
#include "engine/pieces.h"
#include "platform/fonts.h"
#include "platform/paths.h"

namespace quarvel::cli {
namespace {

// The largest collection read: hundreds of thousands of pieces, and little enough
// that a wrong file cannot fill the memory.
constexpr std::int64_t kMaxCollectionBytes = std::int64_t{256} << 20;

constexpr const char* kStandardInput = "(standard input)";

// The name of the collection in messages and on its page.
std::string ShownName(const std::string& path) { return path == "-" ? kStandardInput : path; }

// Reads the collection (standard input for "-"), or says on standard error why not.
bool ReadCollectionFile(const std::string& path, std::string& bytes) {
    const auto tooLarge = [&] {
        PrintProblem(ShownName(path),
                     "more than " + std::to_string(kMaxCollectionBytes >> 20) + " MB, more than a collection is read");
        return false;
    };
    if (path == "-") {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0) return true;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                PrintProblem(kStandardInput, std::strerror(errno));
                return false;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
            if (static_cast<std::int64_t>(bytes.size()) > kMaxCollectionBytes) return tooLarge();
        }
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxCollectionBytes) return tooLarge();
    fs::FileBytes file;
    const fs::ReadStatus read = fs::RealFileSystem().ReadFileBytes(path, file);
    if (read.result != fs::ReadResult::ok) {
        PrintProblem(path, read.error ? std::strerror(read.error) : "not a regular file");
        return false;
    }
    if (static_cast<std::int64_t>(file.view().size()) > kMaxCollectionBytes) return tooLarge();  // it grew meanwhile
    bytes.assign(file.view());
    return true;
}

}  // namespace

int RunRenderPieces(const PiecesOptions& o) {
    if (!OpenFaces(o.look.font)) return kExitFailed;

    std::string bytes;
    if (!ReadCollectionFile(o.input, bytes)) return kExitFailed;
    const CollectionKind kind = KindOfCollection(o.input, bytes);
    const Collection collection = ReadCollection(std::move(bytes), kind);
    if (collection.emptyPieces > 0)
        PrintProblem(ShownName(o.input), "warning: " + std::to_string(collection.emptyPieces) +
                                             (collection.emptyPieces == 1 ? " empty piece" : " empty pieces") +
                                             " left out");
    if (collection.pieces.empty()) PrintProblem(ShownName(o.input), "warning: no piece to draw");

    PiecesSettings settings;
    o.look.ApplyTo(settings.look);
    o.look.ApplyTo(settings.pngForm);
    settings.workers = o.jobs ? *o.jobs : AllCores();
    // Past a file-size limit a write fails (and is reported) rather than ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const PiecesResult result = DrawCollection(
        collection, o.output, o.input == "-" ? kStandardInput : GetFileNameWithExtension(o.input), settings);
    // What each picture does not show of its piece, under the picture's name.
    for (std::size_t i = 0; i < result.drawn.size(); ++i)
        PrintNotes(JoinPath(o.output, PieceFileName(i)), result.drawn[i].report, "the collection's character code");
    if (result.failure == PiecesFailure::none) return kExitOk;

    const char* what = result.failure == PiecesFailure::folder  ? "the folder could not be made"
                       : result.failure == PiecesFailure::flush ? "the pictures could not be written to disk"
                       : result.status.result == fs::WriteResult::notCreated ? "the file could not be made"
                                                                             : "the file could not be written";
    PrintProblem(
        result.failedPath,
        std::string(what) + (result.status.error ? ": " + std::string(std::strerror(result.status.error)) : ""));
    return kExitFailed;
}

}  // namespace quarvel::cli
