// The model table, bones and the per-frame hierarchy pass.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"
#include "render/prim.h"

constexpr int32_t MODEL_SLOTS = 32;
constexpr uint32_t MODEL_HIDDEN = 1;
constexpr uint32_t BONE_LIT = 2;

struct Bone {
    uint32_t flags;
    int32_t pop_count;
    int32_t vertex_count;
    int32_t vertex_start;
    Vec4* vertices;
    int32_t normal_count;
    int32_t normal_start;
    Vec4* normals;
    Matrix local;
    Matrix world;
    Vec4 translation;
    Vec4 rotation;
    Vec4 scale;
};

struct Model {
    int32_t index;
    uint32_t flags;
    int32_t packet_count;
    PrimPacket* packets;
    int32_t bone_count;
    Bone* bones;
    Vec4* vertices;
    Vec4 position;
    Vec4 rotation;
    Vec4 scale;
    int32_t bone_capacity;  // bones the allocation has room for
};

// The most bones a model may ask for. Each bone needs a record of its own in a
// model file's 20,000-byte section image, so no file can name more: the loader
// takes no more room than this, whatever a file's head asks for.
constexpr int32_t MODEL_MAX_BONES = 4096;

// Empty table and the camera defaults: 0, or -1 when the table cannot be made.
int32_t mdl_table_init();
void mdl_table_release();
// Slot of a new model with room for bone_count bones (0..MODEL_MAX_BONES); -1
// with every slot taken, -2 when it cannot be allocated.
int32_t mdl_create(int32_t bone_count);
// Index of the new bone; -1 for an empty slot or a model without room for it.
int32_t mdl_add_bone(int32_t slot, int32_t vertex_start, int32_t vertex_count, int32_t pop_count);
// 0; -1 for an empty slot or a bone outside the model's room.
int32_t mdl_set_bone(int32_t slot, int32_t bone, int32_t pop_count, const Vec4* translation,
                     const Vec4* rotation);
// Counts the packets added since mdl_create for the model being built.
void mdl_finish();
// The slot, now empty; -1 if it was.
int32_t mdl_free(int32_t slot);
// 0 after clearing the flags of a hidden model; -2 for a visible one.
int32_t mdl_show(int32_t slot);

// The model in a slot, or null for an empty slot or one outside 0..31.
Model* mdl_get(int32_t slot);
// References into the model; null for an empty slot.
uint32_t* mdl_flags(int32_t slot);
Vec4* mdl_position(int32_t slot);
Vec4* mdl_rotation(int32_t slot);
Vec4* mdl_scale(int32_t slot);
// Null also for a bone outside 0..bone count - 1.
Vec4* mdl_bone_rotation(int32_t slot, int32_t bone);

// 0; -1 for an empty slot or (mdl_or_bone_flags) a bone the model lacks.
int32_t mdl_or_bone_flags(int32_t slot, int32_t bone, uint32_t value);
int32_t mdl_set_bone_flags(int32_t slot, uint32_t value);
// Selects shade ramp 0..2 for every packet of the model: 0, or -1 for an
// empty slot or another ramp.
int32_t mdl_set_ramp(int32_t slot, int32_t ramp);

// The packet when it lies whole, with a packet size, inside the used part of
// the current render buffer's packet area; null otherwise. Walks over a
// model's packets stop at the first that is not.
PrimPacket* mdl_checked_packet(PrimPacket* packet);

// Every visible model: hierarchy walk, projection and lighting.
void mdl_update_all();
