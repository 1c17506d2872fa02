// quarvel-cli render: one piece of text art to one picture.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "engine/picture_file.h"
#include "render/renderer.h"
#include "render/text_prep.h"

namespace quarvel::cli {
namespace {

struct RenderOptions {
    std::string input = "-";
    std::string output;
    LookOptions look;
    bool html = false;
    TextEncoding encoding = TextEncoding::automatic;
};

// Parses the arguments; returns an empty string or the usage complaint.
std::string ParseRenderArgs(const std::vector<std::string>& args, RenderOptions& o) {
    bool have_input = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        std::string problem;
        if (ParseLookOption(args, i, o.look, problem)) {
            if (!problem.empty()) return problem;
        } else if (a == "-o" || a == "--output") {
            auto v = value();
            if (!v) return "option " + a + " needs a file name";
            o.output = *v;
        } else if (a == "--html") {
            o.html = true;
        } else if (a == "--encoding") {
            auto v = value();
            if (v && *v == "auto")
                o.encoding = TextEncoding::automatic;
            else if (v && (*v == "utf-8" || *v == "utf8"))
                o.encoding = TextEncoding::utf8;
            else if (v && (*v == "cp932" || *v == "sjis" || *v == "shift-jis"))
                o.encoding = TextEncoding::cp932;
            else
                return "option --encoding takes auto, utf-8 or cp932";
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option '" + a + "'";
        } else {
            if (have_input) return "only one text file can be drawn at a time";
            o.input = a;
            have_input = true;
        }
    }
    if (o.output.empty()) return "the picture's file name is missing (-o OUT.png)";
    return {};
}

// The most text `render` reads: far more than 50 lines of 1024 pixels can show, and
// little enough that neither a wrong file nor an endless stream fills the memory.
constexpr std::size_t kMaxTextBytes = 16u << 20;

enum class ReadResult { ok, failed, tooLarge };

// Reads the file (or standard input for "-") up to kMaxTextBytes; `failed` leaves
// errno set.
ReadResult ReadInput(const std::string& path, std::string& bytes) {
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) return ReadResult::failed;
    char buffer[65536];
    std::size_t n;
    while (bytes.size() <= kMaxTextBytes && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
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

}  // namespace

int RunRender(const std::vector<std::string>& args) {
    RenderOptions o;
    if (std::string problem = ParseRenderArgs(args, o); !problem.empty()) return UsageError(problem);
    if (!OpenMainFace(o.look)) return kExitFailed;

    std::string bytes;
    const std::string inputName = o.input == "-" ? "(standard input)" : o.input;
    switch (ReadInput(o.input, bytes)) {
    case ReadResult::ok: break;
    case ReadResult::failed:
        std::fprintf(stderr, "%s: %s\n", inputName.c_str(), std::strerror(errno));
        return kExitFailed;
    case ReadResult::tooLarge:
        std::fprintf(stderr, "%s: more than %zu MB of text, more than can be drawn\n", inputName.c_str(),
                     kMaxTextBytes >> 20);
        return kExitFailed;
    }
    const std::string text = PrepareTextFile(std::move(bytes), o.encoding, o.html ? TextForm::html : TextForm::plain);
    Appearance look;
    o.look.ApplyTo(look);
    PngForm form = PngForm::rgb;
    o.look.ApplyTo(form);
    const Picture picture = RenderPicture(text.c_str(), look);

    // Written whole or not at all; a device or a pipe named by -o is written as it is.
    std::signal(SIGXFSZ, SIG_IGN);
    // While its input file is there the picture can be drawn again: no flush to wait for.
    const fs::WriteStatus written = SavePicture(fs::RealFileSystem(), o.output, picture, form,
                                                o.input == "-" ? fs::Flush::first : fs::Flush::never);
    if (written.result != fs::WriteResult::ok) {
        std::fprintf(stderr, "%s: %s\n", o.output.c_str(),
                     written.error ? std::strerror(written.error) : "the picture could not be written");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quarvel::cli
