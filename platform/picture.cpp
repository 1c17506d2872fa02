#include "platform/picture.h"

#include <algorithm>
#include <cstring>

namespace quarvel::platform {

Picture::Picture(int w, int h, Color fill_colour) : width(w), height(h) {
    const std::size_t bytes = static_cast<std::size_t>(w) * h * 3;
    // A grey (white and black the most common) is one byte throughout: one pass.
    if (fill_colour.red == fill_colour.green && fill_colour.green == fill_colour.blue) {
        rgb.assign(bytes, fill_colour.red);
        return;
    }
    rgb.resize(bytes);
    fill(0, 0, w, h, fill_colour);
}

void Picture::fill(int x0, int y0, int x1, int y1, Color c) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    if (x0 >= x1 || y0 >= y1) return;
    const std::uint8_t px[3] = {c.red, c.green, c.blue};
    // One row pixel by pixel, the others copied from it.
    std::uint8_t* const first = row(y0) + x0 * 3;
    std::uint8_t* p = first;
    for (int x = x0; x < x1; ++x, p += 3) {
        p[0] = px[0];
        p[1] = px[1];
        p[2] = px[2];
    }
    const std::size_t span = static_cast<std::size_t>(x1 - x0) * 3;
    for (int y = y0 + 1; y < y1; ++y) std::memcpy(row(y) + x0 * 3, first, span);
}

}  // namespace quarvel::platform
