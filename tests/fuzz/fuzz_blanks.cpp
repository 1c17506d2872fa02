// Text art as written, and gaps filled with blanks, on random bytes: the first bytes
// choose the form (encoding, plain or a stretch, spaces collapsed or not, a stretch's
// line ends as line breaks or not), the pixel
// and the place of the gap; the rest, without its NUL bytes, is the text.
//
// Invariants:
// - the lines cover the text in order, each within it, its break after it;
// - a filled line is the line with [gapBegin, gapEnd) replaced by blanks only, and the
//   gap holds blanks only; what follows the gap starts where the filled line says;
// - a gap whose pixel lies at or past where it begins is filled exactly (blanks of one
//   pixel make any width), and one that begins past its pixel keeps no blank;
// - the starts of the characters are in order, the line's width the last of them.
//
// The width of what is filled is the renderer's (the render harness checks that).

#include <string>

#include "render/art_lines.h"
#include "render/blanks.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using render::FilledLine;
using render::MeasureWritten;
using render::TextEncoding;
using render::TextForm;
using render::WrittenForm;
using render::WrittenLine;

namespace {

void CheckLines(std::string_view text, const WrittenForm& form) {
    std::size_t at = 0;
    for (const WrittenLine& line : render::SplitWrittenLines(text, form)) {
        FUZZ_CHECK(line.begin == at && line.begin <= line.end && line.end <= line.next && line.next <= text.size());
        at = line.next;
    }
}

void CheckFill(std::string_view line, std::size_t offset, int target, const WrittenForm& form) {
    const FilledLine f = render::FillGap(line, offset, target, form);
    FUZZ_CHECK(f.gapBegin <= f.gapEnd && f.gapEnd <= line.size() && f.gapBegin <= f.filledEnd);
    FUZZ_CHECK(f.text.compare(0, f.gapBegin, line.substr(0, f.gapBegin)) == 0);
    FUZZ_CHECK(std::string_view(f.text).substr(f.filledEnd) == line.substr(f.gapEnd));
    for (std::string_view part : {std::string_view(f.text).substr(f.gapBegin, f.filledEnd - f.gapBegin),
                                  line.substr(f.gapBegin, f.gapEnd - f.gapBegin)}) {
        render::ForEachWrittenChar(part, form, [&](const render::WrittenChar& c) {
            FUZZ_CHECK(c.IsDrawn() && render::IsBlank(c.code));
            return true;
        });
    }
    const int from = render::MeasureBefore(line, f.gapBegin, form);
    FUZZ_CHECK(f.reached == render::MeasureBefore(f.text, f.filledEnd, form));
    if (target >= from) FUZZ_CHECK(f.Off() == 0);
    if (target < from) FUZZ_CHECK(f.filledEnd == f.gapBegin);
}

}  // namespace

}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    using namespace quarvel;
    const WrittenForm form{data[0] & 1 ? TextEncoding::cp932 : TextEncoding::utf8,
                           data[0] & 2 ? TextForm::html : TextForm::plain, (data[0] & 4) == 0, (data[0] & 8) != 0};
    const int target = (data[1] | data[2] << 8) % 1100;
    std::string bytes(reinterpret_cast<const char*>(data) + 4, size - 4);
    std::erase(bytes, '\0');  // no characters of the art: the callers leave them out
    const std::string_view text = bytes;
    CheckLines(text, form);
    for (const WrittenLine& line : render::SplitWrittenLines(text, form)) {
        const std::string_view written = text.substr(line.begin, line.end - line.begin);
        CheckFill(written, data[3] % (written.size() + 1), target, form);
        CheckFill(written, written.size(), target, form);
        int last = -1;
        for (int start : render::CharacterStarts(written, form)) {
            FUZZ_CHECK(start > last);
            last = start;
        }
        FUZZ_CHECK(last == MeasureWritten(written, form));
    }
    return 0;
}
