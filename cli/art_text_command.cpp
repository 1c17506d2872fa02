// quarvel-cli measure and pad: the width of each line of text art in pixels, and the
// lines' ends filled with blanks to a width, for scripts and other editors.

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/language.h"
#include "render/blanks.h"
#include "render/text_art.h"

namespace quarvel::cli {

using render::FilledLine;
using render::kMaxTextBytes;
using render::MeasureWritten;
using render::PadLine;
using render::ResolveEncoding;
using render::SplitWrittenLines;
using render::TextForm;
using render::TooMuchTextMessage;
using render::WrittenForm;
using render::WrittenLine;

using platform::Fill;

namespace {

// The text as `render` reads it, and how it is written; nothing when it cannot be read
// (the user has been told).
std::optional<std::string> ReadText(const ArtTextOptions& o, WrittenForm& form) {
    if (const Result<void> opened = OpenFaces(o.look.font); !opened) {
        PrintFailure(opened.failure());
        return std::nullopt;
    }
    Result<std::string> bytes = ReadUserFile(o.input, kMaxTextBytes, TooMuchTextMessage());
    if (!bytes) {
        PrintFailure(bytes.failure());
        return std::nullopt;
    }
    if (!RefuseBinary(o.input, *bytes)) return std::nullopt;
    // NUL bytes are no characters of the art (render leaves them out): neither measured
    // nor written back.
    std::erase(*bytes, '\0');
    render::Appearance look;
    o.look.ApplyTo(look);
    form = {ResolveEncoding(*bytes, o.encoding), o.html ? TextForm::html : TextForm::plain, look.collapseSpaces,
            o.lineBreaks};
    return std::move(*bytes);
}

int Written(const std::string& out) {
    if (const Result<void> written = WriteStandardOutput(out); !written) {
        PrintFailure(written.failure());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int RunMeasure(const ArtTextOptions& o) {
    WrittenForm form;
    const std::optional<std::string> text = ReadText(o, form);
    if (!text) return kExitFailed;
    std::string out;
    for (const WrittenLine& line : SplitWrittenLines(*text, form)) {
        const std::string_view bytes = std::string_view(*text).substr(line.begin, line.end - line.begin);
        out += std::to_string(MeasureWritten(bytes, form)) + '\t';
        // A stretch's line ends that break no line are left out: one line of art, one line.
        for (const char c : bytes)
            if (c != '\r' && c != '\n') out += c;
        out += '\n';
    }
    return Written(out);
}

int RunPad(const ArtTextOptions& o) {
    WrittenForm form;
    const std::optional<std::string> text = ReadText(o, form);
    if (!text) return kExitFailed;
    const int target = o.to.value_or(0);
    std::string out;
    std::size_t done = 0;
    int line = 0;
    bool allReached = true;
    for (const WrittenLine& l : SplitWrittenLines(*text, form)) {
        ++line;
        const FilledLine filled = PadLine(std::string_view(*text).substr(l.begin, l.end - l.begin), target, form);
        out += filled.text;
        out.append(*text, l.end, l.next - l.end);
        done = l.next;
        if (filled.Off() == 0) continue;
        allReached = false;
        const std::string number = std::to_string(line);
        if (filled.Off() > 0)
            PrintProblem(ShownName(o.input), Fill(_("line {1}: {2} pixels wide, {3} more than {4}"),
                                                  {number, std::to_string(filled.reached),
                                                   std::to_string(filled.Off()), std::to_string(target)}));
        else
            PrintProblem(ShownName(o.input), Fill(_("line {1}: blanks reach {2} pixels, {3} short of {4}"),
                                                  {number, std::to_string(filled.reached),
                                                   std::to_string(-filled.Off()), std::to_string(target)}));
    }
    out.append(*text, done);
    const int status = Written(out);
    return status != kExitOk ? status : allReached ? kExitOk : kExitFailed;
}

}  // namespace quarvel::cli
