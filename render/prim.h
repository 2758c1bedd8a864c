// Primitive packets: the unit of drawing, with an exact little-endian layout.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t PRIM_TRI_SIZE = 44;
constexpr uint32_t PRIM_QUAD_SIZE = 52;
constexpr uint32_t PRIM_CALLBACK_SIZE = 20;

// Header flags
constexpr uint32_t PRIM_COUNT_MASK = 0x0007;
constexpr uint32_t PRIM_TEXTURED = 0x0008;
constexpr uint32_t PRIM_ADD = 0x0010;
constexpr uint32_t PRIM_HALF = 0x0020;
constexpr uint32_t PRIM_GOURAUD = 0x0040;
constexpr uint32_t PRIM_LIT = 0x0100;
constexpr uint32_t PRIM_TYPE_MASK = 0x0FFF;
constexpr uint32_t PRIM_CULL = 0x2000;

// Type codes (header AND PRIM_TYPE_MASK)
constexpr uint32_t PRIM_FLAT3 = 3;
constexpr uint32_t PRIM_FLAT4 = 4;
constexpr uint32_t PRIM_TEX3 = 11;
constexpr uint32_t PRIM_TEX4 = 12;
constexpr uint32_t PRIM_TEX3_ADD = 27;
constexpr uint32_t PRIM_TEX4_ADD = 28;
constexpr uint32_t PRIM_TEX3_HALF = 59;
constexpr uint32_t PRIM_TEX4_HALF = 60;
constexpr uint32_t PRIM_GOURAUD3 = 67;
constexpr uint32_t PRIM_GOURAUD4 = 68;
constexpr uint32_t PRIM_SHADED_TEX4 = 76;
constexpr uint32_t PRIM_MARKER = 81;
constexpr uint32_t PRIM_GOURAUD3_ADD = 83;
constexpr uint32_t PRIM_GOURAUD4_ADD = 84;
constexpr uint32_t PRIM_CALLBACK = 96;
constexpr uint32_t PRIM_LIT_TEX3 = 267;
constexpr uint32_t PRIM_LIT_TEX4 = 268;

// Index arrays that follow the common head, each of 3 entries in a 44-byte
// packet and of 4 entries in a 52-byte packet.
enum PrimField { PRIM_VERTEX = 0, PRIM_COLOUR = 1, PRIM_UV = 2, PRIM_INTENSITY = 3 };

// Common head (20 bytes) and the index arrays. A 44-byte packet only owns
// index[0..11]; use prim_index to address its fields.
struct PrimPacket {
    uint32_t header;
    uint32_t size;
    uint32_t link;  // next packet of the bucket, as held by the ordering table
    int16_t depth;
    int16_t depth_bias;
    int16_t ramp;
    int16_t texture;  // texture slot; for a one-vertex packet its vertex index
    int16_t index[16];
};

// Callback record (type 96): callback replaces ramp and texture.
struct CallbackRecord {
    uint32_t header;
    uint32_t size;
    uint32_t link;
    int16_t depth;
    int16_t depth_bias;
    uint32_t callback;  // index into the ordering table's callback table
};

static_assert(offsetof(PrimPacket, size) == 4, "packet layout");
static_assert(offsetof(PrimPacket, link) == 8, "packet layout");
static_assert(offsetof(PrimPacket, depth) == 12, "packet layout");
static_assert(offsetof(PrimPacket, depth_bias) == 14, "packet layout");
static_assert(offsetof(PrimPacket, ramp) == 16, "packet layout");
static_assert(offsetof(PrimPacket, texture) == 18, "packet layout");
static_assert(offsetof(PrimPacket, index) == 20, "packet layout");
static_assert(sizeof(PrimPacket) == PRIM_QUAD_SIZE, "packet layout");
static_assert(offsetof(CallbackRecord, callback) == 16, "callback layout");
static_assert(sizeof(CallbackRecord) == PRIM_CALLBACK_SIZE, "callback layout");

inline int32_t prim_slots(const PrimPacket* p) {
    return p->size == PRIM_QUAD_SIZE ? 4 : 3;
}
inline int16_t* prim_index(PrimPacket* p, PrimField field) {
    return p->index + static_cast<int>(field) * prim_slots(p);
}
inline const int16_t* prim_index(const PrimPacket* p, PrimField field) {
    return p->index + static_cast<int>(field) * prim_slots(p);
}
inline PrimPacket* prim_next(PrimPacket* p) {
    return reinterpret_cast<PrimPacket*>(reinterpret_cast<uint8_t*>(p) + p->size);
}
