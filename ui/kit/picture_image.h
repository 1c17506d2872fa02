#pragma once
// Pictures on the screen and on the clipboard, pixel for pixel as they are saved.

#include <QImage>

#include "platform/picture.h"
#include "render/png_writer.h"

namespace quarvel::ui {

// A copy of the picture as a 24-bit image.
QImage PictureImage(const platform::Picture& picture);

// A copy with an alpha channel in which the pixels of `transparent` are fully
// transparent (keeping their colour, as the file does) and every other pixel opaque.
QImage PictureImage(const platform::Picture& picture, platform::Color transparent);

// The same pixels held small: one bit a pixel for a picture of two colours (as every
// picture of text art is), 24 bits otherwise.
QImage CompactPictureImage(const platform::Picture& picture);

// Puts the picture's file as `options` make it (render::PngOptionsFor: its form, scale
// and transparent background) on the clipboard: its bytes for programs that take
// "image/png", and its pixels as an image: a paste gives what a saved file holds.
void CopyPictureToClipboard(const platform::Picture& picture, const render::PngOptions& options);

}  // namespace quarvel::ui
