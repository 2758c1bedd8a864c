// The model table and the per-frame hierarchy pass. Expected matrices, screen
// positions and intensities are worked out with a small fixed-point reference
// of the tests' own.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "model/model.h"
#include "platform/headless.h"
#include "render/renderbuf.h"
#include "shell/memory.h"
#include "tests/model_files.h"

namespace {

constexpr int32_t CX = 252;
constexpr int32_t CY = 234;

// Scale, then rotate, then translate.
Matrix ref_local(const Vec4& t, const Vec4& r, const Vec4& s) {
    Matrix scale = ref_identity();
    scale.m[0][0] = s.x;
    scale.m[1][1] = s.y;
    scale.m[2][2] = s.z;
    return ref_product(scale, ref_product(ref_rotation(r), ref_translation(t)));
}

// The start-up camera: no rotation, 75 units along z.
Matrix ref_view() { return ref_translation({0, 0, 75, 0}); }

ScreenVertex ref_project(const Vec4& v, const Matrix& m) {
    int32_t x = (v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0]) >> 1;
    int32_t y = (v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1]) >> 1;
    int32_t z = (v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2]) >> 9;
    if (z <= -256) return {x, y, z, -1};
    return {x / (z + 256) + CX, y / (z + 256) + CY, z, 0};
}

std::vector<int32_t> entries(const Matrix& m) {
    return std::vector<int32_t>(&m.m[0][0], &m.m[0][0] + 16);
}

void expect_screen(const ScreenVertex& actual, const ScreenVertex& expected, int bone) {
    EXPECT_EQ(std::vector<int32_t>({actual.x, actual.y, actual.z, actual.clip}),
              std::vector<int32_t>({expected.x, expected.y, expected.z, expected.clip}))
        << "bone " << bone;
}

// ---------------------------------------------------------------------------

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        mem_fail_at(0);
        ASSERT_EQ(mtx_init(), 0);
        ASSERT_EQ(rb_init(), 0);
        rb_make_vertex_pool(64);
        rb_make_normal_pool(64);
        ASSERT_EQ(mdl_table_init(), 0);
        cam_set_screen_centre(CX, CY);
    }
    void TearDown() override {
        mem_fail_at(0);
        mdl_table_release();
        rb_release();
        mtx_release();
    }

    // Bone i of a new model owns vertex i of the pool; its parent is given
    // explicitly so the expected world matrices do not depend on pop counts.
    struct BoneSpec {
        int parent;  // -1: the model itself
        int32_t pop;
        Vec4 translation;
        Vec4 rotation;
        Vec4 vertex;
    };

    int32_t build(const std::vector<BoneSpec>& bones) {
        int32_t slot = mdl_create(static_cast<int32_t>(bones.size()));
        EXPECT_GE(slot, 0);
        for (size_t i = 0; i < bones.size(); i++) {
            int32_t start = rb_append_positions(1, &bones[i].vertex);
            EXPECT_EQ(mdl_add_bone(slot, start, 1, 0), static_cast<int32_t>(i));
            EXPECT_EQ(mdl_set_bone(slot, static_cast<int32_t>(i), bones[i].pop,
                                   &bones[i].translation, &bones[i].rotation),
                      0);
        }
        mdl_finish();
        return slot;
    }

    // Builds the model, places it (position, rotation, scale) if asked, runs
    // the pass and checks every bone's world matrix and projected vertex.
    void expect_walk(const std::vector<BoneSpec>& bones, const Vec4* placement = nullptr) {
        static const Vec4 unplaced[3] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {512, 512, 512, 0}};
        const int32_t slot = build(bones);
        if (placement != nullptr) {
            *mdl_position(slot) = placement[0];
            *mdl_rotation(slot) = placement[1];
            *mdl_scale(slot) = placement[2];
        } else {
            placement = unplaced;
        }
        const Model* model = mdl_get(slot);
        mdl_update_all();
        Matrix root =
            ref_product(ref_local(placement[0], placement[1], placement[2]), ref_view());
        std::vector<Matrix> world;
        for (size_t i = 0; i < bones.size(); i++) {
            const BoneSpec& b = bones[i];
            Matrix parent = b.parent < 0 ? root : world[static_cast<size_t>(b.parent)];
            world.push_back(ref_product(ref_local(b.translation, b.rotation, {512, 512, 512, 0}),
                                        parent));
            EXPECT_EQ(entries(model->bones[i].world), entries(world.back())) << "bone " << i;
            expect_screen(*rb_screen_vertex(static_cast<int32_t>(i)),
                          ref_project(b.vertex, world.back()), static_cast<int>(i));
        }
    }

    static PrimPacket* add_packet(uint32_t size) {
        PrimPacket* p = rb_alloc_packet(static_cast<int32_t>(size));
        p->size = size;
        return p;
    }
};

