#include "render/art_lines.h"

#include <cctype>
#include <optional>

#include "platform/codec.h"
#include "render/references.h"
#include "render/renderer.h"

namespace quarvel::render {

using platform::IsLeadByte;
namespace cp932 = platform::cp932;

namespace {

bool IsLineBreakTagAt(std::string_view text, std::size_t i) {
    return i + 3 < text.size() && (text[i + 1] == 'b' || text[i + 1] == 'B') &&
           (text[i + 2] == 'r' || text[i + 2] == 'R') && text[i + 3] == '>';
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// How many bytes a lead byte of code page 932 at text[i] takes with it in a stretch: its
// second byte, and where line ends break lines, the whole line end that follows it (its
// "<br>" loses the '<' to the lead byte and breaks nothing).
std::size_t LeadByteReach(std::string_view text, std::size_t i, const WrittenForm& form) {
    if (i + 1 >= text.size()) return 1;
    if (form.lineBreaks && IsLineEnd(text[i + 1])) return text.substr(i + 1, 2) == "\r\n" ? 3 : 2;
    return 2;
}

// Just past the tag that starts at text[i] ('<'), or the end of the text when it is not
// closed. In code page 932 a lead byte takes the byte after it. Where line ends break
// lines, each is a "<br>" written in its place (LineEndsAsBreaks): its '>' ends the tag.
std::size_t TagEnd(std::string_view text, std::size_t i, const WrittenForm& form) {
    for (++i; i < text.size(); ++i) {
        if (text[i] == '>') return i + 1;
        if (form.lineBreaks && (text[i] == '\r' || text[i] == '\n'))
            return i + (text.substr(i, 2) == "\r\n" ? 2 : 1);
        if (form.encoding == TextEncoding::cp932 && IsLeadByte(static_cast<unsigned char>(text[i]))) {
            const std::size_t reach = LeadByteReach(text, i, form);
            // The '>' of the line end's "<br>" ends the tag.
            if (form.lineBreaks && i + 1 < text.size() && IsLineEnd(text[i + 1])) return i + reach;
            i += reach - 1;
        }
    }
    return text.size();
}

}  // namespace

TextEncoding ResolveEncoding(std::string_view bytes, TextEncoding asked) {
    if (asked != TextEncoding::automatic) return asked;
    return cp932::IsValidUtf8(bytes) ? TextEncoding::utf8 : TextEncoding::cp932;
}

std::vector<WrittenLine> SplitWrittenLines(std::string_view text, const WrittenForm& form) {
    std::vector<WrittenLine> lines;
    std::size_t begin = 0;
    const bool cp932 = form.encoding == TextEncoding::cp932;
    // The text starts after a UTF-8 byte-order mark, which is no character.
    const std::size_t start = !cp932 && text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        std::size_t breakLength = 0;
        if (c == '\r') breakLength = i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        if (c == '\n') breakLength = 1;
        if (form.form == TextForm::html && breakLength > 0 &&
            (!form.lineBreaks || i == start || i + breakLength == text.size())) {
            i += breakLength;  // passed over, as the renderer passes over it
            continue;
        }
        if (form.form == TextForm::html && c == '<') {
            if (!IsLineBreakTagAt(text, i)) {
                i = TagEnd(text, i, form);
                continue;
            }
            breakLength = 4;
        }
        if (breakLength > 0) {
            lines.push_back({begin, i, i + breakLength});
            i += breakLength;
            begin = i;
            continue;
        }
        // As the renderer reads a stretch, a lead byte takes the byte after it whatever
        // that byte is. (In plain text a line break never follows a lead byte in a
        // character: CR and LF are no second bytes.)
        i += cp932 && form.form == TextForm::html && IsLeadByte(static_cast<unsigned char>(c)) ? LeadByteReach(text, i, form)
                                                                                                : 1;
    }
    const std::string_view last = text.substr(std::min(begin, text.size()));
    if (DrawsAnything(last, form)) lines.push_back({begin, text.size(), text.size()});
    return lines;
}

namespace {

// `whole`: the line up to its end, where a line end may end the stretch.
LineMeasure Measure(std::string_view line, const WrittenForm& form, bool whole = true) {
    std::string input = PrepareTextFile(std::string(line), form.encoding, form.form);
    if (form.form == TextForm::html && form.lineBreaks) {
        // A line end that ends a part of a line is no end of the stretch: a character
        // after it keeps it from being taken for one, and goes again.
        if (!whole) input += 'x';
        input = LineEndsAsBreaks(input);
        if (!whole) input.pop_back();
    }
    return MeasureFirstLine(input.c_str(), form.collapseSpaces);
}

}  // namespace

int MeasureWritten(std::string_view line, const WrittenForm& form) { return Measure(line, form).width; }

int MeasureBefore(std::string_view line, std::size_t end, const WrittenForm& form) {
    end = std::min(end, line.size());
    return Measure(line.substr(0, end), form, end == line.size()).width;
}

bool DrawsAnything(std::string_view line, const WrittenForm& form) { return Measure(line, form).drawn; }

WrittenChar WrittenCharAt(std::string_view line, std::size_t at, const WrittenForm& form) {
    WrittenChar c{at, at + 1, static_cast<unsigned char>(line[at]), WrittenChar::Kind::character};
    const char b = line[at];
    char32_t code = 0;
    if (b == '<' && form.form == TextForm::html) {
        c.end = TagEnd(line, at, form);
        c.kind = WrittenChar::Kind::tag;
        return c;
    }
    if (b == '&') {
        // A reference is read from NUL-terminated text, and no further than the letters,
        // digits and '#' after the '&' and the character that ends them.
        std::size_t end = at + 1;
        while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '#')) ++end;
        const std::string reference(line.substr(at, end + 1 - at));
        if (const std::size_t length = DecodeReference(reference.c_str(), code); length > 0) {
            c.end = at + length;
            c.code = code;
            c.kind = WrittenChar::Kind::reference;
            return c;
        }
    }
    if (b == '\t' || b == '\r' || b == '\n' || b == '\0') {
        c.kind = WrittenChar::Kind::passedOver;
    } else if (form.encoding == TextEncoding::cp932) {
        const cp932::Decoded d = cp932::DecodeOne(line.substr(at));
        c.end = at + d.length;
        c.code = d.valid ? d.code : 0xFFFD;
    } else {
        const std::size_t n = cp932::DecodeUtf8(line, at, code);
        c.end = at + (n == 0 ? 1 : n);
        c.code = n == 0 ? 0xFFFD : code;
    }
    return c;
}

bool DrawnInRun(const WrittenChar& c, const WrittenForm& form) {
    if (!c.IsDrawn() || c.code == 0) return false;
    // Bytes of a code page 932 text join the run as they are; a UTF-8 character the
    // code page holds becomes its bytes, any other its reference.
    if (c.kind == WrittenChar::Kind::character &&
        (form.encoding == TextEncoding::cp932 || cp932::EncodeOne(c.code).has_value()))
        return true;
    // A reference joins the run as the bytes it stands for when they are at most two.
    char encoded[16];
    return EncodeChar(c.code, encoded) <= 2;
}

int XAt(std::string_view line, std::size_t offset, const WrittenForm& form) {
    offset = std::min(offset, line.size());
    ForEachWrittenChar(line, form, [&](const WrittenChar& c) {
        if (c.end <= offset) return true;
        offset = c.begin;
        return false;
    });
    return MeasureBefore(line, offset, form);
}

}  // namespace quarvel::render
