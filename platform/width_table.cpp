// The compiled-in advances of the original font at 16 pixels, by code point.

#include <array>
#include <cstdint>

#include "platform/fonts.h"

namespace quarvel::platform {
namespace {

struct WidthEntry {
    std::uint32_t code;
    std::uint8_t width;
};

// The original font's widths at 16 pixels.
constexpr WidthEntry kWidthEntries[] = {
#include "widths_table.inc"
};

// Shading characters outside that font's table that text art for browsers uses
// (block elements, corner triangles, a fine space), as the original font advances
// them in a browser.
constexpr WidthEntry kShadingWidthEntries[] = {
#include "shading_widths_table.inc"
};

// Table widths by BMP code point (0 = no entry), made by the compiler: every code
// point of the tables is in the BMP, so the build fails if one is not. The original
// font's table wins where both have a character.
constexpr std::array<std::uint8_t, 0x10000> kWidthTable = [] {
    std::array<std::uint8_t, 0x10000> t{};
    for (const auto& e : kShadingWidthEntries) t.at(e.code) = e.width;
    for (const auto& e : kWidthEntries) t.at(e.code) = e.width;
    return t;
}();

}  // namespace

int GlyphCache::TableWidth(char32_t code) { return code < 0x10000 ? kWidthTable[code] : 0; }

}  // namespace quarvel::platform
