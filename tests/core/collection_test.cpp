// Template collections: splitting .mlt and .ast files into pieces, and drawing them
// into a folder with an index page.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/collection.h"
#include "engine/pieces.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel {
namespace {

using test::ReadFile;
using test::TempDir;

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
    EXPECT_EQ(a.RendererInput(a.pieces[0]), PreparePlainText(sjis));
    const Picture expected = RenderPicture(PreparePlainText(sjis).c_str(), Appearance{});
    EXPECT_EQ(RenderPicture(b.RendererInput(b.pieces[0]).c_str(), Appearance{}).rgb, expected.rgb);
    EXPECT_EQ(expected.height, 2 * 18);
}

std::string ManyPieces(int count) {
    std::string mlt;
    for (int i = 0; i < count; ++i) {
        if (i > 0) mlt += "[SPLIT]\r\n";
        for (int line = 0; line <= i % 7; ++line)
            mlt += std::string(static_cast<std::size_t>(line + i % 5), ' ') + "(\x81\x4C\x83\xD6\x81\x4D)" +
                   std::to_string(i) + "\r\n";
    }
    return mlt;
}

TEST(DrawCollection, SameFilesForAnyNumberOfWorkers) {
    // A name may hold any byte, a NUL and other control characters too.
    const Collection collection =
        ReadCollection("[AA][<first> & \"more\"]\r\n" + ManyPieces(1) + std::string("[AA][t\0w\x01o]\r\nx\r\n", 16) +
                           "[AA][three]\r\n" + std::string(120, 'W'),
                       CollectionKind::ast);
    const Collection many = ReadCollection(ManyPieces(23), CollectionKind::mlt);
    ASSERT_EQ(many.pieces.size(), 23u);
    TempDir dir;
    std::vector<std::string> one;
    for (int workers : {1, 2, 5}) {
        SCOPED_TRACE(workers);
        PiecesSettings settings;
        settings.look.margin = 3;
        settings.workers = workers;
        const std::string folder = (dir / ("w" + std::to_string(workers))).string();
        // What a run killed while writing left behind goes.
        std::filesystem::create_directory(folder);
        test::WriteFile(folder + "/.001.png.quarvel-AbC123dEf456gHi7", "half");
        std::vector<DrawnPiece> drawn;
        ASSERT_TRUE(DrawCollection(many, folder, "many.mlt", settings, drawn).ok());
        ASSERT_EQ(drawn.size(), 23u);
        std::vector<std::string> files;
        for (const std::string& name : test::TreeOf(folder))
            files.push_back(name + "\n" + ReadFile(dir / ("w" + std::to_string(workers)) / name));
        if (one.empty()) {
            one = files;
            ASSERT_EQ(files.size(), 24u);
            EXPECT_TRUE(files[0].starts_with("001.png\n"));
            EXPECT_TRUE(files[22].starts_with("023.png\n"));
            EXPECT_TRUE(files[23].starts_with("index.html\n"));
            for (std::size_t i : {0u, 9u, 22u}) {
                Picture picture;
                ASSERT_TRUE(test::DecodePng(folder + "/" + PieceFileName(i), picture));
                const Picture expected = RenderPicture(many.RendererInput(many.pieces[i]).c_str(), settings.look);
                EXPECT_EQ(picture.rgb, expected.rgb) << i;
                EXPECT_EQ(drawn[i].width, expected.width);
                EXPECT_EQ(drawn[i].height, expected.height);
            }
        } else {
            EXPECT_EQ(files, one);
        }
    }

    // The page: every picture with its size, number and name, in order, names escaped.
    PiecesSettings settings;
    std::vector<DrawnPiece> drawn;
    ASSERT_TRUE(DrawCollection(collection, (dir / "ast").string(), "<a&b>.ast", settings, drawn).ok());
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_FALSE(drawn[1].report.Any());
    EXPECT_TRUE(drawn[2].report.widthCut);
    const std::string page = ReadFile(dir / "ast" / "index.html");
    EXPECT_NE(page.find("<title>&lt;a&amp;b&gt;.ast</title>"), std::string::npos);
    const std::string first =
        "<figure id=\"p1\"><figcaption><a href=\"#p1\">1 &lt;first&gt; &amp; &quot;more&quot;</a>"
        "</figcaption><img src=\"001.png\" width=\"" +
        std::to_string(drawn[0].width) + "\" height=\"18\" alt=\"1 &lt;first&gt; &amp; &quot;more&quot;\"></figure>";
    EXPECT_NE(page.find(first), std::string::npos) << page;
    // Control characters become U+FFFD: no NUL reaches the page.
    const std::string second = "2 t\uFFFDw\uFFFDo";
    EXPECT_EQ(page.find('\0'), std::string::npos);
    EXPECT_LT(page.find("src=\"001.png\""), page.find(second));
    EXPECT_LT(page.find(second), page.find("src=\"003.png\""));
    EXPECT_EQ(page, IndexPage(collection, drawn, "<a&b>.ast"));
}

