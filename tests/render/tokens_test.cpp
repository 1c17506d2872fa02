// The tokens of one line.

#include <gtest/gtest.h>

#include "render/draw.h"
#include "render/tokens.h"

namespace quarvel::render {

namespace {

TEST(WordTokens, ListsKeepOrderAndOwnTheirCopies) {
    WordTokenList list;
    EXPECT_TRUE(list.IsEmpty());
    char bytes[] = "abc";
    list.AddText(bytes, 3);
    bytes[0] = 'X';
    list.AddCode(0x1F600);
    list.AddText(bytes, 0);
    list.AddText(bytes, 2);
    ASSERT_EQ(list.Tokens().size(), 4u);
    const auto& t = list.Tokens();
    EXPECT_EQ(list.Text(t[0]), "abc");
    EXPECT_FALSE(t[1].IsRun());
    EXPECT_EQ(t[1].code, 0x1F600u);
    EXPECT_FALSE(t[2].IsRun());  // an empty run is a token without text
    EXPECT_EQ(t[2].code, 0u);
    EXPECT_EQ(list.Text(t[3]), "Xb");
    // As wide as its runs and characters are drawn one after another; the token
    // without text takes no room.
    EXPECT_EQ(list.Width(), MeasureRun("abc") + MeasureChar(0x1F600) + MeasureRun("Xb"));
}

}  // namespace
}  // namespace quarvel::render
