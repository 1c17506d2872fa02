// Character references: decoding them, the entity table, and the one conversion of
// text to code page 932 with references for what the code page lacks.

#include <gtest/gtest.h>

#include <string>

#include "platform/codec.h"
#include "render/entities.h"
#include "render/references.h"

namespace quarvel::render {

namespace cp932 = platform::cp932;

namespace {

struct Decoded {
    std::size_t length;
    char32_t code;
};

Decoded Decode(const char* text) {
    char32_t code = 0xDEAD;
    std::size_t length = DecodeReference(text, code);
    return {length, length ? code : 0xDEAD};
}

std::string Encode(char32_t code) {
    char out[16];
    std::size_t n = EncodeChar(code, out);
    EXPECT_EQ(out[n], '\0');
    return std::string(out, n);
}

TEST(CharacterReferences, NumericForms) {
    EXPECT_EQ(Decode("&#65;").code, U'A');
    EXPECT_EQ(Decode("&#65;").length, 5u);
    EXPECT_EQ(Decode("&#x41;").code, U'A');
    EXPECT_EQ(Decode("&#x41;").length, 6u);
    EXPECT_EQ(Decode("&#X41;").length, 0u);  // upper-case X is no reference
    EXPECT_EQ(Decode("&#x4A;").code, Decode("&#x4a;").code);
    EXPECT_EQ(Decode("&#;").length, 3u);
    EXPECT_EQ(Decode("&#;").code, 0u);
    EXPECT_EQ(Decode("&#x;").length, 4u);
    EXPECT_EQ(Decode("&#x;").code, 0u);
    EXPECT_EQ(Decode("&#6a5;").length, 0u);
    EXPECT_EQ(Decode("&#65").length, 0u);  // the terminator before ';'
    EXPECT_EQ(Decode("x&#65;").length, 0u);
}

TEST(CharacterReferences, ValuesBeyondTheBasicPlaneKeepTheirCodePoint) {
    EXPECT_EQ(Decode("&#65536;").code, 0x10000u);
    EXPECT_EQ(Decode("&#65601;").code, 0x10041u);
    EXPECT_EQ(Decode("&#128512;").code, 0x1F600u);
    EXPECT_EQ(Decode("&#x10FFFF;").code, 0x10FFFFu);
    EXPECT_EQ(Decode("&#x110000;").length, 0u);
    EXPECT_EQ(Decode("&#99999999999999999999;").length, 0u);
}

TEST(CharacterReferences, SurrogateHalves) {
    auto pair = Decode("&#xD83C;&#xDF19;x");
    EXPECT_EQ(pair.code, 0x1F319u);
    EXPECT_EQ(pair.length, 16u);
    auto decimal_pair = Decode("&#55357;&#56832;");
    EXPECT_EQ(decimal_pair.code, 0x1F600u);
    // Lone halves, or halves in the wrong order, stand for U+FFFD each.
    EXPECT_EQ(Decode("&#xD83C;x").code, 0xFFFDu);
    EXPECT_EQ(Decode("&#xD83C;x").length, 8u);
    EXPECT_EQ(Decode("&#xDF19;&#xD83C;").code, 0xFFFDu);
    EXPECT_EQ(Decode("&#xD83C;&#x41;").length, 8u);
}

TEST(CharacterReferences, NamedForms) {
    EXPECT_EQ(Decode("&Alpha;").code, 0x391u);
    EXPECT_EQ(Decode("&alpha;").code, 0x3B1u);
    EXPECT_EQ(Decode("&ALPHA;").length, 0u);
    EXPECT_EQ(Decode("&amp").length, 0u);
    EXPECT_EQ(Decode("&amp;").length, 5u);
    EXPECT_EQ(Decode("&thetasym;").code, 0x3D1u);
    EXPECT_EQ(Decode("&thetasymx;").length, 0u);
    EXPECT_EQ(Decode("&;").length, 0u);
    EXPECT_EQ(Decode("&").length, 0u);
    EXPECT_EQ(Decode("&hearts;").code, 0x2665u);
}

TEST(CharacterReferences, EncodeChar) {
    EXPECT_EQ(Encode(0x3042), "\x82\xA0");
    EXPECT_EQ(Encode('A'), "A");
    EXPECT_EQ(Encode(0xE9), "&eacute;");
    EXPECT_EQ(Encode(0xA0), "&nbsp;");
    EXPECT_EQ(Encode(0x7F), "&#127;");
    EXPECT_EQ(Encode(0x263A), "&#9786;");
    EXPECT_EQ(Encode(0), "");
    EXPECT_EQ(Encode(0x2665), "&hearts;");
    EXPECT_EQ(Encode(0xA5), "&yen;");  // iconv's one-way mapping to '\' is not taken
    EXPECT_EQ(Encode(0x10FFFF), "&#1114111;");
}

TEST(CharacterReferences, WindowTextConvertsCharacterByCharacter) {
    EXPECT_EQ(Utf16ToCp932WithReferences(u"a\u2665b"), "a&hearts;b");
    EXPECT_EQ(Utf16ToCp932WithReferences(u"a?b"), "a?b");  // a real question mark stays
    EXPECT_EQ(Utf16ToCp932WithReferences(u"\u3042\u263A"), "\x82\xA0&#9786;");
    // A surrogate pair is one character; the conversion goes on correctly after it.
    EXPECT_EQ(Utf16ToCp932WithReferences(u"\U0001F600x\u2665"), "&#128512;x&hearts;");
    EXPECT_EQ(Utf16ToCp932WithReferences(u"a\u00A0?"), "a&nbsp;?");
    // A lone surrogate stands for U+FFFD.
    EXPECT_EQ(Utf16ToCp932WithReferences(std::u16string_view(u"a\xD800"
                                                             u"b",
                                                             3)),
              "a&#65533;b");
    // U+0000 is no character of the art.
    EXPECT_EQ(Utf16ToCp932WithReferences(std::u16string_view(u"a\0b\u2665\0", 5)), "ab&hearts;");
}

TEST(CharacterReferences, Utf8TextConvertsAsItsUtf16Twin) {
    // UTF-8 text (a text file) gives what the same text in UTF-16 (the window) gives.
    for (std::string_view utf8 : {std::string_view("a?b\xE2\x99\xA5\xE3\x81\x82"),
                                  std::string_view("\x7F\xC2\xA0\xC2\xA9\xC3\xA9\xC2\xA5\xE2\x80\x94"),
                                  std::string_view("\xF0\x9F\x8C\x99\xEF\xBD\xB1\xCF\x91 ?"),
                                  std::string_view("bad\xFF\xE3\x81 \xC0\xAF\xED\xA0\x80")}) {
        EXPECT_EQ(Utf8ToCp932WithReferences(utf8), Utf16ToCp932WithReferences(cp932::Utf8ToUtf16(utf8)));
    }
    EXPECT_EQ(Utf8ToCp932WithReferences(std::string_view("a\0b\xE2\x99\xA5", 6)), "ab&hearts;");
    std::string ascii;
    for (char c = 1; c > 0; ++c) ascii += c;
    EXPECT_EQ(Utf8ToCp932WithReferences(ascii), ascii);  // PrepareTextFile keeps ASCII as it is
}

}  // namespace
}  // namespace quarvel::render
