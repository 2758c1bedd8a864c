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

int32_t mdl_table_init();
void mdl_table_release();
int32_t mdl_create(int32_t bone_count);
int32_t mdl_add_bone(int32_t slot, int32_t vertex_start, int32_t vertex_count, int32_t pop_count);
int32_t mdl_set_bone(int32_t slot, int32_t bone, int32_t pop_count, const Vec4* translation,
                     const Vec4* rotation);
void mdl_finish();
int32_t mdl_free(int32_t slot);
int32_t mdl_show(int32_t slot);

// The model in a slot, or null for an empty slot or one outside 0..31.
Model* mdl_get(int32_t slot);
// References into the model; null for an empty slot.
uint32_t* mdl_flags(int32_t slot);
Vec4* mdl_position(int32_t slot);
Vec4* mdl_rotation(int32_t slot);
Vec4* mdl_scale(int32_t slot);
Vec4* mdl_bone_rotation(int32_t slot, int32_t bone);

int32_t mdl_or_bone_flags(int32_t slot, int32_t bone, uint32_t value);
int32_t mdl_set_bone_flags(int32_t slot, uint32_t value);
int32_t mdl_set_ramp(int32_t slot, int32_t ramp);
void mdl_update_all();
