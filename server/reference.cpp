// quarvel-server-reference: writes the bash, zsh and fish completion of quarvel-server
// from the program's own table of options (server/command_line.cpp), so that none can
// drift from the program. The build runs it:
//   quarvel-server-reference BASH-COMPLETION ZSH-COMPLETION FISH-COMPLETION

#include <cstdio>
#include <fstream>
#include <string>

#include "cmdline/completion.h"
#include "server/command_line.h"

namespace {

bool WriteText(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (out.flush()) return true;
    std::fprintf(stderr, "quarvel-server-reference: %s: cannot be written\n", path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: quarvel-server-reference BASH-COMPLETION ZSH-COMPLETION FISH-COMPLETION\n", stderr);
        return 2;
    }
    const quarvel::cmdline::CompletionTable table = quarvel::server::CompletionTable();
    const bool written = WriteText(argv[1], quarvel::cmdline::BashCompletion(table)) &&
                         WriteText(argv[2], quarvel::cmdline::ZshCompletion(table)) &&
                         WriteText(argv[3], quarvel::cmdline::FishCompletion(table));
    return written ? 0 : 1;
}
