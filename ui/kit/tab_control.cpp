#include "ui/kit/tab_control.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include "ui/kit/accessibility.h"
#include "ui/kit/tab_page.h"

namespace quarvel::ui {

TabControl::TabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    // Screen readers hear which tab is selected.
    InstallAccessibleInterfaces();
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
    bar_->setFocusPolicy(Qt::StrongFocus);
    bar_->installEventFilter(this);
    // Focusing the control means focusing its strip, as a page's Enter and Esc do.
    setFocusProxy(bar_);
    connect(bar_, &QTabBar::currentChanged, this, [this] { OnSelChange(); });
}

TabControl::~TabControl() = default;

int TabControl::InsertItem(int index, const QString& text, QWidget* page) {
    index = std::clamp(index, 0, GetItemCount());
    pages_.insert(index, QPointer<QWidget>(page));
    if (page) page->setParent(this);
    const QSignalBlocker block(bar_);  // the first item becomes current without a change
    const int at = bar_->insertTab(index, text);
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
    return at;
}

int TabControl::GetItemCount() const { return bar_->count(); }

QWidget* TabControl::GetItemPage(int index) const {
    return index >= 0 && index < pages_.size() ? pages_[index].data() : nullptr;
}

int TabControl::PageIndexOf(const QWidget* widget) const {
    if (!widget) return -1;
    for (int i = 0; i < GetItemCount(); ++i) {
        const QWidget* page = GetItemPage(i);
        if (page && (page == widget || page->isAncestorOf(widget))) return i;
    }
    return -1;
}

int TabControl::GetCurFocus() const { return bar_->currentIndex(); }

void TabControl::SetCurFocus(int index) {
    if (index < 0 || index >= GetItemCount()) return;
    bar_->setCurrentIndex(index);
}

QRect TabControl::DisplayRect() const {
    // The page area inside the frame under the strip.
    const int top = bar_->sizeHint().height();
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 2;
    return QRect(0, top, width(), height() - top).adjusted(frame, frame, -frame, -frame);
}

void TabControl::LayoutPages() {
    const QRect area = DisplayRect();
    const int current = GetCurFocus();
    for (int i = 0; i < GetItemCount(); ++i) {
        QWidget* page = GetItemPage(i);
        if (!page) continue;
        page->setGeometry(area);
        if (i == current) {
            page->show();
            FocusPage(page);
        } else {
            page->hide();
        }
    }
}

void TabControl::OnSelChange() {
    const int current = GetCurFocus();
    QWidget* shown = GetItemPage(current);
    if (shown) shown->show();
    // Hiding the page that holds the focus would let Qt pass the focus on along the
    // window's tab chain, to the generate button, where no page sees the keys any
    // more. It goes to the page now shown (or to the strip) before the old one hides.
    const int focused = PageIndexOf(QApplication::focusWidget());
    if (focused >= 0 && focused != current) FocusKeyTarget(shown);
    for (int i = 0; i < GetItemCount(); ++i) {
        if (QWidget* page = GetItemPage(i); page && i != current) page->hide();
    }
    emit currentTabChanged(current);
}

void TabControl::FocusKeyTarget(QWidget* page) {
    // A file or folder page passes the tab keys on; the copy-paste page's box keeps
    // them, so the strip holds the focus there and the next key still switches.
    if (qobject_cast<TabPage*>(page)) {
        FocusPage(page);
    } else {
        bar_->setFocus(Qt::OtherFocusReason);
    }
}

void TabControl::SwitchTo(int index) {
    SetCurFocus(index);
    // Wherever the key came from, the user goes on from the page switched to.
    FocusKeyTarget(GetItemPage(GetCurFocus()));
}

void TabControl::SelectPrevTab() {
    int i = GetCurFocus() - 1;
    if (i < 0) i = GetItemCount() - 1;
    SwitchTo(i);
}

void TabControl::SelectNextTab() {
    int i = GetCurFocus() + 1;
    if (i >= GetItemCount()) i = 0;
    SwitchTo(i);
}

bool TabControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == bar_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        if (ctrl && key->key() == Qt::Key_PageUp) {
            SelectPrevTab();
            return true;
        }
        if (ctrl && key->key() == Qt::Key_PageDown) {
            SelectNextTab();
            return true;
        }
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            if (QWidget* page = GetItemPage(GetCurFocus())) FocusPage(page);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TabControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.rect = QRect(0, bar_->sizeHint().height() - 1, width(), height() - bar_->sizeHint().height() + 1);
    option.shape = QTabBar::RoundedNorth;
    option.tabBarSize = bar_->sizeHint();
    option.tabBarRect = bar_->geometry();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
}

void TabControl::resizeEvent(QResizeEvent* event) {
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
    QWidget::resizeEvent(event);
}

void FocusPage(QWidget* page) {
    if (!page) return;
    QWidget* target = page->focusWidget();
    if (!target || !page->isAncestorOf(target)) {
        target = nullptr;
        for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
            if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(page)) {
                target = w;
                break;
            }
        }
    }
    if (target) {
        target->setFocus(Qt::OtherFocusReason);
    } else {
        page->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace quarvel::ui
