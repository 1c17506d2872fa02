// The wait for a job when the whole application is asked to quit meanwhile (a
// session ending, say). A class that runs in a process of its own: once asked to
// quit, nested event loops of this thread stop running for good.

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

#include "support/test_support.h"
#include "support/window_test_support.h"
#include "ui/job_runner.h"
#include "ui/main_window.h"

using namespace quarvel::ui;
using quarvel::test::PromptRecorder;

class JobRunnerTest : public QObject {
    Q_OBJECT
private slots:
    void somethingThrownByTheJobIsReported() {
        // Runs first: the test below ends every event loop of this thread for good.
        PromptRecorder prompts;
        MainWindow dlg;
        const std::pair<std::function<void()>, QString> cases[] = {
            {[] { throw std::bad_alloc(); }, QStringLiteral("out of memory")},
            {[] { throw std::runtime_error("broken"); }, QStringLiteral("unexpected error\nbroken")},
            {[] { throw 42; }, QStringLiteral("unexpected error")},
        };
        for (const auto& [thrower, message] : cases) {
            prompts.messages.clear();
            QVERIFY(dlg.RunJob(thrower));
            QCOMPARE(prompts.messages, QStringList{message});
            QVERIFY(!dlg.progressWindow().running);
            QVERIFY(dlg.generateButton()->isEnabled());
        }
    }

    void quitDuringAJobStillServesTheWorker() {
        PromptRecorder prompts;
        MainWindow dlg;
        dlg.show();
        bool returned = false;
        bool started = false;
        std::atomic<bool> exitAsked{false};
        QEventLoop outer;
        QTimer::singleShot(0, [&] {
            // Runs inside the job's wait: every event loop of this thread is told to end.
            QTimer::singleShot(0, [&] {
                QCoreApplication::exit(0);
                exitAsked = true;
            });
            started = dlg.RunJob([&] {
                quarvel::test::WaitUntil([&] { return exitAsked.load(); }, "the window thread to ask its loops to end");
                // Needs the window thread: a wait that stopped serving events would hang here.
                dlg.progressWindow().ShowMessage("x");
                dlg.progressWindow().EndJob();
            });
            returned = true;
            outer.quit();
        });
        outer.exec();
        QVERIFY(returned);
        QVERIFY(started);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("x")});
        QVERIFY(dlg.generateButton()->isEnabled());
        QVERIFY(!dlg.progressWindow().isVisible());
    }
};

QUARVEL_UI_TEST(JobRunnerTest)
#include "job_runner_test.moc"
