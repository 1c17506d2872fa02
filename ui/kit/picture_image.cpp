#include "ui/kit/picture_image.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>

#include "engine/picture_file.h"

namespace quarvel::ui {

using render::EncodePng;
using render::PngForm;

using platform::Picture;

QImage PictureImage(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB888);
    if (image.isNull()) return image;
    // The image's rows are padded to four bytes, the picture's are not.
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y) std::copy_n(picture.row(y), rowBytes, image.scanLine(y));
    return image;
}

void CopyPictureToClipboard(const Picture& picture, PngForm form) {
    auto* data = new QMimeData;
    data->setImageData(PictureImage(picture));
    // The file's own bytes rather than Qt's encoding of the image: the same file as saved.
    if (const Result<std::string> png = EncodePng(picture, form))
        data->setData(QStringLiteral("image/png"), QByteArray(png->data(), static_cast<qsizetype>(png->size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace quarvel::ui
