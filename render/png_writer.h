#pragma once
#include <cstdio>

#include "platform/picture.h"

namespace quarvel {

// The forms of a picture's PNG file. Both decode to the same pixels.
enum class PngForm {
    rgb,      // 8-bit RGB, what documents and callers have always had
    indexed,  // a palette of the picture's one or two colours, one bit per pixel
};

// Writes the picture as a PNG of the given form to an open stream (which stays open).
// The indexed form has a palette of the picture's colours (one entry when it has one
// colour) at bit depth 1; a picture of more colours than two is written as RGB.
// Returns 1 when the whole file was written, 0 otherwise.
int WritePngFile(const Picture& picture, std::FILE* stream, PngForm form = PngForm::rgb);

}  // namespace quarvel
