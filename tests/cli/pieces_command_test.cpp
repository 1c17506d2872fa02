// quarvel-cli render-pieces end to end: a template collection to pictures and a page.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {

using platform::Picture;

namespace {

using test::ReadFile;
using test::RunProcess;
using test::WriteFile;

class RenderPiecesCli : public ::testing::Test {
protected:
    test::TempDir dir;

    static test::ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {QUARVEL_CLI_PATH, "render-pieces"});
        return RunProcess(args);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // Every file of a folder, with its bytes.
    std::vector<std::string> Files(const std::string& folder) const {
        std::vector<std::string> files;
        for (const std::string& name : test::TreeOf(dir / folder))
            files.push_back(name + "\n" + ReadFile(dir / folder / name));
        return files;
    }
};

// Code page 932, CR LF: a piece, one of 51 lines, one wider than a picture, one whose
// name needs escaping, with a character no face has.
std::string Collection() {
    std::string ast = "[AA][\x83\x82\x83\x69\x81\x5B]\r\n  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)\r\n";
    ast += "[AA][tall]\r\n";
    for (int i = 0; i < 51; ++i) ast += "line " + std::to_string(i) + "\r\n";
    ast += "[AA][wide]\r\n" + std::string(300, '_') + "\r\n";
    ast += "[AA][<i>&\"x\"</i>]\r\nend\xF0\x40";
    return ast;
}

TEST_F(RenderPiecesCli, EveryPieceAsRenderDrawsItWhateverTheJobs) {
    WriteFile(dir / "art.ast", Collection());
    const std::vector<std::string> look = {"--margin", "5", "--fore", "102030", "--back", "F0E0D0"};
    std::vector<std::string> one;
    for (const char* jobs : {"1", "3"}) {
        std::vector<std::string> args = {Path("art.ast"), "-o", Path(std::string("out") + jobs), "--jobs", jobs};
        args.insert(args.end(), look.begin(), look.end());
        const test::ProcessResult r = Run(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        // Each picture that leaves something out is named, with what and what to do.
        const std::string out = Path(std::string("out") + jobs);
        EXPECT_EQ(r.err, "quarvel-cli: " + out +
                             "/002.png: warning: the art has more than 50 lines; only the first 50 are drawn "
                             "(split it into pieces)\n"
                             "quarvel-cli: " +
                             out +
                             "/003.png: warning: the art is wider than 1024 pixels; what lies beyond is not drawn "
                             "(shorten its longest lines)\n"
                             "quarvel-cli: " +
                             out +
                             "/004.png: warning: no installed font has U+E000, drawn blank (install a font that "
                             "has it)\n");
        const std::vector<std::string> files = Files(std::string("out") + jobs);
        if (one.empty()) one = files;
        EXPECT_EQ(files, one);  // byte for byte
    }
    ASSERT_EQ(test::TreeOf(dir / "out1"),
              (std::vector<std::string>{"001.png", "002.png", "003.png", "004.png", "index.html"}));

    // Each picture is what `render` makes of the piece's text with the same look.
    const std::string pieces[] = {"  \x81\xC8\x81\x51\x81\xC8\r\n(\x81\x4C\x83\xD6\x81\x4D)", "", std::string(300, '_'),
                                  "end\xF0\x40"};
    for (std::size_t i : {0u, 2u, 3u}) {
        WriteFile(dir / "piece.txt", pieces[i]);
        std::vector<std::string> args = {QUARVEL_CLI_PATH, "render", Path("piece.txt"), "-o", Path("piece.png")};
        args.insert(args.end(), look.begin(), look.end());
        ASSERT_EQ(RunProcess(args).exit_code, 0);
        EXPECT_EQ(ReadFile(dir / "out1" / ("00" + std::to_string(i + 1) + ".png")), ReadFile(dir / "piece.png")) << i;
    }
    // --indexed: the files render --indexed makes, the same pixels.
    std::vector<std::string> args = {Path("art.ast"), "-o", Path("indexed"), "--indexed"};
    args.insert(args.end(), look.begin(), look.end());
    ASSERT_EQ(Run(args).exit_code, 0);
    args = {QUARVEL_CLI_PATH, "render", Path("piece.txt"), "-o", Path("piece.png"), "--indexed"};
    args.insert(args.end(), look.begin(), look.end());
    ASSERT_EQ(RunProcess(args).exit_code, 0);
    EXPECT_EQ(ReadFile(dir / "indexed" / "004.png"), ReadFile(dir / "piece.png"));
    EXPECT_NE(ReadFile(dir / "indexed" / "004.png"), ReadFile(dir / "out1" / "004.png"));
    Picture rgb, indexed;
    ASSERT_TRUE(test::DecodePng(dir / "out1" / "001.png", rgb));
    ASSERT_TRUE(test::DecodePng(dir / "indexed" / "001.png", indexed));
    EXPECT_EQ(rgb.rgb, indexed.rgb);

    Picture tall;
    ASSERT_TRUE(test::DecodePng(dir / "out1" / "002.png", tall));
    EXPECT_EQ(tall.height, 10 + 50 * 18);

    const std::string page = ReadFile(dir / "out1" / "index.html");
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find("<title>art.ast</title>"), std::string::npos);
    EXPECT_NE(page.find(">1 \xE3\x83\xA2\xE3\x83\x8A\xE3\x83\xBC</a>"), std::string::npos);  // モナー
    EXPECT_NE(page.find(">4 &lt;i&gt;&amp;&quot;x&quot;&lt;/i&gt;</a>"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"002.png\" width=\"" + std::to_string(tall.width) + "\" height=\"910\""),
              std::string::npos);
}

