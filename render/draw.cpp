#include "render/draw.h"

#include <algorithm>
#include <vector>

#include "platform/codec.h"

namespace quarvel::render {

using platform::Color;
using platform::Glyph;
using platform::GlyphCache;
using platform::kFontAscent;
using platform::kFontPixelHeight;
using platform::Picture;
namespace cp932 = platform::cp932;

namespace {

// Calls fn(glyph) for each character of a run, undecodable bytes included.
template <typename Fn>
void ForEachGlyph(std::string_view bytes, Fn fn) {
    GlyphCache& glyphs = GlyphCache::Instance();
    std::size_t i = 0;
    while (i < bytes.size()) {
        cp932::Decoded d = cp932::DecodeOne(bytes.substr(i));
        fn(d.valid ? glyphs.Get(d.code) : glyphs.Undecodable());
        i += d.length;
    }
}

}  // namespace

void DrawGlyph(Picture& picture, int x, int y, const Glyph& glyph, Color fore) {
    const int left = x + glyph.left;
    const int top = y + kFontAscent - glyph.top;
    const int x0 = std::max(0, -left);
    const int x1 = std::min(glyph.width, picture.width - left);
    const int y0 = std::max(0, -top);
    const int y1 = std::min(glyph.height, picture.height - top);
    if (x0 >= x1 || y0 >= y1) return;
    const std::uint8_t r = fore.red, g = fore.green, b = fore.blue;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(picture.width) * 3;
    // Where the bitmap's top-left corner would be, which may lie outside the picture.
    const std::ptrdiff_t origin = top * stride + left * 3;
    const bool whole = x0 == 0 && y0 == 0 && x1 == glyph.width && y1 == glyph.height;
    for (const platform::InkRun& run : glyph.ink) {
        int from = run.x, to = run.x + run.length;
        if (!whole) {
            if (run.y < y0 || run.y >= y1) continue;
            from = std::max(from, x0);
            to = std::min(to, x1);
            if (from >= to) continue;
        }
        std::uint8_t* p = picture.rgb.data() + (origin + run.y * stride + from * 3);
        for (std::uint8_t* const end = p + (to - from) * 3; p != end; p += 3) {
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

int MeasureRun(std::string_view bytes) {
    int width = 0;
    ForEachGlyph(bytes, [&](const Glyph& glyph) { width += glyph.advance; });
    return width;
}

int DrawRun(Picture& picture, int x, int y, std::string_view bytes, Color fore, Color back, bool* missing) {
    // The run's glyphs, found once: measured for the cell, then drawn over it.
    thread_local std::vector<const Glyph*> glyphs;
    glyphs.clear();
    int width = 0;
    ForEachGlyph(bytes, [&](const Glyph& glyph) {
        glyphs.push_back(&glyph);
        width += glyph.advance;
    });
    picture.fill(x, y, x + width, y + kFontPixelHeight, back);
    int pen = x;
    for (const Glyph* glyph : glyphs) {
        DrawGlyph(picture, pen, y, *glyph, fore);
        if (missing && glyph->missing) *missing = true;
        pen += glyph->advance;
    }
    return pen - x;
}

int MeasureChar(char32_t code) { return GlyphCache::Instance().Get(code).advance; }

void DrawChar(Picture& picture, int x, int y, char32_t code, Color fore, Color back, bool* missing) {
    const Glyph& glyph = GlyphCache::Instance().Get(code);
    if (missing && glyph.missing) *missing = true;
    picture.fill(x, y, x + glyph.advance, y + kFontPixelHeight, back);
    DrawGlyph(picture, x, y, glyph, fore);
}

}  // namespace quarvel::render
