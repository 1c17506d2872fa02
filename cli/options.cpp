#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "engine/messages.h"
#include "platform/codec.h"
#include "platform/fonts.h"
#include "platform/fs.h"
#include "platform/language.h"
#include "render/text_art.h"
#include "render/text_prep.h"

namespace quarvel::cli {

using engine::EscapeControls;
using engine::MessageText;
using engine::OneLine;

using render::RenderReport;
using render::ReportWarnings;

using platform::GlyphCache;
namespace fs = platform::fs;
using platform::Fill;

std::string UsageText(const std::string& message, std::string_view command) {
    const std::string help = command.empty() ? "quarvel-cli --help" : "quarvel-cli help " + std::string(command);
    return "quarvel-cli: " + Fill(_("{1} (see {2})"), {message, help}) + "\n";
}

int UsageError(const std::string& message, std::string_view command) {
    std::fputs(UsageText(EscapeControls(message), command).c_str(), stderr);
    return kExitUsage;
}

void PrintProblem(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "quarvel-cli: %s: %s\n", EscapeControls(path).c_str(), message.c_str());
}

void PrintNotes(const std::string& path, const RenderReport& notes, std::string_view codeHint) {
    for (const std::string& warning : ReportWarnings(notes, codeHint)) PrintProblem(path, Warning(warning));
}

void PrintFailure(const Failure& failure) {
    std::fprintf(stderr, "quarvel-cli: %s\n", OneLine(MessageText(failure)).c_str());
}

void PrintWarning(const Failure& warning) {
    Failure reason = warning;
    reason.path.clear();
    PrintProblem(warning.path, Warning(OneLine(MessageText(reason))));
}

bool RefuseBinary(const std::string& path, std::string_view bytes) {
    const std::optional<std::string> reason = render::NotTextReason(bytes);
    if (reason) PrintProblem(ShownName(path), *reason);
    return !reason;
}

std::string ShownName(const std::string& path) { return path == "-" ? _("(standard input)") : path; }

std::string Warning(std::string_view text) { return Fill(_("warning: {1}"), {text}); }

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

Result<std::string> ReadUserFile(const std::string& path, std::size_t limit, const std::string& tooLargeReason) {
    Result<fs::FileBytes> bytes = ReadUserBytes(path, limit, tooLargeReason);
    if (!bytes) return bytes.failure();
    return std::string(bytes->view());
}

Result<fs::FileBytes> ReadUserBytes(const std::string& path, std::size_t limit, const std::string& tooLargeReason) {
    const std::string name = ShownName(path);
    const Failure tooLarge{Failure::What::tooLarge, name, 0, tooLargeReason};
    struct stat st;
    if (path != "-" && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > limit) return tooLarge;
        // A regular file is read as the documents are: again if it changed meanwhile.
        fs::FileBytes file;
        if (Result<fs::FileInfo> read = fs::RealFileSystem().ReadFileBytes(path, file); !read) return read.failure();
        if (file.view().size() > limit) return tooLarge;  // it grew meanwhile
        return file;
    }
    // Standard input, a pipe, a terminal: read until the end, or one byte past the limit.
    const std::unique_ptr<std::FILE, FileCloser> opened(path == "-" ? nullptr : std::fopen(path.c_str(), "rb"));
    std::FILE* in = path == "-" ? stdin : opened.get();
    if (!in) return Failure{Failure::What::notOpened, name, errno};
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    // A short read is the end (or a failure): on a terminal another read would wait for
    // a second Ctrl+D.
    while (bytes.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    const int error = std::ferror(in) ? errno : 0;
    if (bytes.size() > limit) return tooLarge;
    if (error) return Failure{Failure::What::notOpened, name, error};
    return fs::FileBytes(std::move(bytes));
}

Result<void> WriteStandardOutput(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Failure{Failure::What::notWritten, "(standard output)", n < 0 ? errno : 0};
        done += static_cast<std::size_t>(n);
    }
    return {};
}

Result<void> ApplyFontOption(const std::string& path) {
    if (path.empty()) return {};
    return GlyphCache::SetMainFontFile(path);
}

Result<void> OpenFaces(const std::string& font) {
    if (Result<void> applied = ApplyFontOption(font); !applied) return applied;
    // The main face is opened before the input is read: with little memory to spare, a
    // large input must not leave it unopened (its characters would come out blank). The
    // fallback faces open when a character needs them, and report running out of memory.
    GlyphCache::Instance();
    return {};
}

}  // namespace quarvel::cli
