#include "ui/kit/picture_image.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <optional>

#include "engine/picture_file.h"

namespace quarvel::ui {

using render::EncodePng;
using render::PngOptions;

using platform::Picture;

QImage PictureImage(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB888);
    if (image.isNull()) return image;
    // The image's rows are padded to four bytes, the picture's are not.
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y) std::copy_n(picture.row(y), rowBytes, image.scanLine(y));
    return image;
}

QImage PictureImage(const Picture& picture, platform::Color transparent) {
    QImage image = PictureImage(picture).convertToFormat(QImage::Format_ARGB32);
    const QRgb clear = qRgb(transparent.red, transparent.green, transparent.blue);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Alpha 0 with the colour kept, as the file keeps it.
            if (line[x] == clear) line[x] &= RGB_MASK;
        }
    }
    return image;
}

QImage CompactPictureImage(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0) return PictureImage(picture);
    // The background is the colour of the first pixel (a margin, or the first cell's
    // fill); a third colour means the picture is kept whole.
    const auto colour = [](const std::uint8_t* p) { return qRgb(p[0], p[1], p[2]); };
    const QRgb back = colour(picture.row(0));
    std::optional<QRgb> fore;
    QImage image(picture.width, picture.height, QImage::Format_Mono);
    if (image.isNull()) return image;
    image.fill(0);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* p = picture.row(y);
        uchar* bits = image.scanLine(y);
        for (int x = 0; x < picture.width; ++x, p += 3) {
            const QRgb c = colour(p);
            if (c == back) continue;
            if (!fore) fore = c;
            if (c != *fore) return PictureImage(picture);
            bits[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
        }
    }
    image.setColorTable({back, fore.value_or(back)});
    return image;
}

void CopyPictureToClipboard(const Picture& picture, const PngOptions& options) {
    auto* data = new QMimeData;
    // The file's own bytes rather than Qt's encoding of the image: the same file as saved.
    QImage image;
    if (const Result<std::string> png = EncodePng(picture, options)) {
        const QByteArray bytes(png->data(), static_cast<qsizetype>(png->size()));
        data->setData(QStringLiteral("image/png"), bytes);
        image = QImage::fromData(bytes, "PNG");
    }
    data->setImageData(image.isNull() ? PictureImage(picture) : image);
    QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace quarvel::ui
