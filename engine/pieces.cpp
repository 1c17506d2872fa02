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
#include "platform/codec.h"
#include "platform/paths.h"
#include "render/references.h"

namespace quarvel::engine {

using render::EncodePng;
using render::PngOptionsFor;
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

// The most of the pictures' files that the page carries inside it, for its buttons
// that copy a picture: a browser lets no page read the files beside it (file://).
// Pictures past it are copied from their files where the page is served over HTTP.
constexpr std::size_t kCarriedPictureBytes = 16u << 20;

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[v >> (18 - 6 * k) & 63] : '=';
    }
    return out;
}

// The page's look, light or dark as the reader's system is, and its script: the search
// box keeps the pieces whose number, name or text (as written, or as drawn with its
// references decoded) holds what is typed (in any width and case); a click or Enter on a picture copies its piece's text, the button beside
// it the picture. Everything is in the page: it works from a folder on disk.
constexpr std::string_view kPageHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"ja\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<meta name=\"color-scheme\" content=\"light dark\">\n"
    "<title>{title}</title>\n"
    "<style>\n"
    ":root { --page: #f2f2f2; --ink: #222; --line: #bbb; --field: #fff; --mark: #0a58ca; }\n"
    "@media (prefers-color-scheme: dark) {\n"
    "  :root { --page: #1c1c1e; --ink: #e8e8e8; --line: #555; --field: #2c2c2e; --mark: #6ea8fe; }\n"
    "}\n"
    "html { -webkit-text-size-adjust: 100%; }\n"
    "body { margin: 0.75em; background: var(--page); color: var(--ink); font-family: sans-serif; }\n"
    "h1 { font-size: 1.4em; overflow-wrap: anywhere; }\n"
    "header { position: sticky; top: 0; z-index: 1; padding: 0.5em 0; background: var(--page); }\n"
    "input { box-sizing: border-box; width: 100%; max-width: 28em; font: inherit; padding: 0.4em;\n"
    "  color: inherit; background: var(--field); border: 1px solid var(--line); border-radius: 4px; }\n"
    "#count, #status { margin: 0.4em 0 0; font-size: 0.9em; min-height: 1.2em; }\n"
    "main { display: flex; flex-wrap: wrap; gap: 1.5em; align-items: flex-start; }\n"
    "figure { margin: 0; min-width: 0; max-width: 100%; }\n"
    "figure[hidden] { display: none; }\n"
    "figcaption { display: flex; gap: 0.5em; align-items: baseline; margin-bottom: 0.3em; font-size: 0.9em; }\n"
    "figcaption a { color: inherit; text-decoration: none; overflow-wrap: anywhere; }\n"
    "button { font: inherit; font-size: 0.85em; color: inherit; background: var(--field);\n"
    "  border: 1px solid var(--line); border-radius: 4px; padding: 0.1em 0.5em; cursor: pointer; }\n"
    ".frame { width: fit-content; max-width: 100%; overflow-x: auto; cursor: copy; border: 1px solid var(--line); }\n"
    ".frame:focus-visible, button:focus-visible, input:focus-visible { outline: 2px solid var(--mark); "
    "outline-offset: 2px; }\n"
    "img { display: block; max-width: none; image-rendering: pixelated; }\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<header>\n"
    "<h1>{title}</h1>\n"
    "<input id=\"search\" type=\"search\" placeholder=\"number, name or text\" aria-label=\"Search the pieces\" "
    "autocomplete=\"off\">\n";

