#pragma once
// Glyph shapes and advance widths for the renderer.
//
// Shapes come from Mona (its built-in 16-pixel bitmaps, drawn without smoothing),
// or from the font file the user names; characters that face lacks come from
// Monapo, IPA P Gothic, Symbola (symbols and emoji), then any installed face
// fontconfig offers. Advances come from the compiled-in table of the original font's
// widths at 16 pixels (and of the shading characters that text art for browsers takes
// from beyond it, as that font advances them in a browser), so text art lines up
// exactly whatever face draws the shape.

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace quarvel::platform {

// Pictures are drawn at 96 pixels per inch whatever the screen: 12 points is 16 pixels.
inline constexpr int kFontPixelHeight = 16;
inline constexpr int kFontAscent = 14;
inline constexpr int kFontDescent = 2;

// One rendered glyph: a coverage mask (1 = ink) placed relative to the pen
// position on the baseline, and the advance the pen moves by.
// A stretch of ink in one row of a glyph's bitmap.
struct InkRun {
    int y = 0;
    int x = 0;
    int length = 0;
};

struct Glyph {
    int advance = 0;
    int left = 0;  // bitmap_left
    int top = 0;   // bitmap_top: rows above the baseline
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> mask;  // width * height, 0 or 1
    std::vector<InkRun> ink;         // the mask's 1s, row by row, left to right
    bool missing = false;            // no face has the character: it shows blank
};

// The installed families that draw the glyphs, in the order they are asked after the
// user's font file: Mona first, whose bitmaps follow the original font; Symbola last,
// a monochrome face with wide coverage of symbols and emoji, so that those are drawn
// like any other glyph before fontconfig's general choice (which may offer nothing at
// all, or a colour face). The window's screen font asks the same chain.
std::span<const char* const> FontFamilyChain();

// The font file the user named in $QUARVEL_FONT to replace Mona's shapes; empty
// when the variable is unset or empty.
std::filesystem::path UserFontFile();

// Thrown by GlyphCache::Get on a thread under a ProcessorTimeLimit that has passed,
// when the glyph asked for is not loaded yet.
struct ProcessorTimeExceeded : std::exception {
    const char* what() const noexcept override { return "the drawing took more processor time than it may"; }
};

// While it lives, the calling thread may load new glyphs only until it has used `limit`
// of processor time from the limit's making: loading a glyph is the slow part of
// drawing (a face searched, an outline rendered), and the only part whose cost grows
// with what the text holds rather than with the picture's size. The glyphs loaded
// before the limit passed stay loaded, so drawing the same text again goes on from
// there. Each limit lets its first new glyph load whatever the time, so that every try
// gets further and the same text asked again comes in the end; a limit of zero or less
// stops the glyph after that. Limits do not nest.
class ProcessorTimeLimit {
public:
    explicit ProcessorTimeLimit(std::chrono::nanoseconds limit);
    ~ProcessorTimeLimit();
    ProcessorTimeLimit(const ProcessorTimeLimit&) = delete;
    ProcessorTimeLimit& operator=(const ProcessorTimeLimit&) = delete;
};

class GlyphCache {
public:
    // The process-wide cache. The main face is chosen on first use: the file given
    // to SetMainFontFile, else $QUARVEL_FONT, else Mona.
    static GlyphCache& Instance();

    // Names the font file that replaces Mona. Only before the first use of
    // Instance(); a file that cannot be used fails (fontUnusable, with the system's
    // reason when the file cannot be read at all).
    static Result<void> SetMainFontFile(const std::filesystem::path& path);

    ~GlyphCache();
    GlyphCache(const GlyphCache&) = delete;
    GlyphCache& operator=(const GlyphCache&) = delete;

    // The glyph of a code point, loaded and rendered once; never null. A character
    // that no installed face has gets an empty glyph with the table's width, or the
    // width of the main face's .notdef glyph. Safe from any thread. Throws
    // ProcessorTimeExceeded (see ProcessorTimeLimit) and std::bad_alloc.
    const Glyph& Get(char32_t code);
    // The glyph that stands for bytes the code page cannot decode: no ink, the
    // .notdef width, marked missing.
    const Glyph& Undecodable() const { return undecodable_; }

    // Width in the original font's table, or for a shading character beyond it (block
    // elements, corner triangles) in the table of those; 0 when neither has an entry.
    static int TableWidth(char32_t code);

private:
    explicit GlyphCache(const std::filesystem::path& main_face);
    const Glyph& Load(char32_t code);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    Glyph undecodable_;
};

}  // namespace quarvel::platform
