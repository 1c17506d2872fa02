#include "engine/pieces.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

#include "engine/ordered_pipeline.h"
#include "engine/picture_file.h"
#include "platform/codec.h"
#include "platform/paths.h"

namespace quarvel::engine {

using render::EncodePng;
using render::RenderPicture;

using platform::JoinPath;
using platform::Picture;
namespace cp932 = platform::cp932;
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

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\t':
        case '\n':
        case '\r': out += c; break;
        default:
            // A page holds no control characters: a NUL, say, would cut or hide the text
            // after it in some readers.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                out += "\xEF\xBF\xBD";  // U+FFFD
            else
                out += c;
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

Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, std::vector<DrawnPiece>& drawn) {
    fs::FileSystem& fileSystem = settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem();
    drawn.clear();
    // A folder already there may be reached through a link the user made.
    if (fileSystem.Status(folder) != fs::Kind::folder) {
        Result<bool> made = fileSystem.MakeDirectory(folder);
        if (!made) return made.failure();
    }
    // What runs killed while writing here left behind.
    fileSystem.RemoveStaleTemporaries(folder, {});

    // The workers draw and encode the pictures; they are written in file order, so that
    // the files and the first failure are the same with any number of workers, also when
    // the disk fills up. Each is put in place at once; they reach the disk together
    // before the page that shows them is written.
    const std::size_t count = collection.pieces.size();
    std::size_t next = 0;
    std::atomic<bool> stopped{false};  // set by the results' stage at the first failure
    std::exception_ptr thrown;
    std::optional<Failure> failure;
    fs::PendingFlush unflushed;
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
            Result<std::string> png = EncodePng(picture, settings.pngForm);
            w.encoded = png.ok();
            if (png) w.png = std::move(*png);
        } catch (...) {
            w.thrown = std::current_exception();
        }
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
            w.png = std::string();
            if (!written) {
                failure = written.failure();
                stopped = true;
                return;
            }
            drawn.push_back(w.drawn);
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
    return fileSystem.WriteNewFile(JoinPath(folder, kIndexPageName), IndexPage(collection, drawn, title), {});
}

}  // namespace quarvel::engine
