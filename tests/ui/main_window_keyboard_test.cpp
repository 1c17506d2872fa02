// The main window from the keyboard and to a screen reader: the menus' letters and
// Ctrl+Q, Ctrl+PageDown and Ctrl+PageUp from every control, the Tab order and the
// accessible names, Enter and Esc that never end the program, and the focus kept where
// a job was started.

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QWindow>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/kit/color_swatch.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::test::PromptRecorder;

class MainWindowKeyboardTest : public QObject {
    Q_OBJECT

private slots:
    void menusOpenByTheirLettersAndCtrlQEnds() {
        // Alt and a menu's letter opens it, the item's letter runs the item; Ctrl+Q is
        // "終了" from anywhere, also from the copy-paste box.
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        QTest::keyClick(dlg.windowHandle(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_I);  // "2色PNG（小さいファイル）(&I)"
        QTRY_VERIFY(dlg.indexedPngAction()->isChecked());
        QCOMPARE(dlg.PictureForm(), quarvel::render::PngForm::indexed);

        dlg.tabCtrl()->SetCurFocus(2);
        dlg.copyPastePage().edit()->setFocus();
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_COMPARE(finished.count(), 1);
    }

    void ctrlPageKeysCycleTheTabsFromAnywhere() {
        // Keys as the window system delivers them: to the window, which hands them to
        // whatever has the focus. Every switch puts the focus where the next press is
        // seen again: into a file or folder page, or on the strip when the copy-paste
        // page is shown (its box keeps the keys and switches nothing).
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QWindow* window = dlg.windowHandle();
        // The folder page remembers the box last used there; the file page was
        // focused at start on its first box.
        dlg.tabCtrl()->SetCurFocus(1);
        dlg.folderPage().filterEdit()->setFocus();
        QWidget* const keyTarget[3] = {dlg.filePage().targetEdit(), dlg.folderPage().filterEdit(),
                                       dlg.tabCtrl()->tabBar()};

        const struct {
            const char* from;
            int tab;
            QWidget* focus;
        } starts[] = {
            {"file page path box", 0, dlg.filePage().targetEdit()},
            {"tab strip", 0, dlg.tabCtrl()->tabBar()},
            {"copy-paste box", 2, dlg.copyPastePage().edit()},
            {"folder page box", 1, dlg.folderPage().filterEdit()},
            {"margin box", 1, dlg.marginEdit()},
            {"generate button", 0, dlg.generateButton()},
            {"space check box", 2, dlg.spaceCheck()},
        };
        for (const auto& start : starts) {
            for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageUp}) {
                dlg.tabCtrl()->SetCurFocus(start.tab);
                start.focus->setFocus();
                QCOMPARE(QApplication::focusWidget(), start.focus);
                int tab = start.tab;
                QWidget* expected = start.focus;
                for (int press = 1; press <= 4; ++press) {
                    QTest::keyClick(window, key, Qt::ControlModifier);
                    if (expected != dlg.copyPastePage().edit()) {
                        tab = (tab + (key == Qt::Key_PageDown ? 1 : 2)) % 3;
                        expected = keyTarget[tab];
                    }
                    const QWidget* focus = QApplication::focusWidget();
                    const QByteArray where =
                        QStringLiteral("%1, %2 #%3: tab %4, focus on %5")
                            .arg(QLatin1String(start.from), QLatin1String(key == Qt::Key_PageDown ? "down" : "up"))
                            .arg(press)
                            .arg(dlg.tabCtrl()->GetCurFocus())
                            .arg(focus ? focus->objectName() : QStringLiteral("nothing"))
                            .toUtf8();
                    QVERIFY2(dlg.tabCtrl()->GetCurFocus() == tab, where.constData());
                    QVERIFY2(dlg.tabCtrl()->GetItemPage(tab)->isVisible(), where.constData());
                    QVERIFY2(focus == expected, where.constData());
                }
            }
        }
        // Without Ctrl the keys stay with the control.
        dlg.tabCtrl()->SetCurFocus(0);
        dlg.marginEdit()->setFocus();
        QTest::keyClick(window, Qt::Key_PageDown);
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 0);
        QCOMPARE(QApplication::focusWidget(), dlg.marginEdit());
    }

    void everyControlIsNamedAndReachedByTheKeyboard() {
        // As a screen reader and a keyboard user meet the window: every control has an
        // accessible name, each text box the one of its label; Tab visits every control
        // of the window and of the page shown and comes back; a label's Alt key puts
        // the focus in its box.
        PromptRecorder prompts;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QWindow* window = dlg.windowHandle();
        const auto name = [](QWidget* w) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            return a ? a->text(QAccessible::Name) : QString();
        };
        const struct {
            int tab;
            std::vector<const char*> names;  // in tab order, from the text swatch on
            Qt::Key alt;                     // a label's key, and the name of the box it focuses
            const char* altTarget;
        } pages[] = {
            {0,
             {"文字色", "背景色", "PNG画像生成", "余白(M)", "半角SP動作の模擬", "1倍", "背景を透明に", "ファイル",
              "対象ファイル(T)", "参照...", "Shift-Jis", "開始タグ(S)", "開始タグ 2", "開始タグ 3", "終了タグ(E)",
              "終了タグ 2", "終了タグ 3", "元ファイルを\"backup\"フォルダに保存する", "改行で行を分ける"},
             Qt::Key_T,
             "対象ファイル(T)"},
            {1,
             {"文字色",
              "背景色",
              "PNG画像生成",
              "余白(M)",
              "半角SP動作の模擬",
              "1倍",
              "背景を透明に",
              "フォルダ",
              "対象フォルダ(D)",
              "参照...",
              "サブフォルダも処理する",
              "走査対象ファイル",
              "Shift-Jis",
              "開始タグ(S)",
              "開始タグ 2",
              "開始タグ 3",
              "終了タグ(E)",
              "終了タグ 2",
              "終了タグ 3",
              "元ファイルを\"backup\"フォルダに保存する",
              "改行で行を分ける"},
             Qt::Key_D,
             "対象フォルダ(D)"},
            {2,
             {"文字色", "背景色", "PNG画像生成", "余白(M)", "半角SP動作の模擬", "1倍", "背景を透明に", "コピペ",
              "コピペ"},
             Qt::Key_M,
             "余白(M)"},
        };
        for (const auto& page : pages) {
            dlg.tabCtrl()->SetCurFocus(page.tab);
            dlg.textSwatch()->setFocus();
            QStringList visited;
            for (int press = 0; press < 40; ++press) {
                QWidget* focus = QApplication::focusWidget();
                if (press > 0 && focus == dlg.textSwatch()) break;
                visited << name(focus);
                QTest::keyClick(window, Qt::Key_Tab);
            }
            QStringList expected;
            for (const char* n : page.names) expected << QString::fromUtf8(n);
            QCOMPARE(visited, expected);
            QCOMPARE(QApplication::focusWidget(), dlg.textSwatch());  // round and back
            QTest::keyClick(window, page.alt, Qt::AltModifier);
            QCOMPARE(name(QApplication::focusWidget()), QString::fromUtf8(page.altTarget));
        }
        // The scale's label puts the focus in its box; the transparency box's key turns
        // it on and off, and the background swatch shows it.
        QTest::keyClick(window, Qt::Key_B, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.scaleBox()));
        for (const bool on : {true, false}) {
            QTest::keyClick(window, Qt::Key_N, Qt::AltModifier);
            QTRY_COMPARE(dlg.Look().transparentBack, on);  // an animated click
            QCOMPARE(static_cast<ColorSwatch*>(dlg.backSwatch())->transparent(), on);
        }
        // The margin's label names its box through the buddy relation too, and the
        // scale's its list (whose own name, on Linux, is the item it shows).
        for (const auto& [box, label] : {std::pair<QWidget*, QString>{dlg.marginEdit(), QStringLiteral("余白(M)")},
                                         std::pair<QWidget*, QString>{dlg.scaleBox(), QStringLiteral("倍率(B)")}}) {
            const auto labelled = QAccessible::queryAccessibleInterface(box)->relations(QAccessible::Label);
            QCOMPARE(labelled.size(), 1);
            QCOMPARE(labelled.first().first->text(QAccessible::Name), label);
        }

        // The swatches are push buttons; Space, Return and Enter open their chooser.
        QCOMPARE(QAccessible::queryAccessibleInterface(dlg.textSwatch())->role(), QAccessible::Button);
        const struct {
            QWidget* swatch;
            Qt::Key key;
            QColor answer;
        } presses[] = {
            {dlg.textSwatch(), Qt::Key_Space, QColor(0x10, 0x20, 0x30)},
            {dlg.backSwatch(), Qt::Key_Return, QColor(0x40, 0x50, 0x60)},
            {dlg.textSwatch(), Qt::Key_Enter, QColor(0x70, 0x80, 0x90)},
        };
        int calls = 0;
        for (const auto& press : presses) {
            press.swatch->setFocus();
            prompts.colorAnswer = press.answer;
            QTest::keyClick(window, press.key);
            QCOMPARE(prompts.colorCalls, ++calls);
            const Color chosen{static_cast<std::uint8_t>(press.answer.red()),
                               static_cast<std::uint8_t>(press.answer.green()),
                               static_cast<std::uint8_t>(press.answer.blue())};
            QCOMPARE(press.swatch == dlg.textSwatch() ? dlg.Look().textColor : dlg.Look().backColor, chosen);
            QCOMPARE(dlg.clientArea()->grab().toImage().pixelColor(press.swatch->geometry().topLeft() +
                                                                   QPoint(press.swatch->width() / 2, 1)),
                     press.answer);
            QVERIFY(dlg.isVisible());  // the key was the swatch's, not the window's OK
        }
    }

    void enterAndEscNeverEndTheProgram() {
        // Keys as the window system delivers them, on every kind of control of the
        // window and its pages: none ends the program, which would take the art in the
        // copy-paste box with it. Enter on a button presses that button (the save
        // dialog it opens is cancelled); Enter in the margin box takes its value.
        PromptRecorder prompts;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QWindow* window = dlg.windowHandle();
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.copyPastePage().edit()->setPlainText(QStringLiteral("(´・ω・`)"));
        const struct {
            const char* what;
            int tab;
            QWidget* focus;
        } controls[] = {
            {"margin box", 0, dlg.marginEdit()},
            {"space check box", 0, dlg.spaceCheck()},
            {"tab strip", 1, dlg.tabCtrl()->tabBar()},
            {"tab strip on the copy-paste page", 2, dlg.tabCtrl()->tabBar()},
            {"text swatch", 0, dlg.textSwatch()},
            {"generate button", 2, dlg.generateButton()},
            {"copy-paste box", 2, dlg.copyPastePage().edit()},
            {"file path box", 0, dlg.filePage().targetEdit()},
            {"folder pattern box", 1, dlg.folderPage().filterEdit()},
            {"sub-folder check box", 1, dlg.folderPage().subFolderCheck()},
            {"separator box", 0, GetDlgItem(&dlg.filePage(), IDC_SEPARATOR_END2)},
            {"code radio button", 1, GetDlgItem(&dlg.folderPage(), IDC_CODE_EUC)},
        };
        for (const auto& control : controls) {
            for (const auto& [key, modifiers] : {std::pair{Qt::Key_Return, Qt::KeyboardModifiers{}},
                                                 std::pair{Qt::Key_Enter, Qt::KeyboardModifiers{Qt::KeypadModifier}},
                                                 std::pair{Qt::Key_Escape, Qt::KeyboardModifiers{}}}) {
                dlg.tabCtrl()->SetCurFocus(control.tab);
                control.focus->setFocus();
                QTest::keyClick(window, key, modifiers);
                const QByteArray where =
                    QStringLiteral("%1, key %2").arg(QLatin1String(control.what)).arg(key, 0, 16).toUtf8();
                QVERIFY2(dlg.isVisible() && finished.isEmpty(), where.constData());
            }
        }
        QVERIFY(dlg.copyPastePage().edit()->toPlainText().contains(QStringLiteral("(´・ω・`)")));
        QCOMPARE(prompts.saveCalls, 2);  // Return and Enter on the generate button

        dlg.tabCtrl()->SetCurFocus(0);
        dlg.marginEdit()->setFocus();
        dlg.marginEdit()->setText(QStringLiteral("7"));
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(dlg.Look().margin, 7);
        QVERIFY(prompts.messages.isEmpty());

        // The program ends by the close box (and "終了", Ctrl+Q).
        dlg.close();
        QCOMPARE(finished.count(), 1);
    }

    void theFocusStaysWhereTheJobWasStarted() {
        // The generate button is disabled while a job runs, which moves the focus on;
        // it comes back, so that the next Enter presses the button again rather than
        // landing in the margin box.
        PromptRecorder prompts;
        quarvel::test::TempDir temp;
        quarvel::test::WriteFile(temp / "a.htm", "<dl><dt>1<dd>(^o^)\r\n</dl>");
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.filePage().SetTargetFile(quarvel::test::Native(temp / "a.htm"));
        dlg.generateButton()->setFocus();
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Return);
        QVERIFY(quarvel::test::ReadFile(temp / "a.htm").find("<img") != std::string::npos);
        // The window's own focus, which it has again when the summary of the job that
        // comes up over it is closed.
        QCOMPARE(dlg.focusWidget(), dlg.generateButton());
        QVERIFY(dlg.isVisible());
    }
};

// Under the program's own application object, so that events go through its notify.
QUARVEL_UI_TEST_UNDER_THE_PROGRAMS_APPLICATION(MainWindowKeyboardTest)
#include "main_window_keyboard_test.moc"
