#include "ui/kit/color_swatch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

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

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), color_);
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
