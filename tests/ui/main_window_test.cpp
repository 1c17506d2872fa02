// The main window: captions, colour swatches, the margin check, resizing, the about
// box, and dropped paths around a running job.

#include <QAccessible>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/about_box.h"
#include "ui/application.h"
#include "ui/job_runner.h"
#include "ui/kit/color_swatch.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/html_edit.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::platform::Color;
using quarvel::platform::kWhite;
using quarvel::test::PromptRecorder;

namespace {

const QString kVersionLine = QStringLiteral("Quarvel  ver.β_040411");

// Runs `action` once the next modal dialog is up, then closes it.
template <typename Dialog, typename Action>
void WhenModalOpens(Action action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithCaptionsAndDefaults() {
        MainWindow dlg;
        QCOMPARE(dlg.windowTitle(), kVersionLine);
        QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("0"));
        // The icon at every size of the theme, drawn by the build from one drawing.
        QList<QSize> sizes = dlg.windowIcon().availableSizes();
        std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
        QCOMPARE(sizes, (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
        QCOMPARE(dlg.windowIcon().pixmap(48).toImage().pixelColor(24, 4), QColor(0x2b, 0x57, 0x97));
        QVERIFY(dlg.spaceCheck()->isChecked());
        QCOMPARE(dlg.generateButton()->text(), QStringLiteral("PNG画像生成"));
        QCOMPARE(dlg.tabCtrl()->GetCurFocus(), 0);
        QCOMPARE(dlg.tabCtrl()->tabBar()->tabText(0), QStringLiteral("ファイル"));
        QCOMPARE(dlg.tabCtrl()->tabBar()->tabText(1), QStringLiteral("フォルダ"));
        QCOMPARE(dlg.tabCtrl()->tabBar()->tabText(2), QStringLiteral("コピペ"));
        QVERIFY(dlg.progressWindow().initialized);
        QCOMPARE(dlg.progressWindow().windowTitle(), QStringLiteral("Quarvel　処理中。。。"));
        QVERIFY(!dlg.progressWindow().isVisible());

        QStringList menuTexts;
        for (QAction* menu : dlg.menuBar()->actions()) {
            menuTexts << menu->text();
            for (QAction* item : menu->menu()->actions()) menuTexts << item->text();
        }
        QCOMPARE(menuTexts,
                 (QStringList{
                     QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("プレビュー(&P)"),
                     QStringLiteral("テンプレート集を開く(&T)..."), QStringLiteral("最近開いたテンプレート集(&R)"),
                     QString(), QStringLiteral("対象ファイルをbackupから戻す(&R)..."), QString(),
                     QStringLiteral("設定を読み込む(&L)..."), QStringLiteral("名前をつけて設定を保存(&A)..."),
                     QString(), QStringLiteral("2色PNG（小さいファイル）(&I)"), QString(), QStringLiteral("終了(&X)"),
                     QStringLiteral("編集(&E)"), QStringLiteral("空白で位置まで埋める(&F)..."),
                     QStringLiteral("右端をそろえる(&R)..."), QString(), QStringLiteral("ガイドを置く／外す(&G)"),
                     QStringLiteral("ガイドをすべて消す(&C)"),
                     QStringLiteral("ﾍﾙﾌﾟ(&H)"), QStringLiteral("ﾊﾞｼﾞｮｰﾝの表示(&V)...")}));
    }

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

    void aboutBoxFromTheMenu() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QString caption, line;
        WhenModalOpens<AboutBox>([&](AboutBox* about) {
            caption = about->windowTitle();
            line = qobject_cast<QLabel*>(GetDlgItem(about, 1027))->text();
            about->accept();
        });
        dlg.menuBar()->findChild<QAction*>(QStringLiteral("cmd32773"))->trigger();
        QCOMPARE(caption, kVersionLine);
        QCOMPARE(line, kVersionLine);
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

    void runningOutOfMemoryInACommandIsAMessage() {
        PromptRecorder prompts;
        GetPrompts().askSaveFile = [](QWidget*, const SaveFileRequest&) -> std::optional<QString> {
            throw std::bad_alloc();
        };
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("out of memory")});
        QVERIFY(!dlg.IsBusy());
        QVERIFY(dlg.isVisible());
    }

