// Template collections drawn in memory bounded by the input, not by a multiple of it:
// a huge piece or name costs its own bytes once, however it escapes in the page. The
// memory is every allocation of the program (allocation_peak.h).

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "allocation_peak.h"
#include "engine/collection.h"
#include "engine/pieces.h"
#include "support/test_support.h"

namespace quarvel::engine {
namespace {

constexpr std::size_t kHuge = std::size_t{32} << 20;
// What drawing takes besides the input: the pictures, the page's pieces on their way
// to the file, the workers.
constexpr std::int64_t kBesides = std::int64_t{16} << 20;

// How often `text` stands in the file, read a piece at a time.
std::size_t CountIn(const std::filesystem::path& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::string chunk(1 << 20, '\0'), carry;
    std::size_t count = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        std::string window = carry + chunk.substr(0, static_cast<std::size_t>(in.gcount()));
        for (std::size_t at = window.find(text); at != std::string::npos; at = window.find(text, at + text.size()))
            ++count;
        const std::size_t keep = std::min(window.size(), text.size() - 1);
        carry = window.substr(window.size() - keep);
    }
    return count;
}

TEST(CollectionMemory, AHugePieceOrNameIsHeldOnceAndEscapedOnce) {
    struct Case {
        const char* name;
        CollectionKind kind;
        std::string bytes;
        std::size_t escapedInPage;  // how many "&lt;" the page holds
    };
    std::string lines;
    while (lines.size() < kHuge) lines += "ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab<cd ab\n";
    const auto lessThans = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '<'));
    const Case cases[] = {
        {"an .mlt piece of 32 MiB of '<' on one line", CollectionKind::mlt, std::string(kHuge, '<'), kHuge},
        {"an .ast piece named by 32 MiB of '<'", CollectionKind::ast, "[AA][" + std::string(kHuge, '<') + "]\nx\n",
         kHuge},
        {"an .mlt piece of 32 MiB of lines", CollectionKind::mlt, lines, lessThans},
    };
    test::TempDir dir;
    PiecesSettings settings;
    settings.workers = 2;
    {
        // The fonts and the workers are there before anything is measured.
        std::vector<DrawnPiece> drawn;
        ASSERT_TRUE(DrawCollection(ReadCollection("x\n", CollectionKind::mlt), (dir / "warm").string(), "warm",
                                   settings, drawn)
                        .ok());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Collection collection = ReadCollection(c.bytes, c.kind);
        ASSERT_EQ(collection.pieces.size(), 1u);
        const std::string out = (dir / c.name).string();
        std::vector<DrawnPiece> drawn;
        const std::int64_t peak = test::PeakAllocated([&] { ASSERT_TRUE(DrawCollection(collection, out, "x", settings, drawn).ok()); });
        EXPECT_LE(peak, kBesides) << "MiB: " << (peak >> 20);
        // The label shows the start of a long name; the search finds all of it.
        EXPECT_LE(CountIn(out + "/" + std::string(kIndexPageName), "&lt;"), c.escapedInPage + 200);
    }
}

}  // namespace
}  // namespace quarvel::engine
