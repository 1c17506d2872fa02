// quarvel-cli thumbnail end to end: a template collection's first pieces as one square
// picture of the size asked, as a file manager's thumbnailer asks for it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {
namespace {

using platform::Picture;
using test::RunProcess;
using test::WriteFile;

test::ProcessResult Thumbnail(const std::vector<std::string>& args) {
    std::vector<std::string> line = {QUARVEL_CLI_PATH, "thumbnail"};
    line.insert(line.end(), args.begin(), args.end());
    return RunProcess(line);
}

TEST(ThumbnailCli, TheFirstPiecesAtTheSizeAsked) {
    test::TempDir dir;
    const auto path = [&](const std::string& name) { return (dir / name).string(); };
    // One small piece: drawn as render draws it, whole, in the middle of the square.
    WriteFile(dir / "one.mlt", "(^o^)/\r\n");
    WriteFile(dir / "piece.txt", "(^o^)/");
    ASSERT_EQ(RunProcess({QUARVEL_CLI_PATH, "render", path("piece.txt"), "-o", path("piece.png")}).exit_code, 0);
    Picture piece;
    ASSERT_TRUE(test::DecodePng(dir / "piece.png", piece));
    for (const int size : {64, 256}) {
        const std::string out = path("one-" + std::to_string(size) + ".png");
        // As the thumbnailer's Exec line has it.
        const test::ProcessResult r = Thumbnail({"--size", std::to_string(size), "-o", out, "--", path("one.mlt")});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        Picture thumbnail;
        ASSERT_TRUE(test::DecodePng(out, thumbnail));
        ASSERT_EQ(thumbnail.width, size);
        ASSERT_EQ(thumbnail.height, size);
        const int x0 = (size - piece.width) / 2, y0 = (size - piece.height) / 2;
        int inked = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool inside = x >= x0 && x < x0 + piece.width && y >= y0 && y < y0 + piece.height;
                const platform::Color expected = inside ? piece.pixel(x - x0, y - y0) : platform::kWhite;
                ASSERT_EQ(thumbnail.pixel(x, y), expected) << size << ": " << x << "," << y;
                inked += expected != platform::kWhite;
            }
        EXPECT_GT(inked, 20);
    }

    // Five large pieces: the first four, each shrunk into a framed quarter; the fifth
    // changes nothing.
    std::string many;
    for (int i = 0; i < 4; ++i) {
        for (int line = 0; line < 30; ++line) {
            for (int c = 0; c < 40 + 5 * i; ++c) many += "\xE2\x96\xA0";  // ■ (UTF-8)
            many += "\n";
        }
        many += "[SPLIT]\n";
    }
    WriteFile(dir / "four.mlt", many);
    WriteFile(dir / "five.mlt", many + "something else\n");
    for (const int size : {16, 100, 1024}) {
        const std::string four = path("four.png"), five = path("five.png");
        ASSERT_EQ(Thumbnail({path("four.mlt"), "-o", four, "-s", std::to_string(size)}).exit_code, 0);
        ASSERT_EQ(Thumbnail({path("five.mlt"), "-o", five, "--size=" + std::to_string(size)}).exit_code, 0);
        EXPECT_EQ(test::ReadFile(four), test::ReadFile(five));
        Picture thumbnail;
        ASSERT_TRUE(test::DecodePng(four, thumbnail));
        ASSERT_EQ(thumbnail.width, size);
        ASSERT_EQ(thumbnail.height, size);
        const int gap = std::max(1, size / 64);
        EXPECT_EQ(thumbnail.pixel(gap - 1, gap - 1), (platform::Color{0xC0, 0xC0, 0xC0})) << size;
        // Each quarter holds ink: grey, as a large piece shrunk to a few pixels is.
        for (const auto& [qx, qy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
            int inked = 0;
            for (int y = qy * size / 2 + gap; y < (qy + 1) * size / 2 - gap; ++y)
                for (int x = qx * size / 2 + gap; x < (qx + 1) * size / 2 - gap; ++x)
                    inked += thumbnail.pixel(x, y).red < 0xC0;
            EXPECT_GT(inked, 0) << size << ": quarter " << qx << "," << qy;
        }
    }
    // Default size.
    ASSERT_EQ(Thumbnail({path("four.mlt"), "-o", path("default.png")}).exit_code, 0);
    Picture fallback;
    ASSERT_TRUE(test::DecodePng(dir / "default.png", fallback));
    EXPECT_EQ(fallback.width, 256);

    // No piece, no picture; sizes out of range are bad usage.
    WriteFile(dir / "empty.mlt", "[SPLIT]\n \n[SPLIT]\n");
    const test::ProcessResult empty = Thumbnail({path("empty.mlt"), "-o", path("empty.png")});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(empty.err, "quarvel-cli: " + path("empty.mlt") + ": no piece to draw\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
    for (const char* size : {"15", "1025", "x", ""})
        EXPECT_EQ(Thumbnail({path("four.mlt"), "-o", path("bad.png"), "--size", size}).exit_code, 2) << size;
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
}

}  // namespace
}  // namespace quarvel
