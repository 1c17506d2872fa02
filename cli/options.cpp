#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/fonts.h"
#include "render/text_art.h"

namespace quarvel::cli {

std::string UsageText(const std::string& message, std::string_view command) {
    const std::string help = command.empty() ? "quarvel-cli --help" : "quarvel-cli help " + std::string(command);
    return "quarvel-cli: " + message + " (see " + help + ")\n";
}

int UsageError(const std::string& message, std::string_view command) {
    std::fputs(UsageText(message, command).c_str(), stderr);
    return kExitUsage;
}

void PrintProblem(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "quarvel-cli: %s: %s\n", path.c_str(), message.c_str());
}

void PrintNotes(const std::string& path, const RenderReport& notes, std::string_view codeHint) {
    for (const std::string& warning : ReportWarnings(notes, codeHint)) PrintProblem(path, "warning: " + warning);
}

bool ApplyFontOption(const std::string& path) {
    std::string error;
    if (GlyphCache::SetMainFontFile(path, error)) return true;
    PrintProblem(path, error);
    return false;
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
