#pragma once
// The service's log: one line per event on standard error. When standard error is the
// journal's stream (JOURNAL_STREAM names it), each line begins with the priority that
// the journal reads from a line's start ("<3>" an error, "<4>" a warning, "<6>"
// information), so that `journalctl -p err` finds the errors; anywhere else (a
// terminal, a file, a container's log) the lines are plain.

#include <string_view>

namespace quarvel::server {

enum class LogPriority { error = 3, warning = 4, info = 6 };

// Whether standard error is the stream that JOURNAL_STREAM ("DEVICE:INODE") names.
bool StandardErrorIsJournal(const char* journalStream);

// Writes the line at once, so that lines of two threads never mix; a log that cannot
// be written loses the line, never the service.
void Log(LogPriority priority, std::string_view line);

}  // namespace quarvel::server
