// Lines of text art as written, measured by the renderer, and their gaps filled with
// blanks to an exact pixel: the blanks chosen, the line reached, the ink kept.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "render/blanks.h"
#include "render/renderer.h"

namespace quarvel::render {

using platform::Picture;

namespace {

constexpr char32_t kSpace = 0x20, kFull = 0x3000;

// The pixels of a picture in the text colour (black on white), as (x, y).
std::set<std::pair<int, int>> Ink(const std::string& line, const WrittenForm& form) {
    const std::string input = PrepareTextFile(line, form.encoding, form.form);
    const Picture picture = RenderPicture(input.c_str(), Appearance{});
    std::set<std::pair<int, int>> ink;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.row(y)[x * 3] == 0) ink.emplace(x, y);
    return ink;
}

std::set<std::pair<int, int>> Shifted(const std::set<std::pair<int, int>>& ink, int fromX, int by) {
    std::set<std::pair<int, int>> out;
    for (auto [x, y] : ink) out.emplace(x >= fromX ? x + by : x, y);
    return out;
}

// What a board does to blanks: two half-width spaces in a row fold into one, and one
// at a line's start or end goes.
bool BoardKeeps(const std::string& line) {
    return line.find("  ") == std::string::npos && !line.starts_with(' ') && !line.ends_with(' ');
}

TEST(Blanks, TheTableGivesTheBlanksAndTheRendererTheirWidths) {
    std::vector<std::pair<char32_t, int>> got;
    for (const Blank& b : BoardBlanks()) got.emplace_back(b.code, b.width);
    // U+2008 has no width in the table: a face's own would not line up.
    const std::vector<std::pair<char32_t, int>> wanted = {{0x20, 5},   {0x3000, 11}, {0x2002, 8}, {0x2003, 16},
                                                          {0x2004, 5}, {0x2005, 4},  {0x2006, 3}, {0x2007, 10},
                                                          {0x2009, 2}, {0x200A, 1}};
    EXPECT_EQ(got, wanted);
}

TEST(Blanks, FewestBlanksToEveryWidthWithinTheBoardsRules) {
    for (const GapEdges edges : {GapEdges{false, false}, GapEdges{true, false}, GapEdges{false, true},
                                 GapEdges{true, true}}) {
        for (int pixels = 0; pixels <= 300; ++pixels) {
            SCOPED_TRACE(testing::Message() << pixels << " px, after a run " << edges.afterRunCharacter
                                            << ", at the end " << edges.atLineEnd);
            const BlankRun run = ChooseBlanks(pixels, edges);
            ASSERT_EQ(run.width, pixels);
            int sum = 0, written = 0;
            for (std::size_t i = 0; i < run.codes.size(); ++i) {
                for (const Blank& b : BoardBlanks()) {
                    if (b.code != run.codes[i]) continue;
                    sum += b.width;
                    written += b.written;
                }
                if (run.codes[i] != kSpace) continue;
                // After a character of a run (the line's or a full-width space), never
                // before another space or at the end of the line.
                EXPECT_TRUE(i == 0 ? edges.afterRunCharacter : run.codes[i - 1] == kFull);
                EXPECT_FALSE(i + 1 < run.codes.size() && run.codes[i + 1] == kSpace);
                EXPECT_FALSE(edges.atLineEnd && i + 1 == run.codes.size());
            }
            EXPECT_EQ(sum, pixels);
            // Mostly spaces, of one character each: at most two references.
            EXPECT_LE(written, pixels / 5 + 16);
        }
    }
    // The cases a person checks by hand: the fewest characters written, so references
    // only where spaces cannot make the width.
    const struct {
        int pixels;
        GapEdges edges;
        std::vector<char32_t> codes;
    } cases[] = {
        {5, {true, false}, {kSpace}},             // a half-width space where the board keeps it
        {5, {false, false}, {0x2004}},            // not at a line's start
        {5, {true, true}, {0x2004}},              // nor at its end
        {16, {true, false}, {kSpace, kFull}},     // two characters rather than "&emsp;"
        {22, {false, true}, {kFull, kFull}},
        {27, {true, false}, {kSpace, kFull, kFull}},
        {21, {true, false}, {kSpace, kFull, kSpace}},  // never two spaces in a row
        {38, {false, false}, {kFull, kSpace, kFull, kFull}},
        {1, {true, false}, {0x200A}},
        {12, {true, false}, {kFull, 0x200A}},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseBlanks(c.pixels, c.edges).codes, c.codes) << c.pixels;
}

TEST(Blanks, FillingReachesThePixelAndKeepsTheInk) {
    const WrittenForm utf8;
    const WrittenForm sjis{TextEncoding::cp932, TextForm::plain, true};
    const WrittenForm html{TextEncoding::utf8, TextForm::html, true};
    const WrittenForm everySpace{TextEncoding::utf8, TextForm::plain, false};
    const struct {
        const char* what;
        std::string line;
        std::size_t offset;  // std::string::npos: the line's end
        int target;
        WrittenForm form;
        std::string filled;
    } cases[] = {
        {"frame's end", "｜ほげ", std::string::npos, 100, utf8, ""},
        {"a gap of blanks replaced", "（´∀｀）　 &#8202;＜ぬるぽ", 15, 120, utf8, ""},
        {"a gap narrowed", "a　　　　　　b", 4, 20, utf8, "a　&#8202;b"},
        {"Shift-JIS bytes", "\x82\xA0\x81\x40\x82\xA2", 2, 40, sjis, ""},
        {"after a character drawn on its own", "&hearts;", std::string::npos, 30, utf8, ""},
        {"a stretch with tags", "<b>ｷﾀ</b>━(ﾟ∀ﾟ)", std::string::npos, 150, html, ""},
        {"every space drawn", "  x", std::string::npos, 64, everySpace, ""},
        {"an empty line", "", std::string::npos, 33, utf8, "　　　"},
        {"a gap at the line's start", "　　 x", 1, 7, utf8, "&#8197;&#8198;x"},
        {"a lead byte alone at the end", "a\xF5", std::string::npos, 30, sjis, "a\x81\x40\x81\x40\xF5"},
        {"a broken pair that ends in a space", "\x9C ", std::string::npos, 30, sjis, ""},
        {"a tag not closed at the end", "a　<b", std::string::npos, 30, html, "a　　<b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t offset = c.offset == std::string::npos ? c.line.size() : c.offset;
        const FilledLine f = FillGap(c.line, offset, c.target, c.form);
        EXPECT_EQ(f.reached, c.target);
        EXPECT_EQ(f.Off(), 0);
        if (!c.filled.empty()) {
            EXPECT_EQ(f.text, c.filled);
        }
        if (c.form.collapseSpaces && c.form.form == TextForm::plain) {
            EXPECT_TRUE(BoardKeeps(f.text)) << f.text;
        }
        // Nothing of the line moved but what follows the gap, by what the gap grew.
        const int before = MeasureWritten(std::string_view(c.line).substr(0, f.gapEnd), c.form);
        EXPECT_EQ(Ink(f.text, c.form), Shifted(Ink(c.line, c.form), before, f.reached - before));
    }
}

TEST(Blanks, NoCharacterLosesInkToTheBlanksAfterIt) {
    // Each blank's cell is filled with the background before the blank is drawn: a
    // glyph whose ink reaches past its advance would lose it there. Every character of
    // the code page, followed by the narrowest blank drawn on its own.
    const WrittenForm sjis{TextEncoding::cp932, TextForm::plain, true};
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (lead > 0x9F && lead < 0xE0) break;
            const std::string c{static_cast<char>(lead), static_cast<char>(trail)};
            const FilledLine f = PadLine(c, MeasureWritten(c, sjis) + 1, sjis);
            ASSERT_EQ(f.Off(), 0) << lead << " " << trail;
            if (Ink(f.text, sjis) != Ink(c, sjis)) ADD_FAILURE() << "ink lost after " << lead << " " << trail;
            ++checked;
        }
    }
    EXPECT_GT(checked, 7000);
}

