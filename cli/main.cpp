// quarvel-cli: text art to PNG pictures from the command line.

#include <csignal>
#include <cstdio>
#include <new>

#include "cli/commands.h"
#include "platform/fs.h"
#include "platform/language.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    quarvel::platform::SetUpLanguage("quarvel-cli");
    quarvel::platform::KeepFreedMemoryForReuse();
    quarvel::platform::fs::RaiseOpenFileLimit();
    // Past a file-size limit a write fails, is reported and its file removed, rather than
    // the program ending in the middle of a picture or a copy.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return quarvel::cli::ParseAndRun(argc, argv);
    } catch (const std::bad_alloc&) {
        // A text or document too large for the memory at hand (or for a limit set on
        // it) is a failure like any other, not an abort.
        quarvel::cli::PrintFailure(quarvel::Failure{quarvel::Failure::What::outOfMemory});
        return quarvel::cli::kExitFailed;
    }
}