TEST_F(ModelTest, SlotsAreTakenLowestFirstAndRefusedBeyondTheTable) {
    for (int32_t i = 0; i < MODEL_SLOTS; i++) EXPECT_EQ(mdl_create(0), i);
    EXPECT_EQ(mdl_create(0), -1);
    EXPECT_EQ(mdl_free(7), 7);
    EXPECT_EQ(mdl_get(7), nullptr);
    EXPECT_EQ(mdl_free(7), -1);
    EXPECT_EQ(mdl_create(0), 7);
    EXPECT_EQ(mdl_get(7)->index, 7);
    EXPECT_EQ(headless_message_count(), 0);

    // Slots outside 0..31 and empty slots: null references, -1 results.
    mdl_free(3);
    for (int32_t slot : {-1, 3, 32, 1000}) {
        EXPECT_EQ(mdl_get(slot), nullptr);
        EXPECT_EQ(mdl_flags(slot), nullptr);
        EXPECT_EQ(mdl_position(slot), nullptr);
        EXPECT_EQ(mdl_rotation(slot), nullptr);
        EXPECT_EQ(mdl_scale(slot), nullptr);
        EXPECT_EQ(mdl_bone_rotation(slot, 0), nullptr);
        EXPECT_EQ(mdl_free(slot), -1);
        EXPECT_EQ(mdl_show(slot), -1);
        EXPECT_EQ(mdl_add_bone(slot, 0, 1, 0), -1);
        const Vec4 zero = {};
        EXPECT_EQ(mdl_set_bone(slot, 0, 0, &zero, &zero), -1);
        EXPECT_EQ(mdl_or_bone_flags(slot, 0, BONE_LIT), -1);
        EXPECT_EQ(mdl_set_bone_flags(slot, BONE_LIT), -1);
        EXPECT_EQ(mdl_set_ramp(slot, 1), -1);
    }
}

TEST_F(ModelTest, CreationRecordsTheBufferAndBonesStayWithinTheirRoom) {
    add_packet(PRIM_TRI_SIZE);
    int32_t slot = mdl_create(2);
    ASSERT_EQ(slot, 0);
    Model* model = mdl_get(slot);
    EXPECT_EQ(model->flags, 0u);
    EXPECT_EQ(model->bone_count, 0);
    EXPECT_EQ(model->packet_count, 1);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(model->packets), rb_current()->next_free);
    EXPECT_EQ(model->vertices, rb_positions());

    EXPECT_EQ(mdl_add_bone(slot, 5, 3, 2), 0);
    EXPECT_EQ(mdl_add_bone(slot, 8, 1, 0), 1);
    EXPECT_EQ(mdl_add_bone(slot, 9, 1, 0), -1);  // room for two only
    const Bone& bone = model->bones[0];
    EXPECT_EQ(bone.vertex_start, 5);
    EXPECT_EQ(bone.vertex_count, 3);
    EXPECT_EQ(bone.vertices, rb_positions() + 5);
    EXPECT_EQ(bone.pop_count, 2);
    EXPECT_EQ(mdl_bone_rotation(slot, 1), &model->bones[1].rotation);
    EXPECT_EQ(mdl_bone_rotation(slot, 2), nullptr);
    EXPECT_EQ(mdl_bone_rotation(slot, -1), nullptr);
    const Vec4 t = {1, 2, 3, 4};
    EXPECT_EQ(mdl_set_bone(slot, 2, 0, &t, &t), -1);

    for (int i = 0; i < 3; i++) add_packet(PRIM_QUAD_SIZE);
    mdl_finish();
    EXPECT_EQ(model->packet_count, 3);

    EXPECT_EQ(mdl_create(-1), -2);
    EXPECT_EQ(mdl_create(MODEL_MAX_BONES + 1), -2);
    mem_fail_at(1);
    EXPECT_EQ(mdl_create(4), -2);
    EXPECT_EQ(headless_message_count(), 1);  // the allocation message
}

