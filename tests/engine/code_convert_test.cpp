// Character code conversion.

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "engine/code_convert.h"

namespace quarvel::engine {
namespace {

TEST(CodeConversion, ArithmeticMappings) {
    const std::pair<std::uint16_t, std::uint16_t> pairs[] = {
        {0x3021, 0x889F}, {0x2121, 0x8140}, {0x2160, 0x8180}, {0x5F21, 0xE040}, {0x7E7E, 0xEFFC}};
    for (auto [jis, sjis] : pairs) {
        EXPECT_EQ(JisToShiftJis(jis), sjis) << std::hex << jis;
        EXPECT_EQ(ShiftJisToJis(sjis), jis) << std::hex << sjis;
    }
    EXPECT_EQ(JisToShiftJis(0x2020), 0);
    EXPECT_EQ(JisToShiftJis(0x217F), 0);
    EXPECT_EQ(ShiftJisToJis(0xF040), 0);  // user-defined area
    EXPECT_EQ(ShiftJisToJis(0x817F), 0);  // 0x7F is no trail byte
    EXPECT_EQ(ShiftJisToJis(0xFA40), 0);  // IBM extension: beyond JIS X 0208
}

TEST(CodeConversion, WholeTexts) {
    EXPECT_EQ(EucToShiftJis(""), "");
    EXPECT_EQ(ShiftJisToEuc(""), "");
    EXPECT_EQ(EucToShiftJis("plain <dd> text"), "plain <dd> text");
    EXPECT_EQ(EucToShiftJis("\xB0\xA1"), "\x88\x9F");
    EXPECT_EQ(ShiftJisToEuc("\x88\x9F"), "\xB0\xA1");
    EXPECT_EQ(EucToShiftJis("\x8E\xB1"), "\xB1");
    EXPECT_EQ(ShiftJisToEuc("\xB1"), "\x8E\xB1");
    EXPECT_EQ(ShiftJisToEuc("\xF0\x40"), "\x80\x80");
    EXPECT_EQ(ShiftJisToEuc("a\x88"), std::string("a\x80\x80"));
    EXPECT_EQ(EucToShiftJis("a\x8E"), "a");  // a trailing single shift has nothing to shift
    // NUL is an ordinary byte both ways.
    EXPECT_EQ(EucToShiftJis(std::string("a\0\xB0\xA1z", 5)), std::string("a\0\x88\x9Fz", 5));
    EXPECT_EQ(ShiftJisToEuc(std::string("\0\xB1", 2)), std::string("\0\x8E\xB1", 3));
}

TEST(CodeConversion, BytesThatAreNotEucSurvive) {
    // A byte of 0xA1..0xFE without a partner in that range keeps itself and its partner:
    // the line feed after E0 must not be lost.
    EXPECT_EQ(EucToShiftJis("\xE0\nabc"), "\xE0\nabc");
    EXPECT_EQ(EucToShiftJis("x\xFE"), "x\xFE");
    EXPECT_EQ(EucToShiftJis(std::string("\xC0\0tail", 6)), std::string("\xC0\0tail", 6));
}

TEST(CodeConversion, SourceOffsetsFollowTheKatakana) {
    const std::string euc =
        "a\x8E\xB1"
        "b\xB0\xA1\x8E\xB2"
        "c\x8E";
    KanaPositions kana;
    const std::string sjis = EucToShiftJis(euc, &kana);
    ASSERT_EQ(sjis,
              "a\xB1"
              "b\x88\x9F\xB2"
              "c");
    EXPECT_EQ(kana.Count(), 2u);
    const std::size_t expected[] = {0, 1, 3, 4, 5, 6, 8, 10};  // sjis position -> euc position
    for (std::size_t p = 0; p <= sjis.size(); ++p)
        EXPECT_EQ(EucSourceOffset(p, sjis.size(), euc.size(), kana), p == sjis.size() ? euc.size() : expected[p]) << p;
}

TEST(CodeConversion, KanaPositionsCountAcrossWordsAndBlocks) {
    // Positions on both sides of 64-bit words and 512-position blocks, and far apart.
    const std::vector<std::size_t> marks = {0, 1, 63, 64, 65, 127, 511, 512, 513, 1000, 4095, 4096, 100000};
    KanaPositions kana;
    for (std::size_t m : marks) kana.Add(m);
    for (std::size_t pos :
         {0, 1, 2, 63, 64, 65, 66, 128, 511, 512, 513, 514, 999, 1001, 4096, 4097, 99999, 100001, 1 << 20}) {
        const auto expected =
            static_cast<std::size_t>(std::lower_bound(marks.begin(), marks.end(), pos) - marks.begin());
        EXPECT_EQ(kana.CountBefore(pos), expected) << pos;
    }
    EXPECT_EQ(KanaPositions().CountBefore(7), 0u);
}

}  // namespace
}  // namespace quarvel::engine
