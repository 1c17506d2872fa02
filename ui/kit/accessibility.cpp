#include "ui/kit/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QTabBar>
#include <QToolButton>

#include <mutex>
#include <vector>

namespace quarvel::ui {
namespace {

// A label's text as a name: "&&" is one '&', a single '&' marks the access letter.
QString WithoutAmpersands(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// One tab of a strip: a page tab that is selected while it is the current one, and
// whose press action makes it current.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        switch (t) {
        case QAccessible::Name: return WithoutAmpersands(bar_->tabText(index_));
        case QAccessible::Description: return bar_->tabToolTip(index_);
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = bar_->tabRect(index_);
        return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool current = bar_->currentIndex() == index_;
        s.focusable = true;
        s.selectable = true;
        s.selected = current;
        s.focused = current && bar_->hasFocus();
        s.disabled = !bar_->isTabEnabled(index_);
        s.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        s.offscreen = s.invisible;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (isValid() && name == pressAction()) bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

// The strip: its tabs, then the scroll buttons it shows when the tabs do not fit. It is
// named after its current tab, as Qt names it.
class TabBarAccessible : public QAccessibleWidget {
public:
    explicit TabBarAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabBarAccessible() override {
        for (QAccessible::Id id : tabs_) QAccessible::deleteAccessibleInterface(id);
    }

    QTabBar* bar() const { return static_cast<QTabBar*>(object()); }

    int childCount() const override { return bar()->count() + static_cast<int>(ScrollButtons().size()); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0) return nullptr;
        if (index < bar()->count()) {
            while (static_cast<int>(tabs_.size()) <= index) {
                auto* tab = new TabAccessible(bar(), static_cast<int>(tabs_.size()));
                tabs_.push_back(QAccessible::registerAccessibleInterface(tab));
            }
            return QAccessible::accessibleInterface(tabs_[static_cast<std::size_t>(index)]);
        }
        const auto buttons = ScrollButtons();
        const auto at = static_cast<std::size_t>(index - bar()->count());
        return at < buttons.size() ? QAccessible::queryAccessibleInterface(buttons[at]) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* c = child(i);
            if (c && c->rect().contains(x, y)) return c;
        }
        return nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && bar()->currentIndex() >= 0)
            return WithoutAmpersands(bar()->tabText(bar()->currentIndex()));
        return QAccessibleWidget::text(t);
    }

private:
    std::vector<QToolButton*> ScrollButtons() const {
        std::vector<QToolButton*> shown;
        for (QToolButton* button : bar()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            if (button->isVisible()) shown.push_back(button);
        return shown;
    }

    mutable std::vector<QAccessible::Id> tabs_;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    if (className == QStringLiteral("QTabBar")) return new TabBarAccessible(static_cast<QTabBar*>(object));
    if (className == QStringLiteral("quarvel::ui::RadioGroup"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
    return nullptr;
}

}  // namespace

void InstallAccessibleInterfaces() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(Factory); });
}

RadioGroup::RadioGroup(QWidget* parent) : QWidget(parent) {
    InstallAccessibleInterfaces();
    // Not a stop of its own for Tab, but focusable, so that its label's letter gives
    // the focus on to its first button (without choosing it, as a button buddy would).
    setFocusPolicy(Qt::ClickFocus);
}

RadioGroup::~RadioGroup() = default;

}  // namespace quarvel::ui
