#pragma once
// Pictures of text art on the screen, never smoothed: each picture pixel a square of a
// whole number of device pixels, so that the art stays sharp on screens of any
// density and at any zoom.

#include <QImage>
#include <QWidget>

#include <vector>

class QPainter;

namespace quarvel::ui {

// The device pixels a picture pixel takes at 100 % on a screen of `devicePixelRatio`:
// its ratio rounded, at least 1, so that the picture has the size of what is around it.
int WholeDeviceScale(qreal devicePixelRatio);
// The size, in the screen's logical pixels, of a picture drawn at `scale` device
// pixels per picture pixel.
QSize ScaledSize(const QSize& picture, int scale, qreal devicePixelRatio);
// Draws `image` with its top-left corner at `at` (logical), `scale` device pixels per
// picture pixel.
void DrawPicture(QPainter& painter, QPoint at, const QImage& image, int scale);

// Fills `area` with squares of `cell` logical pixels in `light` and `dark` by turns,
// light at the top-left: what stands for a transparent background.
void PaintCheckerboard(QPainter& painter, const QRect& area, const QColor& light, const QColor& dark, int cell = 8);

// A widget that shows one picture at a whole number of device pixels per pixel, and is
// as large as that.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);
    ~PictureView() override;

    // An image with an alpha channel shows a checkerboard where it is transparent.
    void SetImage(const QImage& image);
    // Device pixels per picture pixel.
    void SetScale(int scale);
    // Marks drawn over the picture as the window's own lines, each along the left
    // edge of a column of the picture's pixels.
    void SetMarks(std::vector<int> columns);
    const std::vector<int>& marks() const { return marks_; }
    int scale() const { return scale_; }
    const QImage& image() const { return image_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    int scale_ = 1;
    std::vector<int> marks_;
};

}  // namespace quarvel::ui
