#include "render/ordertab.h"

#include <cstddef>
#include <cstring>

#include "files/texture.h"
#include "raster/shaded.h"
#include "raster/textured.h"
#include "render/gouraud.h"
#include "render/surface.h"
#include "shell/framestage.h"
#include "shell/memory.h"

namespace {

constexpr int32_t SHADE_RAMPS = 3;  // ramps a packet may select

uint32_t* heads = nullptr;
// Built, or slots linked, since the last walk: linking a packet or slot in a
// second time would make it its own successor, and the walk would not end.
bool table_built = false;
bool slots_linked = false;
CallbackRecord* slots = nullptr;
// The callback of slot i is entry i; a record's `callback` holds i + 1, 0 for
// none.
PrimCallback callbacks[OT_SLOT_COUNT];

// Entry `index` of a pool array of `size` entries, or null outside it.
template <typename T>
const T* pool_item(const T* array, int32_t size, int32_t index) {
    if (array == nullptr || index < 0 || index >= size) return nullptr;
    return array + index;
}

const ScreenVertex* screen_vertex(const RenderBuffer* buffer, int32_t index) {
    return pool_item(buffer->screen_vertices, buffer->pool_size[0], index);
}

// The packet that starts at a byte offset of the area, or null when no whole
// packet of a known size lies there.
PrimPacket* packet_at(const RenderBuffer* buffer, uint32_t offset) {
    if (buffer == nullptr || offset % 4 != 0) return nullptr;
    uint32_t used = static_cast<uint32_t>(buffer->next_free - buffer->first_packet);
    if (offset > used || used - offset < PRIM_TRI_SIZE) return nullptr;
    PrimPacket* packet = reinterpret_cast<PrimPacket*>(buffer->first_packet + offset);
    if (packet->size != PRIM_TRI_SIZE && packet->size != PRIM_QUAD_SIZE) return nullptr;
    return used - offset >= packet->size ? packet : nullptr;
}

// Back-face test on the first three vertices: clockwise on the screen (y
// downwards) or collinear passes. A vertex outside the pool fails.
bool faces_viewer(const RenderBuffer* buffer, const PrimPacket* packet) {
    const int16_t* vertex = prim_index(packet, PRIM_VERTEX);
    const ScreenVertex* v0 = screen_vertex(buffer, vertex[0]);
    const ScreenVertex* v1 = screen_vertex(buffer, vertex[1]);
    const ScreenVertex* v2 = screen_vertex(buffer, vertex[2]);
    if (v0 == nullptr || v1 == nullptr || v2 == nullptr) return false;
    int32_t cross = wrap_sub(wrap_mul(wrap_sub(v1->x, v0->x), wrap_sub(v2->y, v1->y)),
                             wrap_mul(wrap_sub(v1->y, v0->y), wrap_sub(v2->x, v1->x)));
    return cross >= 0;
}

// The depth of a packet from its vertices; false for a vertex count that has
// no depth (the packet keeps its previous one). A vertex outside the pool
// counts as behind the viewer.
bool depth_of(const RenderBuffer* buffer, const PrimPacket* packet, int32_t* depth) {
    int32_t count = static_cast<int32_t>(packet->header & PRIM_COUNT_MASK);
    if (count < 1 || count > 4) return false;
    // A one-vertex packet keeps its vertex index in the texture field.
    const int16_t* index = count == 1 ? &packet->texture : prim_index(packet, PRIM_VERTEX);
    int32_t sum = 0;
    int32_t clip = 0;
    for (int32_t i = 0; i < count; i++) {
        const ScreenVertex* v = screen_vertex(buffer, index[i]);
        if (v == nullptr) {
            *depth = DEPTH_CLIPPED;
            return true;
        }
        sum = wrap_add(sum, v->z);
        clip |= v->clip;
    }
    if (clip == -1) {
        *depth = DEPTH_CLIPPED;
    } else if (count == 3) {
        *depth = sum / 3;
    } else {
        *depth = sum >> (count / 2);  // 1, 2, 4 vertices: shift by 0, 1, 2
    }
    return true;
}

void link_packet(const RenderBuffer* buffer, PrimPacket* packet, uint32_t offset) {
    if ((packet->header & PRIM_CULL) != 0 && !faces_viewer(buffer, packet)) return;
    int32_t depth;
    // Only the low 16 bits are kept, and read back signed.
    if (depth_of(buffer, packet, &depth)) packet->depth = static_cast<int16_t>(depth);
    int32_t key = packet->depth + packet->depth_bias;
    if (key < 0 || key >= OT_SIZE) return;
    packet->link = heads[key];
    heads[key] = offset;
}

void run_callback(uint32_t callback, int16_t depth) {
    if (callback < 1 || callback > static_cast<uint32_t>(OT_SLOT_COUNT)) return;
    PrimCallback function = callbacks[callback - 1];
    if (function == nullptr) return;
    // A callback may write into a ramp.
    draw_shaded_ramps_settled(false);
    function(depth);
    draw_shaded_ramps_settled(true);
}

typedef void (*TexTriangle)(const ScreenVertex*, const ScreenVertex*, const ScreenVertex*,
                            const Vec4*, const Vec4*, const Vec4*, int32_t);
typedef void (*TexQuad)(const ScreenVertex*, const ScreenVertex*, const ScreenVertex*,
                        const ScreenVertex*, const Vec4*, const Vec4*, const Vec4*, const Vec4*,
                        int32_t);
typedef void (*GouraudTriangle)(const ScreenVertex*, const ScreenVertex*, const ScreenVertex*,
                                const Vec4*, const Vec4*, const Vec4*);
typedef void (*GouraudQuad)(const ScreenVertex*, const ScreenVertex*, const ScreenVertex*,
                            const ScreenVertex*, const Vec4*, const Vec4*, const Vec4*,
                            const Vec4*);

// Calls the rasterizer that the packet's type code names. Each case gathers
// the arguments its rasterizer takes; a packet that fails the checks is
// skipped, and so is every code without a rasterizer.
void dispatch(const RenderBuffer* buffer, const PrimPacket* packet, const LightColour* light) {
    PrimArgs a;
    switch (packet->header & PRIM_TYPE_MASK) {
    case PRIM_FLAT3:
        if (ot_prim_args(buffer, packet, 3, OT_USE_FLAT, light, &a)) {
            draw_flat_triangle(a.v[0], a.v[1], a.v[2], a.flat);
        }
        break;
    case PRIM_FLAT4:
        if (ot_prim_args(buffer, packet, 4, OT_USE_FLAT, light, &a)) {
            draw_flat_quad(a.v[0], a.v[1], a.v[2], a.v[3], a.flat);
        }
        break;
    case PRIM_TEX3:
    case PRIM_TEX3_ADD:
    case PRIM_TEX3_HALF:
        if (ot_prim_args(buffer, packet, 3, OT_USE_UVS | OT_USE_TEXTURE, light, &a)) {
            TexTriangle draw = packet->header & PRIM_HALF ? draw_tex_tri_half
                               : packet->header & PRIM_ADD ? draw_tex_tri_add
                                                           : draw_tex_tri;
            draw(a.v[0], a.v[1], a.v[2], a.t[0], a.t[1], a.t[2], a.texture);
        }
        break;
    case PRIM_TEX4:
    case PRIM_TEX4_ADD:
    case PRIM_TEX4_HALF:
        if (ot_prim_args(buffer, packet, 4, OT_USE_UVS | OT_USE_TEXTURE, light, &a)) {
            TexQuad draw = packet->header & PRIM_HALF ? draw_tex_quad_half
                           : packet->header & PRIM_ADD ? draw_tex_quad_add
                                                       : draw_tex_quad;
            draw(a.v[0], a.v[1], a.v[2], a.v[3], a.t[0], a.t[1], a.t[2], a.t[3], a.texture);
        }
        break;
    case PRIM_GOURAUD3:
    case PRIM_GOURAUD3_ADD:
        if (ot_prim_args(buffer, packet, 3, OT_USE_COLOURS, light, &a)) {
            GouraudTriangle draw = packet->header & PRIM_ADD ? draw_gouraud_add_triangle
                                                             : draw_gouraud_triangle;
            draw(a.v[0], a.v[1], a.v[2], a.c[0], a.c[1], a.c[2]);
        }
        break;
    case PRIM_GOURAUD4:
    case PRIM_GOURAUD4_ADD:
        if (ot_prim_args(buffer, packet, 4, OT_USE_COLOURS, light, &a)) {
            GouraudQuad draw = packet->header & PRIM_ADD ? draw_gouraud_add_quad
                                                         : draw_gouraud_quad;
            draw(a.v[0], a.v[1], a.v[2], a.v[3], a.c[0], a.c[1], a.c[2], a.c[3]);
        }
        break;
    case PRIM_SHADED_TEX4:
        if (ot_prim_args(buffer, packet, 4,
                         OT_USE_COLOURS | OT_USE_UVS | OT_USE_TEXTURE | OT_USE_RAMP, light, &a)) {
            draw_shaded_tex_quad(a.v[0], a.v[1], a.v[2], a.v[3], a.c[0], a.c[1], a.c[2], a.c[3],
                                 a.t[0], a.t[1], a.t[2], a.t[3], a.texture, a.ramp);
        }
        break;
    case PRIM_LIT_TEX3:
        if (ot_prim_args(buffer, packet, 3, OT_USE_LIT | OT_USE_UVS | OT_USE_TEXTURE | OT_USE_RAMP,
                         light, &a)) {
            draw_shaded_tex_tri(a.v[0], a.v[1], a.v[2], &a.lit[0], &a.lit[1], &a.lit[2], a.t[0],
                                a.t[1], a.t[2], a.texture, a.ramp);
        }
        break;
    case PRIM_LIT_TEX4:
        if (ot_prim_args(buffer, packet, 4, OT_USE_LIT | OT_USE_UVS | OT_USE_TEXTURE | OT_USE_RAMP,
                         light, &a)) {
            draw_shaded_tex_quad(a.v[0], a.v[1], a.v[2], a.v[3], &a.lit[0], &a.lit[1], &a.lit[2],
                                 &a.lit[3], a.t[0], a.t[1], a.t[2], a.t[3], a.texture, a.ramp);
        }
        break;
    case PRIM_MARKER: {
        // A one-vertex packet names its vertex in the texture field; the
        // entry number is the signed top half of the header.
        const ScreenVertex* v = screen_vertex(buffer, packet->texture);
        if (v != nullptr) draw_marker(static_cast<int32_t>(packet->header) >> 16, v);
        break;
    }
    case PRIM_CALLBACK: {
        // The callback index overlays the ramp and texture fields.
        uint32_t callback;
        std::memcpy(&callback,
                    reinterpret_cast<const uint8_t*>(packet) + offsetof(CallbackRecord, callback),
                    sizeof callback);
        run_callback(callback, packet->depth);
        break;
    }
    default: break;
    }
}

// Draws one entry of a bucket and returns the link that follows it, read
// after the call.
uint32_t draw_entry(const RenderBuffer* buffer, uint32_t link, const LightColour* light) {
    if ((link & OT_LINK_SLOT) != 0) {
        uint32_t slot = link & ~OT_LINK_SLOT;
        if (slots == nullptr || slot >= static_cast<uint32_t>(OT_SLOT_COUNT)) return OT_LINK_NONE;
        const CallbackRecord* record = &slots[slot];
        if ((record->header & PRIM_TYPE_MASK) == PRIM_CALLBACK) {
            run_callback(record->callback, record->depth);
        }
        return record->link;
    }
    const PrimPacket* packet = packet_at(buffer, link);
    if (packet == nullptr) return OT_LINK_NONE;
    dispatch(buffer, packet, light);
    return packet->link;
}

// Whether the eight heads from `head` are all empty.
static_assert(OT_SIZE % 8 == 0 && OT_LINK_NONE == ~0u, "heads are tested eight at a time");
bool eight_empty(const uint32_t* head) {
    uint64_t pairs[4];
    std::memcpy(pairs, head, sizeof pairs);
    return (pairs[0] & pairs[1] & pairs[2] & pairs[3]) == ~uint64_t{0};
}

}  // namespace

