#pragma once
// The image data of an 8-bit RGB PNG of a two-colour picture, compressed straight
// from its rows at one bit per pixel.

#include <string>

#include "render/two_colour.h"

namespace quarvel::render {

// The zlib stream of the picture's filtered 8-bit RGB rows, what its IDAT chunks hold.
// Each row is filtered with None or Up, whichever leaves the fewer runs of equal
// pixels; for two colours Up leaves 0 wherever the pixel is the one above, and one of
// two differences elsewhere. The matches are looked for pixel by pixel rather than
// byte by byte (a pixel's three bytes always go together), and not at all inside
// long ones, which is where a compressor of the bytes spends its time. `out` is
// replaced.
void RgbZlibStream(const TwoColourRows& rows, int width, int height, std::string& out);

}  // namespace quarvel::render
