// Converting single documents: stretches, pictures, tags and codes.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "document_test.h"
#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "engine/image_tags.h"
#include "engine/naming_note.h"
#include "platform/codec.h"
#include "render/references.h"
#include "render/renderer.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

using render::Appearance;
using render::RenderPicture;

using platform::IsLeadByte;
using platform::Picture;

namespace {

using test::DefaultSettings;
using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

TEST_F(DocumentTest, WorkedExample) {
    std::filesystem::create_directory(dir / "logs");
    std::string after = Convert("logs/thread.htm", "<dt>1<dd>AA<br>BB\r\n<dt>2<dd>CC");
    EXPECT_EQ(after, "<dt>1<dd><img src=\"./thread/001.png\">\r\n<dt>2<dd><img src=\"./thread/002.png\">");
    EXPECT_EQ(progress.texts, (std::vector<std::string>{"logs/thread.htm(000)", "logs/thread.htm(001)"}));
    EXPECT_EQ(result.outcome, Outcome::converted);
    EXPECT_EQ(result.pictures, 2);
    EXPECT_TRUE(progress.messages.empty());
    ExpectPictureOf(dir / "logs/thread/001.png", "AA<br>BB");
    ExpectPictureOf(dir / "logs/thread/002.png", "CC");
}

TEST_F(DocumentTest, ScanRules) {
    // Empty stretch, same separator closing and opening, case-sensitive matching.
    settings.startSeparators = {"|", "<dd>", ""};
    settings.endSeparators = {"|", "", ""};
    EXPECT_EQ(Convert("a.htm", "x||y|z<DD>w"),
              "x|<img src=\"./a/001.png\">|<img src=\"./a/002.png\">|<img src=\"./a/003.png\">");
    ExpectPictureOf(dir / "a/001.png", "");
    ExpectPictureOf(dir / "a/003.png", "z<DD>w");

    // A separator never matches at the second byte of a double-byte character:
    // ソ is 83 5C, and 5C is the start separator here.
    settings.startSeparators = {"\\", "", ""};
    settings.endSeparators = {Sjis("。"), "", ""};
    EXPECT_EQ(Convert("b.htm", Sjis("ソ\\表。x")), Sjis("ソ\\<img src=\"./b/001.png\">。x"));
    ExpectPictureOf(dir / "b/001.png", Sjis("表"));

    // Nothing to start with: the document stays as it was.
    settings.startSeparators = {"", "", ""};
    EXPECT_EQ(Convert("c.htm", "<dd>a\r\n"), "<dd>a\r\n");
    EXPECT_EQ(Convert("d.htm", ""), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "d"));  // nothing changed, nothing made
}

// The scan, step by step as simply as it can be written, for comparison.
std::string ReferenceConversion(const std::string& text, const ConversionSettings& settings, const std::string& base) {
    // The length matched, 0 for none; a line break (CR LF) matches CR LF or a bare LF.
    std::function<std::size_t(std::size_t, std::string_view)> match = [&](std::size_t pos, std::string_view sep) {
        if (sep.empty()) return pos;
        if (sep.starts_with("\r\n") && text.compare(pos, 1, "\n") == 0) return match(pos + 1, sep.substr(2));
        return text.compare(pos, 1, sep.substr(0, 1)) == 0 ? match(pos + 1, sep.substr(1)) : 0;
    };
    auto matchAt = [&](std::size_t pos, const Separators& list) -> std::size_t {
        for (const std::string& sep : list)
            if (std::size_t end = sep.empty() ? 0 : match(pos, sep); end > 0) return end - pos;
        return 0;
    };
    std::string out;
    std::size_t pos = 0, pending = 0;
    bool inside = false;
    int n = 0;
    auto tag = [&] {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "<img src=\"./%s/%03d.png\">", base.c_str(), ++n);
        return std::string(buffer);
    };
    for (;;) {
        if (pos >= text.size()) {
            out += inside ? tag() : text.substr(pending);
            return out;
        }
        if (!inside) {
            if (const std::size_t length = matchAt(pos, settings.startSeparators)) {
                pos += length;
                out += text.substr(pending, pos - pending);
                pending = pos;
                inside = true;
                continue;
            }
        } else if (matchAt(pos, settings.endSeparators)) {
            out += tag();
            pending = pos;
            inside = false;
            continue;
        }
        pos = std::min(text.size(), pos + (IsLeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1));
    }
}

