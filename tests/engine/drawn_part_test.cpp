// A piece is drawn from the part of it that its picture can show, and decoded for the
// page a piece at a time: the picture, what it says it leaves out, and the text the
// page shows and searches are those of the whole piece, wherever the cuts fall.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/collection.h"
#include "engine/pieces.h"
#include "platform/codec.h"
#include "render/references.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::engine {
namespace {

using render::TextEncoding;

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line + std::to_string(i) + "\r\n";
    return text;
}

// The text as the page shows it, decoded whole.
std::string WholeUtf8(std::string_view text, TextEncoding encoding) {
    const std::string utf8 = encoding == TextEncoding::cp932 ? platform::cp932::ToUtf8(text) : std::string(text);
    std::string lines;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\r')
            lines += utf8[i];
        else if (i + 1 == utf8.size() || utf8[i + 1] != '\n')
            lines += '\n';
    }
    return lines;
}

TEST(DrawnPart, APieceIsDrawnAndShownAsItsWholeText) {
    constexpr std::size_t kCut = kMaxDrawnLineBytes;
    struct Case {
        const char* name;
        std::string text;
        TextEncoding encoding;
    };
    const Case cases[] = {
        {"more lines than a picture, text after them", Lines(60, "line "), TextEncoding::cp932},
        {"more lines than a picture, blanks after them", Lines(50, "a") + "\r\n\t\n\r", TextEncoding::cp932},
        {"a line longer than the cut", std::string(kCut + 5000, 'W') + "\nx\n", TextEncoding::cp932},
        {"a double-byte character across the cut",
         std::string(kCut - 1, 'a') + "\x82\xA0\x82\xA2" + std::string(100, '<') + "\r\nend", TextEncoding::cp932},
        {"CR LF across a piece of the decoding", std::string(kCut - 1, 'a') + "\r\n\r" + Lines(3, "\x83\x41"),
         TextEncoding::cp932},
        {"UTF-8 across the cut", "\xE3\x81\x82" + std::string(kCut - 2, 'b') + "\xE3\x81\x84\xE2\x99\xA5 end\n" +
                                     Lines(55, "\xF0\x9F\x98\x80"),
         TextEncoding::utf8},
        {"NUL bytes, which draw nothing, before the art", std::string(kCut + 10, '\0') + "art", TextEncoding::cp932},
        {"a character reference across a piece of the decoding", std::string(kCut - 3, 'a') + "&#9829;\n",
         TextEncoding::cp932},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A UTF-8 collection is one of valid UTF-8 with a byte beyond ASCII.
        const Collection collection = ReadCollection(c.text, CollectionKind::mlt);
        ASSERT_EQ(collection.encoding, c.encoding);
        ASSERT_EQ(collection.pieces.size(), 1u);
        const Piece& piece = collection.pieces[0];
        const std::string part = collection.RendererInput(piece);
        EXPECT_LT(part.size(), std::size_t{8} << 20);
        render::RenderReport partReport, wholeReport;
        const platform::Picture drawn = render::RenderPicture(part.c_str(), {}, &partReport);
        const std::string whole = render::PrepareTextFile(std::string(collection.Text(piece)), c.encoding,
                                                          render::TextForm::plain);
        const platform::Picture expected = render::RenderPicture(whole.c_str(), {}, &wholeReport);
        EXPECT_EQ(drawn.width, expected.width);
        EXPECT_EQ(drawn.height, expected.height);
        EXPECT_TRUE(drawn.rgb == expected.rgb);
        EXPECT_EQ(partReport.linesCut, wholeReport.linesCut);
        EXPECT_EQ(partReport.widthCut, wholeReport.widthCut);
        EXPECT_EQ(partReport.faceless, wholeReport.faceless);
        EXPECT_EQ(partReport.undecodable, wholeReport.undecodable);
        const std::string text = WholeUtf8(collection.Text(piece), c.encoding);
        EXPECT_TRUE(collection.TextUtf8(piece) == text);
        // The page searches the text as drawn too where its references make it another.
        const std::string page = IndexPage(collection, std::vector<DrawnPiece>(1), "t");
        EXPECT_EQ(page.find(" data-drawn=\"") != std::string::npos, render::DecodedReferencesUtf8(text) != text);
    }
}

}  // namespace
}  // namespace quarvel::engine
