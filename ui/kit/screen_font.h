#pragma once
// The font of the text-art box: the picture's own faces at 12 points of the screen's
// resolution, drawn without smoothing, so that the art in the box lines up as it will
// in the picture.

#include <QFont>

namespace quarvel::ui {

// The box's size in points.
inline constexpr int kScreenFontPoints = 12;

// Rounds a * b / c to the nearest integer, halves away from zero (as Windows' MulDiv
// does); -1 when c is 0.
int MulDiv(int a, int b, int c);

// The box's font for a screen of `pixelsPerInch` vertical resolution: the faces that
// draw the pictures (the user's font file first, then the fallback chain), as many
// pixels high as 12 points are there.
QFont MakeScreenFont(int pixelsPerInch);

}  // namespace quarvel::ui
