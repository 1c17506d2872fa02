#pragma once
// Pictures as the bytes of PNG files, in one of two forms that decode to the same
// pixels, at any whole-number scale, with an opaque or a transparent background.

#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/picture.h"
#include "render/appearance.h"

namespace quarvel::render {

// The forms of a picture's PNG file. Both decode to the same pixels.
enum class PngForm {
    rgb,      // 8-bit RGB, what documents and callers have always had
    indexed,  // a palette of the picture's one or two colours, one bit per pixel
};

// How a picture becomes a file: its form, how big each pixel is, and which colour (if
// any) is written fully transparent.
struct PngOptions {
    PngForm form = PngForm::rgb;
    // Each pixel of the picture becomes a scale x scale block of the file's, 1 to
    // kMaxScale; the file is `scale` times as wide and as high.
    int scale = 1;
    // Pixels of this colour come out with alpha 0, every other pixel opaque and
    // unchanged. The file is then the two-colour form with a tRNS chunk whatever `form`
    // says (one bit per pixel against 8-bit RGBA's 32), or 8-bit RGBA for a picture of
    // more colours.
    std::optional<platform::Color> transparent = std::nullopt;
};

// The options for a picture drawn in `look` (RenderPicture): its scale and, with a
// transparent background, the colour the background was drawn in as the transparent one.
// What the window, the command line, the service and the engine all call.
// (A file of its own, so that a program may bring its own EncodePng without the writer.)
PngOptions PngOptionsFor(const Appearance& look, PngForm form);

// The bytes of the picture's PNG file. Fails when there is no memory for them
// (outOfMemory), or no picture (no pixel), a scale out of range or a file wider or
// higher than PNG allows (unexpected).
//   rgb:         IHDR (8-bit, colour type 2, no interlace), the image data in IDAT
//                chunks of at most 8192 bytes, IEND; no other chunk.
//   indexed:     IHDR (1-bit, colour type 3), PLTE of the picture's colours (one entry
//                when it has one), one IDAT, IEND. A picture of more than two colours
//                is written in the RGB form.
//   transparent: as indexed, with tRNS after PLTE when a palette entry is the
//                transparent colour; for a picture of more than two colours IHDR
//                (8-bit, colour type 6) and IDAT chunks as rgb.
Result<std::string> EncodePng(const platform::Picture& picture, const PngOptions& options);

// The file at scale 1 with an opaque background.
inline Result<std::string> EncodePng(const platform::Picture& picture, PngForm form) {
    return EncodePng(picture, PngOptions{form});
}

}  // namespace quarvel::render
