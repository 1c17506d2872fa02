#include "render/png_writer.h"

namespace quarvel::render {

PngOptions PngOptionsFor(const Appearance& look, PngForm form) {
    PngOptions options{form};
    options.scale = look.scale;
    if (look.transparentBack) options.transparent = DrawnBackColor(look);
    return options;
}

}  // namespace quarvel::render
