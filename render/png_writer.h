#pragma once
// Pictures as the bytes of PNG files, in one of two forms that decode to the same
// pixels.

#include <string>

#include "platform/failure.h"
#include "platform/picture.h"

namespace quarvel::render {

// The forms of a picture's PNG file. Both decode to the same pixels.
enum class PngForm {
    rgb,      // 8-bit RGB, what documents and callers have always had
    indexed,  // a palette of the picture's one or two colours, one bit per pixel
};

// The bytes of the picture's PNG file in the given form. Fails when there is no memory
// for them (outOfMemory), or no picture (no pixel: unexpected).
//   rgb:     IHDR (8-bit, colour type 2, no interlace), the image data in IDAT chunks
//            of at most 8192 bytes, IEND; no other chunk.
//   indexed: IHDR (1-bit, colour type 3), PLTE of the picture's colours (one entry
//            when it has one), one IDAT, IEND. A picture of more than two colours is
//            written in the RGB form.
Result<std::string> EncodePng(const platform::Picture& picture, PngForm form);

}  // namespace quarvel::render
