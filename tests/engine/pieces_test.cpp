// Template collections drawn into a folder: a picture per piece and the index page.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/collection.h"
#include "engine/pieces.h"
#include "render/renderer.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

using render::RenderPicture;

using platform::Picture;

namespace {

using test::ReadFile;
using test::TempDir;

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

std::string FromBase64(std::string_view text) {
    static constexpr std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        bits = bits << 6 | static_cast<std::uint32_t>(kDigits.find(c));
        if ((count += 6) >= 8) bytes += static_cast<char>(bits >> (count -= 8) & 0xFF);
    }
    return bytes;
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
    // Its name, its picture (carried for the copy button), its text for the search.
    const std::string first =
        "<figure id=\"p1\" data-name=\"&lt;first&gt; &amp; &quot;more&quot;\" data-png=\"iVBORw0KGgo";
    EXPECT_NE(page.find(first), std::string::npos) << page;
    // Each carried picture is its file's bytes, whatever their number modulo 3.
    std::set<std::size_t> remainders;
    const std::string manyPage = ReadFile(dir / "w1" / "index.html");
    for (std::size_t i = 0; i < many.pieces.size(); ++i) {
        const std::size_t at =
            manyPage.find("data-png=\"", manyPage.find("<figure id=\"p" + std::to_string(i + 1) + "\""));
        ASSERT_NE(at, std::string::npos) << i;
        const std::size_t start = at + 10;
        const std::string file = ReadFile(dir / "w1" / PieceFileName(i));
        EXPECT_EQ(FromBase64(std::string_view(manyPage).substr(start, manyPage.find('"', start) - start)), file) << i;
        remainders.insert(file.size() % 3);
    }
    EXPECT_EQ(remainders.size(), 3u);
    EXPECT_NE(page.find("<figcaption><a href=\"#p1\">1 &lt;first&gt; &amp; &quot;more&quot;</a>"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"001.png\" width=\"" + std::to_string(drawn[0].width) +
                        "\" height=\"18\" alt=\"1 &lt;first&gt; &amp; &quot;more&quot;\">"),
              std::string::npos);
    EXPECT_NE(page.find("<pre hidden>(\xC2\xB4\xCF\x89\xEF\xBD\x80)0</pre>"), std::string::npos);
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
}  // namespace quarvel::engine
