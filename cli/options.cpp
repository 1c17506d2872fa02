#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "engine/messages.h"
#include "platform/codec.h"
#include "platform/fonts.h"
#include "render/text_art.h"

namespace quarvel::cli {

int UsageError(const std::string& message, std::string_view command) {
    const std::string help = command.empty() ? "quarvel-cli --help" : "quarvel-cli help " + std::string(command);
    std::fprintf(stderr, "quarvel-cli: %s (see %s)\n", message.c_str(), help.c_str());
    return kExitUsage;
}

void PrintProblem(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "quarvel-cli: %s: %s\n", path.c_str(), message.c_str());
}

void PrintNotes(const std::string& path, const RenderReport& notes, std::string_view codeHint) {
    for (const std::string& warning : ReportWarnings(notes, codeHint)) PrintProblem(path, "warning: " + warning);
}

std::string OneLine(const std::string& utf8) {
    std::string line = utf8;
    for (std::size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at)) line.replace(at, 1, ": ");
    return line;
}

void PrintFailure(const Failure& failure) {
    std::fprintf(stderr, "quarvel-cli: %s\n", OneLine(cp932::ToUtf8(MessageText(failure))).c_str());
}

bool ApplyFontOption(const std::string& path) {
    Result<void> set = GlyphCache::SetMainFontFile(path);
    if (!set) PrintFailure(set.failure());
    return set.ok();
}

bool OpenFaces(const std::string& font) {
    if (!font.empty() && !ApplyFontOption(font)) return false;
    // The main face is opened before the input is read: with little memory to spare, a
    // large input must not leave it unopened (its characters would come out blank). The
    // fallback faces open when a character needs them, and report running out of memory.
    GlyphCache::Instance();
    return true;
}

}  // namespace quarvel::cli
