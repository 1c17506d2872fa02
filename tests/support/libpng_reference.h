#pragma once
// libpng writing a picture with its defaults, the reference the program's own PNG files
// are measured against, and libpng reading a file back.

#include <string>

#include "platform/picture.h"

namespace quarvel::test {

// 8-bit RGB with libpng's defaults: its adaptive filters (each row the filter of the
// least sum of absolute differences) and zlib at level 6.
std::string LibpngRgb(const platform::Picture& picture);

// A palette of the picture's one or two colours at one bit per pixel, as libpng writes
// it by default (filter None, zlib at level 6); empty for a picture of more colours.
std::string LibpngPalette(const platform::Picture& picture);

}  // namespace quarvel::test
