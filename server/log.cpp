#include "server/log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace quarvel::server {

bool StandardErrorIsJournal(const char* journalStream) {
    // "DEVICE:INODE" of the stream systemd connected; standard error may since have been
    // sent elsewhere (2>file), and then the line is read by a person or another program.
    if (!journalStream) return false;
    char* end = nullptr;
    const unsigned long long device = std::strtoull(journalStream, &end, 10);
    if (end == journalStream || *end != ':') return false;
    const char* inodeText = end + 1;
    const unsigned long long inode = std::strtoull(inodeText, &end, 10);
    if (end == inodeText || *end != '\0') return false;
    struct stat st;
    if (::fstat(STDERR_FILENO, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

void Log(LogPriority priority, std::string_view line) {
    static const bool journal = StandardErrorIsJournal(std::getenv("JOURNAL_STREAM"));
    std::string text = journal ? "<" + std::to_string(static_cast<int>(priority)) + ">" : std::string();
    text += line;
    text += '\n';
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace quarvel::server