int32_t ot_table_init() {
    ot_table_release();  // a second start-up must not leak the first table
    heads = static_cast<uint32_t*>(mem_alloc(OT_SIZE * static_cast<int32_t>(sizeof(uint32_t))));
    if (heads == nullptr) return -1;
    for (int32_t key = 0; key < OT_SIZE; key++) heads[key] = OT_LINK_NONE;
    table_built = false;
    slots_linked = false;
    return 0;
}

void ot_table_release() {
    mem_free(heads);
    heads = nullptr;
}

int32_t ot_flush() {
    ot_build(rb_drawn());
    frame_mark(FRAME_OT_BUILT);
    ot_draw(rb_drawn());
    return 0;
}

void ot_build(RenderBuffer* buffer) {
    if (heads == nullptr) return;
    if (table_built || slots_linked) {
        // Built again before it was drawn: from an empty table.
        for (int32_t key = 0; key < OT_SIZE; key++) heads[key] = OT_LINK_NONE;
        slots_linked = false;
    }
    table_built = true;
    uint32_t offset = 0;
    // The count is read again after every packet.
    for (int32_t i = 0; buffer != nullptr && i < buffer->packet_count; i++) {
        PrimPacket* packet = packet_at(buffer, offset);
        if (packet == nullptr) break;
        link_packet(buffer, packet, offset);
        offset += packet->size;
    }
    ot_link_slots();
}

