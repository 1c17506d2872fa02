#pragma once
// Template collections: files that hold many pieces of text art. An .mlt file
// separates its pieces by lines that are exactly "[SPLIT]"; an .ast file heads each
// piece with a line "[AA][name]". Both are code page 932 or UTF-8, with CR LF, LF or
// CR line breaks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/text_prep.h"

namespace quarvel::engine {

enum class CollectionKind { mlt, ast };

// The largest collection read: hundreds of thousands of pieces, and little enough
// that a wrong file cannot fill the memory.
inline constexpr std::int64_t kMaxCollectionBytes = std::int64_t{256} << 20;

// The kind of a collection: by its name's extension (.mlt, .ast, in any case), else
// .ast when its first line is a piece's header, else .mlt.
CollectionKind KindOfCollection(std::string_view path, std::string_view bytes);

// One piece: where its text and (for .ast) its name lie in the collection's bytes.
struct Piece {
    std::size_t textOffset = 0, textLength = 0;
    std::size_t nameOffset = 0, nameLength = 0;
};

struct Collection {
    CollectionKind kind = CollectionKind::mlt;
    std::string bytes;  // the file as read
    // The whole file's encoding (never `automatic`): UTF-8 when it starts with a byte
    // order mark, or when it is well-formed UTF-8 with a byte beyond ASCII; code page
    // 932 otherwise.
    render::TextEncoding encoding = render::TextEncoding::cp932;
    std::vector<Piece> pieces;    // in file order, empty pieces left out
    std::size_t emptyPieces = 0;  // pieces of nothing but blanks and line breaks, left out

    std::string_view Text(const Piece& piece) const {
        return std::string_view(bytes).substr(piece.textOffset, piece.textLength);
    }
    // The name as UTF-8 (what the code page cannot decode becomes U+FFFD; so do bytes
    // that are not UTF-8 in a UTF-8 file).
    std::string Name(const Piece& piece) const;
    // The text as UTF-8 with LF line breaks, decoded as Name is.
    std::string TextUtf8(const Piece& piece) const;
    // The renderer's input for a piece, prepared as the copy-paste page prepares its
    // box's text.
    std::string RendererInput(const Piece& piece) const;
};

// Splits a collection into its pieces (the bytes are taken over). A piece's text runs
// from the start of its first line to the end of its last line, without the line
// break before the next separator or header, or at the end of the file. In an .ast
// file, lines before the first header are a piece without a name. A piece that holds
// nothing but spaces (also ideographic ones), tabs and line breaks draws a blank
// picture: it is counted in `emptyPieces` and left out, as are the piece after a
// trailing "[SPLIT]" and the ones between two separators in a row.
Collection ReadCollection(std::string bytes, CollectionKind kind);

}  // namespace quarvel::engine
