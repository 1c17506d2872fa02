#pragma once
// Running a file or folder job while the window stays live.

#include <functional>
#include <thread>

class QPushButton;
class QWidget;

namespace quarvel::ui {

class ProgressWindow;

// What a job shows of itself in the window: the progress window, the generate button
// whose caption says that a job runs, and the window over which a message shows.
struct JobWindow {
    ProgressWindow& progress;
    QPushButton* generateButton;
    QWidget* messageParent;
};

// Runs one job in `window`:
//  - disables the generate button with the caption "処理ちゅう。。。";
//  - BeginJob and shows the progress window centred over the main window;
//  - runs `threadProc` on a worker thread; it calls progress.EndJob() as its last act
//    (done here should it fail to);
//  - the window thread meanwhile waits in a nested event loop, serving the worker's
//    progress texts and messages, the abort button and the rest of the window;
//  - then hides the progress window and restores the button "PNG画像生成".
// Whatever `threadProc` uses must outlive the call; it returns only after the worker
// has ended. Returns false when no worker could be started: the window is restored
// and the user is told "ジョブを開始できません". Also false, untouched, while another
// job runs.
bool RunWorkerJob(const JobWindow& window, const std::function<void()>& threadProc);

// Starts the thread that runs a job's body; throws std::system_error when no thread
// can be had. Replaceable so that tests can hold a worker back or refuse it.
using WorkerStarter = std::function<std::thread(std::function<void()> body)>;
WorkerStarter& GetWorkerStarter();

}  // namespace quarvel::ui
