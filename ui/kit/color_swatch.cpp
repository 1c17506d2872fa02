#include "ui/kit/color_swatch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui/kit/picture_view.h"

namespace quarvel::ui {

ColorSwatch::ColorSwatch(const QString& name, QWidget* parent) : QPushButton(parent), color_(Qt::black) {
    setAccessibleName(name);
    setFocusPolicy(Qt::StrongFocus);
    // Enter opens this swatch's chooser only; it never presses another button.
    setAutoDefault(false);
}

ColorSwatch::~ColorSwatch() = default;

void ColorSwatch::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void ColorSwatch::SetTransparent(bool transparent) {
    transparent_ = transparent;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (transparent_) {
        // The colour with a fifth of black (of white on a dark colour) between its squares.
        const int toward = color_.lightness() < 128 ? 255 : 0;
        const auto mix = [toward](int c) { return (c * 4 + toward) / 5; };
        PaintCheckerboard(painter, rect(), color_, QColor(mix(color_.red()), mix(color_.green()), mix(color_.blue())),
                          std::max(3, height() / 4));
    } else {
        painter.fillRect(rect(), color_);
    }
    if (hasFocus()) {
        // A dotted focus frame inside, in whichever of black and white stands out on
        // the colour, so that it shows on every colour the user may choose.
        painter.setPen(QPen(color_.lightness() < 128 ? Qt::white : Qt::black, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void ColorSwatch::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
        return;
    }
    event->accept();
    click();
}

void ColorSwatch::keyPressEvent(QKeyEvent* event) {
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        click();
        return;
    }
    // Space: pressed on the key's press, clicked on its release, as every button.
    QPushButton::keyPressEvent(event);
}

}  // namespace quarvel::ui
