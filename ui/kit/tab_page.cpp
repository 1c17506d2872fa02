#include "ui/kit/tab_page.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include "ui/kit/tab_control.h"

namespace quarvel::ui {

TabPage::TabPage(QWidget* parent) : QWidget(parent) {
    // Focused in code when it has no control to take the focus, but no stop of its
    // own for Tab: a keyboard user never lands on the bare page.
    setFocusPolicy(Qt::ClickFocus);
    if (qApp) qApp->installEventFilter(this);
}

TabPage::~TabPage() = default;

bool TabPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    // A key press travels from the focus widget up through its parents; act once,
    // when it is delivered to the widget it is addressed to.
    if (widget != QApplication::focusWidget()) return false;
    if (widget != this && !isAncestorOf(widget)) return false;
    return PreTranslateKey(static_cast<QKeyEvent*>(event));
}

bool TabPage::PreTranslateKey(QKeyEvent* key) {
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // On a button ("参照...") Enter presses it, as Space does.
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget()); button && !ctrl) {
            button->animateClick();
            return true;
        }
        [[fallthrough]];
    case Qt::Key_Escape:
        if (QWidget* strip = parentWidget()) strip->setFocus(Qt::ShortcutFocusReason);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (!ctrl) return false;
        if (auto* tabs = qobject_cast<TabControl*>(parentWidget())) {
            if (key->key() == Qt::Key_PageUp) {
                tabs->SelectPrevTab();
            } else {
                tabs->SelectNextTab();
            }
            return true;
        }
        return false;
    default: return false;
    }
}

}  // namespace quarvel::ui
