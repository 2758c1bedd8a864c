// The fixed camera, perspective projection and the circling light.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

struct ScreenVertex {
    int32_t x;     // screen column (valid when clip is 0)
    int32_t y;     // screen row, growing downward (valid when clip is 0)
    int32_t z;     // view-space depth
    int32_t clip;  // 0 projected, -1 at or behind NEAR_LIMIT
};

struct LightColour {
    int32_t r, g, b;
};

constexpr int32_t NEAR_LIMIT = -256;
constexpr int32_t PROJ_DEPTH = 256;

// Camera translation (0, 0, 75, 1) and rotation (0, 0, 0, 1).
void cam_reset();
Vec4* cam_translation();
Vec4* cam_rotation();
const Matrix* cam_view();

void cam_build_view();
int32_t cam_project_vertices(int32_t count, ScreenVertex* out, const Vec4* in,
                             const Matrix* m);
void cam_set_screen_centre(int32_t cx, int32_t cy);
void cam_set_light_angles(int32_t ax, int32_t ay, int32_t az);
void cam_set_light_colour(int32_t r, int32_t g, int32_t b);
Vec4* cam_light_vector();
const LightColour* cam_light_colour();
