#include <gtest/gtest.h>

#include "geometry/matrix.h"
#include "platform/headless.h"
#include "shell/memory.h"

namespace {

using Rows = int32_t[4][4];

void expect_matrix(const Matrix& actual, const Rows& expected) {
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) {
            EXPECT_EQ(actual.m[row][col], expected[row][col]) << "m[" << row << "][" << col << "]";
        }
    }
}

void expect_xyzw(const Vec4& v, int32_t x, int32_t y, int32_t z, int32_t w) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, w);
}

Matrix rotation_of(int32_t x, int32_t y, int32_t z) {
    const Vec4 angles = {x, y, z, 0};
    Matrix m;
    EXPECT_EQ(mtx_rotation(&m, &angles), 0);
    return m;
}

const Rows IDENTITY = {{512, 0, 0, 0}, {0, 512, 0, 0}, {0, 0, 512, 0}, {0, 0, 0, 512}};

class MatrixTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        ASSERT_EQ(mtx_init(), 0);
    }
    void TearDown() override {
        mtx_release();
        mem_fail_at(0);
    }
};

TEST_F(MatrixTest, TablesHoldTruncatedValuesAndLookupsWrapTheAngle) {
    const int32_t sin_at[][2] = {{0, 0},     {1, 3},       {2, 6},       {64, 195},   {128, 362},
                                 {255, 511}, {256, 512},   {257, 511},   {512, 0},    {513, -3},
                                 {640, -362}, {768, -512}, {1023, -3}};
    for (const auto& e : sin_at) EXPECT_EQ(SinTable[e[0]], e[1]) << "SinTable[" << e[0] << "]";
    const int32_t cos_at[][2] = {{0, 512}, {1, 511}, {256, 0}, {257, -3}, {512, -512}, {768, 0}};
    for (const auto& e : cos_at) EXPECT_EQ(CosTable[e[0]], e[1]) << "CosTable[" << e[0] << "]";
    // Quarter and half turns of each other.
    for (int32_t i = 0; i < 1024; i++) {
        EXPECT_EQ(CosTable[i], SinTable[(i + 256) % 1024]) << i;
        EXPECT_EQ(SinTable[i], -SinTable[(i + 512) % 1024]) << i;
    }
    EXPECT_EQ(mtx_sin(-4), SinTable[1020]);
    EXPECT_EQ(mtx_sin(1024 + 64), 195);
    EXPECT_EQ(mtx_cos(-512), -512);
    EXPECT_EQ(mtx_cos(3 * 1024 + 1), 511);
}

TEST_F(MatrixTest, FailedStartUpReportsAndLeavesEverythingSafe) {
    for (int32_t failing = 1; failing <= 3; failing++) {
        mtx_release();
        headless_clear_messages();
        mem_fail_at(failing);
        EXPECT_EQ(mtx_init(), -1) << failing;
        EXPECT_EQ(headless_message_count(), 1) << failing;
        mem_fail_at(0);
        Matrix m;
        mtx_identity(&m);
        EXPECT_EQ(mtx_stack_push(&m), -1);
        EXPECT_EQ(mtx_stack_pop(&m, 1), -1);
        if (failing <= 2) {
            EXPECT_EQ(mtx_cos(0), 0);
            EXPECT_EQ(rotation_of(0, 0, 0).m[0][0], 0);
        }
    }
}

TEST_F(MatrixTest, RotationNegatesEachProductBeforeShiftingAndWrapsAngles) {
    const Rows quarter_y = {{0, 0, -512, 0}, {0, 512, 0, 0}, {512, 0, 0, 0}, {0, 0, 0, 512}};
    // -(3*3) >> 9 is -1 where -((3*3) >> 9) would be 0.
    const Rows small = {{511, -1, -3, 0}, {0, 511, -3, 0}, {3, 2, 510, 0}, {0, 0, 0, 512}};
    const Rows general = {
        {-46, -329, 387, 0}, {165, -377, -300, 0}, {482, 98, 140, 0}, {0, 0, 0, 512}};
    const Rows wrapped = {{0, 12, -511, 0}, {0, 511, 12, 0}, {512, 0, 0, 0}, {0, 0, 0, 512}};
    struct Case {
        int32_t x, y, z;
        const Rows& expected;
    };
    const Case cases[] = {{0, 0, 0, IDENTITY},     {0, 256, 0, quarter_y},
                          {1, 1, 0, small},        {100, 200, 300, general},
                          {-4, 1024 + 256, 2048, wrapped}, {1020, 256, 0, wrapped}};
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.x << ", " << k.y << ", " << k.z);
        expect_matrix(rotation_of(k.x, k.y, k.z), k.expected);
    }
}

TEST_F(MatrixTest, MultiplyShiftsEachProductSeparately) {
    Matrix out;
    // 256/512 twice: separately shifted halves drop to 0, and -1 each when negative.
    const Matrix a = {{{1, 1, 0, 0}, {-1, -1, 0, 0}}};
    const Matrix b = {{{256, 0, 0, 0}, {256, 0, 0, 0}}};
    mtx_multiply(&out, &a, &b);
    EXPECT_EQ(out.m[0][0], 0);
    EXPECT_EQ(out.m[1][0], -2);
}

