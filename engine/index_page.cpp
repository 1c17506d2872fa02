// The index page of render-pieces, written a piece at a time (see WriteIndexPage).

#include <functional>
#include <string>
#include <string_view>

#include "engine/pieces.h"
#include "platform/codec.h"
#include "render/references.h"

namespace quarvel::engine {

namespace cp932 = platform::cp932;

namespace {

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


// The page's look, light or dark as the reader's system is, and its script: the search
// box keeps the pieces whose number, name or text (as written, or as drawn with its
// references decoded) holds what is typed (in any width and case); a click or Enter on
// a picture copies its piece's text, the button beside it the picture. Everything is in the page: it works from a folder on disk.
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

// How much of the page gathers before it is handed on.
constexpr std::size_t kPagePiece = std::size_t{1} << 20;

// The page on its way out: gathered, and handed on a piece's worth at a time. After a
// failure nothing more is handed on, and the failure is what End says.
class PageOut {
public:
    explicit PageOut(const PageSink& out) : out_(out) {}

    std::string& text() { return text_; }
    void Escaped(std::string_view text) {
        AppendEscaped(text_, text);
        Pass(false);
    }
    void Pass(bool all) {
        if (!failure_ && (all || text_.size() >= kPagePiece) && !text_.empty()) {
            if (Result<void> passed = out_(text_); !passed) failure_ = passed.failure();
        }
        if (all || text_.size() >= kPagePiece) text_.clear();
    }
    Result<void> End() {
        Pass(true);
        if (failure_) return *failure_;
        return {};
    }

private:
    const PageSink& out_;
    std::string text_;
    std::optional<Failure> failure_;
};

// The text of a piece as it is drawn, its references decoded, a part at a time (each
// part with whether decoding changed it): a reference that a part's end may cut is
// carried over to the next.
void DrawnTextInPieces(const Collection& collection, const Piece& piece,
                       const std::function<void(std::string_view, bool changed)>& take) {
    constexpr std::size_t kLongestReference = 64;
    std::string carried;
    const auto decode = [&](std::size_t length) {
        const std::string_view part = std::string_view(carried).substr(0, length);
        const std::string drawn = render::DecodedReferencesUtf8(part);
        take(drawn, drawn != part);
        carried.erase(0, length);
    };
    collection.TextUtf8InPieces(piece, [&](std::string_view part) {
        carried += part;
        const std::size_t amp = carried.rfind('&');
        decode(amp != std::string::npos && carried.size() - amp < kLongestReference ? amp : carried.size());
    });
    decode(carried.size());
}

// The label of a piece: its number, and the start of its name when it has one.
std::string Label(const Collection& collection, const Piece& piece, std::size_t number) {
    std::string label = std::to_string(number);
    if (collection.kind != CollectionKind::ast || piece.nameLength == 0) return label;
    label += ' ';
    AppendEscaped(label, collection.ShortName(piece));
    return label;
}

}  // namespace

Result<void> WriteIndexPage(const Collection& collection, std::string_view title, std::size_t count,
                            const std::function<PagePicture(std::size_t)>& picture, const PageSink& sink) {
    PageOut out(sink);
    std::string escapedTitle;
    AppendEscaped(escapedTitle, ValidUtf8(title));
    std::string head(kPageHead);
    constexpr std::string_view kTitle = "{title}";
    for (std::size_t at = head.find(kTitle); at != std::string::npos; at = head.find(kTitle, at + escapedTitle.size()))
        head.replace(at, kTitle.size(), escapedTitle);
    out.text() += head;
    out.text() += "<p id=\"count\">" + std::to_string(count) + (count == 1 ? " piece" : " pieces") +
                  "</p>\n<p id=\"status\" role=\"status\" aria-live=\"polite\"></p>\n</header>\n<main>\n";
    for (std::size_t i = 0; i < count; ++i) {
        const Piece& piece = collection.pieces[i];
        const PagePicture shown = picture(i);
        const std::string number = std::to_string(i + 1);
        const std::string label = Label(collection, piece, i + 1);
        // The whole name, for the search; the label shows its start.
        out.text() += "<figure id=\"p" + number + "\" data-name=\"";
        if (collection.kind == CollectionKind::ast)
            collection.NameUtf8InPieces(piece, [&](std::string_view part) { out.Escaped(part); });
        out.text() += "\"";
        // The text as drawn, for the search, where its references make it another.
        bool changed = false;
        DrawnTextInPieces(collection, piece, [&](std::string_view, bool partChanged) { changed |= partChanged; });
        if (changed) {
            out.text() += " data-drawn=\"";
            DrawnTextInPieces(collection, piece, [&](std::string_view part, bool) { out.Escaped(part); });
            out.text() += "\"";
        }
        if (!shown.carried.empty()) {
            out.text() += " data-png=\"";
            out.text() += shown.carried;
            out.text() += "\"";
        }
        // The picture at the size of scale 1: a picture of a higher scale fills as many
        // device pixels on a screen of that many per pixel.
        out.text() += "><figcaption><a href=\"#p" + number + "\">" + label +
                      "</a><button type=\"button\" title=\"Copy the picture\">Picture</button></figcaption>"
                      "<div class=\"frame\" tabindex=\"0\" role=\"button\" title=\"Click or Enter: copy the text\">"
                      "<img src=\"" +
                      PieceFileName(i) + "\" width=\"" + std::to_string(shown.width) + "\" height=\"" +
                      std::to_string(shown.height) + "\" alt=\"" + label + "\"></div><pre hidden>";
        collection.TextUtf8InPieces(piece, [&](std::string_view part) { out.Escaped(part); });
        out.text() += "</pre></figure>\n";
        out.Pass(false);
    }
    out.text() += "</main>\n";
    out.text() += kPageScript;
    out.text() += "</body>\n</html>\n";
    return out.End();
}

std::string IndexPage(const Collection& collection, const std::vector<DrawnPiece>& drawn, std::string_view title) {
    std::string page;
    const Result<void> written = WriteIndexPage(
        collection, title, drawn.size(),
        [&](std::size_t i) { return PagePicture{drawn[i].width, drawn[i].height, drawn[i].carried}; },
        [&](std::string_view part) -> Result<void> {
            page += part;
            return {};
        });
    (void)written;  // a string takes everything
    return page;
}

}  // namespace quarvel::engine
