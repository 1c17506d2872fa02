#include "ui/job_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>

#include <atomic>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "ui/kit/prompts.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"

namespace quarvel::ui {
namespace {

WorkerStarter DefaultStarter() {
    return [](std::function<void()> body) { return std::thread(std::move(body)); };
}

}  // namespace

WorkerStarter& GetWorkerStarter() {
    static WorkerStarter starter = DefaultStarter();
    return starter;
}

void ResetWorkerStarter() { GetWorkerStarter() = DefaultStarter(); }

bool RunWorkerJob(CQuarvelDlg& owner, const std::function<void()>& threadProc) {
    CProgressDlg& progress = owner.progressDlg;
    // One progress window, one set of flags: never two jobs at once.
    if (progress.bRunning) return false;
    const CQuarvelDlg::CommandScope command(owner);
    QPushButton* button = owner.generateButton();

    button->setEnabled(false);
    button->setText(QStringLiteral("処理ちゅう。。。"));
    progress.BeginJob();
    progress.ShowCentered();

    QEventLoop loop;
    std::atomic<bool> finished{false};
    bool started = true;
    std::optional<QString> thrown;  // what to tell the user of something the job threw
    std::thread worker;
    try {
        worker = GetWorkerStarter()([&] {
            try {
                threadProc();
            } catch (const std::bad_alloc&) {
                thrown = QStringLiteral("メモリが足りません");
            } catch (const std::exception& e) {
                thrown = QStringLiteral("予期しないエラー\n") + QString::fromLocal8Bit(e.what());
            } catch (...) {
                thrown = QStringLiteral("予期しないエラー");
            }
            if (progress.bRunning) progress.EndJob();
            finished = true;
            QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        started = false;
        progress.EndJob();
    }
    if (started) {
        // Waits without spinning; an outside request to leave event loops cannot end
        // the wait while the worker still needs the window thread. Once the whole
        // application has been told to quit, no nested loop runs any more: the
        // events are then served one wait at a time until the worker is done.
        while (!finished) {
            if (loop.exec() < 0 && !finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        worker.join();
    }

    progress.HideProgress();
    button->setText(QStringLiteral("PNG画像生成"));
    button->setEnabled(true);
    if (!started) {
        GetPrompts().showMessage(&owner, QStringLiteral("ジョブを開始できません"), MessageIcon::warning);
    } else if (thrown) {
        // The job ended early; documents it had not finished stay as they were.
        GetPrompts().showMessage(&owner, *thrown, MessageIcon::warning);
    }
    return started;
}

}  // namespace quarvel::ui
