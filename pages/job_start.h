#pragma once
// Running a file or folder job while the window stays live.

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/conversion.h"

namespace quarvel::ui {

class CCommonSettingDlg;
class CQuarvelDlg;

// Runs one job of the main window `owner`:
//  - disables the generate button with the caption "処理ちゅう。。。";
//  - BeginJob and shows the progress window centred over the main window;
//  - runs `threadProc` on a worker thread; it calls progress.EndJob() as its last act
//    (done here should it fail to);
//  - the window thread meanwhile waits in a nested event loop, serving the worker's
//    progress texts and messages, the abort button and the rest of the window;
//  - then hides the progress window and restores the button "PNG画像生成".
// Whatever `threadProc` uses must outlive the call; it returns only after the worker
// has ended. Paths dropped meanwhile wait and run after the job. Returns false when
// no worker could be started: the window is restored and the user is told
// "ジョブを開始できません". Also false, untouched, while another job runs.
bool RunWorkerJob(CQuarvelDlg& owner, const std::function<void()>& threadProc);

// Starts the thread that runs a job's body; throws std::system_error when no thread
// can be had. Replaceable so that tests can hold a worker back or refuse it.
using WorkerStarter = std::function<std::thread(std::function<void()> body)>;
WorkerStarter& GetWorkerStarter();
void ResetWorkerStarter();

// A separator list for the engine: the three separators (code page 932, as typed) in
// order, empty ones kept, each backslash-n pair made a line break (CR LF) by
// SeparatorWithLineBreaks.
std::vector<std::string> MakeSeparatorList(const std::string& first, const std::string& second,
                                           const std::string& third);

// A job's settings as they stand now: the separator lists and the code of `common`
// (its members, as last taken from its controls), the look of `owner` (its members,
// not its controls), reporting to the owner's progress window.
ConversionSettings MakeJobSettings(const CCommonSettingDlg& common, CQuarvelDlg& owner);

}  // namespace quarvel::ui
