// quarvel-cli render: one piece of text art to one picture.

#include <cerrno>
#include <string>

#include "cli/commands.h"
#include "engine/picture_file.h"
#include "platform/fonts.h"
#include "render/text_art.h"

namespace quarvel::cli {

using engine::SavePicture;

using render::DrawnTextArt;
using render::DrawTextFile;
using render::EncodePng;
using render::kMaxTextBytes;
using render::PngForm;
using render::PngOptions;
using render::PngOptionsFor;
using render::ReportWarnings;
using render::TextArtOptions;
using render::TextForm;
using render::TooMuchTextMessage;

using platform::Picture;
namespace fs = platform::fs;

namespace {

// The picture's PNG file down standard output, whole or with a message. A terminal is
// refused before anything is drawn (see ParseAndRun), so this is a pipe or a file.
Result<void> WriteToStandardOutput(const Picture& picture, const PngOptions& options) {
    Result<std::string> png = EncodePng(picture, options);
    if (!png) return Failure{Failure::What::notWritten, "(standard output)", ENOMEM};
    return WriteStandardOutput(*png);
}

}  // namespace

int RunRender(const RenderOptions& o) {
    if (const Result<void> opened = OpenFaces(o.look.font); !opened) {
        PrintFailure(opened.failure());
        return kExitFailed;
    }

    Result<std::string> bytes = ReadUserFile(o.input, kMaxTextBytes, TooMuchTextMessage());
    if (!bytes) {
        PrintFailure(bytes.failure());
        return kExitFailed;
    }
    if (!RefuseBinary(o.input, *bytes)) return kExitFailed;
    TextArtOptions options{.encoding = o.encoding,
                           .form = o.html ? TextForm::html : TextForm::plain,
                           .look = {},
                           .lineBreaks = o.lineBreaks};
    o.look.ApplyTo(options.look);
    PngForm form = PngForm::rgb;
    o.look.ApplyTo(form);
    const DrawnTextArt drawn = DrawTextFile(std::move(*bytes), options);
    const Picture& picture = drawn.picture;
    for (const std::string& warning : ReportWarnings(drawn, "--encoding"))
        PrintProblem(ShownName(o.input), Warning(warning));

    // Written whole or not at all; a device or a pipe named by -o is written as it is.
    // While its input file is there the picture can be drawn again: no flush to wait for.
    const PngOptions png = PngOptionsFor(options.look, form);
    const Result<void> written = o.output == "-" ? WriteToStandardOutput(picture, png)
                                                 : SavePicture(fs::RealFileSystem(), o.output, picture, png,
                                                               o.input == "-" ? fs::Flush::first : fs::Flush::never);
    if (written) return kExitOk;
    PrintFailure(written.failure());
    return kExitFailed;
}

}  // namespace quarvel::cli
