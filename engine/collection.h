#pragma once
// Template collections: files that hold many pieces of text art. An .mlt file
// separates its pieces by lines that are exactly "[SPLIT]"; an .ast file heads each
// piece with a line "[AA][name]". Both are code page 932 or UTF-8, with CR LF, LF or
// CR line breaks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "render/text_prep.h"

namespace quarvel::engine {

enum class CollectionKind { mlt, ast };

// The largest collection read: millions of pieces, and little enough that a wrong file
// cannot fill the memory. A collection is held once, as read (mapped where it is large);
// what is made of a piece takes a bounded amount besides.
inline constexpr std::int64_t kMaxCollectionBytes = std::int64_t{256} << 20;

// The most bytes of one line of a piece that its picture is drawn from: far more than
// the widest picture shows (see Collection::RendererInput).
inline constexpr std::size_t kMaxDrawnLineBytes = std::size_t{64} << 10;

// The most characters of a name that a piece's label shows (Collection::ShortName); the
// search still finds all of it.
inline constexpr std::size_t kLabelCharacters = 64;

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
    platform::fs::FileBytes file;  // the file as read
    std::string_view bytes() const { return file.view(); }
    // The whole file's encoding (never `automatic`): UTF-8 when it starts with a byte
    // order mark, or when it is well-formed UTF-8 with a byte beyond ASCII; code page
    // 932 otherwise.
    render::TextEncoding encoding = render::TextEncoding::cp932;
    std::vector<Piece> pieces;    // in file order, empty pieces left out
    std::size_t emptyPieces = 0;  // pieces of nothing but blanks and line breaks, left out

    std::string_view Text(const Piece& piece) const { return bytes().substr(piece.textOffset, piece.textLength); }
    std::string_view NameBytes(const Piece& piece) const {
        return bytes().substr(piece.nameOffset, piece.nameLength);
    }
    // The name as UTF-8 (what the code page cannot decode becomes U+FFFD; so do bytes
    // that are not UTF-8 in a UTF-8 file).
    std::string Name(const Piece& piece) const;
    // The start of the name as Name decodes it: its first kLabelCharacters characters,
    // and an ellipsis (U+2026) after them when the name goes on.
    std::string ShortName(const Piece& piece) const;
    // The text as UTF-8 with LF line breaks, decoded as Name is.
    std::string TextUtf8(const Piece& piece) const;
    // The same a piece at a time, each of some tens of KiB at most, so that a huge name
    // or text is never held decoded whole.
    void NameUtf8InPieces(const Piece& piece, const std::function<void(std::string_view)>& take) const;
    void TextUtf8InPieces(const Piece& piece, const std::function<void(std::string_view)>& take) const;
    // The renderer's input for a piece, prepared as the copy-paste page prepares its
    // box's text, from what of the piece its picture can show: its first lines up to
    // the most a picture has (render::kMaxLines), each of at most kMaxDrawnLineBytes
    // bytes, and a character in place of anything that follows them. The picture and
    // what it says it leaves out are those of the whole text, and a huge piece is cheap.
    std::string RendererInput(const Piece& piece) const;
};

// Splits a collection into its pieces (the bytes are taken over). A piece's text runs
// from the start of its first line to the end of its last line, without the line
// break before the next separator or header, or at the end of the file. In an .ast
// file, lines before the first header are a piece without a name. A piece that holds
// nothing but spaces (also ideographic ones), tabs and line breaks draws a blank
// picture: it is counted in `emptyPieces` and left out, as are the piece after a
// trailing "[SPLIT]" and the ones between two separators in a row.
Collection ReadCollection(platform::fs::FileBytes bytes, CollectionKind kind);
Collection ReadCollection(std::string bytes, CollectionKind kind);

}  // namespace quarvel::engine
