// Keyframe animation: a ring of keyframes, each reaching a pose of bone
// rotations, played into the bones of the model in the same slot.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

constexpr int32_t ANIM_SLOTS = 32;
constexpr int32_t ANIM_WORK_SIZE = 294944;  // the largest set, header included
constexpr int32_t ANIM_START_COUNTER = 9999;
// 1024 / 360 as the nearest 32-bit float.
constexpr float ANGLE_PER_DEGREE = 2.8444445f;

// References within a set are indices, so that the block may move when it is
// shrunk: keyframes by number, poses by their first rotation.
struct AnimKey {
    int32_t duration;
    int32_t field2;
    int32_t next;  // keyframe number, -1 for none
    int32_t pose;  // first rotation of the pose reached
    int32_t extra[4];
};

// Followed in the same block by the keyframes, the pose rotations, the base
// pose and the deltas.
struct AnimSet {
    int32_t slot;
    int32_t head_field2;
    int32_t bone_count;
    int32_t frame_counter;
    int32_t current;    // keyframe moved towards, -1 once playback has ended
    int32_t base_pose;  // rotation index
    int32_t deltas;     // rotation index
    int32_t key_count;
};

int32_t anim_init();
void anim_release();
// Loads a set for the model in `slot`, replacing the slot's set, and hides
// the model until it is shown: the slot. When no set can be made the slot
// stays empty, the model is left as it is, and the result is -1.
int32_t anim_load(const char* name, int32_t slot);
// A set from a file whose poses drive at most `bone_limit` bones, or null
// after the messages.
AnimSet* anim_parse(const char* name, int32_t bone_limit);
// 0 when the slot held a set (now released), 1 when empty, -1 outside the table.
int32_t anim_free(int32_t slot);
void anim_step(int32_t slot);
void anim_set_deltas(Vec4* deltas, const Vec4* from, const Vec4* to, int32_t bone_count);

// The set in a slot, or null; its keyframes and rotations.
AnimSet* anim_get(int32_t slot);
AnimKey* anim_keys(AnimSet* set);
Vec4* anim_rotations(AnimSet* set);
// Degrees to angle units, truncated: false when the value is NaN or the
// result does not fit in 32 bits.
bool anim_degrees_to_angle(float degrees, int32_t* angle);
