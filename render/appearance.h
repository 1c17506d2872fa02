#pragma once
// The look of a picture: one record for the renderer, the engine, the settings file
// (section General) and the main window.

#include "platform/color.h"

namespace quarvel::render {

// The widest margin: blank pixels on each side of a picture.
inline constexpr int kMaxMargin = 100;

struct Appearance {
    platform::Color textColor = platform::kBlack;
    platform::Color backColor = platform::kWhite;
    int margin = 0;              // blank pixels on each side, 0..kMaxMargin
    bool collapseSpaces = true;  // collapse half-width spaces the way a browser does

    bool operator==(const Appearance&) const = default;
};

}  // namespace quarvel::render
