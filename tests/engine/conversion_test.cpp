// Converting single documents: stretches, pictures, tags, codes and failures.

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

// The picture file decodes to exactly what the renderer draws for `art`.
void ExpectPictureOf(const std::filesystem::path& png, const std::string& art) {
    Picture decoded;
    ASSERT_TRUE(test::DecodePng(png, decoded)) << png;
    Picture expected = RenderPicture(art.c_str(), Appearance{});
    EXPECT_EQ(decoded.width, expected.width) << png;
    EXPECT_EQ(decoded.height, expected.height) << png;
    EXPECT_TRUE(decoded.rgb == expected.rgb) << png;
}

class DocumentTest : public ::testing::Test {
protected:
    std::string Convert(const std::string& name, const std::string& before) {
        WriteFile(dir / name, before);
        result = ConvertDocument((dir / name).string(), settings);
        return ReadFile(dir / name);
    }

    TempDir dir;
    RecordingProgress progress;
    ConversionSettings settings = DefaultSettings(&progress);
    DocumentResult result;
};

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

// A run killed after its pictures took their names and before its document was
// replaced leaves them and its note; the next run of the document, still as it was,
// removes exactly those files and numbers from 001 again. Only the files the note names
// by their identity go, and only while the document is the one it names.
TEST_F(DocumentTest, PicturesOfAKilledRunGoWithTheNextRun) {
    namespace fs = platform::fs;
    struct Case {
        const char* name;
        bool documentChanged;           // edited since the killed run
        bool secondReplaced;            // 002.png exchanged for another file since
        const char* tags;               // the numbers the next run gives
        std::vector<const char*> kept;  // of the killed run's files
    };
    const Case cases[] = {
        {"as the killed run left it", false, false, "001 002", {}},
        {"a file put in a picture's place", false, true, "001 003", {"002.png"}},
        {"the document edited since", true, false, "003 004", {"001.png", "002.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir here;
        const std::filesystem::path doc = here / "k.htm", images = here / "k";
        WriteFile(doc, "<dd>a\r\n<dd>b\r\n");
        fs::FileBytes bytes;
        Result<fs::FileInfo> read = fs::RealFileSystem().ReadFileBytes(doc.string(), bytes);
        ASSERT_TRUE(read.ok());
        std::filesystem::create_directory(images);
        std::string lines;
        for (const char* name : {"001.png", "002.png"}) {
            WriteFile(images / name, "killed run's picture");
            Result<fs::FileInfo> picture = fs::RealFileSystem().ReadFileBytes((images / name).string(), bytes);
            ASSERT_TRUE(picture.ok());
            lines += NamingNoteLine((images / name).string(), *picture);
        }
        ASSERT_TRUE(WriteNamingNote(fs::RealFileSystem(), images.string(), *read, lines).ok());
        if (c.secondReplaced) {
            std::filesystem::remove(images / "002.png");
            WriteFile(images / "002.png", "the user's own");
        }
        if (c.documentChanged) WriteFile(doc, "<dd>a\r\n<dd>b\r\n<p>edited");

        result = ConvertDocument(doc.string(), settings);
        const std::string numbers = c.tags;
        EXPECT_EQ(ReadFile(doc), "<dd><img src=\"./k/" + numbers.substr(0, 3) + ".png\">\r\n<dd><img src=\"./k/" +
                                     numbers.substr(4) + ".png\">\r\n" + (c.documentChanged ? "<p>edited" : ""));
        EXPECT_FALSE(std::filesystem::exists(images / std::string(kNamingNoteName)));
        std::vector<std::string> left;  // the files that are not this run's pictures
        for (const auto& entry : std::filesystem::directory_iterator(images))
            if (!ReadFile(entry.path()).starts_with("\x89PNG")) left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, std::vector<std::string>(c.kept.begin(), c.kept.end()));
    }
}

TEST_F(DocumentTest, AbortLeavesTheDocumentAsItWas) {
    std::string before;
    for (int i = 0; i < 40; ++i) before += "<dt>" + std::to_string(i) + "<dd>art " + std::to_string(i) + "\r\n";
    std::mt19937 random(20240501);
    for (int round = 0; round < 3; ++round) {
        progress.abortRequested = false;
        progress.abortAtText = 1 + static_cast<int>(random() % 40);
        progress.texts.clear();
        EXPECT_EQ(Convert("abort.htm", before), before);
        EXPECT_EQ(result.outcome, Outcome::aborted);
        EXPECT_TRUE(progress.messages.empty());
    }
}

TEST_F(DocumentTest, FailuresAreShownAndReturned) {
    // Read-only document: it does not change, and the pictures made for it go again
    // with the image folder this run made.
    WriteFile(dir / "ro.htm", "<dd>a");
    std::filesystem::permissions(dir / "ro.htm", std::filesystem::perms::owner_read);
    result = ConvertDocument((dir / "ro.htm").string(), settings);
    EXPECT_EQ(ReadFile(dir / "ro.htm"), "<dd>a");
    EXPECT_FALSE(std::filesystem::exists(dir / "ro"));
    EXPECT_EQ(result.outcome, Outcome::failed);
    ASSERT_EQ(progress.messages.size(), 1u);
    EXPECT_EQ(progress.messages[0], (dir / "ro.htm").string() + "\ncould not write the file\nPermission denied");
    // Nor is a copy made of a document that will not be rewritten.
    result = ConvertDocument((dir / "ro.htm").string(), settings, Backup::yes);
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));

    // The image folder's name is taken by a file.
    WriteFile(dir / "img", "x");
    EXPECT_EQ(Convert("img.htm", "<dd>a"), "<dd>a");
    EXPECT_EQ(progress.messages.back(), (dir / "img").string() + "\ncould not make the folder\nFile exists");
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->path, (dir / "img").string());

    // One message with the reason, and nothing made.
    result = ConvertDocument((dir / "none.htm").string(), settings);
    EXPECT_EQ(progress.messages.back(),
              (dir / "none.htm").string() + "\ncould not open the file\nNo such file or directory");
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));

    // A base name that is no name of a folder of its own: empty (no period), "." or
    // "..". The pictures would go into the document's own folder, shared with every
    // other such document, or into the folder above it, over files there.
    std::filesystem::create_directory(dir / "tree");
    for (const char* name : {"README", "NOTES", ".htm", "..htm", "...htm"}) {
        SCOPED_TRACE(name);
        const std::string path = (dir / "tree" / name).string();
        EXPECT_EQ(Convert(std::string("tree/") + name, "<dd>a\r\n"), "<dd>a\r\n");
        EXPECT_EQ(result.outcome, Outcome::failed);
        EXPECT_EQ(progress.messages.back(),
                  path + "\ncould not make the folder\nthe document's name gives no name for its image folder");
    }
    EXPECT_EQ(test::TreeOf(dir / "tree"), (std::vector<std::string>{"...htm", "..htm", ".htm", "NOTES", "README"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "001.png"));
    // "...." is a plain name.
    EXPECT_EQ(Convert("tree/....htm", "<dd>a"), "<dd><img src=\"./.../001.png\">");
    EXPECT_TRUE(std::filesystem::exists(dir / "tree/.../001.png"));
}

