// A document's code under --code auto: the character set it declares wins where it
// decodes the bytes cleanly; the bytes decide where it does not, or none is declared.

#include <string>

#include <gtest/gtest.h>

#include "engine/code_convert.h"
#include "engine/document_code.h"
#include "support/engine_test_support.h"

namespace quarvel {
namespace {

using engine::DocumentCode;

std::string Page(std::string_view declared, std::string_view body) {
    std::string head = declared.empty() ? "" : "<meta charset=\"" + std::string(declared) + "\">";
    return "<html><head>" + head + "</head><body><dl><dt>1<dd>" + std::string(body) + "\r\n</dl></body></html>\r\n";
}

TEST(DeclaredCode, ADeclaredCodeThatDecodesCleanlyWins) {
    // Half-width katakana in Shift-JIS: each pair of them is also valid UTF-8.
    const std::string kana = test::Sjis("ﾄｰﾃｽ ﾃｽﾄｰ");
    const std::string kanji = test::Sjis("（´・ω・｀）ショボーン");
    const std::string utf8 = "（´・ω・｀）ショボーン";
    struct Case {
        const char* name;
        std::string document;
        DocumentCode expected;
    } cases[] = {
        {"Shift-JIS katakana declared Shift_JIS", Page("Shift_JIS", kana), DocumentCode::shiftJis},
        {"the same declared as windows-31j", Page("windows-31j", kana), DocumentCode::shiftJis},
        {"the same without a declaration: valid UTF-8", Page("", kana), DocumentCode::utf8},
        {"the same declared UTF-8", Page("UTF-8", kana), DocumentCode::utf8},
        {"Shift-JIS declared UTF-8, which does not decode it", Page("UTF-8", kanji), DocumentCode::shiftJis},
        {"EUC-JP declared UTF-8", Page("UTF-8", engine::ShiftJisToEuc(kanji)), DocumentCode::eucJp},
        {"UTF-8 declared Shift_JIS, which does not decode it", Page("Shift_JIS", utf8), DocumentCode::utf8},
        {"EUC-JP declared EUC-JP", Page("EUC-JP", engine::ShiftJisToEuc(kana)), DocumentCode::eucJp},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engine::DetectDocumentCode(c.document), c.expected) << c.name;
        const Result<DocumentCode> chosen = engine::CodeForDocument(c.document, DocumentCode::automatic, "d.htm");
        ASSERT_TRUE(chosen.ok()) << c.name;
        EXPECT_EQ(*chosen, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace quarvel
