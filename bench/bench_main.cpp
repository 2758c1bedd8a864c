// icon_look_bench: our rasterizers and the whole frame, side by side with
// SDL2's software renderer, and the memory floor.
#include <benchmark/benchmark.h>

#include "bench_main.h"
#include "platform/headless.h"
#include "raster/simd.h"

#include <cstdlib>

int main(int argc, char** argv) {
    headless_print_messages(false);
    // ICON_LOOK_SCALAR=1 measures the plain span loops instead of the kernels.
    const char* scalar = getenv("ICON_LOOK_SCALAR");
    simd_enable(scalar == nullptr || scalar[0] != '1');
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    register_floor_benchmarks();
    register_raster_benchmarks();
    register_scene_benchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