TEST_F(DocumentTest, APictureThatCannotBeWrittenKeepsTheArt) {
    // A stretch is replaced by its tag only with its picture in place: otherwise the
    // document is not rewritten and the message names the picture and why.
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string before = "<dd>a\r\n<dd>b\r\n<dd>c";
    struct Case {
        const char* failing;  // the picture whose write fails
        int error;
        const char* reason;
    };
    for (const Case& c : {Case{"001.png", ENOSPC, "could not write the file\nNo space left on device"},
                          Case{"002.png", EIO, "could not write the file\nInput/output error"}}) {
        std::filesystem::remove_all(dir / "p");
        progress.messages.clear();
        hooked.failWrite = [&](const std::string& path) { return path.ends_with(c.failing) ? c.error : 0; };
        EXPECT_EQ(Convert("p.htm", before), before) << c.failing;
        EXPECT_EQ(result.outcome, Outcome::failed);
        ASSERT_EQ(progress.messages.size(), 1u);
        EXPECT_EQ(progress.messages[0], (dir / "p" / c.failing).string() + "\n" + Sjis(c.reason));
        // Nor the pictures before it: without the document they would be strays.
        EXPECT_FALSE(std::filesystem::exists(dir / "p")) << c.failing;
    }

    // A real failure: the file-size limit lets the first picture through but not the
    // second, wide one. No picture of 0 bytes, no temporary file.
    settings.fileSystem = nullptr;
    std::string wide;
    for (int line = 0; line < 50; ++line) wide += std::string(60, "AW@#"[line % 4]) + "<br>";
    const std::string limited = "<dd>a\r\n<dd>" + wide + "\r\n";
    WriteFile(dir / "q.htm", limited);
    {
        test::FileSizeLimit limit(2000);
        result = ConvertDocument((dir / "q.htm").string(), settings);
    }
    EXPECT_EQ(ReadFile(dir / "q.htm"), limited);
    EXPECT_EQ(progress.messages.back(), (dir / "q/002.png").string() + "\ncould not write the file\nFile too large");
    EXPECT_FALSE(std::filesystem::exists(dir / "q"));

    // An image folder that was there keeps what it held; only this run's pictures go.
    std::filesystem::create_directory(dir / "r");
    WriteFile(dir / "r/keep.png", "earlier");
    settings.fileSystem = &hooked;
    hooked.failWrite = [](const std::string& path) { return path.ends_with("/r/003.png") ? EIO : 0; };
    EXPECT_EQ(Convert("r.htm", before), before);
    EXPECT_EQ(test::TreeOf(dir / "r"), std::vector<std::string>{"keep.png"});
}

