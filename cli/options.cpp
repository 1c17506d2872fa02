#include <charconv>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/fonts.h"

namespace quarvel::cli {

std::optional<Color> ParseColorOption(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return Color{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value)};
}

std::optional<int> ParseIntOption(std::string_view text, int lo, int hi) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

int UsageError(const std::string& message, std::string_view command) {
    const std::string help = command.empty() ? "quarvel-cli --help" : "quarvel-cli help " + std::string(command);
    std::fprintf(stderr, "quarvel-cli: %s (see %s)\n", message.c_str(), help.c_str());
    return kExitUsage;
}

void PrintProblem(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "quarvel-cli: %s: %s\n", path.c_str(), message.c_str());
}

void PrintNotes(const std::string& path, const RenderReport& notes, std::string_view codeHint) {
    auto warn = [&](const std::string& text) { PrintProblem(path, "warning: " + text); };
    if (notes.linesCut)
        warn("the art has more than " + std::to_string(kMaxLines) + " lines; only the first " +
             std::to_string(kMaxLines) + " are drawn (split it into pieces)");
    if (notes.widthCut)
        warn("the art is wider than " + std::to_string(kMaxTextWidth) +
             " pixels; what lies beyond is not drawn (shorten its longest lines)");
    if (notes.undecodable > 0)
        warn(std::to_string(notes.undecodable) + (notes.undecodable == 1 ? " character" : " characters") +
             " could not be decoded and " + (notes.undecodable == 1 ? "is" : "are") + " drawn blank (check " +
             std::string(codeHint) + ")");
    if (!notes.faceless.empty()) {
        // The first few code points say enough; a piece may hold hundreds.
        constexpr std::size_t kShown = 8;
        std::string codes;
        for (std::size_t i = 0; i < notes.faceless.size() && i < kShown; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "%sU+%04X", i ? " " : "", static_cast<unsigned>(notes.faceless[i]));
            codes += code;
        }
        if (notes.faceless.size() > kShown) codes += " and " + std::to_string(notes.faceless.size() - kShown) + " more";
        warn("no installed font has " + codes + ", drawn blank (install a font that has " +
             (notes.faceless.size() == 1 ? "it" : "them") + ")");
    }
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