TEST(DrawCollection, TheFirstFailureInFileOrderStopsIt) {
    const Collection many = ReadCollection(ManyPieces(12), CollectionKind::mlt);
    std::vector<std::string> written;  // what one worker writes
    for (int i = 0; i < 5; ++i) written.push_back("write " + PieceFileName(static_cast<std::size_t>(i)));
    for (int workers : {1, 2, 3, 5}) {
        SCOPED_TRACE(workers);
        // The disk is full at the fifth picture: with any number of workers, the same
        // picture fails and nothing after it is written.
        TempDir dir;
        const std::string out = (dir / "out").string();
        test::HookedFileSystem fileSystem;
        fileSystem.failWrite = [&](const std::string& path) { return path == out + "/005.png" ? ENOSPC : 0; };
        PiecesSettings settings;
        settings.workers = workers;
        settings.fileSystem = &fileSystem;
        std::vector<DrawnPiece> drawn;
        Result<void> done = DrawCollection(many, out, "x", settings, drawn);
        ASSERT_FALSE(done);
        EXPECT_EQ(done.failure().what, Failure::What::notWritten);
        EXPECT_EQ(done.failure().path, out + "/005.png");
        EXPECT_EQ(done.failure().error, ENOSPC);
        EXPECT_EQ(drawn.size(), 4u);
        std::vector<std::string> log;
        for (const std::string& entry : fileSystem.log)
            if (entry.starts_with("write ")) log.push_back("write " + entry.substr(entry.rfind('/') + 1));
        EXPECT_EQ(log, written);
        // The pictures before it are whole; no page shows a picture that is not there.
        EXPECT_EQ(test::TreeOf(out), (std::vector<std::string>{"001.png", "002.png", "003.png", "004.png"}));

        // The pictures reach the disk together before the page is written; when that
        // fails, there is no page.
        fileSystem.failWrite = [](const std::string&) { return 0; };
        fileSystem.failFlush = [](const std::string&) { return EIO; };
        fileSystem.log.clear();
        done = DrawCollection(many, out, "x", settings, drawn);
        ASSERT_FALSE(done);
        EXPECT_EQ(done.failure().path, out);
        EXPECT_EQ(done.failure().error, EIO);
        EXPECT_EQ(drawn.size(), 12u);
        ASSERT_EQ(fileSystem.log.size(), 13u);
        EXPECT_EQ(fileSystem.log.back(), "flush " + out);
        EXPECT_FALSE(std::filesystem::exists(out + "/index.html"));
    }

    // A folder that cannot be made, and a page that cannot be written.
    TempDir dir;
    test::WriteFile(dir / "file", "x");
    PiecesSettings settings;
    std::vector<DrawnPiece> drawn;
    Result<void> done = DrawCollection(many, (dir / "file").string(), "x", settings, drawn);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.failure().what, Failure::What::folderNotMade);
    EXPECT_EQ(done.failure().error, EEXIST);
    done = DrawCollection(many, (dir / "missing" / "out").string(), "x", settings, drawn);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.failure().what, Failure::What::folderNotMade);
    EXPECT_EQ(done.failure().error, ENOENT);

    test::HookedFileSystem fileSystem;
    fileSystem.failWrite = [&](const std::string& path) {
        return path == (dir / "out" / "index.html").string() ? ENOSPC : 0;
    };
    settings.fileSystem = &fileSystem;
    done = DrawCollection(many, (dir / "out").string(), "x", settings, drawn);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.failure().path, (dir / "out" / "index.html").string());
    EXPECT_EQ(drawn.size(), 12u);
}

}  // namespace
}  // namespace quarvel
