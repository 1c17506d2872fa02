// The main window: its captions, menus and defaults, the about box, a command that runs
// out of memory, the colour swatches and their chooser, the program without a display,
// the margin check, and the window's size.

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <new>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/about_box.h"
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
};

// Under the program's own application object, so that events go through its notify.
QUARVEL_UI_TEST_UNDER_THE_PROGRAMS_APPLICATION(MainWindowTest)
#include "main_window_test.moc"