TEST_F(ModelTest, ShowClearsTheFlagsOfAHiddenModelOnly) {
    int32_t slot = mdl_create(0);
    EXPECT_EQ(mdl_show(slot), -2);
    EXPECT_EQ(*mdl_flags(slot), 0u);
    *mdl_flags(slot) = MODEL_HIDDEN | 4;
    EXPECT_EQ(mdl_show(slot), 0);
    EXPECT_EQ(*mdl_flags(slot), 0u);
    *mdl_flags(slot) = 4;  // other bits without the hidden bit
    EXPECT_EQ(mdl_show(slot), -2);
    EXPECT_EQ(*mdl_flags(slot), 4u);
}

TEST_F(ModelTest, WalkFollowsThePopCountsThroughTheTree) {
    // 0 -> 1 -> 2 -> 3; after 3 the walk climbs three levels, so 4 is a child
    // of 0; after 4 it climbs two, so 5 is a second top-level bone. The
    // placement scales each axis differently.
    const Vec4 scaled[3] = {{0, 0, 200, 0}, {1000, 20, 0, 0}, {256, 512, 768, 0}};
    expect_walk({{-1, 0, {0, -20, 0, 0}, {0, 0, 0, 0}, {1, 2, 3, 0}},
                 {0, 0, {10, 0, 0, 0}, {0, 0, 128, 0}, {30, 0, 0, 0}},
                 {1, 0, {10, 0, 0, 0}, {300, 0, 0, 0}, {0, 30, 0, 0}},
                 {2, 3, {0, 10, 5, 0}, {0, 700, 0, 0}, {0, 0, 30, 0}},
                 {0, 2, {-30, 15, 0, 0}, {0, 0, 900, 0}, {5, 5, 5, 0}},
                 {-1, 0, {60, 60, 0, 0}, {512, 0, 0, 0}, {-9, 4, 2, 0}}},
                scaled);
}

TEST_F(ModelTest, AFullStackRefusesTheThirtyThirdLevelAndTheWalkGoesOn) {
    // A chain of 33 bones: the last push finds 32 saved levels and is refused,
    // so its pop of one returns the matrix bone 31 saved (bone 30's world),
    // and bone 33 becomes bone 31's sibling rather than bone 32's.
    std::vector<BoneSpec> bones;
    for (int i = 0; i < 33; i++) {
        bones.push_back({i - 1, i == 32 ? 1 : 0, {1, 0, 0, 0}, {0, 0, 0, 0}, {0, i, 0, 0}});
    }
    bones.push_back({30, 0, {0, 2, 0, 0}, {0, 0, 0, 0}, {7, 7, 7, 0}});
    expect_walk(bones);
    EXPECT_EQ(mtx_stack_depth(), 32);  // bone 33 was pushed again
}

TEST_F(ModelTest, AHiddenModelKeepsItsScreenVertices) {
    int32_t slot = build({{-1, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {10, 10, 10, 0}}});
    *rb_screen_vertex(0) = {-7, -7, -7, -7};
    *mdl_flags(slot) = MODEL_HIDDEN;
    mdl_update_all();
    expect_screen(*rb_screen_vertex(0), {-7, -7, -7, -7}, 0);
    EXPECT_EQ(mdl_show(slot), 0);
    mdl_update_all();
    expect_screen(*rb_screen_vertex(0), ref_project({10, 10, 10, 0}, ref_view()), 0);
}

TEST_F(ModelTest, PoolsMadeAgainAfterAModelAreReadWhereTheyAreNow) {
    // The old blocks are freed: the walk must read the new, empty ones.
    int32_t slot = build({{-1, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {10, 10, 10, 0}}});
    mdl_set_bone_flags(slot, BONE_LIT);
    Bone& bone = mdl_get(slot)->bones[0];
    bone.normal_start = 0;
    bone.normal_count = 1;
    bone.normals = rb_current()->normals;
    rb_make_vertex_pool(64);
    rb_make_normal_pool(64);
    *cam_light_vector() = {1024, 0, 0, 0};
    *rb_intensity(0) = 99;
    mdl_update_all();
    expect_screen(*rb_screen_vertex(0), ref_project({0, 0, 0, 0}, ref_view()), 0);
    EXPECT_EQ(*rb_intensity(0), 0);
    // A smaller pool no longer holds the bone: nothing is read or written.
    rb_make_vertex_pool(0);
    mdl_update_all();
}

