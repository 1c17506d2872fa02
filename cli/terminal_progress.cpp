#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/commands.h"
#include "cmdline/text.h"
#include "engine/messages.h"
#include "platform/codec.h"

namespace quarvel::cli {

using cmdline::Columns;
using engine::JobProgress;
using engine::OneLine;
namespace cp932 = platform::cp932;

std::atomic<bool> g_interruptRequested{false};

namespace {

// The columns of a line on standard error, a terminal.
std::size_t TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// UTF-8 text cut to `columns` (a wide character takes two): what does not fit gives
// way at the start to "...", so that a path keeps its file name.
std::string FitColumns(const std::string& text, std::size_t columns) {
    if (Columns(text) <= columns) return text;
    const std::size_t room = columns > 3 ? columns - 3 : 0;
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const std::size_t length = cp932::DecodeUtf8(text, at, code);
        at += length == 0 ? 1 : length;
        if (Columns(std::string_view(text).substr(at)) <= room) return "..." + text.substr(at);
    }
    return "...";
}

// A terminal that takes no escape sequences: TERM is dumb or not set.
bool IsDumbTerminal() {
    const char* term = std::getenv("TERM");
    return !term || !*term || std::strcmp(term, "dumb") == 0;
}

std::atomic<JobProgress*> g_interrupted{nullptr};

extern "C" void OnInterrupt(int) {
    g_interruptRequested.store(true);
    if (JobProgress* progress = g_interrupted.load()) progress->abortRequested.store(true);
}

}  // namespace

TerminalProgress::TerminalProgress(bool live) : live_(live), dumb_(live && IsDumbTerminal()) { initialized = true; }

void TerminalProgress::BeginJob() {
    JobProgress::BeginJob();
    if (g_interruptRequested.load()) abortRequested = true;
}

void TerminalProgress::SetProgressText(const std::string& text) {
    if (!live_ || text == last_) return;
    last_ = text;
    const std::string line = FitColumns(text, TerminalColumns() - 1);
    const std::size_t columns = Columns(line);
    std::fprintf(stderr, "\r%s%s", line.c_str(),
                 dumb_ ? std::string(shownColumns_ > columns ? shownColumns_ - columns : 0, ' ').c_str() : "\x1b[K");
    shownColumns_ = std::max(shownColumns_, columns);
    std::fflush(stderr);
}

void TerminalProgress::ShowMessage(const std::string& text) { Print("quarvel-cli: " + OneLine(text)); }

void TerminalProgress::ShowWaiting(const std::string& text) { ShowMessage(text); }

void TerminalProgress::Print(const std::string& line) {
    ClearLine();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void TerminalProgress::ClearLine() {
    if (live_ && !last_.empty()) {
        if (dumb_)
            std::fprintf(stderr, "\r%s\r", std::string(shownColumns_, ' ').c_str());
        else
            std::fputs("\r\x1b[K", stderr);
    }
    last_.clear();
    shownColumns_ = 0;
}

InterruptGuard::InterruptGuard(JobProgress& progress) {
    g_interrupted = &progress;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    g_interrupted = nullptr;
}

}  // namespace quarvel::cli
