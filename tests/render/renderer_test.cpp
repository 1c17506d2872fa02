// The renderer: tokenizing text art into lines, the width of the text area, and the
// picture with its report of what it leaves out.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/fonts.h"
#include "render/draw.h"
#include "render/renderer.h"

namespace quarvel::render {

using platform::Color;
using platform::Glyph;
using platform::GlyphCache;
using platform::kBlack;
using platform::kWhite;
using platform::Picture;

namespace {

// "あ" and the full-width space in code page 932.
const std::string kHiraA = "\x82\xA0";
const std::string kWideSpace = "\x81\x40";

struct Tokenized {
    std::array<WordTokenList, kMaxLines + 1> lines;
    int count = 0;

    Tokenized(const std::string& text, bool space) { count = TokenizeTextArt(text.c_str(), lines.data(), space); }
    // The tokens of one line: runs as their bytes, code points as "U+XXXX".
    std::vector<std::string> tokens(int line) const {
        std::vector<std::string> out;
        for (const WordToken& t : lines[line].Tokens()) {
            if (t.IsRun()) {
                out.emplace_back(lines[line].Text(t));
            } else {
                char buf[16];
                std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(t.code));
                out.emplace_back(buf);
            }
        }
        return out;
    }
    int width() const { return MeasureTextWidth(lines.data(), count); }
};

using Tokens = std::vector<std::string>;

TEST(Tokenizer, LineBreaksAndLineCount) {
    EXPECT_EQ(Tokenized("", true).count, 0);
    EXPECT_EQ(Tokenized("<b></b>\t\r\n", true).count, 0);
    EXPECT_EQ(Tokenized("<br>", true).count, 1);
    EXPECT_EQ(Tokenized("a<br>", true).count, 1);
    EXPECT_EQ(Tokenized("a<br><br>", true).count, 2);
    Tokenized leading("<BR>a", true);
    EXPECT_EQ(leading.count, 2);
    EXPECT_TRUE(leading.tokens(0).empty());
    EXPECT_EQ(leading.tokens(1), Tokens{"a"});
    // Only the four bytes "<br>" break a line; a line feed never does.
    EXPECT_EQ(Tokenized("a<br/>b\nc<br class=x>d", true).tokens(0), Tokens{"abcd"});
    EXPECT_EQ(Tokenized("a<b>b</b>c", true).tokens(0), Tokens{"abc"});

    std::string sixty;
    for (int i = 0; i < 60; ++i) sixty += "x<br>";
    EXPECT_EQ(Tokenized(sixty, true).count, 50);
}

TEST(Tokenizer, ReferencesInsideRunsAndAsCodePoints) {
    // "&lt;" gives a '<' inside the run that starts no tag.
    EXPECT_EQ(Tokenized("&lt;br&gt;", true).tokens(0), Tokens{"<br>"});
    EXPECT_EQ(Tokenized("&lt;br&gt;", true).count, 1);
    EXPECT_EQ(Tokenized("&#12354;", true).tokens(0), Tokens{kHiraA});
    EXPECT_EQ(Tokenized("a&#233;&eacute;b", true).tokens(0), (Tokens{"a", "U+00E9", "U+00E9", "b"}));
    EXPECT_EQ(Tokenized("&#0;a", true).tokens(0), Tokens{"a"});
    EXPECT_EQ(Tokenized("&#128512;", true).tokens(0), Tokens{"U+1F600"});
    EXPECT_EQ(Tokenized("&#xD83C;&#xDF19;", true).tokens(0), Tokens{"U+1F319"});
    // An '&' that starts no complete reference is an ordinary byte.
    EXPECT_EQ(Tokenized("&amp", true).tokens(0), Tokens{"&amp"});
    EXPECT_EQ(Tokenized("a & b", true).tokens(0), Tokens{"a & b"});
    EXPECT_EQ(Tokenized("&#x110000;", true).tokens(0), Tokens{"&#x110000;"});
}

TEST(Tokenizer, HalfWidthSpaceSimulation) {
    EXPECT_EQ(Tokenized("a   b", true).tokens(0), Tokens{"a b"});
    EXPECT_EQ(Tokenized("a   b", false).tokens(0), Tokens{"a   b"});
    EXPECT_EQ(Tokenized("  a", true).tokens(0), Tokens{"a"});
    EXPECT_EQ(Tokenized("&nbsp;&nbsp;", true).tokens(0), (Tokens{"U+00A0", "U+00A0"}));
    EXPECT_EQ(Tokenized("&#32;&#32;", true).tokens(0), Tokens{"  "});
    EXPECT_EQ(Tokenized("&eacute; x", true).tokens(0), (Tokens{"U+00E9", "x"}));
    EXPECT_EQ(Tokenized(kWideSpace + kWideSpace, true).tokens(0), Tokens{kWideSpace + kWideSpace});
}

TEST(Tokenizer, LongRunsAreCutWithoutLosingBytes) {
    // Runs of at most 1010 bytes follow each other without a gap as far as the line can
    // show (3000 periods are 9000 pixels wide).
    const std::string periods(3000, '.');
    Tokenized ascii(periods, true);
    std::string joined;
    for (const std::string& t : ascii.tokens(0)) {
        EXPECT_LE(t.size(), 1010u);
        joined += t;
    }
    EXPECT_GE(MeasureRun(joined), kLineReach);
    EXPECT_EQ(joined, periods.substr(0, joined.size()));
    EXPECT_EQ(ascii.width(), kMaxTextWidth);

    // Double-byte characters are never split across two runs.
    Tokenized wide(
        "a" + std::string() +
            [] {
                std::string s;
                for (int i = 0; i < 1500; ++i) s += "\x82\xA0";
                return s;
            }(),
        true);
    for (const std::string& t : wide.tokens(0)) {
        EXPECT_LE(t.size(), 1010u);
        std::size_t i = t[0] == 'a' ? 1 : 0;
        EXPECT_EQ((t.size() - i) % 2, 0u);
    }
}

TEST(Tokenizer, LinesKeepOnlyWhatCanShow) {
    // Characters past the reach of any picture are not kept, however many there are, and
    // the lines after them still come: a line of hearts, one of runs, one of combining
    // marks (zero advance, all at one pen position), each with a tag and a lead byte
    // before a '<' in its hidden part.
    std::string hearts, letters, marks;
    for (int i = 0; i < 100000; ++i) hearts += "&#9829;";
    for (int i = 0; i < 100000; ++i) letters += "ab\x82\xA0";
    for (int i = 0; i < 100000; ++i) marks += "&#773;&#775;";
    const std::string hidden = "<i>x</i>\x82<<br>";
    Tokenized t(hearts + hidden + letters + hidden + "a" + marks + hidden + "z", true);
    ASSERT_EQ(t.count, 4);
    const int heart = GlyphCache::Instance().Get(0x2665).advance;
    EXPECT_EQ(t.lines[0].Tokens().size(), static_cast<std::size_t>((kLineReach + heart - 1) / heart));
    EXPECT_LE(t.lines[1].Tokens().size(), 2u);
    EXPECT_EQ(t.tokens(2), (Tokens{"a", "U+0305", "U+0307", "x\x82<"}));
    EXPECT_EQ(t.tokens(3), Tokens{"z"});
    EXPECT_EQ(t.width(), kMaxTextWidth);

    // What is dropped never shows, even with the widest margin.
    Appearance look{kBlack, kWhite, 100, true};
    const std::string shown = hearts.substr(0, 7 * t.lines[0].Tokens().size());
    EXPECT_EQ(RenderPicture((hearts + "<br>a" + marks).c_str(), look).rgb,
              RenderPicture((shown + "<br>a&#773;&#775;").c_str(), look).rgb);
}

TEST(Tokenizer, LoneLeadBytesAndUnclosedTagsStopAtTheEnd) {
    EXPECT_EQ(Tokenized("ab\x82", true).tokens(0), Tokens{"ab"});
    EXPECT_EQ(Tokenized("ab<i \x82", true).tokens(0), Tokens{"ab"});
    EXPECT_EQ(Tokenized("ab<i", true).tokens(0), Tokens{"ab"});
    // A lead byte inside a tag takes the '>' that follows it as its partner.
    EXPECT_EQ(Tokenized("a<\x82>b>c", true).tokens(0), Tokens{"ac"});
    EXPECT_EQ(Tokenized("&#65", true).tokens(0), Tokens{"&#65"});
}

TEST(Measure, WidestLineIsRoundedUpAndCapped) {
    // Find a run of 'i's whose width is 1 more than a multiple of 4.
    std::string line = "i";
    while (MeasureRun(line) % 4 != 1) line += "i";
    Tokenized t(line + "<br>x", true);
    EXPECT_EQ(t.width(), MeasureRun(line) + 3);
    EXPECT_EQ(Tokenized(std::string(400, 'W'), true).width(), 1024);
}

// Every pixel is either the background or the text colour.
void ExpectTwoColours(const Picture& p, Color fore, Color back) {
    int ink = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            Color c = p.pixel(x, y);
            ASSERT_TRUE(c == fore || c == back)
                << x << "," << y << " " << int(c.red) << "," << int(c.green) << "," << int(c.blue);
            ink += c == fore;
        }
    EXPECT_GT(ink, 0);
}

