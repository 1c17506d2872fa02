#include "engine/collection.h"

#include <algorithm>
#include <functional>

#include "platform/codec.h"
#include "render/renderer.h"

namespace quarvel::engine {

using render::PrepareTextFile;
using render::TextEncoding;
using render::TextForm;

using platform::IsLeadByte;
namespace cp932 = platform::cp932;

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kSplitLine = "[SPLIT]";
constexpr std::string_view kHeaderStart = "[AA][";

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char e, char t) { return (t >= 'A' && t <= 'Z' ? t + 32 : t) == e; });
}

// One line of the file: its bytes without the line break, and where the next begins.
struct Line {
    std::size_t begin = 0, end = 0, next = 0;
};

// The line from `pos`: CR LF, LF and CR each end a line (none of them is ever the
// second byte of a double-byte character).
Line LineAt(std::string_view bytes, std::size_t pos) {
    Line line{pos, pos, pos};
    const std::size_t stop = bytes.find_first_of("\r\n", pos);
    if (stop == std::string_view::npos) {
        line.end = line.next = bytes.size();
    } else {
        line.end = stop;
        line.next = stop + 1;
        if (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') ++line.next;
    }
    return line;
}

// The name of a header line "[AA][name]", or false when the line is none. In code
// page 932 the closing ']' must be a character of its own, not the second byte of
// one (as in "ゾ", 0x83 0x5D).
bool HeaderName(std::string_view line, TextEncoding encoding, std::size_t& nameBegin, std::size_t& nameLength) {
    if (line.substr(0, kHeaderStart.size()) != kHeaderStart || line.size() <= kHeaderStart.size()) return false;
    std::size_t last = line.size() - 1;  // where the last character starts
    if (encoding == TextEncoding::cp932) {
        for (std::size_t i = kHeaderStart.size(); i < line.size();) {
            last = i;
            i += IsLeadByte(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
        }
    }
    if (line[last] != ']' || last != line.size() - 1) return false;
    nameBegin = kHeaderStart.size();
    nameLength = last - kHeaderStart.size();
    return true;
}

// Nothing to see: spaces, ideographic spaces, tabs and line breaks only.
bool IsBlank(std::string_view text, TextEncoding encoding) {
    const std::string_view wide = encoding == TextEncoding::utf8 ? "\xE3\x80\x80" : "\x81\x40";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (text.substr(i, wide.size()) == wide) {
            i += wide.size();
        } else {
            return false;
        }
    }
    return true;
}

// Gathers the lines of one piece and hands finished pieces to the collection.
class PieceBuilder {
public:
    explicit PieceBuilder(Collection& collection) : c_(collection) {}

    void Start(std::size_t at, std::size_t nameOffset, std::size_t nameLength) {
        piece_ = Piece{at, 0, nameOffset, nameLength};
        hasLines_ = false;
    }
    void AddLine(const Line& line) {
        if (!hasLines_) piece_.textOffset = line.begin;
        piece_.textLength = line.end - piece_.textOffset;
        hasLines_ = true;
    }
    // `counted`: a blank piece is one that was left out (not the nothing after a
    // trailing separator or before the first header).
    void Finish(bool counted) {
        const std::string_view text = c_.Text(piece_);
        if (!hasLines_ || IsBlank(text, c_.encoding)) {
            if (counted) ++c_.emptyPieces;
            return;
        }
        c_.pieces.push_back(piece_);
    }

private:
    Collection& c_;
    Piece piece_;
    bool hasLines_ = false;
};

// Bytes of the collection as UTF-8: what the code page cannot decode becomes U+FFFD,
// and so do bytes that are not UTF-8 in a UTF-8 file.
std::string DecodedAsUtf8(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::cp932) return cp932::ToUtf8(bytes);
    if (cp932::IsValidUtf8(bytes)) return std::string(bytes);
    return cp932::Utf16ToUtf8(cp932::Utf8ToUtf16(bytes));
}

// The bytes from `at` of at least `step` bytes (or to the end) that end where a
// character ends: the next starts there in either encoding.
std::size_t CharacterEnd(std::string_view bytes, std::size_t at, std::size_t step, TextEncoding encoding) {
    std::size_t end = std::min(bytes.size(), at + step);
    if (encoding == TextEncoding::cp932) {
        // Whether the byte before `end` is a lead byte is told from the start of the run
        // of lead bytes before it.
        std::size_t run = end;
        while (run > at && IsLeadByte(static_cast<unsigned char>(bytes[run - 1]))) --run;
        if ((end - run) % 2 == 1 && end < bytes.size()) ++end;
    } else {
        while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) ++end;
    }
    return end;
}

// Decodes `bytes` as DecodedAsUtf8 does, a piece at a time.
void DecodeInPieces(std::string_view bytes, TextEncoding encoding, bool lineBreaksAsLf,
                    const std::function<void(std::string_view)>& take) {
    constexpr std::size_t kStep = 64 << 10;
    std::string lines;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = CharacterEnd(bytes, at, kStep, encoding);
        // A CR LF stays in one piece.
        if (end < bytes.size() && bytes[end - 1] == '\r' && bytes[end] == '\n') ++end;
        const std::string utf8 = DecodedAsUtf8(bytes.substr(at, end - at), encoding);
        at = end;
        std::size_t cr = lineBreaksAsLf ? utf8.find('\r') : std::string::npos;
        if (cr == std::string::npos) {
            take(utf8);
            continue;
        }
        // CR LF and a CR alone: LF.
        lines.assign(utf8, 0, cr);
        for (std::size_t from = cr + 1;; from = cr + 1) {
            if (from == utf8.size() || utf8[from] != '\n') lines += '\n';
            cr = utf8.find('\r', from);
            lines.append(utf8, from, cr == std::string::npos ? std::string::npos : cr - from);
            if (cr == std::string::npos) break;
        }
        take(lines);
    }
}

}  // namespace

