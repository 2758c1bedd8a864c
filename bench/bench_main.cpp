// icon_look_bench: our rasterizers and the whole frame, side by side with
// SDL2's software renderer, and the memory floor.
#include <benchmark/benchmark.h>

#include "bench_main.h"
#include "bench_support.h"
#include "platform/headless.h"

#include <cstring>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

// The processor's own name, family and model: ratios to the peer differ from
// one processor to another, so a result says which one it was measured on.
// (A virtual machine may show a shortened name.)
std::string processor_name() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned int a, b, c, d;
    std::string kind;
    if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
        const unsigned int base_family = (a >> 8) & 0xF;
        const unsigned int family = base_family + (base_family == 0xF ? (a >> 20) & 0xFF : 0);
        unsigned int model = (a >> 4) & 0xF;
        if (base_family == 0x6 || base_family == 0xF) model |= ((a >> 16) & 0xF) << 4;
        kind = " (family " + std::to_string(family) + ", model " + std::to_string(model) + ")";
    }
    if (__get_cpuid(0x80000000u, &a, &b, &c, &d) == 0 || a < 0x80000004u) {
        return "unknown" + kind;
    }
    char name[49] = {};
    for (unsigned int leaf = 0; leaf < 3; leaf++) {
        __get_cpuid(0x80000002u + leaf, &a, &b, &c, &d);
        const unsigned int words[4] = {a, b, c, d};
        std::memcpy(name + leaf * 16, words, sizeof words);
    }
    std::string text(name);
    const size_t first = text.find_first_not_of(' ');
    return (first == std::string::npos ? "unknown" : text.substr(first)) + kind;
#else
    return "unknown";
#endif
}

}  // namespace

int main(int argc, char** argv) {
    headless_print_messages(false);
    const char* span_code = bench_choose_span_code();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("processor", processor_name());
    benchmark::AddCustomContext("spans", span_code);
    register_floor_benchmarks();
    register_raster_benchmarks();
    register_scene_benchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