TEST(RenderPicture, Sizes) {
    Appearance look;
    look.margin = 7;
    Picture empty = RenderPicture("", look);
    EXPECT_EQ(empty.width, 14);
    EXPECT_EQ(empty.height, 14);
    Picture one_empty_line = RenderPicture("<br>", look);
    EXPECT_EQ(one_empty_line.width, 14);
    EXPECT_EQ(one_empty_line.height, 14 + 18);
    std::string sixty;
    for (int i = 0; i < 60; ++i) sixty += "x<br>";
    EXPECT_EQ(RenderPicture(sixty.c_str(), look).height, 14 + 900);

    // Nothing to draw at margin 0: one pixel in the background colour.
    look.margin = 0;
    look.backColor = Color{1, 2, 3};
    Picture tiny = RenderPicture("<br><br>", look);
    ASSERT_EQ(tiny.width, 1);
    ASSERT_EQ(tiny.height, 1);
    EXPECT_EQ(tiny.pixel(0, 0), look.backColor);
}

TEST(RenderPicture, ExactColoursAndPlacement) {
    Appearance look{Color{255, 0, 0}, Color{0, 64, 200}, 3, true};
    Picture p = RenderPicture("\x81\xA1\x81\xA1<br>&hearts;&#x1F600;", look);  // ■■
    ExpectTwoColours(p, look.textColor, look.backColor);
    // The margins stay blank, and so do the two rows below each 16-pixel cell.
    for (int x = 0; x < p.width; ++x) {
        for (int y : {0, 1, 2, p.height - 1, 3 + 16, 3 + 17}) EXPECT_EQ(p.pixel(x, y), look.backColor) << x << "," << y;
    }
    // A black square fills most of its cell: its middle is ink.
    EXPECT_EQ(p.pixel(3 + 8, 3 + 8), look.textColor);
}

