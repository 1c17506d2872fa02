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

bool ParseLookOption(const std::vector<std::string>& args, std::size_t& i, LookOptions& o, std::string& problem) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--fore" || a == "--back") {
        const std::string* v = value();
        auto colour = v ? ParseColorOption(*v) : std::nullopt;
        if (!colour)
            problem = "option " + a + " needs a colour as RRGGBB";
        else
            (a == "--fore" ? o.textColor : o.backColor) = *colour;
    } else if (a == "--margin") {
        const std::string* v = value();
        o.margin = v ? ParseIntOption(*v, 0, kMaxMargin) : std::nullopt;
        if (!o.margin) problem = "option --margin needs a number from 0 to " + std::to_string(kMaxMargin);
    } else if (a == "--no-space-sim") {
        o.noSpace = true;
    } else if (a == "--indexed") {
        o.indexed = true;
    } else if (a == "--font") {
        const std::string* v = value();
        if (!v)
            problem = "option --font needs a font file";
        else
            o.font = *v;
    } else {
        return false;
    }
    return true;
}

bool ParseJobsOption(const std::vector<std::string>& args, std::size_t& i, std::optional<int>& jobs,
                     std::string& problem) {
    const std::string& a = args[i];
    if (a != "--jobs" && a != "-j") return false;
    jobs = i + 1 < args.size() ? ParseIntOption(args[++i], 1, kMaxJobs) : std::nullopt;
    if (!jobs) problem = "option " + a + " needs a number from 1 to " + std::to_string(kMaxJobs);
    return true;
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

bool OpenMainFace(const LookOptions& look) {
    if (!look.font.empty() && !ApplyFontOption(look.font)) return false;
    GlyphCache::Instance();
    return true;
}

}  // namespace quarvel::cli