TEST_F(DocumentTest, AnEditByAnotherProgramMeanwhileIsKept) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string path = (dir / "e.htm").string();
    struct Edit {
        const char* name;
        std::function<void()> apply;  // while the pictures are written
        const char* after;
    };
    const Edit edits[] = {
        {"rewritten in place", [&] { WriteFile(path, "<dd>a\r\nedited"); }, "<dd>a\r\nedited"},
        {"renamed over",
         [&] {
             WriteFile(dir / "new", "edited elsewhere");
             std::filesystem::rename(dir / "new", path);
         },
         "edited elsewhere"},
    };
    for (const Edit& edit : edits) {
        WriteFile(path, "<dd>a\r\n");
        hooked.beforeWrite = [&](const std::string& written) {
            if (written.ends_with("001.png")) edit.apply();
        };
        result = ConvertDocument(path, settings, Backup::yes);
        EXPECT_EQ(result.outcome, Outcome::failed) << edit.name;
        EXPECT_EQ(ReadFile(path), edit.after) << edit.name;
        EXPECT_EQ(progress.messages.back(), path + "\nchanged by another program during the conversion, so not written")
            << edit.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "e")) << edit.name;  // no stray pictures
    }
    // A document that is not rewritten gets no copy.
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/e.htm"));
}