TEST(RenderPicture, SymbolsAndEmojiOutsideTheJapaneseFacesAreDrawn) {
    // ✨ 🌙 😀 ☃ 🍣: from the symbol face at the end of the named chain, in the text colour
    // like every other glyph; each cell holds ink of its own.
    const char32_t codes[] = {0x2728, 0x1F319, 0x1F600, 0x2603, 0x1F363};
    Appearance look{Color{200, 0, 100}, Color{250, 250, 210}, 0, true};
    std::string text;
    for (char32_t code : codes) text += "&#" + std::to_string(static_cast<unsigned>(code)) + ";";
    const Picture p = RenderPicture(text.c_str(), look);
    ExpectTwoColours(p, look.textColor, look.backColor);
    int x = 0;
    for (char32_t code : codes) {
        const Glyph& glyph = GlyphCache::Instance().Get(code);
        EXPECT_GT(glyph.advance, 0) << std::hex << static_cast<unsigned>(code);
        int ink = 0;
        for (int y = 0; y < 16; ++y)
            for (int dx = 0; dx < glyph.advance && x + dx < p.width; ++dx) ink += p.pixel(x + dx, y) == look.textColor;
        EXPECT_GT(ink, 4) << "U+" << std::hex << static_cast<unsigned>(code) << " is blank";
        x += glyph.advance;
    }
    // Where the original font's table has the character, its width still wins.
    EXPECT_EQ(GlyphCache::Instance().Get(0x0131).advance, 3);  // dotless i, from the symbol face
}

