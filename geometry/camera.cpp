#include "geometry/camera.h"

#include "geometry/matrix.h"

namespace {

constexpr Vec4 START_TRANSLATION = {0, 0, 75, 1};
constexpr Vec4 START_ROTATION = {0, 0, 0, 1};
constexpr Vec4 UNIT_SCALE = {FX_ONE, FX_ONE, FX_ONE, 0};
constexpr Vec4 LIGHT_AXIS = {NORMAL_LENGTH, 0, 0, 0};

Vec4 camera_translation = START_TRANSLATION;
Vec4 camera_rotation = START_ROTATION;
Matrix camera_view = {};
int32_t centre_x = 0;
int32_t centre_y = 0;
Vec4 light_vector = LIGHT_AXIS;
LightColour light_colour = {255, 255, 255};

}  // namespace

void cam_reset() {
    camera_translation = START_TRANSLATION;
    camera_rotation = START_ROTATION;
}

Vec4* cam_translation() {
    return &camera_translation;
}

Vec4* cam_rotation() {
    return &camera_rotation;
}

const Matrix* cam_view() {
    return &camera_view;
}

void cam_build_view() {
    mtx_compose_view(&camera_view, &camera_translation, &camera_rotation, &UNIT_SCALE);
}

int32_t cam_project_vertices(int32_t count, ScreenVertex* out, const Vec4* in,
                             const Matrix* m) {
    for (int32_t i = 0; i < count; i++) {
        // X and Y carry the matrix's 512 halved: 256 times the view position.
        const int32_t x = mtx_column_sum(&in[i], m, 0) >> 1;
        const int32_t y = mtx_column_sum(&in[i], m, 1) >> 1;
        const int32_t z = mtx_column_sum(&in[i], m, 2) >> FX_SHIFT;
        ScreenVertex& v = out[i];
        v.z = z;
        if (z <= NEAR_LIMIT) {
            v.x = x;
            v.y = y;
            v.clip = -1;
            continue;
        }
        // z > NEAR_LIMIT keeps the divisor at 1 or more.
        const int32_t divisor = z + PROJ_DEPTH;
        v.x = wrap_add(x / divisor, centre_x);
        v.y = wrap_add(y / divisor, centre_y);
        v.clip = 0;
    }
    return 0;
}

void cam_set_screen_centre(int32_t cx, int32_t cy) {
    centre_x = cx;
    centre_y = cy;
}

void cam_set_light_angles(int32_t ax, int32_t ay, int32_t az) {
    const Vec4 angles = {ax, ay, az, 0};
    Matrix rotation;
    mtx_rotation(&rotation, &angles);
    mtx_transform_points(1, &light_vector, &LIGHT_AXIS, &rotation);
}

Vec4* cam_light_vector() {
    return &light_vector;
}

void cam_set_light_colour(int32_t r, int32_t g, int32_t b) {
    light_colour = LightColour{r, g, b};
}

const LightColour* cam_light_colour() {
    return &light_colour;
}
