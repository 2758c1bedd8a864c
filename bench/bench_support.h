// Shared by the benchmarks: the surface drawn into, the texture and ramps of
// the shipped data, seeded polygon sets and timing helpers.
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <vector>

#include "geometry/camera.h"
#include "geometry/fixed.h"

// The drawable area of the default window (504 x 469 client).
constexpr int32_t BENCH_WIDTH = 504;
constexpr int32_t BENCH_HEIGHT = 468;

// A triangle with everything any rasterizer family takes.
struct BenchTri {
    ScreenVertex sv[3];
    Vec4 uv[3];   // texels of the 256 x 256 texture
    Vec4 rgb[3];  // 0..255 per channel
    uint16_t flat;
};

struct PolySet {
    std::vector<BenchTri> tris;
    int64_t pixels = 0;  // pixels the set covers, each polygon counted on its own
};

// `count` triangles of about `area` pixels inside the surface, from `seed`.
PolySet make_poly_set(int32_t count, double area, uint32_t seed);
// The pixels one triangle or quad covers when drawn on its own.
int64_t covered_pixels(const ScreenVertex* const* v, int32_t n);

// The surface our rasterizers draw into in the family benchmarks (made current).
// Picks the span code from the environment: ICON_LOOK_SCALAR=1 the plain
// loops instead of the vector kernels, ICON_LOOK_NO_MASKED=1 the kernels
// without masked stores (as on a processor without AVX-512). Returns its name.
const char* bench_choose_span_code();

uint16_t* bench_surface();
void bench_use_surface();

// Start-up of what the rasterizers need: texture table with the shipped
// "tes256.bmp" (its slot), the shade ramps (ramp 0 current).
int32_t bench_texture_slot();
const uint16_t* bench_texels();  // 256 x 256

// Starts the program on the shipped data, unpaced, afresh (closing it first
// if it runs): the scene's pose and light follow from the frames run since
// start-up, so a row measured after others that ran frames would otherwise
// draw whichever frame they left behind.
void bench_restart_scene();
// Runs one frame of it.
void bench_scene_frame();
// Starts it afresh, runs its first frame and poses the model for the next:
// the frame whose drawing the benchmark, poly_cost and compare.sh measure.
void bench_pose_scene();

// Processor time of this thread: the machine is shared, and time spent in
// other programs must not count for either side.
inline double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Reports the allocations counted while our side drew; any at all fails the row.
void report_allocations(benchmark::State& state, const char* counter, int64_t allocations,
                        double per);

// Mpixels/s and ns per polygon of `seconds` spent over the iterations of a
// state, with the peer's beside them when peer_seconds > 0.
void report_rates(benchmark::State& state, int64_t pixels_per_iteration,
                  int64_t polygons_per_iteration, double seconds, double peer_seconds);
