#pragma once
// A template collection drawn into a folder: one picture per piece (001.png, 002.png,
// ... in file order) and index.html, a page that shows them all with their numbers
// and names, for any browser.

#include <cstddef>
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

// Draws every piece into `folder` (made when it is missing; one level), each picture
// written as a whole new file that replaces whatever has its name (a link there is
// replaced, never followed); flushes them to disk together; then writes the index
// page the same way. The first failure in file order stops the job: the pictures
// before it stay, nothing after it is written, nor the page. `drawn` receives the
// pieces whose pictures are in place, from the first on. `title` (UTF-8) heads the
// page.
Result<void> DrawCollection(const Collection& collection, const std::string& folder, std::string_view title,
                            const PiecesSettings& settings, std::vector<DrawnPiece>& drawn);

// The index page of the pictures drawn (UTF-8 HTML, with its style and script inside):
// every picture with its number, for an .ast collection its name, and its piece's
// text; a search box that keeps the pieces whose number, name or text holds what is
// typed; a click or Enter on a picture copies the text, a button beside it the
// picture. Laid out to the window's width (a piece wider than it scrolls in its
// frame), light or dark as the reader's system is.
std::string IndexPage(const Collection& collection, const std::vector<DrawnPiece>& drawn, std::string_view title);

}  // namespace quarvel::engine
