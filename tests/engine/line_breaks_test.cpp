// Art whose lines end in line ends (a <pre> block, a block styled white-space: pre),
// drawn with lineBreaks on: each CR LF, LF or lone CR is one break, as <br> would be,
// but for the line end right after the start separator and the one right before the
// end separator.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "platform/codec.h"
#include "render/renderer.h"
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

TEST(LineBreaks, APreStretchIsDrawnAsItsLinesJoinedByBr) {
    struct Case {
        const char* what;
        bool lineBreaks;
        DocumentCode code;
        std::string stretch;  // Shift-JIS; converted for other codes
        std::string drawnAs;  // Shift-JIS
    } cases[] = {
        {"LF", true, DocumentCode::shiftJis, "\nL1\nL2\n", "L1<br>L2"},
        {"CR LF", true, DocumentCode::shiftJis, "\r\nL1\r\nL2\r\n", "L1<br>L2"},
        {"lone CR", true, DocumentCode::shiftJis, "\rL1\rL2\r", "L1<br>L2"},
        {"mixed, no line end at either side", true, DocumentCode::shiftJis, "L1\r\nL2\nL3\rL4", "L1<br>L2<br>L3<br>L4"},
        {"CR LF CR is two", true, DocumentCode::shiftJis, "L1\r\n\rL2", "L1<br><br>L2"},
        {"an empty line", true, DocumentCode::shiftJis, "\nL1\n\nL2\n", "L1<br><br>L2"},
        {"only one line end at each side", true, DocumentCode::shiftJis, "\n\nL1\n\n", "<br>L1<br>"},
        {"a <br> before a line end", true, DocumentCode::shiftJis, "L1<br>\nL2", "L1<br><br>L2"},
        {"nothing but a line end", true, DocumentCode::shiftJis, "\r\n", ""},
        {"art", true, DocumentCode::shiftJis, Sjis("\n　　∧＿∧\n　（　´∀｀）\n　（　　　　）\n"),
         Sjis("　　∧＿∧<br>　（　´∀｀）<br>　（　　　　）")},
        {"UTF-8 art", true, DocumentCode::utf8, Sjis("\n（´・ω・｀）\n♪\n"), Sjis("（´・ω・｀）<br>♪")},
        {"off: as before", false, DocumentCode::shiftJis, "\nL1\nL2\n", "\nL1\nL2\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        RecordingProgress progress;
        ConversionSettings settings = DefaultSettings(&progress);
        settings.startSeparators = {"<pre class=\"aa\">", "", ""};
        settings.endSeparators = {"</pre>", "", ""};
        settings.code = c.code;
        settings.lineBreaks = c.lineBreaks;
        std::string page = "<p>1</p>\n<pre class=\"aa\">" + c.stretch + "</pre>\n";
        if (c.code == DocumentCode::utf8) page = platform::cp932::ToUtf8(page);
        WriteFile(dir / "p.htm", page);
        ASSERT_EQ(ConvertDocument((dir / "p.htm").string(), settings).pictures, 1) << c.what;
        EXPECT_EQ(ReadFile(dir / "p.htm"), "<p>1</p>\n<pre class=\"aa\"><img src=\"./p/001.png\"></pre>\n") << c.what;

        platform::Picture drawn;
        ASSERT_TRUE(test::DecodePng(dir / "p/001.png", drawn)) << c.what;
        const platform::Picture expected = render::RenderPicture(c.drawnAs.c_str(), render::Appearance{});
        EXPECT_EQ(drawn.width, expected.width) << c.what;
        EXPECT_EQ(drawn.height, expected.height) << c.what;
        EXPECT_TRUE(drawn.rgb == expected.rgb) << c.what;
    }
}

}  // namespace
}  // namespace quarvel::engine
