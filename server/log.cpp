#include "server/log.h"

#include <unistd.h>

#include <string>

namespace quarvel::server {

void Log(LogPriority priority, std::string_view line) {
    std::string text = "<" + std::to_string(static_cast<int>(priority)) + ">";
    text += line;
    text += '\n';
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace quarvel::server
