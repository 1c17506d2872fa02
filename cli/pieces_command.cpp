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
#include "platform/paths.h"

namespace quarvel::cli {
namespace {

// The largest collection read: hundreds of thousands of pieces, and little enough
// that a wrong file cannot fill the memory.
constexpr std::int64_t kMaxCollectionBytes = std::int64_t{256} << 20;

struct PiecesOptions {
    std::string input;
    std::string output;
    LookOptions look;
    std::optional<int> jobs;  // pictures drawn at once; all cores when unset
};

std::string ParsePiecesArgs(const std::vector<std::string>& args, PiecesOptions& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        std::string problem;
        if (ParseLookOption(args, i, o.look, problem) || ParseJobsOption(args, i, o.jobs, problem)) {
            if (!problem.empty()) return problem;
        } else if (a == "-o" || a == "--output") {
            auto v = value();
            if (!v || v->empty()) return "option " + a + " needs a folder";
            o.output = *v;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option '" + a + "'";
        } else {
            if (!o.input.empty()) return "only one collection can be drawn at a time";
            o.input = a;
        }
    }
    if (o.input.empty()) return "the collection is missing (render-pieces FILE.mlt|FILE.ast -o DIR)";
    if (o.output.empty()) return "the pictures' folder is missing (-o DIR)";
    return {};
}

// Reads the collection, or says on standard error why not.
bool ReadCollectionFile(const std::string& path, std::string& bytes) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxCollectionBytes) {
        std::fprintf(stderr, "quarvel-cli: %s: more than %lld MB, more than a collection is read\n", path.c_str(),
                     static_cast<long long>(kMaxCollectionBytes >> 20));
        return false;
    }
    fs::FileBytes file;
    const fs::ReadStatus read = fs::RealFileSystem().ReadFileBytes(path, file);
    if (read.result != fs::ReadResult::ok) {
        std::fprintf(stderr, "quarvel-cli: %s: %s\n", path.c_str(),
                     read.error ? std::strerror(read.error) : "not a regular file");
        return false;
    }
    if (static_cast<std::int64_t>(file.view().size()) > kMaxCollectionBytes) {  // it grew meanwhile
        std::fprintf(stderr, "quarvel-cli: %s: more than %lld MB, more than a collection is read\n", path.c_str(),
                     static_cast<long long>(kMaxCollectionBytes >> 20));
        return false;
    }
    bytes.assign(file.view());
    return true;
}

// Warnings about pieces the pictures could not show whole.
void ReportCuts(const std::string& input, const Collection& collection, const std::vector<DrawnPiece>& drawn) {
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const RenderReport& report = drawn[i].report;
        if (!report.Any()) continue;
        std::string piece = "piece " + std::to_string(i + 1);
        if (collection.kind == CollectionKind::ast) piece += " [" + collection.Name(collection.pieces[i]) + "]";
        piece += " (" + PieceFileName(i) + ")";
        if (report.linesCut || report.widthCut) {
            const char* what = report.linesCut && report.widthCut ? "more than 50 lines and wider than 1024 pixels"
                               : report.linesCut                  ? "more than 50 lines"
                                                                  : "wider than 1024 pixels";
            std::fprintf(stderr, "quarvel-cli: warning: %s: %s was cut: %s\n", input.c_str(), piece.c_str(), what);
        }
        if (report.missingGlyphs)
            std::fprintf(stderr, "quarvel-cli: warning: %s: %s has characters that no face has: they show blank\n",
                         input.c_str(), piece.c_str());
    }
}

}  // namespace

int RunRenderPieces(const std::vector<std::string>& args) {
    PiecesOptions o;
    if (std::string problem = ParsePiecesArgs(args, o); !problem.empty()) return UsageError(problem);
    if (!OpenMainFace(o.look)) return kExitFailed;

    std::string bytes;
    if (!ReadCollectionFile(o.input, bytes)) return kExitFailed;
    const CollectionKind kind = KindOfCollection(o.input, bytes);
    const Collection collection = ReadCollection(std::move(bytes), kind);
    if (collection.emptyPieces > 0)
        std::fprintf(stderr, "quarvel-cli: warning: %s: %zu empty %s left out\n", o.input.c_str(),
                     collection.emptyPieces, collection.emptyPieces == 1 ? "piece" : "pieces");
    if (collection.pieces.empty())
        std::fprintf(stderr, "quarvel-cli: warning: %s: no piece to draw\n", o.input.c_str());

    PiecesSettings settings;
    o.look.ApplyTo(settings.look);
    o.look.ApplyTo(settings.pngForm);
    settings.workers = o.jobs ? *o.jobs : AllCores();
    // Past a file-size limit a write fails (and is reported) rather than ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const PiecesResult result = DrawCollection(collection, o.output, GetFileNameWithExtension(o.input), settings);
    ReportCuts(o.input, collection, result.drawn);
    if (result.failure == PiecesFailure::none) return kExitOk;

    const char* what = result.failure == PiecesFailure::folder  ? "the folder could not be made"
                       : result.failure == PiecesFailure::flush ? "the pictures could not be written to disk"
                       : result.status.result == fs::WriteResult::notCreated ? "the file could not be made"
                                                                             : "the file could not be written";
    std::fprintf(stderr, "quarvel-cli: %s: %s%s%s\n", result.failedPath.c_str(), what, result.status.error ? ": " : "",
                 result.status.error ? std::strerror(result.status.error) : "");
    return kExitFailed;
}

}  // namespace quarvel::cli