TEST_F(ModelTest, LitBonesStoreIntensitiesUnclampedBelowAndAtMost255) {
    // One lit bone with four vertices and their normals at the model origin.
    const Vec4 zero = {};
    int32_t slot = mdl_create(1);
    for (int i = 0; i < 4; i++) rb_append_positions(1, &zero);
    mdl_add_bone(slot, 0, 4, 0);
    mdl_set_bone_flags(slot, BONE_LIT);
    Bone& bone = mdl_get(slot)->bones[0];
    bone.normal_start = 0;
    bone.normal_count = 4;
    bone.normals = rb_current()->normals;
    const Vec4 normals[4] = {{-1024, 0, 0, 0}, {1024, 0, 0, 0}, {0, 1024, 0, 0}, {724, 724, 0, 0}};
    for (int i = 0; i < 4; i++) bone.normals[i] = normals[i];
    *cam_light_vector() = {1024, 0, 0, 0};
    mdl_update_all();
    EXPECT_EQ(*rb_intensity(0), -256);  // facing away: stored as it is
    EXPECT_EQ(*rb_intensity(1), 255);   // 256 along the light, limited
    EXPECT_EQ(*rb_intensity(2), 0);
    EXPECT_EQ(*rb_intensity(3), 181);

    // The view normals went through the whole matrix: the camera's 75 units
    // along z are added to z.
    EXPECT_EQ(rb_view_normal(0)->x, -1024);
    EXPECT_EQ(rb_view_normal(0)->z, 75);

    // The light at angle 0 of the frame sequence, (-946, 390, 0), on the view
    // normal (0, 1024, 75): 390 >> 2.
    cam_set_light_angles(0, 0, 576);
    mdl_update_all();
    EXPECT_EQ(*rb_intensity(2), 97);

    // Without the lit flag the intensities are left alone.
    bone.flags = 0;
    *rb_intensity(0) = 99;
    mdl_update_all();
    EXPECT_EQ(*rb_intensity(0), 99);
}

TEST_F(ModelTest, RampSelectionWritesEveryPacketOfTheModelOnly) {
    const PrimPacket* outside = add_packet(PRIM_TRI_SIZE);
    int32_t slot = mdl_create(0);
    const PrimPacket* own[3] = {add_packet(PRIM_TRI_SIZE), add_packet(PRIM_QUAD_SIZE),
                                add_packet(PRIM_TRI_SIZE)};
    mdl_finish();
    const PrimPacket* after = add_packet(PRIM_QUAD_SIZE);

    EXPECT_EQ(mdl_set_ramp(slot, 2), 0);
    for (const PrimPacket* p : own) EXPECT_EQ(p->ramp, 2);
    EXPECT_EQ(outside->ramp, 0);
    EXPECT_EQ(after->ramp, 0);
    EXPECT_EQ(mdl_set_ramp(slot, 3), -1);
    EXPECT_EQ(mdl_set_ramp(slot, -1), -1);
    for (const PrimPacket* p : own) EXPECT_EQ(p->ramp, 2);
}

TEST_F(ModelTest, TableStartUpResetsTheCameraAndReleaseEmptiesEverySlot) {
    *cam_translation() = {1, 2, 3, 4};
    *cam_rotation() = {5, 6, 7, 8};
    mdl_create(0);
    mdl_create(3);
    ASSERT_EQ(mdl_table_init(), 0);
    EXPECT_EQ(mdl_get(0), nullptr);
    EXPECT_EQ(cam_translation()->z, 75);
    EXPECT_EQ(cam_rotation()->x, 0);
    mdl_create(0);
    mdl_table_release();
    EXPECT_EQ(mdl_get(0), nullptr);
    EXPECT_EQ(mdl_create(0), -1);  // no table
}

}  // namespace
