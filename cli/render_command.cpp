// quarvel-cli render: one piece of text art to one picture.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "platform/fonts.h"
#include "render/png_writer.h"
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
            if (v && *v == "auto") o.encoding = TextEncoding::automatic;
            else if (v && (*v == "utf-8" || *v == "utf8")) o.encoding = TextEncoding::utf8;
            else if (v && (*v == "cp932" || *v == "sjis" || *v == "shift-jis")) o.encoding = TextEncoding::cp932;
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
    while (bytes.size() <= kMaxTextBytes && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.append(buffer, n);
    ReadResult result = ReadResult::ok;
    if (bytes.size() > kMaxTextBytes) result = ReadResult::tooLarge;
    else if (std::ferror(in)) result = ReadResult::failed;
    const int saved_errno = errno;
    if (in != stdin) std::fclose(in);
    errno = saved_errno;
    return result;
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
    RenderOptions o;
    if (std::string problem = ParseRenderArgs(args, o); !problem.empty()) return UsageError(problem);
    if (!o.look.font.empty() && !ApplyFontOption(o.look.font)) return kExitFailed;
    // The faces are opened before the text is read: with little memory to spare, a
    // large text must not leave them unopened (FreeType reports that as a face it
    // cannot read, and its characters would come out blank).
    GlyphCache::Instance();

    std::string bytes;
    const std::string inputName = o.input == "-" ? "(standard input)" : o.input;
    switch (ReadInput(o.input, bytes)) {
    case ReadResult::ok:
        break;
    case ReadResult::failed:
        std::fprintf(stderr, "%s: %s\n", inputName.c_str(), std::strerror(errno));
        return kExitFailed;
    case ReadResult::tooLarge:
        std::fprintf(stderr, "%s: more than %zu MB of text, more than can be drawn\n", inputName.c_str(),
                     kMaxTextBytes >> 20);
        return kExitFailed;
    }
    const std::string text =
        PrepareTextFile(std::move(bytes), o.encoding, o.html ? TextForm::html : TextForm::plain);
    Appearance look;
    o.look.ApplyTo(look);
    const Picture picture = RenderPicture(text.c_str(), look);

    std::FILE* stream = std::fopen(o.output.c_str(), "wb");
    if (!stream) {
        std::fprintf(stderr, "%s: %s\n", o.output.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    const bool written = WritePngFile(picture, stream) == 1;
    const int saved_errno = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "%s: %s\n", o.output.c_str(),
                     saved_errno ? std::strerror(saved_errno) : "the picture could not be written");
        std::error_code ec;
        std::filesystem::remove(o.output, ec);  // no half-written picture stays behind
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quarvel::cli
