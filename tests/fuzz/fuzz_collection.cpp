// Template collections: ReadCollection, the pieces' names and renderer input, and the
// index page, on random bytes. The first byte picks the kind (bit 0: .ast).
//
// Invariants:
// - pieces follow each other in file order inside the bytes, none overlapping, none
//   blank, each starting at a line's start; in an .mlt file no line of a piece is
//   "[SPLIT]"; in an .ast file every name lies in a header line before its piece;
// - names and the index page are well-formed UTF-8, and the page holds one picture
//   per piece and no '<' or '"' that a name brought in.

#include <string>
#include <vector>

#include "engine/collection.h"
#include "engine/pieces.h"
#include "platform/codec.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using engine::Collection;
using engine::CollectionKind;
using engine::DrawnPiece;
using engine::IndexPage;
using engine::Piece;
using engine::ReadCollection;

using render::TextEncoding;

namespace cp932 = platform::cp932;

namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::size_t Count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    fuzz::FieldReader fields(fuzz::AsText(data, size));
    const CollectionKind kind = (fields.Byte() & 1) ? CollectionKind::ast : CollectionKind::mlt;
    const std::string bytes(fields.rest());
    const Collection c = ReadCollection(bytes, kind);
    FUZZ_CHECK(c.bytes() == bytes);
    FUZZ_CHECK(c.kind == kind);
    FUZZ_CHECK(c.encoding != TextEncoding::automatic);

    std::size_t end = 0;  // where the last piece ended
    std::vector<DrawnPiece> drawn;
    for (const Piece& p : c.pieces) {
        FUZZ_CHECK(p.textOffset >= end && p.textOffset + p.textLength <= bytes.size());
        FUZZ_CHECK(p.textLength > 0);
        FUZZ_CHECK(p.textOffset == 0 || IsLineBreak(bytes[p.textOffset - 1]) ||
                   (p.textOffset == 3 && bytes.starts_with("\xEF\xBB\xBF")));
        const std::string_view text = c.Text(p);
        std::size_t at = 0;
        while (at <= text.size()) {
            const std::size_t stop = text.find_first_of("\r\n", at);
            const std::string_view line = text.substr(at, stop == std::string_view::npos ? text.npos : stop - at);
            if (kind == CollectionKind::mlt) FUZZ_CHECK(line != "[SPLIT]");
            if (stop == std::string_view::npos) break;
            at = stop + 1;
        }
        if (p.nameLength > 0) {
            FUZZ_CHECK(kind == CollectionKind::ast);
            FUZZ_CHECK(p.nameOffset >= end + 5 && p.nameOffset + p.nameLength < p.textOffset);
            FUZZ_CHECK(std::string_view(bytes).substr(p.nameOffset - 5, 5) == "[AA][");
        }
        FUZZ_CHECK(cp932::IsValidUtf8(c.Name(p)));
        // Drawing is the renderer's harness's; its input is made here.
        if (drawn.size() < 4) (void)c.RendererInput(p);
        end = p.textOffset + p.textLength;
        drawn.push_back(DrawnPiece{static_cast<int>(drawn.size()) + 1, 18, {}, {}});
    }

    const std::string_view title = fuzz::AsText(data, size > 16 ? 16 : size);
    const std::string page = IndexPage(c, drawn, title);
    FUZZ_CHECK(cp932::IsValidUtf8(page));
    FUZZ_CHECK(Count(page, "<img ") == c.pieces.size());
    // Each picture's markup and nothing more: names and the title are escaped.
    static const Collection plain = ReadCollection("x", CollectionKind::mlt);
    static const std::string withoutPictures = IndexPage(plain, {}, "");
    static const std::string withOne = IndexPage(plain, {DrawnPiece{}}, "");
    for (const char* markup : {"<", ">", "\"", "'"}) {
        const std::size_t perPicture = Count(withOne, markup) - Count(withoutPictures, markup);
        FUZZ_CHECK(Count(page, markup) == Count(withoutPictures, markup) + perPicture * c.pieces.size());
    }
    return 0;
}