CollectionKind KindOfCollection(std::string_view path, std::string_view bytes) {
    if (EndsWithNoCase(path, ".ast")) return CollectionKind::ast;
    if (EndsWithNoCase(path, ".mlt")) return CollectionKind::mlt;
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    return bytes.substr(0, kHeaderStart.size()) == kHeaderStart ? CollectionKind::ast : CollectionKind::mlt;
}

std::string Collection::Name(const Piece& piece) const { return DecodedAsUtf8(NameBytes(piece), encoding); }

std::string Collection::ShortName(const Piece& piece) const {
    // Enough bytes for one character more than is shown: at most 4 bytes make one.
    const std::string_view name = NameBytes(piece);
    const std::string decoded =
        DecodedAsUtf8(name.substr(0, CharacterEnd(name, 0, 4 * kLabelCharacters + 8, encoding)), encoding);
    std::size_t at = 0;
    for (std::size_t characters = 0; at < decoded.size(); ++at) {
        if ((static_cast<unsigned char>(decoded[at]) & 0xC0) == 0x80) continue;
        if (characters++ == kLabelCharacters) break;
    }
    if (at == decoded.size()) return decoded;
    return decoded.substr(0, at) + "\u2026";
}

std::string Collection::TextUtf8(const Piece& piece) const {
    std::string text;
    TextUtf8InPieces(piece, [&](std::string_view part) { text += part; });
    return text;
}

void Collection::NameUtf8InPieces(const Piece& piece, const std::function<void(std::string_view)>& take) const {
    DecodeInPieces(NameBytes(piece), encoding, false, take);
}

void Collection::TextUtf8InPieces(const Piece& piece, const std::function<void(std::string_view)>& take) const {
    DecodeInPieces(Text(piece), encoding, true, take);
}

std::string Collection::RendererInput(const Piece& piece) const {
    const std::string_view text = Text(piece);
    std::string drawn;
    int lines = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Line line = LineAt(text, at);
        // The line up to its most bytes (NUL bytes, which draw nothing, not counted).
        std::size_t end = line.begin;
        for (std::size_t counted = 0; end < line.end && counted < kMaxDrawnLineBytes; ++end) counted += text[end] != '\0';
        end = std::min(line.end, CharacterEnd(text, line.begin, end - line.begin, encoding));
        drawn.append(text.substr(line.begin, end - line.begin));
        drawn.append(text.substr(line.end, line.next - line.end));
        at = line.next;
        if (++lines == render::kMaxLines && line.next > line.end) {
            // What follows the last line that shows: only whether anything would show.
            if (text.find_first_not_of(std::string_view("\t\r\n\0", 4), at) != std::string_view::npos) drawn += '.';
            break;
        }
    }
    return PrepareTextFile(std::move(drawn), encoding, TextForm::plain);
}

Collection ReadCollection(std::string bytes, CollectionKind kind) {
    return ReadCollection(platform::fs::FileBytes(std::move(bytes)), kind);
}

Collection ReadCollection(platform::fs::FileBytes bytes, CollectionKind kind) {
    Collection c;
    c.kind = kind;
    c.file = std::move(bytes);
    const std::string_view all = c.bytes();
    std::size_t pos = 0;
    if (all.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        c.encoding = TextEncoding::utf8;
        pos = kUtf8Bom.size();
    } else {
        const bool beyondAscii =
            std::any_of(all.begin(), all.end(), [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; });
        c.encoding = beyondAscii && cp932::IsValidUtf8(all) ? TextEncoding::utf8 : TextEncoding::cp932;
    }

    PieceBuilder builder(c);
    builder.Start(pos, 0, 0);  // an .mlt file's first piece, an .ast file's lines before its first header
    bool beforeHeader = true;
    bool afterSeparator = false;
    const bool anyLine = pos < all.size();
    while (pos < all.size()) {
        const Line line = LineAt(all, pos);
        const std::string_view text = all.substr(line.begin, line.end - line.begin);
        std::size_t nameBegin = 0, nameLength = 0;
        if (kind == CollectionKind::mlt && text == kSplitLine) {
            builder.Finish(true);
            builder.Start(line.next, 0, 0);
            afterSeparator = true;
        } else if (kind == CollectionKind::ast && HeaderName(text, c.encoding, nameBegin, nameLength)) {
            builder.Finish(!beforeHeader);
            builder.Start(line.next, line.begin + nameBegin, nameLength);
            beforeHeader = false;
        } else {
            builder.AddLine(line);
        }
        pos = line.next;
    }
    // The nothing after a trailing "[SPLIT]", before an .ast file's first header and
    // in a file without a line is not a piece; an .ast piece with a header is one.
    builder.Finish(kind == CollectionKind::ast ? !beforeHeader : !afterSeparator && anyLine);
    return c;
}

}  // namespace quarvel::engine
