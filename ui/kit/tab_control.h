#pragma once
// The tab control of the main window: a tab strip over a display area in which it
// places its pages. Each tab item may carry a page; the control shows the page of the
// current tab, hides the others, and lets the keyboard switch tabs.

#include <QPointer>
#include <QVector>
#include <QWidget>

class QTabBar;

namespace quarvel::ui {

class TabControl : public QWidget {
    Q_OBJECT
public:
    explicit TabControl(QWidget* parent = nullptr);
    ~TabControl() override;

    // Appends a tab; `page` (may be null) becomes a child of this control.
    int InsertItem(int index, const QString& text, QWidget* page);
    int GetItemCount() const;
    QWidget* GetItemPage(int index) const;
    // The index of the item whose page is `widget` or holds it; -1 when none does.
    int PageIndexOf(const QWidget* widget) const;

    // The current tab (the focused item); -1 without items.
    int GetCurFocus() const;
    // Makes `index` current, which shows its page. When the focus was on the page
    // hidden, it moves to the page shown.
    void SetCurFocus(int index);

    // The display area below the strip, in this control's coordinates.
    QRect DisplayRect() const;

    // Places every page in the display area; shows and focuses the current one and
    // hides the others.
    void LayoutPages();
    // The keyboard's tab switch, wrapping at both ends; the page switched to gets the
    // focus.
    void SelectPrevTab();
    void SelectNextTab();

    QTabBar* tabBar() const { return bar_; }

signals:
    void currentTabChanged(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnSelChange();
    void SwitchTo(int index);
    // Gives the focus to what sees the next tab key when `page` is shown.
    void FocusKeyTarget(QWidget* page);

    QTabBar* bar_;
    QVector<QPointer<QWidget>> pages_;  // parallel to the tab items
};

// Gives the focus to `page`: to the control that last had it there, else the first
// control that takes focus, else the page itself.
void FocusPage(QWidget* page);

}  // namespace quarvel::ui
