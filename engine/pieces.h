#pragma once
// A template collection drawn into a folder: one picture per piece (001.png, 002.png,
// ... in file order) and index.html, a page that shows them all with their numbers
// and names, for any browser.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/collection.h"
#include "platform/fs.h"
#include "render/appearance.h"
#include "render/png_writer.h"
#include "render/renderer.h"

namespace quarvel::engine {

inline constexpr std::string_view kIndexPageName = "index.html";

struct PiecesSettings {
    render::Appearance look;
    render::PngForm pngForm = render::PngForm::rgb;
    // How many pictures are drawn and encoded at once (workers); they are written one
    // at a time, in file order. The files are the same for any number.
    int workers = 1;
    platform::fs::FileSystem* fileSystem = nullptr;  // null: the real file system
};

// What became of one piece's picture.
struct DrawnPiece {
    int width = 0, height = 0;    // of the picture at scale 1
    render::RenderReport report;  // what the picture leaves out
    // The picture's file in base64, which the page carries for its button that copies
    // the picture (up to a budget; empty past it).
    std::string carried;
};

// The file name of the picture of the piece at `index` (from 0): "001.png", ...,
// "999.png", "1000.png".
std::string PieceFileName(std::size_t index);

// Each piece whose picture is in place, in file order: its index and what became of it.
using PieceDrawn = std::function<void(std::size_t index, DrawnPiece piece)>;

// Draws every piece into `folder` (made when it is missing; one level; held open while
// the files are written in it), each picture written as a whole new file that replaces
// whatever has its name (a link there is replaced, never followed), and flushed to disk
// with the pictures before it whenever a share of the files the process may open wait
// (fs::PendingFlush::MostWaiting), so that the run holds few descriptors however many
// pieces there are; then, once all are on disk, writes the index page the same way, a
// piece at a time. The first failure in file order stops the job: the pictures before
// it stay, nothing after it is written, nor the page. `drawn` hears of the pieces whose
// pictures are in place, from the first on. `title` (UTF-8) heads the page. Besides the
// collection, the run keeps a few bytes for each piece and a bounded amount for the
// page's copies of the pictures.
Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, const PieceDrawn& drawn);
// The same, with the pieces whose pictures are in place gathered in `drawn`.
Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, std::vector<DrawnPiece>& drawn);

// What the index page shows of a piece besides its collection's name and text.
struct PagePicture {
    int width = 0, height = 0;  // of the picture at scale 1
    std::string_view carried;   // the picture in base64 for the copy button; may be empty
};
// Where the page goes, a piece of about a MiB at most at a time.
using PageSink = std::function<Result<void>(std::string_view bytes)>;

// The index page of the first `count` pieces (UTF-8 HTML, with its style and script
// inside): every picture with its number, for an .ast collection its name (the label
// shows its start, Collection::ShortName; the search data all of it; each escaped once),
// and its piece's text; a search box that keeps the pieces whose number, name or text
// holds what is typed; a click or Enter on a picture copies the text, a button beside
// it the picture. Laid out to the window's width (a piece wider than it scrolls in its
// frame), light or dark as the reader's system is. Written to `sink` as it is made: a
// huge name or text is never held whole, decoded or escaped. The first failure of
// `sink` is the result (nothing more goes to it).
Result<void> WriteIndexPage(const Collection& collection, std::string_view title, std::size_t count,
                            const std::function<PagePicture(std::size_t index)>& picture, const PageSink& sink);
// The page of the pieces drawn, whole.
std::string IndexPage(const Collection& collection, const std::vector<DrawnPiece>& drawn, std::string_view title);

}  // namespace quarvel::engine
