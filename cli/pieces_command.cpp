// quarvel-cli render-pieces: every piece of a template collection (.mlt, .ast) to a
// picture of its own, and a page that shows them all.

#include <sys/stat.h>

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

// Reads the collection.
Result<std::string> ReadCollectionFile(const std::string& path) {
    const Failure tooLarge{
        Failure::What::tooLarge, path, 0,
        "more than " + std::to_string(kMaxCollectionBytes >> 20) + " MB, more than a collection is read"};
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxCollectionBytes) return tooLarge;
    fs::FileBytes file;
    Result<fs::FileInfo> read = fs::RealFileSystem().ReadFileBytes(path, file);
    if (!read) return read.failure();
    if (static_cast<std::int64_t>(file.view().size()) > kMaxCollectionBytes) return tooLarge;  // it grew meanwhile
    return std::string(file.view());
}

}  // namespace

int RunRenderPieces(const PiecesOptions& o) {
    if (!OpenFaces(o.look.font)) return kExitFailed;

    Result<std::string> bytes = ReadCollectionFile(o.input);
    if (!bytes) {
        PrintFailure(bytes.failure());
        return kExitFailed;
    }
    const CollectionKind kind = KindOfCollection(o.input, *bytes);
    const Collection collection = ReadCollection(std::move(*bytes), kind);
    if (collection.emptyPieces > 0)
        PrintProblem(o.input, "warning: " + std::to_string(collection.emptyPieces) +
                                  (collection.emptyPieces == 1 ? " empty piece" : " empty pieces") + " left out");
    if (collection.pieces.empty()) PrintProblem(o.input, "warning: no piece to draw");

    PiecesSettings settings;
    o.look.ApplyTo(settings.look);
    o.look.ApplyTo(settings.pngForm);
    settings.workers = o.jobs ? *o.jobs : AllCores();
    // Past a file-size limit a write fails (and is reported) rather than ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<DrawnPiece> drawn;
    const Result<void> written =
        DrawCollection(collection, o.output, GetFileNameWithExtension(o.input), settings, drawn);
    // What each picture does not show of its piece, under the picture's name.
    for (std::size_t i = 0; i < drawn.size(); ++i)
        PrintNotes(JoinPath(o.output, PieceFileName(i)), drawn[i].report, "the collection's character code");
    if (written) return kExitOk;
    PrintFailure(written.failure());
    return kExitFailed;
}

}  // namespace quarvel::cli
