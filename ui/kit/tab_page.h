#pragma once
// Base of the work pages that live in a TabControl (the file and the folder page).
//
// A page is a plain child widget, never a dialog of its own: Enter and Esc typed
// anywhere on it only move the focus to the tab strip (Enter on a button presses it),
// so no key can end or hide a page. Ctrl+PageUp and Ctrl+PageDown switch tabs from anywhere on the page.

#include <QWidget>

namespace quarvel::ui {

class TabPage : public QWidget {
    Q_OBJECT
public:
    explicit TabPage(QWidget* parent = nullptr);
    ~TabPage() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The key handling applies to key presses addressed to the page or any control
    // on it; one filter on the application sees them before the control does.
    bool PreTranslateKey(QKeyEvent* key);
};

}  // namespace quarvel::ui
