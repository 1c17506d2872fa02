#include "pages/job_start.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>

#include <atomic>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "app/prompts.h"
#include "app/quarvel_dlg.h"
#include "pages/common_setting_dlg.h"
#include "pages/progress_dlg.h"

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

std::vector<std::string> MakeSeparatorList(const std::string& first, const std::string& second,
                                           const std::string& third) {
    return {SeparatorWithLineBreaks(first), SeparatorWithLineBreaks(second), SeparatorWithLineBreaks(third)};
}

ConversionSettings MakeJobSettings(const CCommonSettingDlg& common, CQuarvelDlg& owner) {
    ConversionSettings settings;
    settings.startSeparators =
        MakeSeparatorList(common.strSepalaterStart1, common.strSepalaterStart2, common.strSepalaterStart3);
    settings.endSeparators =
        MakeSeparatorList(common.strSepalaterEnd1, common.strSepalaterEnd2, common.strSepalaterEnd3);
    settings.iCode = common.iCode;
    settings.progress = &owner.progressDlg;
    settings.colFore = owner.colFore;
    settings.colBack = owner.colBack;
    settings.iMargin = static_cast<int>(owner.iMargin);
    settings.bSpace = owner.bSpace;
    return settings;
}

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
