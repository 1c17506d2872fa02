#pragma once
// A 24-bit picture held in true RGB order, rows top-down, no padding.

#include <cstdint>
#include <vector>

#include "platform/color.h"

namespace quarvel::platform {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3 bytes

    Picture() = default;
    Picture(int w, int h, Color fill);

    std::uint8_t* row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    const std::uint8_t* row(int y) const { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    Color pixel(int x, int y) const {
        const std::uint8_t* p = row(y) + x * 3;
        return {p[0], p[1], p[2]};
    }
    // Fills the rectangle [x0, x1) x [y0, y1), clipped to the picture.
    void fill(int x0, int y0, int x1, int y1, Color c);
};

}  // namespace quarvel::platform
