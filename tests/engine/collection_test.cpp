// Template collections: splitting .mlt and .ast files into pieces.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/collection.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::engine {

using render::Appearance;
using render::PreparePlainText;
using render::RenderPicture;
using render::TextEncoding;

using platform::Picture;

namespace {

struct Expected {
    std::string text;  // the piece's bytes as they stand in the file
    std::string name;  // UTF-8
};

TEST(Collection, SplitsIntoPieces) {
    constexpr CollectionKind mlt = CollectionKind::mlt, ast = CollectionKind::ast;
    constexpr TextEncoding sjis = TextEncoding::cp932, utf8 = TextEncoding::utf8;
    struct Case {
        const char* what;
        CollectionKind kind;
        std::string bytes;
        TextEncoding encoding;
        std::vector<Expected> pieces;
        std::size_t empty;
    } const cases[] = {
        {"mlt, CR LF", mlt, "a\r\nb\r\n[SPLIT]\r\nc\r\n", sjis, {{"a\r\nb", ""}, {"c", ""}}, 0},
        {"mlt, LF and CR", mlt, "a\nb\n[SPLIT]\rc\r\rd", sjis, {{"a\nb", ""}, {"c\r\rd", ""}}, 0},
        {"no separator: one piece", mlt, "  x\r\n y\r\n", sjis, {{"  x\r\n y", ""}}, 0},
        {"trailing [SPLIT] adds nothing", mlt, "a\r\n[SPLIT]\r\n", sjis, {{"a", ""}}, 0},
        {"trailing [SPLIT] at the very end", mlt, "a\r\n[SPLIT]", sjis, {{"a", ""}}, 0},
        {"empty pieces are left out and counted",
         mlt,
         "[SPLIT]\r\na\r\n[SPLIT]\r\n[SPLIT]\r\n \x81\x40\t\r\n\r\n[SPLIT]\r\nb",
         sjis,
         {{"a", ""}, {"b", ""}},
         3},
        {"blank lines inside a piece stay", mlt, "\r\na\r\n\r\n[SPLIT]\r\nb", sjis, {{"\r\na\r\n", ""}, {"b", ""}}, 0},
        {"only an exact line separates",
         mlt,
         "a\r\n[SPLIT] \r\n [SPLIT]\r\n[split]\r\nx[SPLIT]",
         sjis,
         {{"a\r\n[SPLIT] \r\n [SPLIT]\r\n[split]\r\nx[SPLIT]", ""}},
         0},
        {"empty file", mlt, "", sjis, {}, 0},
        {"only a byte order mark", mlt, "\xEF\xBB\xBF", utf8, {}, 0},
        {"blank file", mlt, "\r\n \r\n", sjis, {}, 1},
        {"byte order mark, then ASCII", mlt, "\xEF\xBB\xBF[SPLIT]\r\nab", utf8, {{"ab", ""}}, 1},
        {"UTF-8 without a mark", mlt, "\xE2\x88\xA7\n[SPLIT]\n\xE3\x80\x80", utf8, {{"\xE2\x88\xA7", ""}}, 0},
        {"ASCII alone reads as code page 932", mlt, "abc", sjis, {{"abc", ""}}, 0},
        {"not UTF-8: code page 932",
         mlt,
         "\x82\xA0\r\n[SPLIT]\r\n\xE3\x80\x80",
         sjis,
         {{"\x82\xA0", ""}, {"\xE3\x80\x80", ""}},
         0},
        {"ast names",
         ast,
         "[AA][one]\r\nx\r\n[AA][<&\">']\r\ny\r\nz\r\n",
         sjis,
         {{"x", "one"}, {"y\r\nz", "<&\">'"}},
         0},
        {"ast name in code page 932",
         ast,
         "[AA][\x83\x82\x83\x69\x81\x5B]\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n",
         sjis,
         {{"(\x81\x4C\x83\xD6\x81\x4D)", "\xE3\x83\xA2\xE3\x83\x8A\xE3\x83\xBC"}},
         0},
        // "[AA][ゾ" ends in the byte of ']' as the second byte of ゾ: no header.
        {"ast header closed inside a character",
         ast,
         "[AA][a]\r\n[AA][\x83\x5D\r\nb\r\n[AA][\x83\x5D]\r\nc",
         sjis,
         {{"[AA][\x83\x5D\r\nb", "a"}, {"c", "\xE3\x82\xBE"}},
         0},
        {"ast name in UTF-8 with a mark", ast, "\xEF\xBB\xBF[AA][\xE2\x88\xA7]\nq\n", utf8, {{"q", "\xE2\x88\xA7"}}, 0},
        {"ast lines before the first header",
         ast,
         "intro\r\n[AA][]\r\nx\r\n[AA][b]]\r\ny",
         sjis,
         {{"intro", ""}, {"x", ""}, {"y", "b]"}},
         0},
        {"ast blank lines before the first header are nothing", ast, "\r\n\r\n[AA][a]\r\nx", sjis, {{"x", "a"}}, 0},
        {"ast empty entries are left out",
         ast,
         "[AA][a]\r\n[AA][b]\r\n\r\n[AA][c]\r\nx\r\n[AA][d]",
         sjis,
         {{"x", "c"}},
         3},
        {"ast without a header", ast, "x\r\ny", sjis, {{"x\r\ny", ""}}, 0},
        {"ast header prefix only", ast, "[AA][\r\n[AA]x]\r\n", sjis, {{"[AA][\r\n[AA]x]", ""}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Collection collection = ReadCollection(c.bytes, c.kind);
        EXPECT_EQ(collection.encoding, c.encoding);
        EXPECT_EQ(collection.emptyPieces, c.empty);
        ASSERT_EQ(collection.pieces.size(), c.pieces.size());
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(collection.Text(collection.pieces[i]), c.pieces[i].text) << i;
            EXPECT_EQ(collection.Name(collection.pieces[i]), c.pieces[i].name) << i;
        }
    }
}

TEST(Collection, KindFromTheNameElseTheFirstLine) {
    EXPECT_EQ(KindOfCollection("a/b.AST", "x"), CollectionKind::ast);
    EXPECT_EQ(KindOfCollection("b.mlt", "[AA][x]"), CollectionKind::mlt);
    EXPECT_EQ(KindOfCollection("b.txt", "\xEF\xBB\xBF[AA][x]\r\n"), CollectionKind::ast);
    EXPECT_EQ(KindOfCollection("b", "x\r\n[AA][x]"), CollectionKind::mlt);
}

TEST(Collection, PiecesDrawAsTheCopyPastePageDrawsTheirText) {
    // The same art in code page 932 and in UTF-8, with a heart the code page cannot hold.
    const std::string sjis = "(\x81\x4C\x83\xD6\x81\x4D) <b>&hearts;\r\n \x81\x40\x81\x9A";
    const std::string utf8 = "(\xC2\xB4\xCF\x89\xEF\xBD\x80) <b>\xE2\x99\xA5\r\n \xE3\x80\x80\xE2\x98\x85";
    const Collection a = ReadCollection("[SPLIT]\r\n" + sjis + "\r\n[SPLIT]\r\n", CollectionKind::mlt);
    const Collection b = ReadCollection(utf8 + "\n[SPLIT]\n", CollectionKind::mlt);
    ASSERT_EQ(a.pieces.size(), 1u);
    ASSERT_EQ(b.pieces.size(), 1u);
    // The copy-paste page draws its box's text (code page 932, references for what it
    // cannot hold) prepared as plain text.
    const Picture expected = RenderPicture(PreparePlainText(sjis).c_str(), Appearance{});
    EXPECT_EQ(RenderPicture(a.RendererInput(a.pieces[0]).c_str(), Appearance{}).rgb, expected.rgb);
    EXPECT_EQ(RenderPicture(b.RendererInput(b.pieces[0]).c_str(), Appearance{}).rgb, expected.rgb);
    EXPECT_EQ(expected.height, 2 * 18);
}

}  // namespace
}  // namespace quarvel::engine
