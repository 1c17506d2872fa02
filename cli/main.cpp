// quarvel-cli: text art to PNG pictures from the command line.

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/memory.h"

namespace {

constexpr const char* kUsage =
    "usage: quarvel-cli render [TEXT-FILE|-] -o OUT.png [--fore RRGGBB] [--back RRGGBB]\n"
    "                          [--margin N] [--no-space-sim] [--html]\n"
    "                          [--encoding auto|utf-8|cp932] [--font PATH] [--indexed]\n"
    "       quarvel-cli render-pieces FILE.mlt|FILE.ast -o DIR [--jobs N] [--fore RRGGBB]\n"
    "                          [--back RRGGBB] [--margin N] [--no-space-sim] [--font PATH]\n"
    "                          [--indexed]\n"
    "       quarvel-cli convert DOCUMENT... [options]\n"
    "       quarvel-cli convert-folder FOLDER [options]\n"
    "       quarvel-cli --version\n"
    "options of convert and convert-folder:\n"
    "  --settings FILE.ini  --code sjis|euc  --start SEP  --end SEP  --no-backup\n"
    "  --pattern \"*.htm\"  --no-subfolders  --fore RRGGBB  --back RRGGBB  --margin N\n"
    "  --no-space-sim  --font PATH  --indexed  --quiet  --jobs N (pictures drawn at once; all cores)\n"
    "--indexed writes two-colour PNG files (a palette, one bit per pixel): the same\n"
    "pixels as the default 8-bit RGB files, smaller and faster to write.\n";

int Run(int argc, char** argv) {
    using namespace quarvel::cli;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::puts("quarvel-cli " QUARVEL_VERSION);
        return kExitOk;
    }
    if (command == "render") return RunRender(args);
    if (command == "render-pieces") return RunRenderPieces(args);
    if (command == "convert") return RunConvert(args);
    if (command == "convert-folder") return RunConvertFolder(args);
    return UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
    quarvel::KeepFreedMemoryForReuse();
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        // A text or document too large for the memory at hand (or for a limit set on
        // it) is a failure like any other, not an abort.
        std::fputs("quarvel-cli: out of memory\n", stderr);
        return quarvel::cli::kExitFailed;
    }
}
