#include "engine/pieces.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

#include "engine/ordered_pipeline.h"
#include "engine/picture_file.h"
#include "platform/paths.h"

namespace quarvel::engine {

using render::EncodePng;
using render::PngOptionsFor;
using render::RenderPicture;

using platform::JoinPath;
using platform::Picture;
namespace fs = platform::fs;

namespace {

// One piece's picture on its way: drawn and encoded by a worker, written in file order.
struct PieceWork {
    std::size_t index = 0;
    DrawnPiece drawn;
    std::string png;       // the file's bytes
    bool encoded = false;  // false: no memory to encode it
    std::exception_ptr thrown;
};

// The most of the pictures' files that the page carries inside it, for its buttons
// that copy a picture: a browser lets no page read the files beside it (file://).
// Pictures past it are copied from their files where the page is served over HTTP.
constexpr std::size_t kCarriedPictureBytes = 16u << 20;

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out((bytes.size() + 2) / 3 * 4, '=');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* digit = out.data();
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = std::uint32_t{in[i]} << 16 | std::uint32_t{in[i + 1]} << 8 | in[i + 2];
        *digit++ = kDigits[v >> 18];
        *digit++ = kDigits[v >> 12 & 63];
        *digit++ = kDigits[v >> 6 & 63];
        *digit++ = kDigits[v & 63];
    }
    // One or two bytes left: two or three digits, and the rest of the four '='.
    if (const std::size_t left = bytes.size() - i; left > 0) {
        const std::uint32_t v = std::uint32_t{in[i]} << 16 | (left == 2 ? std::uint32_t{in[i + 1]} << 8 : 0u);
        digit[0] = kDigits[v >> 18];
        digit[1] = kDigits[v >> 12 & 63];
        if (left == 2) digit[2] = kDigits[v >> 6 & 63];
    }
    return out;
}

}  // namespace

std::string PieceFileName(std::size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%03zu.png", index + 1);
    return name;
}

Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, const PieceDrawn& drawn) {
    fs::FileSystem& fileSystem = settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem();
    // A folder already there may be reached through a link the user made.
    if (fileSystem.Status(folder) != fs::Kind::folder) {
        Result<bool> made = fileSystem.MakeDirectory(folder);
        if (!made) return made.failure();
    }
    Result<fs::HeldFolder> held = fileSystem.Hold(folder);
    if (!held) return held.failure();
    // What runs killed while writing here left behind.
    fileSystem.RemoveStaleTemporaries(folder, {});

    // The workers draw and encode the pictures; they are written in file order, so that
    // the files and the first failure are the same with any number of workers, also when
    // the disk fills up. Each is put in place at once; they reach the disk a batch at a
    // time, and all before the page that shows them is written.
    const std::size_t count = collection.pieces.size();
    std::size_t next = 0;
    std::atomic<bool> stopped{false};  // set by the results' stage at the first failure
    std::exception_ptr thrown;
    std::optional<Failure> failure;
    fs::PendingFlush unflushed;
    // What the page needs of each piece drawn: its picture's size, and for the first
    // pictures up to a budget the picture itself.
    std::vector<std::pair<int, int>> sizes;
    std::vector<std::pair<std::size_t, std::string>> carried;
    std::size_t carriedBytes = 0;
    std::vector<PieceWork> slots;
    auto handOut = [&](PieceWork& w) {
        if (next == count || stopped.load(std::memory_order_relaxed)) return false;
        w.index = next++;
        return true;
    };
    auto draw = [&](PieceWork& w) {
        if (stopped.load(std::memory_order_relaxed)) return;
        try {
            const std::string input = collection.RendererInput(collection.pieces[w.index]);
            const Picture picture = RenderPicture(input.c_str(), settings.look, &w.drawn.report);
            w.drawn.width = picture.width;
            w.drawn.height = picture.height;
            Result<std::string> png = EncodePng(picture, PngOptionsFor(settings.look, settings.pngForm));
            w.encoded = png.ok();
            if (png) w.png = std::move(*png);
        } catch (...) {
            w.thrown = std::current_exception();
        }
    };
    auto stop = [&](Failure reason) {
        failure = std::move(reason);
        stopped = true;
    };
    auto take = [&](PieceWork& w) {
        if (stopped.load(std::memory_order_relaxed)) return;  // after the first failure: dropped
        try {
            if (w.thrown) std::rethrow_exception(w.thrown);
            const std::string path = JoinPath(folder, PieceFileName(w.index));
            Result<void> written = Failure{Failure::What::notOpened, path, ENOMEM};  // no memory to encode it
            if (w.encoded) {
                fs::WriteOptions options;
                options.flush = fs::Flush::later;
                options.pending = &unflushed;
                written = fileSystem.WriteNewFile(path, w.png, options);
            }
            if (written && carriedBytes + w.png.size() <= kCarriedPictureBytes) {
                carriedBytes += w.png.size();
                w.drawn.carried = Base64(w.png);
                carried.emplace_back(w.index, w.drawn.carried);
            }
            w.png = std::string();
            if (!written) return stop(written.failure());
            // Each picture waits open until it is flushed: a share of the files the
            // process may open at most.
            if (unflushed.size() >= unflushed.MostWaiting()) {
                if (Result<void> flushed = fileSystem.FlushPending(unflushed); !flushed) return stop(flushed.failure());
            }
            sizes.emplace_back(w.drawn.width, w.drawn.height);
            drawn(w.index, std::move(w.drawn));
        } catch (...) {
            thrown = std::current_exception();
            stopped = true;
        }
    };
    RunInOrder(settings.workers, slots, handOut, draw, take);
    if (thrown) std::rethrow_exception(thrown);
    if (failure) return std::move(*failure);
    if (unflushed.size() > 0) {
        Result<void> flushed = fileSystem.FlushPending(unflushed);
        if (!flushed) return flushed.failure();
    }
    fs::StagedFile page;
    if (Result<void> begun = fileSystem.BeginNewFile(JoinPath(folder, kIndexPageName), {}, page); !begun) return begun;
    std::size_t nextCarried = 0;
    Result<void> written = WriteIndexPage(
        collection, title, sizes.size(),
        [&](std::size_t i) {
            PagePicture picture{sizes[i].first, sizes[i].second, {}};
            if (nextCarried < carried.size() && carried[nextCarried].first == i)
                picture.carried = carried[nextCarried++].second;
            return picture;
        },
        [&](std::string_view bytes) { return fileSystem.Append(page, bytes); });
    if (!written) return written;
    return fileSystem.Place(page);
}

Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, std::vector<DrawnPiece>& drawn) {
    drawn.clear();
    return DrawCollection(collection, folder, title, settings,
                          [&](std::size_t, DrawnPiece piece) { drawn.push_back(std::move(piece)); });
}

}  // namespace quarvel::engine
