// quarvel-cli render: one piece of text art to one picture.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "platform/codec.h"
#include "render/png_writer.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "engine/picture_file.h"

namespace quarvel::cli {
namespace {

enum class Encoding { automatic, utf8, cp932 };

struct RenderOptions {
    std::string input = "-";
    std::string output;
    LookOptions look;
    bool html = false;
    Encoding encoding = Encoding::automatic;
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
            if (v && *v == "auto") o.encoding = Encoding::automatic;
            else if (v && (*v == "utf-8" || *v == "utf8")) o.encoding = Encoding::utf8;
            else if (v && (*v == "cp932" || *v == "sjis" || *v == "shift-jis")) o.encoding = Encoding::cp932;
            else return "option --encoding takes auto, utf-8 or cp932";
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

// Reads the whole file (or standard input for "-"); false with errno set on failure.
bool ReadInput(const std::string& path, std::string& bytes) {
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(in);
    const int saved_errno = errno;
    if (in != stdin) std::fclose(in);
    errno = saved_errno;
    return ok;
}

// The renderer's input for the file's bytes.
std::string PrepareInput(std::string bytes, const RenderOptions& o) {
    bool utf8 = o.encoding == Encoding::utf8 ||
                (o.encoding == Encoding::automatic && cp932::IsValidUtf8(bytes));
    if (utf8) {
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
        bytes = Utf8ToCp932WithReferences(bytes);
    }
    return o.html ? bytes : PreparePlainText(bytes);
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
    RenderOptions o;
    if (std::string problem = ParseRenderArgs(args, o); !problem.empty()) return UsageError(problem);
    if (!o.look.font.empty() && !ApplyFontOption(o.look.font)) return kExitFailed;

    std::string bytes;
    if (!ReadInput(o.input, bytes)) {
        std::fprintf(stderr, "%s: %s\n", o.input == "-" ? "(standard input)" : o.input.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    const std::string text = PrepareInput(std::move(bytes), o);
    Appearance look;
    o.look.ApplyTo(look);
    const Picture picture = RenderPicture(text.c_str(), look);

    // Written whole or not at all; a device or a pipe named by -o is written as it is.
    std::signal(SIGXFSZ, SIG_IGN);
    const fs::WriteStatus written = SavePicture(fs::RealFileSystem(), o.output, picture);
    if (written.result != fs::WriteResult::ok) {
        std::fprintf(stderr, "%s: %s\n", o.output.c_str(),
                     written.error ? std::strerror(written.error) : "the picture could not be written");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quarvel::cli
