#include "ui/kit/picture_view.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quarvel::ui {

int WholeDeviceScale(qreal devicePixelRatio) { return std::max(1, static_cast<int>(std::lround(devicePixelRatio))); }

QSize ScaledSize(const QSize& picture, int scale, qreal devicePixelRatio) {
    const qreal factor = scale / devicePixelRatio;
    return {static_cast<int>(std::ceil(picture.width() * factor)),
            static_cast<int>(std::ceil(picture.height() * factor))};
}

void DrawPicture(QPainter& painter, QPoint at, const QImage& image, int scale) {
    const qreal ratio = painter.device()->devicePixelRatioF();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(at, QSizeF(image.size()) * (scale / ratio)), image);
    painter.restore();
}

void PaintCheckerboard(QPainter& painter, const QRect& area, const QColor& light, const QColor& dark, int cell) {
    cell = std::max(1, cell);
    painter.fillRect(area, light);
    for (int y = area.top(); y <= area.bottom(); y += cell) {
        const int row = (y - area.top()) / cell;
        for (int x = area.left() + (row % 2 == 0 ? cell : 0); x <= area.right(); x += 2 * cell)
            painter.fillRect(QRect(x, y, cell, cell).intersected(area), dark);
    }
}

PictureView::PictureView(QWidget* parent) : QWidget(parent) {}
PictureView::~PictureView() = default;

void PictureView::SetImage(const QImage& image) {
    image_ = image;
    resize(sizeHint());
    update();
}

void PictureView::SetScale(int scale) {
    scale_ = std::max(1, scale);
    resize(sizeHint());
    update();
}

void PictureView::SetMarks(std::vector<int> columns) {
    marks_ = std::move(columns);
    update();
}

QSize PictureView::sizeHint() const { return ScaledSize(image_.size(), scale_, devicePixelRatioF()); }

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.hasAlphaChannel())
        PaintCheckerboard(painter, QRect(QPoint(0, 0), sizeHint()), Qt::white, QColor(0xCC, 0xCC, 0xCC));
    DrawPicture(painter, QPoint(0, 0), image_, scale_);
    if (marks_.empty()) return;
    QPen pen(palette().color(QPalette::Highlight), 0);
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    const qreal perPixel = scale_ / devicePixelRatioF();
    for (int column : marks_) {
        const qreal x = column * perPixel;
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

}  // namespace quarvel::ui
