#pragma once
// A colour of a picture: red, green and blue, eight bits each.

#include <cstdint>

namespace quarvel::platform {

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend constexpr bool operator==(Color, Color) = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};

}  // namespace quarvel::platform
