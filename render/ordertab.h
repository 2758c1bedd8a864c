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

// Bucket heads and packet links: a byte offset into the packet area, a callback
// slot (OT_LINK_SLOT | slot number) or none.
constexpr uint32_t OT_LINK_NONE = 0xFFFFFFFFu;
constexpr uint32_t OT_LINK_SLOT = 0x80000000u;

// The 4096 heads, made and freed by rb_init and rb_release.
int32_t ot_table_init();
void ot_table_release();

int32_t ot_flush();
void ot_build(RenderBuffer* buffer);
void ot_link_slots();
int32_t ot_draw(RenderBuffer* buffer);
// Head of bucket `key` (OT_LINK_NONE when empty or out of range).
uint32_t ot_head(int32_t key);

int32_t ot_slots_init();
void ot_slots_clear();
void ot_slots_release();
// Fills callback slot `slot` (0..31) to be called at `depth` (0..4095); a
// null callback empties the slot. -1 if refused. A callback may call it while
// the table is drawn: a slot keeps its place in the table until the next frame.
int32_t ot_set_slot(int32_t slot, int32_t depth, PrimCallback callback);

// The lit colour of one corner: negative intensities count as 0.
Vec4 ot_lit_colour(int32_t intensity, const LightColour* light);

// What a rasterizer call takes from a packet, beyond its screen vertices.
constexpr uint32_t OT_USE_FLAT = 0x01;     // flat colour f of colour 0
constexpr uint32_t OT_USE_COLOURS = 0x02;  // colour Vec4s c(i)
constexpr uint32_t OT_USE_UVS = 0x04;      // texture coordinates t(i)
constexpr uint32_t OT_USE_TEXTURE = 0x08;  // a texture slot that holds a texture
constexpr uint32_t OT_USE_RAMP = 0x10;     // shade ramp 0..2
constexpr uint32_t OT_USE_LIT = 0x20;      // lit colours L(i) from the intensities

// The arguments of one rasterizer call, gathered from a packet and checked.
struct PrimArgs {
    const ScreenVertex* v[4];
    const Vec4* c[4];
    const Vec4* t[4];
    Vec4 lit[4];
    uint16_t flat;
    int32_t texture;
    int32_t ramp;
};

// Gathers v(0..corners-1) and what `uses` names from a packet of `buffer`;
// the other fields are left as they were.
// False, and the packet is not to be drawn, when the packet has fewer index
// entries than corners, an index lies outside its pool, the texture slot is
// empty or the ramp is not 0..2.
bool ot_prim_args(const RenderBuffer* buffer, const PrimPacket* packet, int32_t corners,
                  uint32_t uses, const LightColour* light, PrimArgs* args);