    void swatchClicksOnTheirEdges() {
        PromptRecorder prompts;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        const QRect text = dlg.SwatchRect(IDC_TEXT_COLOR);
        const QRect back = dlg.SwatchRect(IDC_BACK_COLOR);

        // The right edge line of the text swatch, the bottom edge line of the
        // background swatch.
        prompts.colorAnswer = QColor(0x12, 0x34, 0x56);
        QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {}, QPoint(text.left() + text.width(), text.center().y()));
        QCOMPARE(prompts.colorCalls, 1);
        QCOMPARE(prompts.colorInitial, QColor(0, 0, 0));
        QCOMPARE(dlg.Look().textColor, (Color{0x12, 0x34, 0x56}));
        prompts.colorAnswer = QColor(0xAB, 0xCD, 0xEF);
        QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {}, QPoint(back.center().x(), back.top() + back.height()));
        QCOMPARE(prompts.colorCalls, 2);
        QCOMPARE(dlg.Look().backColor, (Color{0xAB, 0xCD, 0xEF}));
        QCOMPARE(dlg.Look().textColor, (Color{0x12, 0x34, 0x56}));

        // The swatches show the colours at once.
        const QImage shot = dlg.clientArea()->grab().toImage();
        QCOMPARE(shot.pixelColor(text.center()), QColor(0x12, 0x34, 0x56));
        QCOMPARE(shot.pixelColor(back.center()), QColor(0xAB, 0xCD, 0xEF));

        // One pixel further out misses.
        QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {},
                          QPoint(text.left() + text.width() + 1, text.center().y()));
        QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {}, QPoint(back.left() - 1, back.top()));
        QCOMPARE(prompts.colorCalls, 2);
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

    void commandLinePathsAreTakenAsDrops() {
        const std::filesystem::path cwd = "/home/u/logs";
        const struct {
            std::string argument;
            std::filesystem::path path;
        } cases[] = {
            {"thread.htm", "/home/u/logs/thread.htm"},
            {"../old/", "/home/u/logs/../old/"},
            {"/srv/threads", "/srv/threads"},
            {"file:///tmp/a%20b.htm", "/tmp/a b.htm"},
            {"file:///tmp/%E3%81%82.htm", "/tmp/\xE3\x81\x82.htm"},
            {"\x82\xA0.htm", "/home/u/logs/\x82\xA0.htm"},  // Shift-JIS bytes stay as they are
            {"", ""},                                       // nothing: skipped
        };
        std::vector<std::string> arguments;
        std::vector<std::filesystem::path> expected;
        for (const auto& c : cases) {
            arguments.push_back(c.argument);
            if (!c.path.empty()) expected.push_back(c.path);
        }
        QCOMPARE(OpenedPaths(arguments, cwd), expected);
    }

    void openedPathsFillThePagesAndWait() {
        // As the desktop's "Open with" starts the program: the first document goes to
        // the file page and the first folder to the folder page, the page of the first
        // path shows, and nothing is converted until the user presses the button.
        PromptRecorder prompts;
        quarvel::test::HeldWorker held;
        quarvel::test::TempDir temp;
        const std::string thread = "<dl><dt>1<dd>(^o^)\r\n</dl>";
        quarvel::test::WriteFile(temp / "a.htm", thread);
        quarvel::test::WriteFile(temp / "b.htm", thread);
        std::filesystem::create_directory(temp / "logs");
        const struct {
            std::vector<std::filesystem::path> paths;
            int tab;
            const char* file;
            const char* folder;
        } cases[] = {
            {{temp / "a.htm", temp / "logs"}, 0, "a.htm", "logs"},
            {{temp / "missing", temp / "logs", temp / "b.htm", temp / "a.htm"}, 1, "b.htm", "logs"},
            {{temp / "missing"}, 0, "", ""},
        };
        for (const auto& c : cases) {
            MainWindow dlg;
            dlg.OpenPaths(c.paths);
            QCOMPARE(dlg.tabCtrl()->GetCurFocus(), c.tab);
            const auto shown = [&](const char* name) { return *name ? quarvel::test::Native(temp / name) : QString(); };
            QCOMPARE(dlg.filePage().targetEdit()->text(), shown(c.file));
            QCOMPARE(dlg.folderPage().targetEdit()->text(), shown(c.folder));
            QCOMPARE(held.starts, 0);
            QVERIFY(prompts.messages.isEmpty());
        }
        QCOMPARE(quarvel::test::TreeOf(temp.path()), (std::vector<std::string>{"a.htm", "b.htm", "logs/"}));
        QCOMPARE(quarvel::test::ReadFile(temp / "a.htm"), thread);
    }

    void versionAndHelpNeedNoDisplay() {
        // Without any display: the version and the usage on standard output, exit 0;
        // the window itself says why it cannot open rather than abort.
        const struct {
            QStringList arguments;
            int exitCode;
            const char* out;
            const char* err;
            const char* locale = "ja_JP.UTF-8";
        } cases[] = {
            {{QStringLiteral("--version")}, 0, "quarvel " QUARVEL_VERSION "\n", ""},
            {{QStringLiteral("--help")}, 0, "使い方: quarvel [", ""},
            {{QStringLiteral("-h")}, 0, "使い方: quarvel [", ""},
            {{QStringLiteral("a.htm"), QStringLiteral("--version")}, 0, "quarvel " QUARVEL_VERSION "\n", ""},
            {{QStringLiteral("--"), QStringLiteral("--version")}, 1, "", "quarvel: "},
            {{}, 1, "", "quarvel: 画面が無い"},
            // Before the application exists, in the user's language all the same.
            {{QStringLiteral("--help")}, 0, "Usage: quarvel [", "", "en_US.UTF-8"},
            {{}, 1, "", "quarvel: cannot open a window without a display", "en_US.UTF-8"},
            {{QStringLiteral("--help")}, 0, "Usage: quarvel [", "", "C"},
        };
        for (const auto& c : cases) {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
            env.insert(QStringLiteral("LC_ALL"), QLatin1String(c.locale));
            env.insert(QStringLiteral("LANGUAGE"), QString());
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(QUARVEL_WINDOW_PATH), c.arguments);
            QVERIFY(program.waitForFinished(20000));
            const QByteArray where = c.arguments.join(QLatin1Char(' ')).toUtf8();
            QVERIFY2(program.exitStatus() == QProcess::NormalExit, where.constData());
            QVERIFY2(program.exitCode() == c.exitCode, where.constData());
            const QByteArray out = program.readAllStandardOutput();
            const QByteArray err = program.readAllStandardError();
            QVERIFY2(*c.out ? out.startsWith(c.out) : out.isEmpty(), out.constData());
            QVERIFY2(!out.isEmpty() || c.exitCode != 0, where.constData());
            QVERIFY2(*c.err ? err.startsWith(c.err) : err.isEmpty(), err.constData());
        }
    }

    void cancelledChooserChangesNothing() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.SetLook({Color{0xFF, 0x00, 0x00}, kWhite, 0, true});
        QColor offered;
        WhenModalOpens<QColorDialog>([&](QColorDialog* chooser) {
            offered = chooser->currentColor();
            chooser->setCurrentColor(Qt::green);
            chooser->reject();
        });
        QTest::mouseClick(dlg.clientArea(), Qt::LeftButton, {}, dlg.SwatchRect(IDC_TEXT_COLOR).center());
        QCOMPARE(offered, QColor(Qt::black));  // the current colour is not preselected
        QCOMPARE(dlg.Look().textColor, (Color{0xFF, 0x00, 0x00}));
    }

    void refusedMarginStopsTheCommand() {
        PromptRecorder prompts;
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.tabCtrl()->SetCurFocus(2);
        dlg.spaceCheck()->setChecked(false);

        dlg.marginEdit()->setText(QStringLiteral("101"));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("0 から 100 までの整数を入力してください。")});
        QCOMPARE(prompts.saveCalls, 0);
        QCOMPARE(QApplication::focusWidget(), dlg.marginEdit());
        QCOMPARE(dlg.Look().margin, 0);
        QVERIFY(!dlg.Look().collapseSpaces);  // the check box was taken before the margin

        dlg.marginEdit()->clear();
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages.size(), 2);
        QCOMPARE(prompts.messages.last(), QStringLiteral("正の整数を入力してください。"));
        QCOMPARE(prompts.saveCalls, 0);

        // Enter in the margin box takes its value: a refused one is said, and the last
        // good one stays.
        dlg.marginEdit()->setText(QStringLiteral("500"));
        dlg.marginEdit()->setFocus();
        QTest::keyClick(dlg.marginEdit(), Qt::Key_Return);
        QCOMPARE(prompts.messages.size(), 3);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.Look().margin, 0);

        dlg.marginEdit()->setText(QStringLiteral("100"));
        QTest::mouseClick(dlg.generateButton(), Qt::LeftButton);
        QCOMPARE(prompts.messages.size(), 3);
        QCOMPARE(prompts.saveCalls, 1);
        QCOMPARE(dlg.Look().margin, 100);
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

    void theWindowIsSizedToItsPages() {
        // At its first size the largest page shows whole with no more than a margin
        // around its controls (no strip of nothing along an edge), and the controls
        // above the tabs fit; the window cannot be made smaller than that.
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        const DialogUnits units(dlg.clientArea()->font());
        const auto check = [&](const char* when) {
            const QRect area = dlg.tabCtrl()->DisplayRect();
            for (QWidget* page : std::initializer_list<QWidget*>{&dlg.filePage(), &dlg.folderPage()}) {
                const QRect used = page->childrenRect();
                QVERIFY2(used.right() < area.width() && used.bottom() < area.height(), when);
            }
            const QRect folder = dlg.folderPage().childrenRect();  // the tallest page
            QVERIFY2(area.height() - folder.bottom() <= units.Y(10), when);
            int reach = folder.right() + dlg.tabCtrl()->width() - area.width();
            for (QWidget* control : std::initializer_list<QWidget*>{
                     dlg.generateButton(), dlg.spaceCheck(), dlg.backSwatch(), dlg.scaleBox(), dlg.transparentCheck()})
                reach = std::max(reach, control->geometry().right());
            QVERIFY2(dlg.clientArea()->width() - reach <= units.X(10), when);
        };
        check("at the first size");
        dlg.resize(100, 100);
        QTRY_VERIFY(dlg.width() > 100);
        check("made as small as it goes");
        QCOMPARE(dlg.size(), dlg.minimumSize());
    }

    void growingStretchesTheTabControlAndEveryPage() {
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        dlg.resize(dlg.width() + 200, dlg.height() + 150);
        QTRY_COMPARE(dlg.tabCtrl()->geometry().right(), dlg.clientArea()->width() - 1);
        QCOMPARE(dlg.tabCtrl()->geometry().bottom(), dlg.clientArea()->height() - 1);
        const QRect area = dlg.tabCtrl()->DisplayRect();
        QCOMPARE(dlg.filePage().geometry(), area);
        QCOMPARE(dlg.folderPage().geometry(), area);
        QCOMPARE(dlg.copyPastePage().geometry(), area);
        QVERIFY(!dlg.copyPastePage().isVisible());
        dlg.tabCtrl()->SetCurFocus(2);
        // The box, and the status line of its widths under it.
        const QRect box = dlg.copyPastePage().edit()->geometry();
        const QWidget* status = dlg.copyPastePage().statusLine()->parentWidget();
        QCOMPARE(box.topLeft(), QPoint(0, 0));
        QCOMPARE(box.width(), area.width());
        QCOMPARE(status->geometry(), QRect(0, box.height(), area.width(), area.height() - box.height()));
    }

    void dropsDuringAJobWaitTheirTurn() {
        PromptRecorder prompts;
        QTemporaryDir temp;
        const QString folder = temp.filePath(QStringLiteral("フォルダ"));
        const QString file = temp.filePath(QStringLiteral("スレ.htm"));
        QVERIFY(QDir().mkpath(folder));
        QFile(file).open(QIODevice::WriteOnly);

        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QSignalSpy tabs(dlg.tabCtrl(), &TabControl::currentTabChanged);
        std::atomic<bool> release{false};
        bool checkedDuringJob = false;

        QTimer::singleShot(0, [&] {
            // Inside the job's nested loop: the window is live and the job visible.
            QVERIFY(!dlg.generateButton()->isEnabled());
            QCOMPARE(dlg.generateButton()->text(), QStringLiteral("処理ちゅう。。。"));
            QVERIFY(dlg.progressWindow().isVisible());
            dlg.OnDropFiles(
                {QFile::encodeName(folder).toStdString(), "/no/such/path", QFile::encodeName(file).toStdString()});
            QCOMPARE(tabs.count(), 0);
            QCOMPARE(dlg.PendingDropCount(), std::size_t{3});
            dlg.close();  // waits for the job too
            QVERIFY(!dlg.isHidden());
            checkedDuringJob = true;
            release = true;
        });
        const bool started = dlg.RunJob([&] {
            quarvel::test::WaitUntil([&] { return release.load(); }, "the checks made during the job");
            dlg.progressWindow().SetProgressText("スレ.htm");
            dlg.progressWindow().ShowMessage("x\nファイル");
            dlg.progressWindow().EndJob();
        });
        QVERIFY(started);
        QVERIFY(checkedDuringJob);
        // The worker's message was shown on the window thread while it waited.
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("x\nファイル")});
        QCOMPARE(prompts.messageThread, QThread::currentThread());
        QTRY_COMPARE(dlg.progressWindow().text(), QStringLiteral("スレ.htm"));
        QVERIFY(!dlg.progressWindow().isVisible());
        QVERIFY(dlg.generateButton()->isEnabled());
        QCOMPARE(dlg.generateButton()->text(), QStringLiteral("PNG画像生成"));

        // The close request came during the job: it happens now, and the waiting
        // paths are dropped with it.
        QTRY_VERIFY(dlg.isHidden());
        QCOMPARE(dlg.PendingDropCount(), std::size_t{0});
    }

    void dropsOnAnyControlReachTheWindow() {
        // A drop as the window system delivers it: to the window, at a point over one
        // of its controls. File managers offer the paths as URLs and as plain text.
        QTemporaryDir temp;
        const QString folder = temp.filePath(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(folder));
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QWindow* window = dlg.windowHandle();
        QVERIFY(window);
        dlg.tabCtrl()->SetCurFocus(1);
        const auto dropOn = [&](QPoint at) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(folder)});
            data.setText(folder);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &enter);
            if (!enter.isAccepted()) {
                QDragLeaveEvent leave;
                QCoreApplication::sendEvent(window, &leave);
                return false;
            }
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &drop);
            return drop.isAccepted();
        };
        // A free spot right of the generate button, then three text boxes.
        QWidget* const targets[] = {dlg.clientArea(), dlg.marginEdit(), dlg.folderPage().targetEdit(),
                                    GetDlgItem(&dlg.folderPage(), IDC_SEPARATOR_START1)};
        for (QWidget* target : targets) {
            const QPoint at = target == dlg.clientArea()
                                  ? dlg.clientArea()->mapTo(&dlg, QPoint(dlg.clientArea()->width() - 3, 3))
                                  : target->mapTo(&dlg, target->rect().center());
            dlg.folderPage().targetEdit()->clear();
            dlg.folderPage().SetTargetFolder(QString());
            QVERIFY2(dropOn(at), qPrintable(target->objectName()));
            // The folder's job runs once the drop has returned; no box takes the text.
            QTRY_COMPARE(dlg.folderPage().targetFolder(), folder);
            QCOMPARE(dlg.folderPage().targetEdit()->text(), folder);
            QCOMPARE(dlg.marginEdit()->text(), QStringLiteral("0"));
            QCOMPARE(qobject_cast<QLineEdit*>(GetDlgItem(&dlg.folderPage(), IDC_SEPARATOR_START1))->text(),
                     QStringLiteral("<dd>"));
        }
    }

    void dropsAreTakenAsCopies() {
        // Shift held while dragging from a file manager proposes a move; the window
        // answers with a copy, so the source never deletes what was dropped.
        QTemporaryDir temp;
        const QString file = temp.filePath(QStringLiteral("a.txt"));
        QFile(file).open(QIODevice::WriteOnly);
        MainWindow dlg;
        QVERIFY(quarvel::test::ShowActive(&dlg));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        const QPoint at = dlg.clientArea()->mapTo(&dlg, QPoint(dlg.clientArea()->width() - 3, 3));
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(dlg.windowHandle(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(dlg.windowHandle(), &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(move.dropAction(), Qt::CopyAction);
        QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(dlg.windowHandle(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QTRY_COMPARE(dlg.filePage().targetFile(), file);

        // A source that offers only a move is refused.
        QDragEnterEvent moveOnly(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.windowHandle(), &moveOnly);
        QVERIFY(!moveOnly.isAccepted());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(dlg.windowHandle(), &leave);
    }

    void droppedPathsRunInDropOrder() {
        QTemporaryDir temp;
        const QString folder = temp.filePath(QStringLiteral("dir"));
        const QString file = temp.filePath(QStringLiteral("a.htm"));
        QVERIFY(QDir().mkpath(folder));
        QFile(file).open(QIODevice::WriteOnly);

        MainWindow dlg;
        QSignalSpy tabs(dlg.tabCtrl(), &TabControl::currentTabChanged);
        dlg.marginEdit()->setText(QStringLiteral("9"));  // a drop does not take the controls
        dlg.tabCtrl()->SetCurFocus(2);
        tabs.clear();
        dlg.OnDropFiles({QFile::encodeName(file).toStdString(), "/no/such/path",
                         QFile::encodeName(folder).toStdString(), QFile::encodeName(file).toStdString()});
        QCOMPARE(tabs.count(), 3);
        QCOMPARE(tabs.at(0).at(0).toInt(), 0);
        QCOMPARE(tabs.at(1).at(0).toInt(), 1);
        QCOMPARE(tabs.at(2).at(0).toInt(), 0);
        QCOMPARE(dlg.filePage().targetFile(), file);
        QCOMPARE(dlg.folderPage().targetFolder(), folder);
        QVERIFY(dlg.folderPage().isVisibleTo(dlg.tabCtrl()) == false);
        QCOMPARE(dlg.Look().margin, 0);
    }
};

// Under the program's own application object, so that events go through its notify.
QUARVEL_UI_TEST_UNDER_THE_PROGRAMS_APPLICATION(MainWindowTest)
#include "main_window_test.moc"
