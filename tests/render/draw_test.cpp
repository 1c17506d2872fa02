// Drawing and measuring characters: advances from the original font's tables, the
// shading characters beyond them, and the right edge of shaded art.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/fonts.h"
#include "render/draw.h"
#include "render/renderer.h"

namespace quarvel::render {

using platform::Color;
using platform::Glyph;
using platform::GlyphCache;
using platform::kBlack;
using platform::Picture;

namespace {

// The full-width space in code page 932.
const std::string kWideSpace = "\x81\x40";

// The width of the text area the renderer gives the text.
int TextAreaWidth(const std::string& text, bool collapseSpaces) {
    std::array<WordTokenList, kMaxLines + 1> lines;
    return MeasureTextWidth(lines.data(), TokenizeTextArt(text.c_str(), lines.data(), collapseSpaces));
}

TEST(Measure, WidthsComeFromTheOriginalFontsTable) {
    EXPECT_EQ(MeasureRun(std::string(10, ' ')), 50);
    std::string wide;
    for (int i = 0; i < 10; ++i) wide += kWideSpace;
    EXPECT_EQ(MeasureRun(wide), 110);
    EXPECT_EQ(TextAreaWidth(std::string(10, ' '), false), 52);
    EXPECT_EQ(TextAreaWidth(wide, true), 112);
    EXPECT_EQ(GlyphCache::Instance().Get(U'i').advance, GlyphCache::TableWidth(U'i'));
    // Undecodable bytes are one .notdef-wide character each and draw nothing.
    const int notdef = GlyphCache::Instance().Undecodable().advance;
    EXPECT_GT(notdef, 0);
    EXPECT_EQ(MeasureRun("\x80\xFF"), 2 * notdef);
    // So is a lead byte with the byte after it when the pair is no character (mojibake
    // such as 94 2D): the byte after it is not drawn on its own.
    EXPECT_EQ(MeasureRun("A\x94-B"), MeasureRun("AB") + notdef);
    EXPECT_EQ(MeasureRun("\x82\x20\x82"), 2 * notdef);
    EXPECT_EQ(RenderPicture("A\x94-B", Appearance{}).rgb, RenderPicture("A\x80"
                                                                        "B",
                                                                        Appearance{})
                                                              .rgb);
}

TEST(Measure, ShadingCharactersBeyondTheMainTableAdvanceByTheirOwnTable) {
    // Every entry of the table of shading characters: the advance is the table's,
    // whatever face draws the shape; the shape comes from a face that has it; and the
    // picture holds nothing but the two colours, the text colour where there is ink.
    std::ifstream table(QUARVEL_SOURCE_DIR "/res/unicode-aa-widths.tsv");
    ASSERT_TRUE(table) << "res/unicode-aa-widths.tsv";
    const Appearance look{Color{0x12, 0x34, 0x56}, Color{0xFE, 0xDC, 0xBA}, 0, true};
    std::string line;
    std::getline(table, line);  // the header
    int entries = 0;
    while (std::getline(table, line)) {
        unsigned code = 0;
        int width = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%x\t%d", &code, &width), 2) << line;
        SCOPED_TRACE(line);
        ++entries;
        const Glyph& glyph = GlyphCache::Instance().Get(code);
        EXPECT_EQ(GlyphCache::TableWidth(code), width);
        EXPECT_EQ(glyph.advance, width);
        EXPECT_FALSE(glyph.missing);
        const std::string reference = "&#" + std::to_string(code) + ";";
        const Picture picture = RenderPicture((reference + reference + reference).c_str(), look);
        EXPECT_EQ(MeasureChar(code), width);
        int ink = 0;
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                const Color c = picture.pixel(x, y);
                ink += c == look.textColor;
                ASSERT_TRUE(c == look.textColor || c == look.backColor) << x << "," << y;
            }
        }
        EXPECT_EQ(ink > 0, code != 0x2004);  // the three-per-em space has no ink
    }
    EXPECT_EQ(entries, 30);
}

TEST(Measure, ShadedArtKeepsItsRightEdge) {
    // As in a browser drawing the original font: a row of lower blocks, a row of corner
    // triangles and full-width spaces, and a row of full-width spaces of the same
    // count of cells end at the same column. The border there is told by its ink in the
    // upper rows of its line, which the lower blocks (of this line and the one above)
    // do not reach.
    const std::string cell = kWideSpace;
    std::string blocks = "|", triangles = "|", spaces = "|";
    for (int i = 0; i < 37; ++i) blocks += "&#9603;";
    for (int i = 0; i < 11; ++i) triangles += "&#9698;&#9700;";
    for (int i = 0; i < 21; ++i) triangles += cell;
    for (int i = 0; i < 37; ++i) spaces += cell;
    const Picture art =
        RenderPicture((blocks + "|<br>" + triangles + "|<br>" + spaces + "|<br>||").c_str(), Appearance{});
    auto rightmostInk = [&](int line) {
        int rightmost = -1;
        for (int y = line * kLinePitch + 2; y < line * kLinePitch + 8; ++y)
            for (int x = 0; x < art.width; ++x)
                if (art.pixel(x, y) == kBlack) rightmost = std::max(rightmost, x);
        return rightmost;
    };
    EXPECT_EQ(rightmostInk(0), rightmostInk(2));
    EXPECT_EQ(rightmostInk(1), rightmostInk(2));
    EXPECT_EQ(rightmostInk(0) - rightmostInk(3), 37 * 11);  // beside a row without cells between its borders
}

// A thread under a processor-time limit that has passed loads one new glyph, then no
// more (the web service answers 503 then): every try gets further, even one whose limit
// passed before its first glyph. The glyphs loaded before stay, and after the limit
// glyphs load as ever.
TEST(GlyphCacheLimit, NewGlyphsStopAtTheLimitAfterOneAndLoadedOnesStay) {
    GlyphCache& glyphs = GlyphCache::Instance();
    const Glyph& loaded = glyphs.Get(U'\u3042');
    // In no font, so never drawn by another test.
    const char32_t first = U'\U0004A5A5', second = U'\U0004A5A6';
    {
        const platform::ProcessorTimeLimit passed(std::chrono::nanoseconds(-1));
        EXPECT_EQ(&glyphs.Get(U'\u3042'), &loaded);
        EXPECT_NO_THROW(glyphs.Get(first));
        EXPECT_THROW(glyphs.Get(second), platform::ProcessorTimeExceeded);
    }
    const Glyph& after = glyphs.Get(second);
    EXPECT_TRUE(after.missing);
    EXPECT_GT(after.advance, 0);
}

}  // namespace
}  // namespace quarvel::render
