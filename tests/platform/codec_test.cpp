#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/codec.h"

namespace quarvel::platform {
namespace {

TEST(Cp932Codec, DecodesSingleAndDoubleByteCharacters) {
    auto a = cp932::DecodeOne("A");
    EXPECT_TRUE(a.valid);
    EXPECT_EQ(a.code, U'A');
    EXPECT_EQ(a.length, 1u);

    auto hira = cp932::DecodeOne("\x82\xA0");  // あ
    EXPECT_TRUE(hira.valid);
    EXPECT_EQ(hira.code, U'\u3042');
    EXPECT_EQ(hira.length, 2u);

    auto kana = cp932::DecodeOne("\xB1");  // half-width ｱ
    EXPECT_TRUE(kana.valid);
    EXPECT_EQ(kana.code, U'\uFF71');
}

TEST(Cp932Codec, BytesOutsideTheCodePageAreInvalid) {
    for (const char* bytes : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
        auto d = cp932::DecodeOne(bytes);
        EXPECT_FALSE(d.valid) << std::hex << int(static_cast<unsigned char>(bytes[0]));
        EXPECT_EQ(d.length, 1u);
    }
    // A lead byte and the byte after it are one character, whatever that byte is: a
    // pair that is no character of the code page is one invalid character.
    for (std::string_view pair :
         {std::string_view("\x82\x20", 2), std::string_view("\x94-", 2), std::string_view("\x82\x7F", 2),
          std::string_view("\x82\0", 2), std::string_view("\xFC\xFC", 2)}) {
        auto d = cp932::DecodeOne(pair);
        EXPECT_FALSE(d.valid) << std::hex << int(static_cast<unsigned char>(pair[1]));
        EXPECT_EQ(d.length, 2u) << std::hex << int(static_cast<unsigned char>(pair[1]));
    }
    EXPECT_EQ(cp932::ToUtf16("A\x94-B"), u"A\uFFFDB");
    auto at_end = cp932::DecodeOne(std::string_view("\x82", 1));
    EXPECT_FALSE(at_end.valid);
    EXPECT_EQ(at_end.length, 1u);
}

TEST(Cp932Codec, EncodingIsStrictRoundTrip) {
    EXPECT_EQ(cp932::EncodeOne(U'\u3042'), std::string("\x82\xA0"));
    EXPECT_EQ(cp932::EncodeOne(U'A'), std::string("A"));
    EXPECT_EQ(cp932::EncodeOne(0), std::string());
    EXPECT_EQ(cp932::EncodeOne(U'\uFF71'), std::string("\xB1"));
    // iconv maps these one way only; they must not pass for code page 932 characters.
    EXPECT_FALSE(cp932::EncodeOne(U'\u00A5'));
    EXPECT_FALSE(cp932::EncodeOne(U'\u203E'));
    EXPECT_FALSE(cp932::EncodeOne(U'\u2014'));
    EXPECT_FALSE(cp932::EncodeOne(U'\u2665'));
    EXPECT_FALSE(cp932::EncodeOne(U'\U0001F600'));
    // The Windows variants of the same marks do convert.
    EXPECT_EQ(cp932::EncodeOne(U'\u2015'), std::string("\x81\x5C"));
    EXPECT_EQ(cp932::EncodeOne(U'\uFF5E'), std::string("\x81\x60"));
}

// The tables are written by the build from iconv; this compares them with the iconv
// of the machine the tests run on, for every one- and two-byte sequence and every
// code point of the BMP.
TEST(Cp932Codec, TablesAgreeWithIconvOnEverySequenceAndCodePoint) {
    IconvHandle to_utf32("UTF-32LE", "CP932");
    IconvHandle from_utf32("CP932", "UTF-32LE");
    ASSERT_TRUE(to_utf32.valid() && from_utf32.valid());
    auto iconv_decode = [&](std::string_view bytes) -> std::optional<char32_t> {
        auto r = to_utf32.convert(bytes);
        if (!r || r->size() != 4) return std::nullopt;
        char32_t cp;
        std::memcpy(&cp, r->data(), 4);
        return cp;
    };
    std::vector<std::string> wrong;
    auto check_decode = [&](std::string_view bytes, std::optional<char32_t> expected) {
        const cp932::Decoded d = cp932::DecodeOne(bytes);
        if (d.length != bytes.size() || d.valid != expected.has_value() || (d.valid && d.code != *expected)) {
            char line[64];
            std::snprintf(line, sizeof line, "decoding %02X%02X", static_cast<unsigned char>(bytes[0]),
                          bytes.size() > 1 ? static_cast<unsigned char>(bytes[1]) : 0u);
            wrong.emplace_back(line);
        }
    };
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        if (IsLeadByte(static_cast<unsigned char>(b))) {
            for (int trail = 0; trail < 256; ++trail) {
                const char pair[2] = {c, static_cast<char>(trail)};
                const bool trail_byte = IsTrailByte(static_cast<unsigned char>(trail));
                check_decode(std::string_view(pair, 2),
                             trail_byte ? iconv_decode(std::string_view(pair, 2)) : std::nullopt);
            }
        } else {
            check_decode(std::string_view(&c, 1), iconv_decode(std::string_view(&c, 1)));
        }
    }
    for (char32_t cp = 1; cp <= 0xFFFF; ++cp) {
        // Strict: the bytes iconv gives, only when they decode back to the same code point.
        std::optional<std::string> expected =
            from_utf32.convert(std::string_view(reinterpret_cast<const char*>(&cp), 4));
        if (expected && (expected->empty() || expected->size() > 2 || iconv_decode(*expected) != cp)) expected.reset();
        if (cp932::EncodeOne(cp) != expected) {
            char line[64];
            std::snprintf(line, sizeof line, "encoding U+%04X", static_cast<unsigned>(cp));
            wrong.emplace_back(line);
        }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " differ, the first: " << wrong.front();
}

TEST(Cp932Codec, WholeTextConversions) {
    const std::string sjis = "A\x82\xA0\xB1";
    EXPECT_EQ(cp932::ToUtf8(sjis), "A\xE3\x81\x82\xEF\xBD\xB1");
    EXPECT_EQ(cp932::ToUtf16(sjis), u"A\u3042\uFF71");
    EXPECT_EQ(cp932::ToUtf16("\xFF"), u"\uFFFD");
    EXPECT_EQ(cp932::FromUtf16Lossy(u"a\u2665b\U0001F600c"), "a?b?c");
    EXPECT_EQ(cp932::Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(cp932::Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(Cp932Codec, Utf8Validation) {
    EXPECT_TRUE(cp932::IsValidUtf8("plain ascii"));
    EXPECT_TRUE(cp932::IsValidUtf8("\xE3\x81\x82"));
    EXPECT_FALSE(cp932::IsValidUtf8("\x82\xA0"));      // Shift-JIS あ
    EXPECT_FALSE(cp932::IsValidUtf8("\xE3\x81"));      // cut short
    EXPECT_FALSE(cp932::IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(cp932::IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

TEST(Cp932Codec, IconvHandleOwnsItsDescriptor) {
    IconvHandle good("UTF-8", "CP932");
    EXPECT_TRUE(good.valid());
    EXPECT_EQ(good.convert("\x82\xA0"), std::string("\xE3\x81\x82"));
    IconvHandle moved(std::move(good));
    EXPECT_TRUE(moved.valid());
    EXPECT_FALSE(good.valid());  // NOLINT(bugprone-use-after-move): the move empties it
    IconvHandle bad("NO-SUCH-CODE", "CP932");
    EXPECT_FALSE(bad.valid());
    EXPECT_FALSE(bad.convert("x"));
}

}  // namespace
}  // namespace quarvel::platform
