#pragma once
// A 24-bit picture held in true RGB order, rows top-down, no padding.

#include <cstdint>
#include <vector>

namespace quarvel {

// A Windows-style colour value: 0x00BBGGRR, red in the low byte.
using COLORREF = std::uint32_t;

constexpr std::uint8_t RedOf(COLORREF c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GreenOf(COLORREF c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t BlueOf(COLORREF c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }
constexpr COLORREF MakeColorRef(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3 bytes

    Picture() = default;
    Picture(int w, int h, COLORREF fill);

    std::uint8_t* row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    const std::uint8_t* row(int y) const { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    COLORREF pixel(int x, int y) const {
        const std::uint8_t* p = row(y) + x * 3;
        return MakeColorRef(p[0], p[1], p[2]);
    }
    // Fills the rectangle [x0, x1) x [y0, y1), clipped to the picture.
    void fill(int x0, int y0, int x1, int y1, COLORREF c);
};

}  // namespace quarvel
