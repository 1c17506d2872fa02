// The progress window: its flags, the abort button, and the worker's calls reaching
// the window thread.

#include <QPushButton>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "support/window_test_support.h"
#include "ui/progress_window.h"

using namespace quarvel::ui;
using quarvel::test::PromptRecorder;

class ProgressWindowTest : public QObject {
    Q_OBJECT

private slots:
    void flagsAndTheAbortButton() {
        QWidget owner;
        owner.setGeometry(100, 100, 600, 400);
        ProgressWindow progress;
        QVERIFY(!progress.initialized && !progress.abortRequested && !progress.running);
        // Before the window exists, texts and showing do nothing.
        progress.SetProgressText("x");
        progress.ShowCentered();
        QVERIFY(!progress.isVisible());

        progress.Create(&owner);
        QVERIFY(progress.initialized);
        QCOMPARE(progress.text(), QStringLiteral("処置中..."));
        QCOMPARE(progress.abortButton()->text(), QStringLiteral("中止"));
        QVERIFY(!progress.isVisible());

        progress.abortRequested = true;
        progress.BeginJob();
        QVERIFY(progress.running);
        QVERIFY(!progress.abortRequested);  // an abort never carries over to the next job
        progress.ShowCentered();
        QVERIFY(progress.isVisible());
        // Over the middle of its owner, to the pixel that an odd difference of sizes leaves.
        const QPoint off = progress.frameGeometry().center() - owner.frameGeometry().center();
        QVERIFY2(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1, qPrintable(QStringLiteral("%1, %2").arg(off.x()).arg(off.y())));

        QTest::mouseClick(progress.abortButton(), Qt::LeftButton);
        QVERIFY(progress.abortRequested);
        QVERIFY(progress.isVisible());
        QVERIFY(progress.abortButton()->isEnabled());
        QVERIFY(progress.running);

        // Neither Esc nor a close request hides the window during a job.
        QTest::keyClick(&progress, Qt::Key_Escape);
        progress.close();
        QVERIFY(progress.isVisible());

        progress.EndJob();
        QVERIFY(!progress.running);
        progress.HideProgress();
        QVERIFY(!progress.isVisible());
        // The last text stays for the next job.
        progress.SetProgressText("a.htm");
        QCOMPARE(progress.text(), QStringLiteral("a.htm"));
    }

    void workerCallsReachTheWindowThread() {
        PromptRecorder prompts;
        QWidget owner;
        ProgressWindow progress;
        progress.Create(&owner);
        std::atomic<bool> messageReturned{false};
        std::thread worker([&] {
            progress.SetProgressText("ファイル");
            progress.ShowMessage("/tmp/x\nファイル");
            messageReturned = true;
        });
        // The message waits for the window thread, which answers it here.
        QTRY_VERIFY(messageReturned);
        worker.join();
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("/tmp/x\nファイル")});
        QCOMPARE(prompts.messageThread, QThread::currentThread());
        QTRY_COMPARE(progress.text(), QStringLiteral("ファイル"));
    }
};

QUARVEL_UI_TEST(ProgressWindowTest)
#include "progress_window_test.moc"
