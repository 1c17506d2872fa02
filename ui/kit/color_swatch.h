#pragma once
// A colour swatch of the main window: a borderless rectangle painted in its colour
// that acts as a push button. A click opens its colour chooser at once (on the press,
// as a click on the painted swatch always did); from the keyboard it takes the focus
// in tab order, shows a focus frame, and Space, Enter or Return open the chooser.
// Screen readers see a push button with the name given (the label beside it).
// A swatch of a transparent colour shows a checkerboard of the colour and a shade of it.

#include <QColor>
#include <QPushButton>

namespace quarvel::ui {

class ColorSwatch : public QPushButton {
    Q_OBJECT
public:
    ColorSwatch(const QString& name, QWidget* parent);
    ~ColorSwatch() override;

    void SetColor(const QColor& color);
    QColor color() const { return color_; }
    void SetTransparent(bool transparent);
    bool transparent() const { return transparent_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor color_;
    bool transparent_ = false;
};

}  // namespace quarvel::ui