TEST(RenderPicture, InkPastAnAdvanceIsCoveredByTheNextCell) {
    // Italic-free fonts rarely overhang, so build the situation: a run, then a
    // code-point token right after it. The code-point token's cell is filled first.
    Appearance look;
    Picture p = RenderPicture("\x81\xA1&eacute;", look);
    const int square = MeasureRun("\x81\xA1");
    const Glyph& e = GlyphCache::Instance().Get(0xE9);
    // Columns of the e-acute's cell hold only its own ink: none left of its glyph box.
    for (int x = square; x < square + std::max(0, e.left); ++x)
        for (int y = 0; y < 16; ++y) EXPECT_EQ(p.pixel(x, y), look.backColor);
}

TEST(RenderPicture, ConcurrentRenderingsGiveTheSameResult) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += "(\x81\x40\x81\x4C\x81\xE7\x81\x4D)&#9829;&#128512; abc<br>";
    Appearance look{kBlack, kWhite, 4, true};
    const Picture expected = RenderPicture(text.c_str(), look);
    std::vector<Picture> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back([&] { r = RenderPicture(text.c_str(), look); });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r.rgb, expected.rgb);
}

TEST(RenderPicture, ReportsWhatWasCutAndWhatNoFaceHas) {
    // A run of 'i's as wide as the text area can be, and one 'i' more.
    std::string fits = "i";
    while (MeasureRun(fits + "i") <= kMaxTextWidth) fits += "i";
    std::string fifty, sixty;
    for (int i = 0; i < 50; ++i) fifty += "x<br>";
    for (int i = 0; i < 60; ++i) sixty += "x<br>";
    // The report's flags (its lists are below).
    struct Flags {
        bool linesCut = false, widthCut = false, missingGlyphs = false;
        bool Any() const { return linesCut || widthCut || missingGlyphs; }
    };
    struct Case {
        const char* name;
        std::string text;
        Flags expected;
        std::vector<char32_t> faceless = {};  // the characters that show blank, as listed
        int undecodable = 0;
    };
    const Case cases[] = {
        {"plain", "abc<br>&hearts;&#x1F600;", {}},
        {"fifty lines and a final break", fifty, {}},
        {"sixty lines", sixty, {.linesCut = true}},
        {"text after the fiftieth break", fifty + "y", {.linesCut = true}},
        {"only tags and line ends after it", fifty + "</p>\r\n<br>\t", {}},
        {"a line exactly as wide as the area", fits, {}},
        {"one character wider", fits + "i", {.widthCut = true}},
        {"a character no face has", "a&#xF0000;b&#xF0001;&#xF0000;", {.missingGlyphs = true}, {0xF0000, 0xF0001}},
        {"one in a run of the code page",
         "a\xF0\x40"
         "b",
         {.missingGlyphs = true},
         {0xE000}},
        {"an undecodable byte", "a\x80\xA0", {.missingGlyphs = true}, {}, 2},
        {"a control character is not meant to show",
         "a\x01"
         "b",
         {}},
        {"one after the fiftieth line is not drawn", fifty + "&#xF0000;", {.linesCut = true}},
        {"a wide line after the fiftieth is not measured", fifty + fits + "i", {.linesCut = true}},
        {"all at once",
         sixty.substr(0, 5) + "&#xF0000;" + std::string(400, 'W') + sixty,
         {.linesCut = true, .widthCut = true, .missingGlyphs = true},
         {0xF0000}},
    };
    for (const Case& c : cases) {
        RenderReport report;
        const Picture p = RenderPicture(c.text.c_str(), Appearance{}, &report);
        EXPECT_EQ(report.linesCut, c.expected.linesCut) << c.name;
        EXPECT_EQ(report.widthCut, c.expected.widthCut) << c.name;
        EXPECT_EQ(report.missingGlyphs, c.expected.missingGlyphs) << c.name;
        EXPECT_EQ(report.Any(), c.expected.Any()) << c.name;
        EXPECT_EQ(report.faceless, c.faceless) << c.name;
        EXPECT_EQ(report.undecodable, c.undecodable) << c.name;
        // The report changes nothing of the picture.
        EXPECT_EQ(p.rgb, RenderPicture(c.text.c_str(), Appearance{}).rgb) << c.name;
    }
}

}  // namespace
}  // namespace quarvel::render
