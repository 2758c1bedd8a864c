// The rasterizer families and the polygon sizes that the benchmarks and the
// instruction counts (poly_cost.sh) draw.
#pragma once

#include <cstdint>

#include "bench_support.h"

// The peer's closest mode to a family.
enum PeerMode { PEER_NONE, PEER_FLAT, PEER_COLOURS, PEER_TEXTURED_WHITE, PEER_TEXTURED_COLOURS };

struct Family {
    const char* name;
    void (*draw)(const BenchTri& t, int32_t texture);
    PeerMode peer;
};

struct SizeClass {
    const char* name;
    int32_t count;
    double area;
    uint32_t seed;
};

constexpr int BENCH_FAMILIES = 7;
constexpr int BENCH_SIZES = 3;
extern const Family bench_families[BENCH_FAMILIES];
extern const SizeClass bench_sizes[BENCH_SIZES];

// Draws a set through a family's public entry as the ordering table's drawing
// pass does: with the shade ramps settled for the pass, so that the ramp-lit
// family compares the ramp with what it last saw once, not for every polygon.
void draw_family_set(const Family& family, const PolySet& set, int32_t texture);
