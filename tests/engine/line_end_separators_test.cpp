// A line break in a separator (typed \n) ends a line of either kind: CR LF, or a bare
// LF as pages saved on Linux have it. CR LF is tried first, so that documents with
// CR LF line ends convert as they always did.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "engine/document_scan.h"
#include "engine/image_tags.h"
#include "platform/codec.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

namespace {

using test::DefaultSettings;
using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

std::string WithBareLineFeeds(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

// The stretches a scan finds, as "[from,to)" of each, and where the scan stood after
// each start separator.
std::string Stretches(std::string_view text, const Separators& starts, const Separators& ends) {
    DocumentScan scan(text, starts, ends);
    std::string found;
    std::size_t from = 0;
    for (;;) {
        switch (scan.Next()) {
        case DocumentScan::Step::moved: break;
        case DocumentScan::Step::started: from = scan.position(); break;
        case DocumentScan::Step::ended:
            found += "[" + std::to_string(from) + "," + std::to_string(scan.position()) + ")";
            break;
        case DocumentScan::Step::finished:
            if (scan.inside()) found += "[" + std::to_string(from) + "," + std::to_string(text.size()) + ")";
            return found;
        }
    }
}

TEST(LineEndSeparators, ALineBreakMatchesCrLfFirstThenABareLf) {
    const Separators none = {"", "", ""};
    struct Case {
        const char* what;
        std::string text;
        Separators starts, ends;
        std::string stretches;
    } cases[] = {
        {"CR LF ends at its CR", "<dd>a\r\nb", {"<dd>", "", ""}, {"\r\n", "", ""}, "[4,5)"},
        {"a bare LF ends at itself", "<dd>a\nb", {"<dd>", "", ""}, {"\r\n", "", ""}, "[4,5)"},
        {"a lone CR is no line break", "<dd>a\rb", {"<dd>", "", ""}, {"\r\n", "", ""}, "[4,7)"},
        {"a CR before CR LF stays in the stretch", "<dd>a\r\r\nb", {"<dd>", "", ""}, {"\r\n", "", ""}, "[4,6)"},
        {"a start separator takes CR LF whole", "</p>\r\nart<p>", {"</p>\r\n", "", ""}, {"<p>", "", ""}, "[6,9)"},
        {"a start separator takes a bare LF", "</p>\nart<p>", {"</p>\r\n", "", ""}, {"<p>", "", ""}, "[5,8)"},
        {"two line breaks of either kind", "x\n\r\ny", {"x\r\n\r\n", "", ""}, none, "[4,5)"},
        {"LF CR is not CR LF", "x\n\ry", {"x\r\n\r\n", "", ""}, none, ""},
        {"a line break before text of its own", "<dd>a\n<p>", {"<dd>", "", ""}, {"\r\n<p>", "", ""}, "[4,5)"},
        {"LF after the second byte of a character", Sjis("<dd>ソ\nx"), {"<dd>", "", ""}, {"\r\n", "", ""}, "[4,6)"},
    };
    for (const Case& c : cases) EXPECT_EQ(Stretches(c.text, c.starts, c.ends), c.stretches) << c.what;
}

// A thread in the form boards save it, with its line ends as `lineEnd`.
std::string Thread(const std::string& lineEnd) {
    std::string page = "<html><head><title>" + Sjis("スレ") + "</title></head><body>" + lineEnd + "<dl>" + lineEnd;
    const char* const art[] = {"（´・ω・｀）<br>　∧＿∧", "ｷﾀ━━━(ﾟ∀ﾟ)━━━!!", "<b>名無し</b>&hearts;<br><br>ok"};
    for (int n = 1; const char* piece : art) {
        page += "<dt>" + std::to_string(n++) + Sjis(" 名無しさん") + lineEnd + "<dd>" + Sjis(piece) + lineEnd;
        page += "<p>" + Sjis("本文") + "</p>" + lineEnd;
    }
    return page + "</dl>" + lineEnd + "</body></html>" + lineEnd;
}

// A bare-LF copy of a CR LF thread: the same pictures, byte for byte, and the same
// document but for its line ends, in each code and with separators that hold line breaks.
TEST(LineEndSeparators, ABareLfCopyOfAThreadConvertsAsTheCrLfThreadDoes) {
    struct Case {
        const char* what;
        DocumentCode code;
        Separators starts, ends;
        int pictures;
    } cases[] = {
        {"default separators", DocumentCode::shiftJis, {"<dd>", "", ""}, {"\r\n", "<dt>", "</dl>"}, 3},
        {"EUC-JP", DocumentCode::eucJp, {"<dd>", "", ""}, {"\r\n", "<dt>", "</dl>"}, 3},
        {"UTF-8", DocumentCode::utf8, {"<dd>", "", ""}, {"\r\n", "<dt>", "</dl>"}, 3},
        {"line breaks around", DocumentCode::shiftJis, {"\r\n<dd>", "", ""}, {"\r\n<p>", "", ""}, 3},
        {"after a paragraph", DocumentCode::shiftJis, {"</p>\r\n", "", ""}, {"\r\n", "", ""}, 3},
    };
    for (const Case& c : cases) {
        TempDir dir;
        RecordingProgress progress;
        ConversionSettings settings = DefaultSettings(&progress);
        settings.code = c.code;
        settings.startSeparators = c.starts;
        settings.endSeparators = c.ends;
        std::vector<std::string> after;
        for (const std::string lineEnd : {"\r\n", "\n"}) {
            std::string page = Thread(lineEnd);
            if (c.code == DocumentCode::eucJp) page = ShiftJisToEuc(page);
            if (c.code == DocumentCode::utf8) page = platform::cp932::ToUtf8(page);
            // The same name in folders of their own: the same tags.
            const std::filesystem::path folder = dir / (lineEnd.size() == 2 ? "crlf" : "lf");
            std::filesystem::create_directory(folder);
            const std::filesystem::path doc = folder / "t.htm";
            WriteFile(doc, page);
            const DocumentResult result = ConvertDocument(doc.string(), settings);
            EXPECT_EQ(result.outcome, Outcome::converted) << c.what;
            EXPECT_EQ(result.pictures, c.pictures) << c.what << " " << lineEnd.size();
            after.push_back(ReadFile(doc));
        }
        EXPECT_EQ(WithBareLineFeeds(after[0]), after[1]) << c.what;
        for (int n = 1; n <= c.pictures; ++n) {
            const std::string name = PictureNumber(n) + ".png";
            EXPECT_EQ(ReadFile(dir / "lf/t" / name), ReadFile(dir / "crlf/t" / name)) << c.what << " " << name;
        }
    }
}

// The issue as a user met it: with the default separators, the paragraph between two
// stretches of a page with LF line ends was drawn into the first picture.
TEST(LineEndSeparators, TheParagraphBetweenTwoStretchesStaysText) {
    TempDir dir;
    RecordingProgress progress;
    const ConversionSettings settings = DefaultSettings(&progress);
    WriteFile(dir / "t.htm", "<dl><dt>1<dd>art one<br>x\n<p>not art</p>\n<dt>2<dd>art two\n</dl>\n");
    ASSERT_EQ(ConvertDocument((dir / "t.htm").string(), settings).pictures, 2);
    EXPECT_EQ(ReadFile(dir / "t.htm"),
              "<dl><dt>1<dd><img src=\"./t/001.png\">\n<p>not art</p>\n<dt>2<dd><img src=\"./t/002.png\">\n</dl>\n");
    WriteFile(dir / "art.htm", "<dd>art one<br>x\r\n");
    ConvertDocument((dir / "art.htm").string(), settings);
    EXPECT_EQ(ReadFile(dir / "t/001.png"), ReadFile(dir / "art/001.png"));
}

}  // namespace
}  // namespace quarvel::engine
