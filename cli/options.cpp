#include <charconv>
#include <cstdio>

#include "cli/commands.h"
#include "platform/fonts.h"

namespace quarvel::cli {

std::optional<COLORREF> ParseColorOption(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return MakeColorRef(static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value));
}

std::optional<int> ParseIntOption(std::string_view text, int lo, int hi) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "quarvel-cli: %s (see quarvel-cli --help)\n", message.c_str());
    return kExitUsage;
}

bool ApplyFontOption(const std::string& path) {
    std::string error;
    if (GlyphCache::SetMainFontFile(path, error)) return true;
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return false;
}

}  // namespace quarvel::cli
