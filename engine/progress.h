#pragma once
// What a conversion job reports to, and learns from, the front end that started it.
//
// The window implements it with its progress dialog, the command-line tool with a
// progress line on standard error. The flags are shared between the thread that
// starts a job and the worker that runs it.

#include <atomic>
#include <string>

#include "platform/failure.h"

namespace quarvel::engine {

class JobProgress {
public:
    virtual ~JobProgress() = default;

    std::atomic<bool> initialized{false};     // the front end is ready to show texts
    std::atomic<bool> abortRequested{false};  // the user asked to stop the current job
    std::atomic<bool> running{false};         // a job is running

    // Starting thread, before the worker starts: running, and no abort requested.
    virtual void BeginJob() {
        abortRequested = false;
        running = true;
    }
    // Worker: exactly once per job, as its last act.
    virtual void EndJob() { running = false; }

    // Worker: the text to show (UTF-8). Repeated equal texts may be dropped.
    virtual void SetProgressText(const std::string& text) = 0;

    // Worker: shows a message (UTF-8, path on the first line) and returns once the
    // user has seen it.
    virtual void ShowMessage(const std::string& text) = 0;

    // Worker: says what the job waits for (UTF-8, path on the first line), once the
    // wait has lasted long enough to be noticed. The progress text, on one line, unless
    // the front end has a place of its own for it.
    virtual void ShowWaiting(const std::string& text);
    // Worker: shows what failed, as ShowMessage shows its message (MessageText) unless
    // the front end words it its own way.
    virtual void ShowFailure(const Failure& failure);
};

}  // namespace quarvel::engine