void ot_link_slots() {
    if (heads == nullptr || slots == nullptr || slots_linked) return;
    slots_linked = true;
    for (int32_t slot = 0; slot < OT_SLOT_COUNT; slot++) {
        CallbackRecord* record = &slots[slot];
        if (record->callback == 0 || record->depth < 0 || record->depth >= OT_SIZE) continue;
        record->link = heads[record->depth];
        heads[record->depth] = OT_LINK_SLOT | static_cast<uint32_t>(slot);
    }
}

int32_t ot_draw(RenderBuffer* buffer) {
    if (heads == nullptr) return 0;
    const LightColour* light = cam_light_colour();
    draw_shaded_ramps_settled(true);
    for (int32_t key = OT_SIZE - 1; key >= 0; key--) {
        // Most buckets are empty: passed over eight at a time. (Nothing runs
        // while they are, so no callback can link into them meanwhile.)
        if (key % 8 == 7 && eight_empty(heads + key - 7)) {
            key -= 7;
            continue;
        }
        for (uint32_t link = heads[key]; link != OT_LINK_NONE;) {
            link = draw_entry(buffer, link, light);
        }
        heads[key] = OT_LINK_NONE;
    }
    table_built = false;
    slots_linked = false;
    draw_shaded_ramps_settled(false);
    return 0;
}

