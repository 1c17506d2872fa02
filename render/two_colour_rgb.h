#pragma once
// The image data of an 8-bit RGB PNG of a two-colour picture, compressed straight
// from its rows at one bit per pixel.

#include <string>

#include "render/two_colour.h"

namespace quarvel::render {

// The zlib stream of the picture's filtered 8-bit RGB rows, what its IDAT chunks hold.
// Each row takes the filter libpng's adaptive choice would give it (None, Sub, Up or
// Paeth: the least sum of the bytes' distances from zero); for two colours every
// filter leaves each pixel one of five values (the two colours, nothing, and the two
// differences of the colours), so the rows are filtered at one bit per pixel. The
// matches are looked for pixel by pixel rather than byte by byte (a pixel's three
// bytes always go together), and not at all inside long ones, which is where a
// compressor of the bytes spends its time; a long match is written in copies each
// from its nearest source. `out` is replaced.
void RgbZlibStream(const TwoColourRows& rows, int width, int height, std::string& out);

}  // namespace quarvel::render
