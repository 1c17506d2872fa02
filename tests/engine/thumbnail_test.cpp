// A picture shrunk for a thumbnail: each new pixel the exact average of the part of the
// picture it covers, whatever the ratio.

#include <gtest/gtest.h>

#include <vector>

#include "engine/thumbnail.h"

namespace quarvel::engine {
namespace {

using platform::Color;
using platform::Picture;

// A picture of one row (or, turned, one column) of grey levels.
Picture Row(const std::vector<int>& greys, bool column = false) {
    const int n = static_cast<int>(greys.size());
    Picture p(column ? 1 : n, column ? n : 1, platform::kWhite);
    for (int i = 0; i < n; ++i) {
        const auto g = static_cast<std::uint8_t>(greys[static_cast<std::size_t>(i)]);
        p.fill(column ? 0 : i, column ? i : 0, column ? 1 : i + 1, column ? i + 1 : 1, Color{g, g, g});
    }
    return p;
}

std::vector<int> Greys(const Picture& p) {
    std::vector<int> greys;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) greys.push_back(p.pixel(x, y).red);
    return greys;
}

TEST(Thumbnail, ShrinkAveragesWhatEachPixelCovers) {
    struct Case {
        std::vector<int> from;
        int to;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{0, 255}, 1, {128}},                       // (0 + 255) / 2, rounded
        {{0, 0, 255}, 2, {0, 170}},                 // [0, 1.5) and [1.5, 3): 0, (0 + 2 * 255) / 3
        {{30, 60, 90, 120}, 4, {30, 60, 90, 120}},  // unchanged
        {{0, 255, 0, 255, 0, 255}, 3, {128, 128, 128}},
        {{10, 20, 30, 40, 50}, 2, {18, 42}},  // (2*10 + 2*20 + 30) / 5 = 18, (30 + 2*40 + 2*50) / 5 = 42
        {{0, 255, 255}, 9, {0, 255, 255}},    // never enlarged
        {{200}, 0, {200}},                    // never below one pixel
    };
    for (const Case& c : cases) {
        for (const bool column : {false, true}) {
            const Picture shrunk = Shrink(Row(c.from, column), column ? 1 : c.to, column ? c.to : 1);
            EXPECT_EQ(Greys(shrunk), c.expected) << c.from.size() << " to " << c.to << (column ? " down" : " across");
        }
    }
    // Both ways at once: a 4 x 2 checkerboard of black and white to 1 x 1 is mid-grey.
    Picture board(4, 2, platform::kWhite);
    for (int x = 0; x < 4; ++x) board.fill(x, x % 2, x + 1, x % 2 + 1, platform::kBlack);
    EXPECT_EQ(Shrink(board, 1, 1).pixel(0, 0), (Color{128, 128, 128}));
    EXPECT_EQ(Shrink(board, 2, 1).pixel(1, 0), (Color{128, 128, 128}));
}

}  // namespace
}  // namespace quarvel::engine