TEST_F(DocumentTest, ScanAgreesWithTheStepByStepReference) {
    // Bytes chosen to put separators next to, and inside, double-byte characters.
    const char alphabet[] = {'<', 'd', '>', '\r', '\n', 'a', '\x81', '\x42', '\x5C', '\xE0', '\x82', '|'};
    settings.startSeparators = {"<d>", "\\", ""};
    settings.endSeparators = {"\r\n", Sjis("。"), "|"};
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const std::size_t size = random() % 300;
        for (std::size_t k = 0; k < size; ++k) text += alphabet[random() % sizeof alphabet];
        const std::string name = "r" + std::to_string(round);
        EXPECT_EQ(Convert(name + ".htm", text), ReferenceConversion(text, settings, name)) << round;
    }
}

TEST_F(DocumentTest, ThousandStretchesAreNumberedOn) {
    std::string before, expected;
    for (int i = 1; i <= 1000; ++i) {
        before += "<dd>" + std::to_string(i % 10) + "\r\n";
        char tag[64];
        std::snprintf(tag, sizeof tag, "<dd><img src=\"./many/%03d.png\">\r\n", i);
        expected += tag;
    }
    EXPECT_EQ(Convert("many.htm", before), expected);
    EXPECT_TRUE(std::filesystem::exists(dir / "many/999.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "many/1000.png"));
    EXPECT_EQ(progress.texts.back(), dir.path().filename().string() + "/many.htm(999)");
}

TEST_F(DocumentTest, NulBytesAreKept) {
    const std::string before("<dd>A\0B\r\nrest\0tail<dd>", 22);
    EXPECT_EQ(Convert("nul.htm", before),
              std::string("<dd><img src=\"./nul/001.png\">\r\nrest\0tail<dd><img src=\"./nul/002.png\">", 69));
    ExpectPictureOf(dir / "nul/001.png", "A");  // the renderer's text ends at the NUL
}

TEST_F(DocumentTest, SecondConversionKeepsEveryPicture) {
    const std::string first = Convert("t.htm", "<dd>one\r\n<dd>two\r\n");
    const std::string picture1 = ReadFile(dir / "t/001.png");
    std::filesystem::last_write_time(dir / "t/002.png", std::filesystem::file_time_type{});
    progress.texts.clear();

    EXPECT_EQ(Convert("t.htm", first), first);
    EXPECT_EQ(result.pictures, 0);
    EXPECT_EQ(result.kept, 2);
    EXPECT_TRUE(progress.texts.empty());
    EXPECT_EQ(ReadFile(dir / "t/001.png"), picture1);
    EXPECT_EQ(std::filesystem::last_write_time(dir / "t/002.png"), std::filesystem::file_time_type{});

    // New stretches are numbered after the highest picture any of our tags names,
    // and another document's tag is text art like any other.
    const std::string grown =
        first + "<dd>three\r\n<dd><img src=\"./other/001.png\">\r\n<dd>" + "<img src=\"./t/0001.png\">\r\n";
    EXPECT_EQ(Convert("t.htm", grown), first + "<dd><img src=\"./t/003.png\">\r\n<dd><img src=\"./t/004.png\">\r\n" +
                                           "<dd><img src=\"./t/005.png\">\r\n");
    EXPECT_EQ(ReadFile(dir / "t/001.png"), picture1);
    ExpectPictureOf(dir / "t/003.png", "three");
}

TEST_F(DocumentTest, EucDocumentsKeepEveryByteOutsideTheStretches) {
    settings.code = DocumentCode::eucJp;
    // Valid EUC-JP (kanji, katakana), then bytes that are not: E0 before a line
    // feed, a JIS X 0212 sequence, 0xFF, a trailing single shift.
    const std::string head = "\xB0\xA1\x8E\xB1<br>\xE0\n\x8F\xB0\xA1\xFF";
    const std::string art = "\xA5\xBD\x8E\xB2";  // ソ and half-width イ in EUC-JP
    const std::string before = head + "<dd>" + art + "\r\n" + "tail\x8E";
    std::filesystem::create_directory(dir / "e");
    EXPECT_EQ(Convert("e/スレ.htm", before),
              head + "<dd><img src=\"./" + ShiftJisToEuc(Sjis("スレ")) + "/001.png\">\r\ntail\x8E");
    ExpectPictureOf(dir / "e/スレ/001.png", EucToShiftJis(art));

    // A second run recognises its own EUC-JP tag.
    const std::string converted = ReadFile(dir / "e/スレ.htm");
    EXPECT_EQ(Convert("e/スレ.htm", converted), converted);
    EXPECT_EQ(result.kept, 1);
}

// A page saved in UTF-8 and the same page saved in Shift-JIS (what the code page lacks
// as references, as a browser saves it): the same pictures, pixel for pixel, and the
// UTF-8 page keeps every byte outside its stretches and stays UTF-8.
TEST_F(DocumentTest, Utf8PagesDrawAsTheSamePageInShiftJis) {
    settings.code = DocumentCode::automatic;
    settings.startSeparators = {"<div class='aa'>", "", ""};
    settings.endSeparators = {"</div>", "", ""};
    const std::string art[] = {"（´・ω・｀）<br>　∧＿∧", "♥ 〜 ① 髙 🍣<br>ｷﾀ━━━(ﾟ∀ﾟ)━━━!!", "&lt;&amp;&#9829;"};
    std::string page = "<html><head><meta charset=\"UTF-8\"><title>スレ</title></head><body>\n";
    for (const std::string& piece : art) page += "<p>名無しさん</p><div class='aa'>" + piece + "</div>\n";
    page += "</body></html>\n";
    const std::string utf8 = Convert("スレutf8.html", page);
    ASSERT_EQ(result.outcome, Outcome::converted);
    EXPECT_EQ(result.code, DocumentCode::utf8);
    EXPECT_TRUE(platform::cp932::IsValidUtf8(utf8));
    std::string expected = page;
    for (int n = 1; const std::string& piece : art) {
        const std::size_t at = expected.find(piece);
        expected.replace(at, piece.size(), "<img src=\"./スレutf8/" + PictureNumber(n++) + ".png\">");
    }
    EXPECT_EQ(utf8, expected);

    const std::string sjisPage = render::Utf8ToCp932WithReferences(page);
    Convert("sjis.html", sjisPage);
    ASSERT_EQ(result.outcome, Outcome::converted);
    EXPECT_EQ(result.code, DocumentCode::shiftJis);
    for (int n = 1; n <= 3; ++n) {
        Picture fromUtf8, fromSjis;
        ASSERT_TRUE(test::DecodePng(dir / "スレutf8" / (PictureNumber(n) + ".png"), fromUtf8));
        ASSERT_TRUE(test::DecodePng(dir / "sjis" / (PictureNumber(n) + ".png"), fromSjis));
        EXPECT_EQ(fromUtf8.width, fromSjis.width) << n;
        EXPECT_TRUE(fromUtf8.rgb == fromSjis.rgb) << n;
    }
}

// Each document is read in the code its bytes tell, whatever it declares; a code named
// that does not fit leaves the document as it was and names the code that fits.
TEST_F(DocumentTest, EachDocumentIsReadInTheCodeItsBytesTell) {
    const std::string sjisArt = Sjis("（´・ω・｀）");
    const std::string eucArt = "\xA1\xCA\xA6\xD8\xA1\xA6\xA6\xD8\xA1\xCB";  // （ω・ω）
    struct Case {
        const char* name;
        std::string bytes;
        DocumentCode chosen;
        std::optional<DocumentCode> readIn;  // nothing: left as it was, with the message
        const char* fits;                    // the code the message names
    };
    const Case cases[] = {
        {"shift-jis", "<dd>" + sjisArt + "\r\n", DocumentCode::automatic, DocumentCode::shiftJis, nullptr},
        {"shift-jis declaring utf-8", "<meta charset=utf-8><dd>" + sjisArt + "\r\n", DocumentCode::automatic,
         DocumentCode::shiftJis, nullptr},
        {"euc-jp", "<dd>" + eucArt + "\r\n", DocumentCode::automatic, DocumentCode::eucJp, nullptr},
        {"utf-8 with a mark", "\xEF\xBB\xBF<dd>a\r\n", DocumentCode::automatic, DocumentCode::utf8, nullptr},
        {"utf-8 named shift-jis", "<dd>（´・ω・｀）\r\n", DocumentCode::shiftJis, std::nullopt, "UTF-8"},
        {"euc-jp named shift-jis", "<dd>" + eucArt + eucArt + eucArt + "\r\n" + "<p>" + eucArt + "</p>",
         DocumentCode::shiftJis, std::nullopt, "EUC-JP"},
        {"shift-jis named euc-jp", "<dd>" + sjisArt + "\r\n", DocumentCode::eucJp, std::nullopt, "Shift_JIS"},
        {"shift-jis named utf-8", "<dd>" + sjisArt + "\r\n", DocumentCode::utf8, std::nullopt, "Shift_JIS"},
        // Without a stretch nothing changes, whatever the code.
        {"utf-8 without a stretch, named shift-jis", "<p>（´・ω・｀）</p>", DocumentCode::shiftJis,
         DocumentCode::shiftJis, nullptr},
        // A few undecodable characters in a document that is otherwise right: warned of
        // by the renderer, converted.
        {"shift-jis with a broken character", "<dd>" + sjisArt + "\x85\x40\r\n", DocumentCode::shiftJis,
         DocumentCode::shiftJis, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings.code = c.chosen;
        progress.messages.clear();
        const std::string after = Convert("d.htm", c.bytes);
        if (!c.readIn) {
            EXPECT_EQ(after, c.bytes);
            EXPECT_EQ(result.outcome, Outcome::failed);
            ASSERT_EQ(progress.messages.size(), 1u);
            EXPECT_EQ(progress.messages[0], (dir / "d.htm").string() + "\n" +
                                                std::string("not converted: the document is not in the character code "
                                                            "named\nthe document's character code: ") +
                                                c.fits);
            EXPECT_FALSE(std::filesystem::exists(dir / "d"));
            continue;
        }
        EXPECT_EQ(result.outcome, Outcome::converted);
        EXPECT_EQ(result.code, *c.readIn);
        EXPECT_TRUE(progress.messages.empty());
        if (after != c.bytes) {
            const std::size_t from = c.bytes.find("<dd>") + 4;
            const std::string art = c.bytes.substr(from, c.bytes.find("\r\n") - from);
            ExpectPictureOf(dir / "d" / "001.png", *c.readIn == DocumentCode::eucJp ? EucToShiftJis(art)
                                                   : *c.readIn == DocumentCode::utf8
                                                       ? render::Utf8ToCp932WithReferences(art)
                                                       : art);
        }
        std::filesystem::remove_all(dir / "d");
    }
}

TEST_F(DocumentTest, TagsPointAtTheWrittenFolder) {
    EXPECT_EQ(Convert("スレ 1#%.htm", "<dd>a"), Sjis("<dd><img src=\"./スレ") + "%201%23%25/001.png\">");
    EXPECT_TRUE(std::filesystem::exists(dir / "スレ 1#%/001.png"));
    // 髙 is an IBM extension kanji: code page 932 holds it, EUC-JP does not.
    EXPECT_EQ(TagBaseName("髙", DocumentCode::shiftJis), Sjis("髙"));
    EXPECT_EQ(TagBaseName("髙", DocumentCode::eucJp), "%E9%AB%99");
    EXPECT_EQ(TagBaseName("♥\\x", DocumentCode::shiftJis), "%E2%99%A5%5Cx");
    EXPECT_EQ(TagBaseName("\xFFz", DocumentCode::shiftJis), "%FFz");
}

}  // namespace
}  // namespace quarvel::engine