// "-" reads the collection from standard input: the pictures of the same bytes in a
// file; the kind comes from the first line, the page's title says where it came from.
TEST_F(RenderPiecesCli, StandardInputIsACollectionToo) {
    const std::string ast = Collection();
    WriteFile(dir / "c.ast", ast);
    ASSERT_EQ(Run({Path("c.ast"), "-o", Path("file")}).exit_code, 0);
    test::ProcessResult r = RunProcess({QUARVEL_CLI_PATH, "render-pieces", "-", "-o", Path("stdin"), "--jobs=1"}, ast);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> fromFile = Files("file"), fromInput = Files("stdin");
    ASSERT_EQ(fromFile.size(), fromInput.size());
    ASSERT_EQ(fromFile.size(), 5u);
    for (std::size_t i = 0; i + 1 < fromFile.size(); ++i) EXPECT_TRUE(fromFile[i] == fromInput[i]) << i;
    EXPECT_NE(fromInput.back().find("<title>(standard input)"), std::string::npos) << fromInput.back();
    // Its warnings are said of the pictures, as from a file.
    EXPECT_NE(r.err.find(Path("stdin/002.png") + ": warning: the art has more than 50 lines"), std::string::npos)
        << r.err;

    // An .mlt collection: no header on the first line.
    r = RunProcess({QUARVEL_CLI_PATH, "render-pieces", "-", "-o", Path("mlt")}, "a\n[SPLIT]\nb\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::TreeOf(dir / "mlt"), (std::vector<std::string>{"001.png", "002.png", "index.html"}));
}

TEST_F(RenderPiecesCli, FailuresReachTheUserAndLeaveNoHalfFiles) {
    WriteFile(dir / "art.mlt", "a\r\n[SPLIT]\r\nb\r\n[SPLIT]\r\n[SPLIT]\r\nc\r\n[SPLIT]\r\n");
    // A trailing [SPLIT] is nothing; two in a row leave out an empty piece.
    test::ProcessResult r = Run({Path("art.mlt"), "-o", Path("out"), "-j", "2"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "quarvel-cli: " + Path("art.mlt") + ": warning: 1 empty piece left out\n");
    EXPECT_EQ(test::TreeOf(dir / "out"), (std::vector<std::string>{"001.png", "002.png", "003.png", "index.html"}));

    // A link planted where a picture goes is replaced, never followed.
    WriteFile(dir / "victim", "keep");
    std::filesystem::remove(dir / "out" / "002.png");
    std::filesystem::create_symlink(dir / "victim", dir / "out" / "002.png");
    ASSERT_EQ(Run({Path("art.mlt"), "-o", Path("out")}).exit_code, 0);
    EXPECT_EQ(ReadFile(dir / "victim"), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "out" / "002.png"));

    // A huge file is refused before it is read (a sparse one: nothing is on disk).
    ASSERT_EQ(::truncate(Path("art.mlt").c_str(), off_t{300} << 20), 0);
    r = Run({Path("art.mlt"), "-o", Path("huge")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "quarvel-cli: " + Path("art.mlt") +
                         ": file too large: more than 256 MB, more than a collection is read\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "huge"));

    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string err;
    } const cases[] = {
        {{},
         2,
         "quarvel-cli: the collection is missing: render-pieces FILE.mlt|FILE.ast -o DIR (see quarvel-cli help "
         "render-pieces)\n"},
        {{Path("art.mlt")},
         2,
         "quarvel-cli: the pictures' folder is missing: give -o DIR (see quarvel-cli help render-pieces)\n"},
        {{Path("art.mlt"), "-o", Path("x"), "--jobs", "0"},
         2,
         "quarvel-cli: option --jobs needs a number from 1 to 256, not '0' (see quarvel-cli help render-pieces)\n"},
        {{Path("art.mlt"), "-o", Path("x"), "--html"},
         2,
         "quarvel-cli: unknown option '--html' (see quarvel-cli help render-pieces)\n"},
        {{Path("none.mlt"), "-o", Path("x")},
         1,
         "quarvel-cli: " + Path("none.mlt") + ": could not open the file: No such file or directory\n"},
        {{Path("out"), "-o", Path("x")},
         1,
         "quarvel-cli: " + Path("out") + ": could not open the file: Is a directory\n"},
        {{Path("victim"), "-o", Path("victim")},
         1,
         "quarvel-cli: " + Path("victim") + ": could not make the folder: File exists\n"},
        {{Path("victim"), "-o", Path("no/out")},
         1,
         "quarvel-cli: " + Path("no/out") + ": could not make the folder: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        r = Run(c.args);
        EXPECT_EQ(r.exit_code, c.exit) << r.err;
        EXPECT_EQ(r.err, c.err);
    }

    // A disk that fills: the first picture that does not fit is reported, the ones
    // before it are whole, and no page shows pictures that are not there.
    std::string big;
    for (int i = 0; i < 40; ++i) big += std::string(200, static_cast<char>('!' + i)) + "\r\n";
    WriteFile(dir / "big.mlt", "a\r\n[SPLIT]\r\n" + big + "[SPLIT]\r\n" + big);  // pictures of 7 kB
    {
        const test::FileSizeLimit limit(4000);
        r = Run({Path("big.mlt"), "-o", Path("full"), "--jobs", "2"});
    }
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("quarvel-cli: " + Path("full/002.png") + ": could not write the file: File too large\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::TreeOf(dir / "full"), std::vector<std::string>{"001.png"});
    for (const std::string& name : test::TreeOf(dir / "full")) {
        Picture picture;
        EXPECT_TRUE(test::DecodePng(dir / "full" / name, picture)) << name;
    }
}

}  // namespace
}  // namespace quarvel
