#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "platform/headless.h"

namespace {

constexpr int32_t CX = 260;
constexpr int32_t CY = 240;

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        ASSERT_EQ(mtx_init(), 0);
        cam_set_screen_centre(CX, CY);
    }
    void TearDown() override { mtx_release(); }
};

// A matrix that puts every vertex at the same 32-bit sums (x, y, z).
Matrix sums_matrix(int32_t x, int32_t y, int32_t z) {
    return Matrix{{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {x, y, z, FX_ONE}}};
}

ScreenVertex project_origin(const Matrix& m) {
    const Vec4 origin = {0, 0, 0, 1};
    ScreenVertex v = {-9, -9, -9, -9};
    EXPECT_EQ(cam_project_vertices(1, &v, &origin, &m), 0);
    return v;
}

void expect_screen(const ScreenVertex& v, int32_t x, int32_t y, int32_t z, int32_t clip) {
    EXPECT_EQ((std::vector<int32_t>{v.x, v.y, v.z, v.clip}),
              (std::vector<int32_t>{x, y, z, clip}));
}

TEST_F(CameraTest, NearLimitClipsAtMinus256AndDivisionTruncatesTowardZero) {
    const int32_t depth = -254 * 512;  // divisor 2
    const int32_t cases[][7] = {
        // sums x, y, z; screen x, y, z, clip
        {600, -600, -256 * 512, 300, -300, -256, -1},
        // The shift floors, so a sum just above -256 * 512 still lands on -256.
        {0, 0, -256 * 512 + 1, 0, 0, -256, -1},
        {600, -600, -255 * 512, CX + 300, CY - 300, -255, 0},
        {-6, 6, depth, CX - 1, CY + 1, -254, 0},
        {6, -6, depth, CX + 1, CY - 1, -254, 0},
        // -5 >> 1 is -3, which then divides to -1.
        {-5, -5, depth, CX - 1, CY - 1, -254, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << k[0] << ", " << k[1] << ", " << k[2]);
        expect_screen(project_origin(sums_matrix(k[0], k[1], k[2])), k[3], k[4], k[5], k[6]);
    }
}

TEST_F(CameraTest, SumsWrapIn32Bits) {
    Matrix m = sums_matrix(0, 0, 0);
    m.m[0][0] = 65536;
    m.m[1][2] = INT32_MAX;
    const Vec4 in = {65536, 2, 0, 0};  // x sum 2^32 wraps to 0, z sum to -2
    ScreenVertex v = {};
    cam_project_vertices(1, &v, &in, &m);
    expect_screen(v, CX, CY, -1, 0);
}

TEST_F(CameraTest, StartUpViewIsTheIdentityMovedBack75) {
    cam_translation()->z = 9;
    cam_rotation()->y = 100;
    cam_reset();
    EXPECT_EQ(cam_translation()->z, 75);
    EXPECT_EQ(cam_translation()->w, 1);
    EXPECT_EQ(cam_rotation()->y, 0);
    EXPECT_EQ(cam_rotation()->w, 1);
    cam_build_view();
    const Matrix& view = *cam_view();
    const Matrix expected = {
        {{512, 0, 0, 0}, {0, 512, 0, 0}, {0, 0, 512, 0}, {0, 0, 75 * 512, 512}}};
    EXPECT_EQ(std::memcmp(&view, &expected, sizeof view), 0);
    // A model placed at z = 200 has its origin at view depth 275.
    const Vec4 position = {0, 0, 200, 0};
    Matrix model;
    Matrix world;
    mtx_translation(&model, &position);
    mtx_multiply(&world, &model, &view);
    expect_screen(project_origin(world), CX, CY, 275, 0);
}

}  // namespace
