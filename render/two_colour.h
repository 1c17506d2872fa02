#pragma once
// A picture of at most two colours at one bit per pixel, the rows of an indexed PNG.

#include <cstdint>
#include <vector>

#include "platform/picture.h"

namespace quarvel::render {

// 0 for the colour of the top-left pixel, 1 for the other one. Rows start on a byte
// and are `stride` bytes long, the first pixel in the highest bit, as PNG packs them.
struct TwoColourRows {
    platform::Color first;
    platform::Color second;
    bool hasSecond = false;  // false: every pixel is `first`
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;
};

// Packs the picture into `out`, whose rows (their memory) may be kept from a picture
// before; false when it holds more than two colours (or is empty).
bool PackTwoColours(const platform::Picture& picture, TwoColourRows& out);

// The rows of `rows` (`width` x `height` pixels) with each pixel a `scale` x `scale`
// block (2 to 4), into `out`: each byte widened to `scale` bytes, each row repeated.
// The bits past a row's last pixel stay 0, as PackTwoColours leaves them.
void ScaleTwoColours(const TwoColourRows& rows, int width, int height, int scale, TwoColourRows& out);

}  // namespace quarvel::render
