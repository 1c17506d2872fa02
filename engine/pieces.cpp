#include "engine/pieces.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <thread>

#include "engine/picture_file.h"
#include "platform/codec.h"
#include "platform/paths.h"

namespace quarvel {
namespace {

// One piece's picture on its way: drawn and written by a worker, taken in file order.
struct PieceWork {
    DrawnPiece drawn;
    fs::WriteStatus written;
    std::exception_ptr thrown;
};

// Calls draw(i) for every i below `count` on `workers` threads, then take(i) in
// order on this thread until it returns false. Once a draw has failed (draw returns
// false), no more are started.
template <typename Draw, typename Take>
void DrawInOrder(std::size_t count, int workers, Draw draw, Take take) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (std::size_t i; !failed.load(std::memory_order_relaxed) && (i = next++) < count;)
            if (!draw(i)) failed = true;
    };
    const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, workers)), count);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    for (std::size_t i = 0; i < std::min(count, next.load()); ++i)
        if (!take(i)) return;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
}

// Text for the page: bytes that are not UTF-8 (a file name may hold any) become U+FFFD.
std::string ValidUtf8(std::string_view text) {
    return cp932::IsValidUtf8(text) ? std::string(text) : cp932::Utf16ToUtf8(cp932::Utf8ToUtf16(text));
}

constexpr std::string_view kPageHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"ja\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width\">\n"
    "<title>@</title>\n"
    "<style>\n"
    "body { margin: 1em; background: #f2f2f2; color: #222; font-family: sans-serif; }\n"
    "figure { display: inline-block; vertical-align: top; margin: 0 1.5em 1.5em 0; }\n"
    "figcaption { margin-bottom: 0.3em; font-size: 0.9em; }\n"
    "figcaption a { color: inherit; text-decoration: none; }\n"
    "img { display: block; max-width: none; border: 1px solid #bbb; }\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<h1>@</h1>\n";

}  // namespace

std::string PieceFileName(std::size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%03zu.png", index + 1);
    return name;
}

std::string IndexPage(const Collection& collection, const std::vector<DrawnPiece>& drawn, std::string_view title) {
    std::string escapedTitle;
    AppendEscaped(escapedTitle, ValidUtf8(title));
    std::string page;
    for (const char c : kPageHead) {
        if (c == '@')
            page += escapedTitle;
        else
            page += c;
    }
    page += "<p>" + std::to_string(drawn.size()) + (drawn.size() == 1 ? " piece" : " pieces") + "</p>\n";
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        std::string label = number;
        if (collection.kind == CollectionKind::ast) {
            const std::string name = collection.Name(collection.pieces[i]);
            if (!name.empty()) label += " " + name;
        }
        std::string escapedLabel;
        AppendEscaped(escapedLabel, label);
        const std::string file = PieceFileName(i);
        page += "<figure id=\"p" + number + "\"><figcaption><a href=\"#p" + number + "\">" + escapedLabel +
                "</a></figcaption><img src=\"" + file + "\" width=\"" + std::to_string(drawn[i].width) +
                "\" height=\"" + std::to_string(drawn[i].height) + "\" alt=\"" + escapedLabel + "\"></figure>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

PiecesResult DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings) {
    fs::FileSystem& fileSystem = settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem();
    PiecesResult result;
    auto fail = [&](PiecesFailure failure, std::string path, fs::WriteStatus status) {
        result.failure = failure;
        result.failedPath = std::move(path);
        result.status = status;
    };
    // A folder already there may be reached through a link the user made.
    if (fileSystem.Status(folder) != fs::Kind::folder) {
        const fs::FolderStatus made = fileSystem.MakeDirectory(folder);
        if (made.result != fs::FolderResult::ok) {
            fail(PiecesFailure::folder, folder, {fs::WriteResult::notCreated, made.error});
            return result;
        }
    }
    // What runs killed while writing here left behind.
    fileSystem.RemoveStaleTemporaries(folder, {});

    const std::size_t count = collection.pieces.size();
    std::vector<PieceWork> work(count);
    auto draw = [&](std::size_t i) {
        PieceWork& w = work[i];
        try {
            const std::string input = collection.RendererInput(collection.pieces[i]);
            const Picture picture = RenderPicture(input.c_str(), settings.look, &w.drawn.report);
            w.drawn.width = picture.width;
            w.drawn.height = picture.height;
            const std::optional<std::string> png = EncodePng(picture, settings.pngForm);
            w.written = png ? fileSystem.WriteNewFile(JoinPath(folder, PieceFileName(i)), *png, {})
                            : fs::WriteStatus{fs::WriteResult::notCreated, ENOMEM};
        } catch (...) {
            w.thrown = std::current_exception();
        }
        return !w.thrown && w.written.result == fs::WriteResult::ok;
    };
    std::exception_ptr thrown;
    auto take = [&](std::size_t i) {
        PieceWork& w = work[i];
        if (w.thrown) {
            thrown = w.thrown;
            return false;
        }
        if (w.written.result != fs::WriteResult::ok) {
            fail(PiecesFailure::picture, JoinPath(folder, PieceFileName(i)), w.written);
            return false;
        }
        result.drawn.push_back(w.drawn);
        return true;
    };
    DrawInOrder(count, settings.workers, draw, take);
    if (thrown) std::rethrow_exception(thrown);
    if (result.failure != PiecesFailure::none) return result;

    const std::string pagePath = JoinPath(folder, kIndexPageName);
    const fs::WriteStatus written = fileSystem.WriteNewFile(pagePath, IndexPage(collection, result.drawn, title), {});
    if (written.result != fs::WriteResult::ok) fail(PiecesFailure::index, pagePath, written);
    return result;
}

}  // namespace quarvel
