#include "ui/job_runner.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QPushButton>

#include <atomic>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "engine/messages.h"
#include "ui/kit/prompts.h"
#include "ui/progress_window.h"

namespace quarvel::ui {

using engine::FailureOfThrown;
using engine::MessageText;

namespace {

WorkerStarter DefaultStarter() {
    return [](std::function<void()> body) { return std::thread(std::move(body)); };
}

}  // namespace

WorkerStarter& GetWorkerStarter() {
    static WorkerStarter starter = DefaultStarter();
    return starter;
}

namespace {

// Runs `threadProc` on a worker and serves the window's events until it has ended.
// False when no worker could be started; `thrown` receives what to tell the user of
// something the job threw.
bool RunAndWait(ProgressWindow& progress, const std::function<void()>& threadProc, std::optional<QString>& thrown) {
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker;
    try {
        worker = GetWorkerStarter()([&] {
            try {
                threadProc();
            } catch (...) {
                thrown = QString::fromStdString(MessageText(FailureOfThrown(std::current_exception())));
            }
            if (progress.running) progress.EndJob();
            finished = true;
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        progress.EndJob();
        return false;
    }
    // Waits without spinning; an outside request to leave event loops cannot end the
    // wait while the worker still needs the window thread. Once the whole application
    // has been told to quit, no nested loop runs any more: the events are then served
    // one wait at a time until the worker is done.
    while (!finished) {
        if (loop.exec() < 0 && !finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    return true;
}

}  // namespace

bool RunWorkerJob(const JobWindow& window, const std::function<void()>& threadProc) {
    ProgressWindow& progress = window.progress;
    // One progress window, one set of flags: never two jobs at once.
    if (progress.running) return false;
    QPushButton* button = window.generateButton;
    // Disabling the button passes the focus on (to the margin box); it comes back
    // after the job unless the user has put it somewhere else meanwhile.
    const QPointer<QWidget> focused = QApplication::focusWidget();

    button->setEnabled(false);
    const QPointer<QWidget> passedTo = QApplication::focusWidget();
    button->setText(QCoreApplication::translate("JobRunner", "処理ちゅう。。。"));
    progress.BeginJob();
    progress.ShowCentered();
    std::optional<QString> thrown;
    const bool started = RunAndWait(progress, threadProc, thrown);
    progress.HideProgress();
    button->setText(QCoreApplication::translate("JobRunner", "PNG画像生成"));
    button->setEnabled(true);
    const QWidget* now = QApplication::focusWidget();
    const bool userMovedIt = now && now != passedTo && focused && now->window() == focused->window();
    if (focused && focused->isEnabled() && focused->isVisible() && !userMovedIt) {
        focused->activateWindow();
        focused->setFocus(Qt::OtherFocusReason);
    }

    if (!started) {
        GetPrompts().showMessage(window.messageParent,
                                 QCoreApplication::translate("JobRunner", "ジョブを開始できません"),
                                 MessageIcon::warning);
    } else if (thrown) {
        // The job ended early; documents it had not finished stay as they were.
        GetPrompts().showMessage(window.messageParent, *thrown, MessageIcon::warning);
    }
    return started;
}

}  // namespace quarvel::ui
