#pragma once
// The service's log: one line per event on standard error, each begun with the
// priority that the journal reads from a line's start ("<3>" an error, "<4>" a
// warning, "<6>" information), so that `journalctl -p err` finds the errors.

#include <string_view>

namespace quarvel::server {

enum class LogPriority { error = 3, warning = 4, info = 6 };

// Writes the line at once, so that lines of two threads never mix; a log that cannot
// be written loses the line, never the service.
void Log(LogPriority priority, std::string_view line);

}  // namespace quarvel::server