constexpr std::string_view kPageScript =
    "<script>\n"
    "\"use strict\";\n"
    "(() => {\n"
    "  const search = document.getElementById(\"search\"), count = document.getElementById(\"count\");\n"
    "  const status = document.getElementById(\"status\");\n"
    "  const figures = [...document.querySelectorAll(\"main figure\")];\n"
    "  const all = count.textContent;\n"
    "  const fold = s => s.normalize(\"NFKC\").toLowerCase();\n"
    "  const keys = figures.map(f => ({ number: f.id.slice(1), words: fold(f.dataset.name + \"\\n\" +\n"
    "      f.querySelector(\"pre\").textContent + \"\\n\" + (f.dataset.drawn || \"\")) }));\n"
    "  const filter = () => {\n"
    "    const q = fold(search.value.trim());\n"
    "    let shown = 0;\n"
    "    figures.forEach((f, i) => {\n"
    "      const k = keys[i];\n"
    "      f.hidden = !(q === \"\" || k.number === q.replace(/^0+/, \"\") || k.words.includes(q));\n"
    "      shown += !f.hidden;\n"
    "    });\n"
    "    count.textContent = q === \"\" ? all : shown + \" of \" + all;\n"
    "  };\n"
    "  search.addEventListener(\"input\", filter);\n"
    "  if (search.value) filter();\n"
    "  const told = text => { status.textContent = text; };\n"
    "  const copyText = async (f) => {\n"
    "    const text = f.querySelector(\"pre\").textContent, name = f.querySelector(\"a\").textContent;\n"
    "    try {\n"
    "      await navigator.clipboard.writeText(text);\n"
    "    } catch {\n"
    "      const box = document.createElement(\"textarea\");\n"
    "      box.value = text;\n"
    "      document.body.append(box);\n"
    "      box.select();\n"
    "      const done = document.execCommand(\"copy\");\n"
    "      box.remove();\n"
    "      if (!done) return told(\"The text of \" + name + \" could not be copied\");\n"
    "    }\n"
    "    told(\"Copied the text of \" + name);\n"
    "  };\n"
    "  const pictureOf = async (f) => {\n"
    "    if (f.dataset.png) {\n"
    "      const bytes = Uint8Array.from(atob(f.dataset.png), c => c.charCodeAt(0));\n"
    "      return new Blob([bytes], { type: \"image/png\" });\n"
    "    }\n"
    "    const answer = await fetch(f.querySelector(\"img\").src);\n"
    "    if (!answer.ok) throw new Error(answer.status);\n"
    "    return new Blob([await answer.arrayBuffer()], { type: \"image/png\" });\n"
    "  };\n"
    "  const copyPicture = async (f) => {\n"
    "    const name = f.querySelector(\"a\").textContent;\n"
    "    try {\n"
    "      await navigator.clipboard.write([new ClipboardItem({ \"image/png\": pictureOf(f) })]);\n"
    "      told(\"Copied the picture of \" + name);\n"
    "    } catch {\n"
    "      told(\"The picture of \" + name + \" could not be copied: use the picture's menu (right click)\");\n"
    "    }\n"
    "  };\n"
    "  for (const f of figures) {\n"
    "    const frame = f.querySelector(\".frame\");\n"
    "    frame.addEventListener(\"click\", () => copyText(f));\n"
    "    frame.addEventListener(\"keydown\", e => {\n"
    "      if (e.key === \"Enter\" || e.key === \" \") { e.preventDefault(); copyText(f); }\n"
    "    });\n"
    "    f.querySelector(\"button\").addEventListener(\"click\", () => copyPicture(f));\n"
    "  }\n"
    "})();\n"
    "</script>\n";

}  // namespace

std::string PieceFileName(std::size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%03zu.png", index + 1);
    return name;
}

std::string IndexPage(const Collection& collection, const std::vector<DrawnPiece>& drawn, std::string_view title) {
    std::string escapedTitle;
    AppendEscaped(escapedTitle, ValidUtf8(title));
    std::string page(kPageHead);
    constexpr std::string_view kTitle = "{title}";
    for (std::size_t at = page.find(kTitle); at != std::string::npos; at = page.find(kTitle, at + escapedTitle.size()))
        page.replace(at, kTitle.size(), escapedTitle);
    page += "<p id=\"count\">" + std::to_string(drawn.size()) + (drawn.size() == 1 ? " piece" : " pieces") +
            "</p>\n<p id=\"status\" role=\"status\" aria-live=\"polite\"></p>\n</header>\n<main>\n";
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const Piece& piece = collection.pieces[i];
        const std::string number = std::to_string(i + 1);
        const std::string name = collection.kind == CollectionKind::ast ? collection.Name(piece) : std::string();
        std::string escapedName, escapedLabel, escapedText;
        AppendEscaped(escapedName, name);
        AppendEscaped(escapedLabel, name.empty() ? number : number + " " + name);
        const std::string text = collection.TextUtf8(piece);
        AppendEscaped(escapedText, text);
        const std::string file = PieceFileName(i);
        page += "<figure id=\"p" + number + "\" data-name=\"" + escapedName + "\"";
        // The text as drawn, for the search, where its references make it another.
        if (const std::string drawnText = render::DecodedReferencesUtf8(text); drawnText != text) {
            std::string escapedDrawn;
            AppendEscaped(escapedDrawn, drawnText);
            page += " data-drawn=\"" + escapedDrawn + "\"";
        }
        if (!drawn[i].carried.empty()) page += " data-png=\"" + drawn[i].carried + "\"";
        // The picture at the size of scale 1: a picture of a higher scale fills as many
        // device pixels on a screen of that many per pixel.
        page += "><figcaption><a href=\"#p" + number + "\">" + escapedLabel +
                "</a><button type=\"button\" title=\"Copy the picture\">Picture</button></figcaption>"
                "<div class=\"frame\" tabindex=\"0\" role=\"button\" title=\"Click or Enter: copy the text\">"
                "<img src=\"" +
                file + "\" width=\"" + std::to_string(drawn[i].width) + "\" height=\"" +
                std::to_string(drawn[i].height) + "\" alt=\"" + escapedLabel + "\"></div><pre hidden>" + escapedText +
                "</pre></figure>\n";
    }
    page += "</main>\n";
    page += kPageScript;
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
    std::size_t carried = 0;  // bytes of the pictures the page carries
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
            if (written && carried + w.png.size() <= kCarriedPictureBytes) {
                carried += w.png.size();
                w.drawn.carried = Base64(w.png);
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
