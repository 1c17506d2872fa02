// quarvel-cli render: one piece of text art to one picture.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "engine/picture_file.h"
#include "platform/fonts.h"
#include "render/text_art.h"

namespace quarvel::cli {
namespace {

enum class ReadResult { ok, failed, tooLarge };

// Reads the file (or standard input for "-") up to kMaxTextBytes; `failed` leaves
// errno set.
ReadResult ReadInput(const std::string& path, std::string& bytes) {
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) return ReadResult::failed;
    char buffer[65536];
    std::size_t n;
    // A short read is the end (or a failure): on a terminal another read would wait
    // for a second Ctrl+D.
    while (bytes.size() <= kMaxTextBytes && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    ReadResult result = ReadResult::ok;
    if (bytes.size() > kMaxTextBytes)
        result = ReadResult::tooLarge;
    else if (std::ferror(in))
        result = ReadResult::failed;
    const int saved_errno = errno;
    if (in != stdin) std::fclose(in);
    errno = saved_errno;
    return result;
}

// The picture's PNG file down standard output, whole or with a message. A terminal is
// refused before anything is drawn (see ParseAndRun), so this is a pipe or a file.
bool WriteToStandardOutput(const Picture& picture, PngForm form) {
    const std::optional<std::string> png = EncodePng(picture, form);
    if (!png) {
        PrintProblem("(standard output)", "out of memory");
        return false;
    }
    std::size_t done = 0;
    while (done < png->size()) {
        const ssize_t n = ::write(STDOUT_FILENO, png->data() + done, png->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            PrintProblem("(standard output)", n < 0 ? std::strerror(errno) : "nothing could be written");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int RunRender(const RenderOptions& o) {
    if (!OpenFaces(o.look.font)) return kExitFailed;

    std::string bytes;
    const std::string inputName = o.input == "-" ? "(standard input)" : o.input;
    switch (ReadInput(o.input, bytes)) {
    case ReadResult::ok: break;
    case ReadResult::failed: PrintProblem(inputName, std::strerror(errno)); return kExitFailed;
    case ReadResult::tooLarge: PrintProblem(inputName, TooMuchTextMessage()); return kExitFailed;
    }
    TextArtOptions options{.encoding = o.encoding, .form = o.html ? TextForm::html : TextForm::plain, .look = {}};
    o.look.ApplyTo(options.look);
    PngForm form = PngForm::rgb;
    o.look.ApplyTo(form);
    const DrawnTextArt drawn = DrawTextFile(std::move(bytes), options);
    const Picture& picture = drawn.picture;
    for (const std::string& warning : ReportWarnings(drawn, "--encoding"))
        PrintProblem(inputName, "warning: " + warning);

    if (o.output == "-") return WriteToStandardOutput(picture, form) ? kExitOk : kExitFailed;
    // Written whole or not at all; a device or a pipe named by -o is written as it is.
    std::signal(SIGXFSZ, SIG_IGN);
    // While its input file is there the picture can be drawn again: no flush to wait for.
    const fs::WriteStatus written = SavePicture(fs::RealFileSystem(), o.output, picture, form,
                                                o.input == "-" ? fs::Flush::first : fs::Flush::never);
    if (written.result != fs::WriteResult::ok) {
        PrintProblem(o.output, written.error ? std::strerror(written.error) : "the picture could not be written");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quarvel::cli
