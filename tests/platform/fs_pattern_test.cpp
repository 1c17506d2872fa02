// The wildcards of a folder walk, as Windows reads them.

#include <gtest/gtest.h>

#include "platform/fs.h"

namespace quarvel::platform {
namespace {

TEST(FolderListing, WindowsWildcards) {
    using fs::MatchesPattern;
    EXPECT_TRUE(MatchesPattern("x.htm", "*.htm"));
    EXPECT_TRUE(MatchesPattern("X.HTM", "*.htm"));
    EXPECT_TRUE(MatchesPattern("x.html", "*.htm"));  // three-letter extensions find longer ones
    EXPECT_TRUE(MatchesPattern("a.b.html", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.htm.bak", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.ht", "*.htm"));
    EXPECT_FALSE(MatchesPattern("x.html", "*.html5"));
    EXPECT_FALSE(MatchesPattern("xhtm", "*.htm"));
    EXPECT_TRUE(MatchesPattern("README", "*.*"));
    EXPECT_TRUE(MatchesPattern("a.txt", "*"));
    EXPECT_TRUE(MatchesPattern("スレ1.htm", "??1.htm"));  // '?' is one character, not one byte
    EXPECT_FALSE(MatchesPattern("スレ1.htm", "?1.htm"));
    EXPECT_TRUE(MatchesPattern("log-2024.dat", "log-*.d?t"));
}

}  // namespace
}  // namespace quarvel::platform