// Writes `bytes` over the start of the file in place, as `dd conv=notrunc` does, and
// sets its modification time back: only the status change time tells of the edit.
void EditInPlaceUnseen(const std::string& path, const std::string& bytes) {
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

TEST_F(DocumentTest, AnEditWhileTheDocumentIsReadIsNeverLost) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    const std::string original = "<dd>a\r\n<dd>b\r\n";
    const std::string edited = "<dd>c\r\n<dd>b\r\n";

    // Edited once, during the first read: the document is read again, and its edit is
    // what is converted and what the backup keeps.
    const std::string once = (dir / "once.htm").string();
    WriteFile(once, original);
    int reads = 0;
    hooked.whileReading = [&](const std::string& path) {
        if (path == once && reads++ == 0) EditInPlaceUnseen(once, edited);
    };
    result = ConvertDocument(once, settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::converted);
    EXPECT_GE(reads, 2);
    EXPECT_EQ(ReadFile(once), "<dd><img src=\"./once/001.png\">\r\n<dd><img src=\"./once/002.png\">\r\n");
    EXPECT_EQ(ReadFile(dir / "backup/once.htm"), edited);
    ExpectPictureOf(dir / "once/001.png", "c");

    // Edited on every read: given up with the message, and nothing is made.
    const std::string busy = (dir / "busy.htm").string();
    WriteFile(busy, original);
    bool flip = false;
    hooked.whileReading = [&](const std::string&) { EditInPlaceUnseen(busy, (flip = !flip) ? edited : original); };
    result = ConvertDocument(busy, settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_EQ(progress.messages.back(), busy + "\nchanged by another program during the conversion, so not written");
    EXPECT_EQ(ReadFile(busy), flip ? edited : original);
    EXPECT_FALSE(std::filesystem::exists(dir / "busy"));
    EXPECT_FALSE(std::filesystem::exists(dir / "backup/busy.htm"));
}

TEST_F(DocumentTest, OwnTagsOfAnyLength) {
    // Picture numbers go past 999,999,999: their tags are still this program's own,
    // and new stretches number on after them.
    const std::string converted = "<dd><img src=\"./t/1000000000.png\">\r\n<dd><img src=\"./t/999.png\">\r\n";
    EXPECT_EQ(Convert("t.htm", converted + "<dd>new\r\n"), converted + "<dd><img src=\"./t/1000000001.png\">\r\n");
    EXPECT_EQ(result.kept, 2);
    EXPECT_EQ(result.pictures, 1);
    // Leading zeros beyond three digits are not this program's.
    const std::string foreign = "<dd><img src=\"./u/01000.png\">";
    Convert("u.htm", foreign);
    EXPECT_EQ(result.kept, 0);
    EXPECT_EQ(result.pictures, 1);
    // Numbers of any length are; past the last number a new stretch cannot be
    // numbered, and the document stays as it is.
    for (const std::string& highest :
         {std::string("999999999999999999"), std::string("1000000000000000000"), std::string(40, '7')}) {
        SCOPED_TRACE(highest.size());
        const std::string full = "<dd><img src=\"./v/" + highest + ".png\">\r\n";
        EXPECT_EQ(Convert("v.htm", full), full);
        EXPECT_EQ(result.kept, 1);
        EXPECT_EQ(result.pictures, 0);
        EXPECT_EQ(Convert("v.htm", full + "<dd>new"), full + "<dd>new");
        EXPECT_EQ(result.outcome, Outcome::failed);
        EXPECT_EQ(progress.messages.back(), (dir / "v.htm").string() + "\nno picture number is left");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "v"));
}