TEST_F(MatrixTest, LocalRotatesBeforeTranslatingAndViewAfter) {
    const Vec4 translation = {10, 0, 0, 1};
    const Vec4 quarter_y = {0, 256, 0, 0};
    const Vec4 scale = {1024, 512, 512, 0};
    Matrix m;
    EXPECT_EQ(mtx_compose_local(&m, &translation, &quarter_y, &scale), 0);
    const Rows local = {{0, 0, -1024, 0}, {0, 512, 0, 0}, {512, 0, 0, 0}, {5120, 0, 0, 512}};
    expect_matrix(m, local);
    EXPECT_EQ(mtx_compose_view(&m, &translation, &quarter_y, &scale), 0);
    const Rows view = {{0, 0, -1024, 0}, {0, 512, 0, 0}, {512, 0, 0, 0}, {0, 0, -5120, 512}};
    expect_matrix(m, view);
}

TEST_F(MatrixTest, TransformShiftsTheWholeSumOnceAndKeepsW) {
    const Matrix m = {{{256, 0, 0, 0}, {256, 0, 0, 0}, {0, 512, 0, 0}, {0, 0, 5 * 512, 0}}};
    Vec4 points[3] = {{1, 1, 7, 40}, {-1, -1, -7, 41}, {0, 0, 0, 42}};
    Vec4 out[3] = {{0, 0, 0, 90}, {0, 0, 0, 91}, {0, 0, 0, 92}};
    EXPECT_EQ(mtx_transform_points(3, out, points, &m), 0);
    expect_xyzw(out[0], 1, 7, 5, 90);
    expect_xyzw(out[1], -1, -7, 5, 91);
    expect_xyzw(out[2], 0, 0, 5, 92);
    // In place: every input is read before its output is written.
    mtx_transform_points(1, points, points, &m);
    expect_xyzw(points[0], 1, 7, 5, 40);
}

TEST_F(MatrixTest, StackHoldsThirtyTwoLevelsAndRefusedPopsLeaveItAlone) {
    Matrix m;
    mtx_identity(&m);
    for (int32_t i = 0; i < MATRIX_STACK_DEPTH; i++) {
        m.m[3][0] = i;
        EXPECT_EQ(mtx_stack_push(&m), i);
    }
    m.m[3][0] = 99;
    EXPECT_EQ(mtx_stack_push(&m), -1);
    EXPECT_EQ(mtx_stack_depth(), 32);

    Matrix out;
    EXPECT_EQ(mtx_stack_pop(&out, 0), -1);  // would read past the last slot
    EXPECT_EQ(mtx_stack_pop(&out, 1), 31);
    EXPECT_EQ(out.m[3][0], 31);
    EXPECT_EQ(mtx_stack_pop(&out, 2), 29);
    EXPECT_EQ(out.m[3][0], 29);
    mtx_stack_reset();
    EXPECT_EQ(mtx_stack_depth(), 0);

    // Refused pops leave the stack alone.
    m.m[3][1] = 5;
    EXPECT_EQ(mtx_stack_push(&m), 0);
    out = {};
    EXPECT_EQ(mtx_stack_pop(&out, 2), -1);
    EXPECT_EQ(mtx_stack_pop(&out, -1), -1);
    EXPECT_EQ(mtx_stack_pop(&out, INT32_MIN), -1);
    EXPECT_EQ(out.m[0][0], 0);
    EXPECT_EQ(mtx_stack_depth(), 1);
    EXPECT_EQ(mtx_stack_pop(&out, 1), 0);
    expect_matrix(out, m.m);
    EXPECT_EQ(mtx_stack_pop(&out, 1), -1);
}

TEST_F(MatrixTest, FaceNormalOfSmallFacesAndOnBothSidesOfThe32BitLimit) {
    const Vec4 p0 = {0, 0, 0, 0};
    struct Case {
        Vec4 p1, p2;
        int32_t x, y, z;
    };
    // Edges (0, 0, 1) and (vx, vy, 0) give the normal (-vy, vx, 0).
    const Case cases[] = {
        {{100, 0, 0, 0}, {100, 100, 0, 0}, 0, 0, 1024},
        {{100, 0, 0, 0}, {300, 0, 0, 0}, 0, 0, 0},
        // Squares sum to 2125000000, then to exactly 2^31.
        {{0, 0, 1, 0}, {-35000, -30000, 1, 0}, 30000 * 1024 / 46097, -35000 * 1024 / 46097, 0},
        {{0, 0, 1, 0}, {32768, 32768, 1, 0}, -724, 724, 0},
        {{300, 0, 0, 0}, {300, 400, 300, 0}, 0, -614, 819},  // a few hundred units across
    };
    for (const Case& k : cases) {
        Vec4 n = {-9, -9, -9, 77};
        mtx_face_normal(&n, &p0, &k.p1, &k.p2);
        SCOPED_TRACE(k.p2.x);
        expect_xyzw(n, k.x, k.y, k.z, 77);
    }
}

TEST_F(MatrixTest, AddNormalOnBothSidesOfThe32BitLimit) {
    const Vec4 zero = {0, 0, 0, 0};
    const struct {
        Vec4 in, add;
        int32_t x, y, z;
    } cases[] = {
        // The sums' squares add up to 2^31 - 2, then to 2^31 + 33881.
        {{-30000, 30000, -16000, 3}, {-42, 951, -941, 0}, -663, 683, -374},
        {{-30000, 30000, -16000, 3}, {-42, 951, -942, 0}, -663, 683, -374},
        {{INT32_MAX, INT32_MIN, 5, 1}, zero, 724, -724, 0},
        {{8, -3, 2, 4}, {-8, 3, -2, 0}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.x);
        Vec4 out = {0, 0, 0, 9};
        mtx_add_normal(&out, &c.in, &c.add);
        expect_xyzw(out, c.x, c.y, c.z, 9);
        // In place: w is the input's own.
        Vec4 same = c.in;
        mtx_add_normal(&same, &same, &c.add);
        expect_xyzw(same, c.x, c.y, c.z, c.in.w);
    }
}

}  // namespace
