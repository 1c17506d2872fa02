// quarvel-cli: text art to PNG pictures from the command line.

#include <cstdio>
#include <new>

#include "cli/commands.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    quarvel::KeepFreedMemoryForReuse();
    try {
        return quarvel::cli::ParseAndRun(argc, argv);
    } catch (const std::bad_alloc&) {
        // A text or document too large for the memory at hand (or for a limit set on
        // it) is a failure like any other, not an abort.
        std::fputs("quarvel-cli: out of memory\n", stderr);
        return quarvel::cli::kExitFailed;
    }
}
