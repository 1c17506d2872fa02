#include "render/look_options.h"

#include <algorithm>
#include <charconv>

#include "render/appearance.h"

namespace quarvel::render::look_options {

using platform::Color;

std::optional<Color> ParseColor(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return Color{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value)};
}

std::optional<int> ParseWholeNumber(std::string_view text, int lo, int hi) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

std::optional<int> ParseMargin(std::string_view text) { return ParseWholeNumber(text, 0, kMaxMargin); }

std::optional<int> ParseScale(std::string_view text) { return ParseWholeNumber(text, 1, kMaxScale); }

bool IsNoBack(std::string_view text) {
    return text.size() == kNoBack.size() && std::equal(text.begin(), text.end(), kNoBack.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

std::string ScaleNeeds() { return "needs a number from 1 to " + std::to_string(kMaxScale); }

std::string MarginNeeds() { return "needs a number from 0 to " + std::to_string(kMaxMargin); }

}  // namespace quarvel::render::look_options
