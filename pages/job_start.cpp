#include "pages/job_start.h"

#include <QEventLoop>
#include <QPushButton>

#include <atomic>
#include <system_error>
#include <thread>

#include "app/prompts.h"
#include "app/quarvel_dlg.h"
#include "pages/progress_dlg.h"

namespace quarvel::ui {

bool RunWorkerJob(CQuarvelDlg& owner, const std::function<void()>& threadProc) {
    const CQuarvelDlg::CommandScope command(owner);
    CProgressDlg& progress = owner.progressDlg;
    QPushButton* button = owner.generateButton();

    button->setEnabled(false);
    button->setText(QStringLiteral("処理ちゅう。。。"));
    progress.BeginJob();
    progress.ShowCentered();

    QEventLoop loop;
    std::atomic<bool> finished{false};
    bool started = true;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                threadProc();
            } catch (...) {
                // The engine reports through results; anything thrown still ends the job.
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
        // the wait while the worker still needs the window thread.
        while (!finished) loop.exec();
        worker.join();
    }

    progress.HideProgress();
    button->setText(QStringLiteral("PNG画像生成"));
    button->setEnabled(true);
    if (!started) {
        GetPrompts().showMessage(&owner, QStringLiteral("処理を開始できませんでした"), MessageIcon::warning);
    }
    return started;
}

}  // namespace quarvel::ui
