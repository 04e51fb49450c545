// The main of the product benchmarks: the working arrays and tables laid out as a run of the
// longest working length lays them out, so that products of every length measured read the
// tables a run prepares once; then the benchmarks.
#include <benchmark/benchmark.h>

#include "driver/driver.h"

int main(int argc, char** argv) {
    lay_out_working_memory(1 << 18);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
