// Shade ramps, the ramp table, the current ramp and the frame hooks.
#pragma once

#include <cstdint>

constexpr int32_t RAMP_SIZE = 1024;
constexpr int32_t RAMP_SLOTS = 16;
constexpr int32_t RAMP_TABLE_SIZE = 3;

typedef void (*FrameHook)();

int32_t shade_init();
void shade_release();
int32_t shade_new_ramp();
uint8_t* shade_ramp(int32_t slot);  // null for a slot outside 0..15 or empty
int32_t shade_build_ramps();
// Entry (row j, column i) of a built ramp whose row j has highlight `high`:
// high + the diffuse term (i x j) >> 5, rounded up to a multiple of 8 in a
// banded ramp, + i >> 1, at most 31.
inline int32_t shade_built_entry(int32_t high, int32_t j, int32_t i, bool banded) {
    const int32_t diffuse = (i * j) >> 5;
    const int32_t entry = high + (banded ? (diffuse + 7) & ~7 : diffuse) + (i >> 1);
    return entry < 31 ? entry : 31;
}

// The ramp the lit span looks channels up in.
const uint8_t* shade_current_ramp();
// Makes ramp-table entry `ramp` current; -1 (current unchanged) if it has none.
int32_t shade_select_ramp(int32_t ramp);
// Makes any 1024-byte ramp current (tests, benchmarks); its entries must be
// channel values 0..31.
void shade_use_ramp(const uint8_t* ramp);

void shade_before_frame();
void shade_after_frame();
void shade_set_hooks(FrameHook before, FrameHook after);
