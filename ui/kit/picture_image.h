#pragma once
// Pictures on the screen and on the clipboard, pixel for pixel as they are saved.

#include <QImage>

#include "platform/picture.h"
#include "render/png_writer.h"

namespace quarvel::ui {

// A copy of the picture as a 24-bit image.
QImage PictureImage(const platform::Picture& picture);

// The same pixels held small: one bit a pixel for a picture of two colours (as every
// picture of text art is), 24 bits otherwise.
QImage CompactPictureImage(const platform::Picture& picture);

// Puts the picture on the clipboard as an image, with the bytes of its PNG file in
// `form` for programs that take "image/png": a paste gives what a saved file holds.
void CopyPictureToClipboard(const platform::Picture& picture, render::PngForm form);

}  // namespace quarvel::ui
