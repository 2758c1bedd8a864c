// The ordering table: bucket depth sort and back-to-front dispatch.
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "render/renderbuf.h"

constexpr int32_t OT_SIZE = 4096;
constexpr int32_t OT_SLOT_COUNT = 32;
constexpr int32_t DEPTH_CLIPPED = 4096;

typedef void (*PrimCallback)(int32_t depth);

// The 4096 heads, made and freed by rb_init and rb_release.
int32_t ot_table_init();
void ot_table_release();

int32_t ot_flush();
void ot_build(RenderBuffer* buffer);
void ot_link_slots();
int32_t ot_draw(RenderBuffer* buffer);

int32_t ot_slots_init();
void ot_slots_clear();
void ot_slots_release();
// Fills callback slot `slot` to draw at `depth` (0..4095); -1 if refused.
int32_t ot_set_slot(int32_t slot, int32_t depth, PrimCallback callback);

// The lit colour of one corner: negative intensities count as 0.
Vec4 ot_lit_colour(int32_t intensity, const LightColour* light);
