#pragma once
// What the commands that change documents show while they run: a progress line on a
// terminal, messages and waits on standard error, and Ctrl+C as the abort button.

#include <atomic>
#include <csignal>
#include <string>

#include "engine/progress.h"

namespace quarvel::cli {

// Set on Ctrl+C (or SIGTERM) and never cleared.
extern std::atomic<bool> g_interruptRequested;

// Progress on standard error: a live line on a terminal, nothing otherwise. The line
// never reaches the last column (a line that wrapped could not be taken back); on a
// terminal without escape sequences spaces take back what is left of a longer one.
// Messages and waits are lines of their own, on a terminal or not.
class TerminalProgress : public engine::JobProgress {
public:
    explicit TerminalProgress(bool live);

    // Each job starts with the abort flag down, but an interrupt stays in force for
    // every job after it, even one that came between two jobs.
    void BeginJob() override;
    void SetProgressText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowWaiting(const std::string& text) override;

    void Print(const std::string& line);
    void ClearLine();

private:
    bool live_;
    bool dumb_;
    std::string last_;
    std::size_t shownColumns_ = 0;  // the widest line shown since the line was last taken back
};

// Ctrl+C (and a polite kill) ask the running job to stop, as the abort button does;
// a second Ctrl+C ends the program at once.
class InterruptGuard {
public:
    explicit InterruptGuard(engine::JobProgress& progress);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace quarvel::cli