TEST_F(DocumentTest, StaleTemporaryFilesOfTheDocumentAreRemoved) {
    // Left by runs killed while writing the document, its backup copy or a picture;
    // another document's and a running writer's (which holds its lock) stay.
    for (const char* folder : {"backup", "t"}) std::filesystem::create_directory(dir / folder);
    for (const char* stale : {".t.htm.quarvel-AAAAAAAAAAAAAAAA", "backup/.t.htm.quarvel-BBBBBBBBBBBBBBBB",
                              "t/.001.png.quarvel-CCCCCCCCCCCCCCCC", ".u.htm.quarvel-DDDDDDDDDDDDDDDD",
                              "backup/.u.htm.quarvel-EEEEEEEEEEEEEEEE", ".t.htm.quarvel-LIVE00LIVE00LIVE"})
        WriteFile(dir / stale, "partial");
    const int live = ::open((dir / ".t.htm.quarvel-LIVE00LIVE00LIVE").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
    // Only a conversion that changes the document looks for them.
    WriteFile(dir / "t.htm", "<dd>a\r\n");
    result = ConvertDocument((dir / "t.htm").string(), settings, Backup::yes);
    EXPECT_EQ(result.outcome, Outcome::converted);
    ::close(live);
    EXPECT_EQ(test::TreeOf(dir.path()),
              (std::vector<std::string>{".t.htm.quarvel-LIVE00LIVE00LIVE", ".u.htm.quarvel-DDDDDDDDDDDDDDDD", "backup/",
                                        "backup/.u.htm.quarvel-EEEEEEEEEEEEEEEE", "backup/t.htm", "backup/t.htm.record",
                                        "t.htm", "t/", "t/001.png"}));
}

// A file in the image folder that this run did not make is never replaced nor removed:
// a user's own picture, another document's, one that another program puts there during
// the run, and a file put where the image folder was.
TEST_F(DocumentTest, FilesThatAreNotThisRunsAreNeverReplacedOrRemoved) {
    test::HookedFileSystem hooked;
    settings.fileSystem = &hooked;
    struct Case {
        const char* name;
        const char* path;                                         // of the document
        std::vector<std::pair<const char*, const char*>> before;  // files there before the run
        const char* document;
        std::function<void(const std::string&)> beforeWrite;    // another program meanwhile
        const char* after;                                      // the document afterwards; null: as it was
        std::vector<std::pair<const char*, const char*>> kept;  // files that must hold what they held
    };
    const std::string root = dir.path().string();
    const Case cases[] = {
        {"a picture of the user's own",
         "f.htm",
         {{"f/001.png", "my photo"}},
         "<dd>art\r\n",
         nullptr,
         "<dd><img src=\"./f/002.png\">\r\n",
         {{"f/001.png", "my photo"}}},
        {"another document's picture",
         "thread.htm_old",
         {{"thread/001.png", "thread.htm's"}, {"thread/003.png", "3"}},
         "<dd>a\r\n<dd>b\r\n<dd>c\r\n",
         nullptr,
         "<dd><img src=\"./thread/002.png\">\r\n<dd><img src=\"./thread/004.png\">\r\n"
         "<dd><img src=\"./thread/005.png\">\r\n",
         {{"thread/001.png", "thread.htm's"}, {"thread/003.png", "3"}}},
        {"a picture another program writes meanwhile",
         "g.htm",
         {},
         "<dd>a\r\n<dd>b\r\n",
         [&](const std::string& path) {
             if (path.ends_with("/g/002.png")) WriteFile(root + "/g/002.png", "other");
         },
         nullptr,
         {{"g/002.png", "other"}}},
        {"a file put where the image folder was",
         "h.htm",
         {},
         "<dd>a\r\n<dd>b\r\n<dd>c\r\n",
         [&](const std::string& path) {
             if (!path.ends_with("/h/003.png")) return;
             std::filesystem::rename(root + "/h", root + "/h.moved");
             WriteFile(root + "/h", "plain");
             hooked.failWrite = [](const std::string&) { return EIO; };
         },
         nullptr,
         {{"h", "plain"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directories(dir.path());
        for (const auto& [file, bytes] : c.before) {
            std::filesystem::create_directories((dir / file).parent_path());
            WriteFile(dir / file, bytes);
        }
        hooked.failWrite = [](const std::string&) { return 0; };
        hooked.beforeWrite = c.beforeWrite ? c.beforeWrite : [](const std::string&) {};
        const std::string after = Convert(c.path, c.document);
        EXPECT_EQ(after, c.after ? c.after : c.document);
        EXPECT_EQ(result.outcome, c.after ? Outcome::converted : Outcome::failed);
        for (const auto& [file, bytes] : c.kept) EXPECT_EQ(ReadFile(dir / file), bytes) << file;
    }
    // The folder the run made, moved away meanwhile, is left empty; the pictures that
    // went into it went again.
    EXPECT_EQ(test::TreeOf(dir / "h.moved"), std::vector<std::string>{});
}

// Root converting a document of another user: what is made for it is that user's, and
// no more open than the document.
TEST_F(DocumentTest, WhatIsMadeForADocumentIsItsOwners) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    constexpr uid_t kUser = 4321;
    constexpr gid_t kGroup = 4322;
    WriteFile(dir / "private.htm", "<dd>a\r\n");
    ASSERT_EQ(::chown((dir / "private.htm").c_str(), kUser, kGroup), 0);
    ASSERT_EQ(::chmod((dir / "private.htm").c_str(), 0600), 0);
    result = ConvertDocument((dir / "private.htm").string(), settings, Backup::yes);
    ASSERT_EQ(result.outcome, Outcome::converted);
    for (const auto& [made, mode] :
         {std::pair{"private.htm", 0600u}, std::pair{"backup", 0700u}, std::pair{"backup/private.htm", 0600u},
          std::pair{"private", 0700u}, std::pair{"private/001.png", 0600u}}) {
        struct stat st;
        ASSERT_EQ(::stat((dir / made).c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_uid, kUser) << made;
        EXPECT_EQ(st.st_gid, kGroup) << made;
        EXPECT_EQ(st.st_mode & 07777, mode) << made;
    }
}

}  // namespace
}  // namespace quarvel::engine
