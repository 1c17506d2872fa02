#pragma once
// The look of a picture: one record for the renderer, the engine, the settings file
// (section General) and the main window.

#include "platform/color.h"

namespace quarvel::render {

// The widest margin: blank pixels on each side of a picture.
inline constexpr int kMaxMargin = 100;
// The largest scale: each pixel of a picture as a block of at most 4 x 4 in its file.
inline constexpr int kMaxScale = 4;

struct Appearance {
    platform::Color textColor = platform::kBlack;
    platform::Color backColor = platform::kWhite;
    int margin = 0;              // blank pixels on each side, 0..kMaxMargin
    bool collapseSpaces = true;  // collapse half-width spaces the way a browser does
    // How the picture's file shows what was drawn (PngOptionsFor, render/png_writer.h);
    // the drawing itself, its layout, its size and its caps are the same for every
    // value. Each pixel becomes a scale x scale block of the file, 1..kMaxScale.
    int scale = 1;
    // The background is written fully transparent. Its pixels keep the red, green and
    // blue they are drawn in (DrawnBackColor), for viewers that show no transparency.
    bool transparentBack = false;

    bool operator==(const Appearance&) const = default;
};

// The colour the background is drawn in: the background colour; but with a transparent
// background one that is not the text colour, so that the file can tell the two apart
// (white text over the default white background would otherwise vanish whole). The
// stand-in is the text colour's complement.
constexpr platform::Color DrawnBackColor(const Appearance& look) {
    if (!look.transparentBack || look.backColor != look.textColor) return look.backColor;
    const platform::Color c = look.textColor;
    return {static_cast<std::uint8_t>(255 - c.red), static_cast<std::uint8_t>(255 - c.green),
            static_cast<std::uint8_t>(255 - c.blue)};
}

}  // namespace quarvel::render
