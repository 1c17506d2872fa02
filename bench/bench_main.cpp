// The benchmarks start the way the program and the command-line tool start.

#include <benchmark/benchmark.h>

#include "platform/memory.h"

int main(int argc, char** argv) {
    quarvel::platform::KeepFreedMemoryForReuse();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
