// The tab control and the key handling of its pages.

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <memory>

#include "support/window_test_support.h"
#include "ui/kit/tab_control.h"
#include "ui/kit/tab_page.h"

using namespace quarvel::ui;

class TabControlTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        QWidget window;
        QPushButton* button = nullptr;  // before the tabs in the focus chain, as in the main window
        TabControl* tabs = nullptr;
        TabPage* pages[2] = {};
        QLineEdit* edits[3] = {};
        QWidget* plainPage = nullptr;

        Fixture() {
            window.resize(400, 300);
            button = new QPushButton(QStringLiteral("button"), &window);
            tabs = new TabControl(&window);
            tabs->setGeometry(0, 20, 400, 280);
            for (int i = 0; i < 2; ++i) {
                pages[i] = new TabPage;
                tabs->InsertItem(i, QStringLiteral("page%1").arg(i), pages[i]);
                edits[i] = new QLineEdit(pages[i]);
            }
            // A page that is not a TabPage has no key handling of its own.
            plainPage = new QWidget;
            tabs->InsertItem(2, QStringLiteral("plain"), plainPage);
            edits[2] = new QLineEdit(plainPage);
            tabs->LayoutPages();
        }
        bool Shows(int index) const {
            for (int i = 0; i < 3; ++i) {
                const QWidget* page = i < 2 ? static_cast<QWidget*>(pages[i]) : plainPage;
                if (page->isVisible() != (i == index)) return false;
            }
            return tabs->GetCurFocus() == index;
        }
    };

private slots:
    void ctrlPageUpAndDownWrapOnTheStrip() {
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        f.tabs->tabBar()->setFocus();
        QVERIFY(f.Shows(0));
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_PageUp, Qt::ControlModifier);
        QVERIFY(f.Shows(2));
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_PageDown, Qt::ControlModifier);
        QVERIFY(f.Shows(0));
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_PageDown, Qt::ControlModifier);
        QVERIFY(f.Shows(1));
        // Without Ctrl nothing switches.
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_PageDown);
        QVERIFY(f.Shows(1));
    }

    void upAndDownOnTheStripFocusThePage() {
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        f.tabs->SetCurFocus(1);
        f.tabs->tabBar()->setFocus();
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), f.edits[1]);
        f.tabs->tabBar()->setFocus();
        QTest::keyClick(f.tabs->tabBar(), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), f.edits[1]);
    }

    void keysInAPageEditBox() {
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        f.edits[0]->setFocus();
        QCOMPARE(QApplication::focusWidget(), f.edits[0]);
        // Enter and Esc move the focus to the strip and hide nothing.
        QTest::keyClick(f.edits[0], Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f.tabs->tabBar());
        QVERIFY(f.Shows(0));
        f.edits[0]->setFocus();
        QTest::keyClick(f.edits[0], Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), f.tabs->tabBar());
        QVERIFY(f.Shows(0));
        QVERIFY(f.window.isVisible());
        // Ctrl+PageUp from the first page's box wraps to the last tab, once.
        f.edits[0]->setFocus();
        QTest::keyClick(f.edits[0], Qt::Key_PageUp, Qt::ControlModifier);
        QVERIFY(f.Shows(2));
        // The plain page's box does not switch tabs.
        f.edits[2]->setFocus();
        QTest::keyClick(f.edits[2], Qt::Key_PageDown, Qt::ControlModifier);
        QVERIFY(f.Shows(2));
    }

    void aSwitchFromCodeTakesTheFocusAlongIntoTheNewPage() {
        // Hiding the page with the focus would pass it on along the window's chain to
        // the button, where no page's keys work any more.
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        f.edits[0]->setFocus();
        f.tabs->SetCurFocus(1);
        QVERIFY(f.Shows(1));
        QCOMPARE(QApplication::focusWidget(), f.edits[1]);
        // A plain page's box keeps the tab keys: the strip takes the focus instead.
        f.tabs->SetCurFocus(2);
        QCOMPARE(QApplication::focusWidget(), f.tabs->tabBar());
        // Focus outside the pages stays where it is.
        f.button->setFocus();
        f.tabs->SetCurFocus(0);
        QCOMPARE(QApplication::focusWidget(), f.button);
    }

    void layoutSizesEveryPageAndFocusesTheCurrentOne() {
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        f.tabs->SetCurFocus(1);
        f.tabs->resize(500, 420);
        f.tabs->LayoutPages();
        const QRect area = f.tabs->DisplayRect();
        QVERIFY(area.width() > 480 && area.height() > 350);
        QCOMPARE(f.pages[0]->geometry(), area);
        QCOMPARE(f.pages[1]->geometry(), area);
        QCOMPARE(f.plainPage->geometry(), area);
        QVERIFY(f.Shows(1));
        QCOMPARE(QApplication::focusWidget(), f.edits[1]);
    }

    void screenReadersHearWhichTabIsSelected() {
        // Each tab is a page tab named by its text; the current one, and only it, is
        // selected (and focused while the strip has the focus); pressing a tab's
        // action selects it. The strip is named after its current tab.
        Fixture f;
        QVERIFY(quarvel::test::ShowActive(&f.window));
        QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(f.tabs->tabBar());
        QVERIFY(strip);
        QCOMPARE(strip->role(), QAccessible::PageTabList);
        QCOMPARE(strip->childCount(), 3);
        f.tabs->tabBar()->setFocus();
        for (int current = 0; current < 3; ++current) {
            f.tabs->SetCurFocus(current);
            QCOMPARE(strip->text(QAccessible::Name), f.tabs->tabBar()->tabText(current));
            for (int i = 0; i < 3; ++i) {
                QAccessibleInterface* tab = strip->child(i);
                QVERIFY(tab && tab->isValid());
                QCOMPARE(tab->role(), QAccessible::PageTab);
                QCOMPARE(tab->parent(), strip);
                QCOMPARE(strip->indexOfChild(tab), i);
                QCOMPARE(tab->text(QAccessible::Name), f.tabs->tabBar()->tabText(i));
                QVERIFY(tab->state().selectable);
                QCOMPARE(bool(tab->state().selected), i == current);
                QCOMPARE(bool(tab->state().focused), i == current);
                QCOMPARE(tab->rect().center(), f.tabs->tabBar()->mapToGlobal(f.tabs->tabBar()->tabRect(i).center()));
            }
        }
        QAccessibleActionInterface* press = strip->child(1)->actionInterface();
        QVERIFY(press);
        press->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(f.tabs->GetCurFocus(), 1);
    }

    void itemsWithoutPagesAndEmptyControls() {
        TabControl empty;
        empty.SelectNextTab();
        empty.SelectPrevTab();
        empty.LayoutPages();
        QCOMPARE(empty.GetCurFocus(), -1);

        TabControl tabs;
        auto* page = new QWidget;
        tabs.InsertItem(0, QStringLiteral("none"), nullptr);
        tabs.InsertItem(1, QStringLiteral("page"), page);
        tabs.resize(300, 200);
        tabs.show();
        tabs.LayoutPages();
        QVERIFY(!page->isVisible());
        tabs.SelectPrevTab();
        QCOMPARE(tabs.GetCurFocus(), 1);
        QVERIFY(page->isVisible());
        tabs.SelectNextTab();
        QCOMPARE(tabs.GetCurFocus(), 0);
        QVERIFY(!page->isVisible());
    }
};

QUARVEL_UI_TEST(TabControlTest)
#include "tab_control_test.moc"