uint32_t ot_head(int32_t key) {
    if (heads == nullptr || key < 0 || key >= OT_SIZE) return OT_LINK_NONE;
    return heads[key];
}

int32_t ot_slots_init() {
    ot_slots_release();  // a second start-up must not leak the first slots
    slots = static_cast<CallbackRecord*>(
        mem_alloc(OT_SLOT_COUNT * static_cast<int32_t>(sizeof(CallbackRecord))));
    if (slots == nullptr) return -1;
    ot_slots_clear();
    return 0;
}

void ot_slots_clear() {
    if (slots == nullptr) return;
    for (int32_t slot = 0; slot < OT_SLOT_COUNT; slot++) {
        slots[slot].callback = 0;
        callbacks[slot] = nullptr;
    }
}

void ot_slots_release() {
    ot_slots_clear();
    mem_free(slots);
    slots = nullptr;
}

int32_t ot_set_slot(int32_t slot, int32_t depth, PrimCallback callback) {
    if (slots == nullptr || slot < 0 || slot >= OT_SLOT_COUNT) return -1;
    if (callback == nullptr) {
        slots[slot].callback = 0;
        callbacks[slot] = nullptr;
        return 0;
    }
    if (depth < 0 || depth >= OT_SIZE) return -1;
    // The link stays: a callback may fill a slot that is still linked into
    // the table being drawn (its own, even), and the rest of that bucket
    // follows it.
    slots[slot] = CallbackRecord{PRIM_CALLBACK, PRIM_CALLBACK_SIZE, slots[slot].link,
                                 static_cast<int16_t>(depth), 0,
                                 static_cast<uint32_t>(slot) + 1};
    callbacks[slot] = callback;
    return 0;
}

Vec4 ot_lit_colour(int32_t intensity, const LightColour* light) {
    int32_t i = intensity < 0 ? 0 : intensity;
    return Vec4{wrap_mul(i, light->r) >> 8, wrap_mul(i, light->g) >> 8, wrap_mul(i, light->b) >> 8,
                0};
}

bool ot_prim_args(const RenderBuffer* buffer, const PrimPacket* packet, int32_t corners,
                  uint32_t uses, const LightColour* light, PrimArgs* args) {
    if (buffer == nullptr || corners < 1 || corners > prim_slots(packet)) return false;
    const int16_t* vertex = prim_index(packet, PRIM_VERTEX);
    const int16_t* colour = prim_index(packet, PRIM_COLOUR);
    const int16_t* uv = prim_index(packet, PRIM_UV);
    const int16_t* intensity = prim_index(packet, PRIM_INTENSITY);
    for (int32_t i = 0; i < corners; i++) {
        args->v[i] = screen_vertex(buffer, vertex[i]);
        if (args->v[i] == nullptr) return false;
        if ((uses & OT_USE_COLOURS) != 0) {
            args->c[i] = pool_item(buffer->colours, buffer->pool_size[1], colour[i]);
            if (args->c[i] == nullptr) return false;
        }
        if ((uses & OT_USE_UVS) != 0) {
            args->t[i] = pool_item(buffer->uvs, buffer->pool_size[2], uv[i]);
            if (args->t[i] == nullptr) return false;
        }
        if ((uses & OT_USE_LIT) != 0) {
            const int32_t* in = pool_item(buffer->intensities, buffer->pool_size[3], intensity[i]);
            if (in == nullptr) return false;
            args->lit[i] = ot_lit_colour(*in, light);
        }
    }
    if ((uses & OT_USE_FLAT) != 0) {
        const uint16_t* flat = pool_item(buffer->flat_colours, buffer->pool_size[1], colour[0]);
        if (flat == nullptr) return false;
        args->flat = *flat;
    }
    args->texture = packet->texture;
    args->ramp = packet->ramp;
    if ((uses & OT_USE_TEXTURE) != 0 && tex_get(packet->texture) == nullptr) return false;
    if ((uses & OT_USE_RAMP) != 0 && (packet->ramp < 0 || packet->ramp >= SHADE_RAMPS)) {
        return false;
    }
    return true;
}
