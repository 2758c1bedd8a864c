// Each rasterizer family on seeded triangle sets of three sizes, with the
// peer drawing the same triangles where it has a matching mode.
#include <cstdlib>
#include <deque>
#include <string>

#include "alloc_count.h"
#include "bench_support.h"
#include "bench_main.h"
#include "families.h"
#include "model/shade.h"
#include "peer.h"
#include "shell/memory.h"

namespace {

uint8_t expand5(uint16_t colour, int shift) {
    return static_cast<uint8_t>(((colour >> shift) & 31) << 3);
}

int32_t make_peer_batch(const PolySet& set, PeerMode mode) {
    std::vector<PeerVertex> vertices;
    for (const BenchTri& t : set.tris) {
        for (int k = 0; k < 3; k++) {
            PeerVertex p{static_cast<float>(t.sv[k].x), static_cast<float>(t.sv[k].y),
                         static_cast<float>(t.uv[k].x), static_cast<float>(t.uv[k].y),
                         static_cast<uint8_t>(t.rgb[k].x), static_cast<uint8_t>(t.rgb[k].y),
                         static_cast<uint8_t>(t.rgb[k].z)};
            if (mode == PEER_FLAT) {
                p.r = expand5(t.flat, 10);
                p.g = expand5(t.flat, 5);
                p.b = expand5(t.flat, 0);
            } else if (mode == PEER_TEXTURED_WHITE) {
                p.r = p.g = p.b = 255;
            }
            vertices.push_back(p);
        }
    }
    const bool textured = mode == PEER_TEXTURED_WHITE || mode == PEER_TEXTURED_COLOURS;
    return peer_batch(vertices, textured);
}

// ICON_LOOK_BENCH_WARM=1: each side draws its set once more, untimed, before
// each timed pass, so that neither starts from caches the other side has just
// filled with its own frame buffer and texture.
bool warm_passes() {
    const char* warm = getenv("ICON_LOOK_BENCH_WARM");
    return warm != nullptr && warm[0] == '1';
}

void run_family(benchmark::State& state, const Family& family, const PolySet& set,
                int32_t batch) {
    const int32_t texture = bench_texture_slot();
    const bool warm = warm_passes();
    bench_use_surface();
    shade_select_ramp(0);
    double ours = 0;
    double peer = 0;
    int64_t allocations = 0;
    const auto draw_ours = [&] { draw_family_set(family, set, texture); };
    for (auto _ : state) {
        const int64_t calls = alloc_calls();
        const int32_t mem_calls = mem_alloc_calls();
        if (warm) draw_ours();
        const double start = thread_seconds();
        draw_ours();
        const double spent = thread_seconds() - start;
        allocations += alloc_calls() - calls + (mem_alloc_calls() - mem_calls);
        benchmark::DoNotOptimize(bench_surface()[0]);
        ours += spent;
        state.SetIterationTime(spent);
        if (batch >= 0) {
            if (warm) peer_draw(batch);
            const double peer_start_time = thread_seconds();
            peer_draw(batch);
            peer += thread_seconds() - peer_start_time;
        }
    }
    report_rates(state, set.pixels, static_cast<int64_t>(set.tris.size()), ours, peer);
    report_allocations(state, "allocs", allocations, 1);
}

}  // namespace

void register_raster_benchmarks() {
    static std::deque<PolySet> sets;  // for the life of the program
    peer_start(bench_texels());
    for (const SizeClass& size : bench_sizes) {
        sets.push_back(make_poly_set(size.count, size.area, size.seed));
        const PolySet* set = &sets.back();
        for (const Family& family : bench_families) {
            const int32_t batch = family.peer == PEER_NONE ? -1 : make_peer_batch(*set, family.peer);
            const std::string name = std::string("raster/") + family.name + "/" + size.name;
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&family, set, batch](benchmark::State& state) {
                                             run_family(state, family, *set, batch);
                                         })
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        }
    }
}