TEST(Blanks, WhatCannotBeReachedComesNearestAndSaysSo) {
    const WrittenForm utf8;
    const FilledLine tooWide = PadLine("ｷﾀ━━━(ﾟ∀ﾟ)━━━!!", 30, utf8);
    EXPECT_EQ(tooWide.text, "ｷﾀ━━━(ﾟ∀ﾟ)━━━!!");
    EXPECT_GT(tooWide.Off(), 0);
    EXPECT_EQ(tooWide.reached, MeasureWritten("ｷﾀ━━━(ﾟ∀ﾟ)━━━!!", utf8));
    // Blanks at the end that pass the pixel go: the line narrows to it.
    EXPECT_EQ(PadLine("ab　　　　", 20, utf8).Off(), 0);
}

TEST(ArtLines, LinesAsTheRendererBreaksThem) {
    const WrittenForm plain, html{TextEncoding::utf8, TextForm::html, true};
    const struct {
        std::string text;
        WrittenForm form;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\nb\nc\rd", plain, {"a", "b", "c", "d"}},
        {"a\n\n", plain, {"a", ""}},  // no line after the last break
        {"a\n  ", plain, {"a"}},      // nor one that draws nothing
        {"", plain, {}},
        {"a<BR>b<br/>c<a href='<br>'>d<br>", html, {"a", "b<br/>c<a href='<br>'>d"}},
        {"x\n<br>&lt;br>", html, {"x\n", "&lt;br>"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const WrittenLine& l : SplitWrittenLines(c.text, c.form)) got.push_back(c.text.substr(l.begin, l.end - l.begin));
        EXPECT_EQ(got, c.lines) << c.text;
    }
    // Where each character starts, a reference or tag counted from its start.
    EXPECT_EQ(XAt("a&hearts;b", 4, plain), XAt("a&hearts;b", 1, plain));
    EXPECT_EQ(XAt("a&hearts;b", 9, plain), MeasureWritten("a&hearts;", plain));
    EXPECT_EQ(CharacterStarts("a　b", plain), (std::vector<int>{0, MeasureWritten("a　", plain),
                                                               MeasureWritten("a　b", plain)}));
}

}  // namespace
}  // namespace quarvel::render
