// Paths reaching the main window: on its command line, as the desktop's "Open with"
// gives them (taken as drops, converted only when the button is pressed), and dropped
// on any of its controls, in their order, as copies, and during a running job.

#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <atomic>
#include <filesystem>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/application.h"
#include "ui/kit/dialog_template.h"
#include "ui/kit/tab_control.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::test::PromptRecorder;

class MainWindowDropsTest : public QObject {
    Q_OBJECT

private slots:
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
QUARVEL_UI_TEST_UNDER_THE_PROGRAMS_APPLICATION(MainWindowDropsTest)
#include "main_window_drops_test.moc"
