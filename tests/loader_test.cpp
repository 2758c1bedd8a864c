// The model file loader: conversions, the two object-file readers, normals and
// every refusal of malformed input (each leaving the render buffer as it was).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "files/texture.h"
#include "geometry/matrix.h"
#include "model/loader.h"
#include "model/model.h"
#include "platform/headless.h"
#include "render/renderbuf.h"
#include "shell/memory.h"
#include "tests/model_files.h"
#include "tests/test_support.h"

namespace {

std::string last_message() {
    int n = headless_message_count();
    return n > 0 ? headless_message(n - 1) : "";
}

// What a load may change in the render buffer, as bytes.
std::string snapshot() {
    const RenderBuffer* b = rb_current();
    auto bytes = [](const void* p, int32_t n) {
        return std::string(static_cast<const char*>(p), static_cast<size_t>(n));
    };
    std::string s = bytes(b->first_packet, b->packet_area_size) +
                    bytes(b->positions, 16 * b->pool_size[0]) +
                    bytes(b->uvs, 16 * b->pool_size[2]) +
                    bytes(&b->next_free, sizeof b->next_free) + bytes(&b->packet_count, 4);
    for (int32_t row = 0; row < POOL_ROWS; row++) s += std::to_string(rb_row_count(row)) + ",";
    return s;
}

class LoaderTest : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        ASSERT_TRUE(start_model_scene());
    }
    void TearDown() override {
        release_model_scene();
        FileTest::TearDown();
    }
    static void write(const std::string& name, const std::string& bytes) {
        write_text_file(name, bytes);
    }
    // "<stem>.obj" holding `object`, and the one-bone model "<stem>.txt" naming it.
    static void write_model(const std::string& stem, const std::string& object) {
        write(stem + ".obj", object);
        write(stem + ".txt", head("1") + objects({stem + ".obj"}));
    }
    static const PrimPacket* packet(int32_t n) {
        const uint8_t* p = rb_current()->first_packet;
        for (int32_t i = 0; i < n; i++) p += reinterpret_cast<const PrimPacket*>(p)->size;
        return reinterpret_cast<const PrimPacket*>(p);
    }
};

TEST_F(LoaderTest, ConversionsTruncateTheExactProducts) {
    write("a.obj", Obj()
                       .vertices({{0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, -0.5f}, {0.7f, 0.7f, -0.7f}})
                       .texcoords({{1.0f, 0.5f}, {0.7f, 0.0f}})
                       .done());
    write("m.txt", head("1", "1.9 -1.9 2.5 0  1.5 0 -0.5 0  256.7 512 -3.9 0") +
                       objects({"a.obj"}) + bones({born(2, "-2.5 7.9 0", "0.7 -0.5 0.5")}));
    int32_t slot = mdl_load("m.txt", -1);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(headless_message_count(), 0);
    const Vec4* pos = rb_positions();
    expect_xyz(pos[0], 150, -150, 150);  // y turns downward
    expect_xyz(pos[1], -150, 150, -150);
    expect_xyz(pos[2], 209, -209, -209);  // 0.7 x 300 in single precision would be 210
    const Vec4* uvs = rb_current()->uvs;
    expect_xyz(uvs[0], 255, 127, 0);
    expect_xyz(uvs[1], 178, 0, 0);

    const Model* model = mdl_get(slot);
    expect_xyz(model->position, 1, -1, 2);  // truncated, not scaled
    expect_xyz(model->rotation, 1, 0, 0);
    expect_xyz(model->scale, 256, 512, -3);
    ASSERT_EQ(model->bone_count, 1);
    const Bone& bone = model->bones[0];
    EXPECT_EQ(bone.pop_count, 2);
    expect_xyz(bone.translation, -2, 7, 0);
    expect_xyz(bone.rotation, 209, -150, 150);  // stored unwrapped
    EXPECT_EQ(bone.vertex_start, 0);
    EXPECT_EQ(bone.vertex_count, 3);
}

TEST_F(LoaderTest, EveryObjectFileMapsTheWholeTextureOntoItsFaces) {
    // The coordinate chunk is ignored when one texture is given.
    write("a.obj", square_object());
    write("b.obj", Obj()
                       .texcoords({{0.1f, 0.2f}})
                       .vertices({{0, 0, 0}, {0, 1, 0}, {1, 1, 0}})
                       .faces(OBJ_CHUNK_TRIANGLES, {{2, 1, 0}, {-1, 0, 1}})
                       .faces(OBJ_CHUNK_QUADS, {{0, 1, 2, -4}})
                       .done());
    write("m.txt", head("2") + objects({"a.obj", "b.obj"}));
    int32_t slot = mdl_load("m.txt", 7);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(headless_message_count(), 0);

    const Vec4* uvs = rb_current()->uvs;
    ASSERT_EQ(rb_row_count(2), 8);
    for (int32_t file = 0; file < 2; file++) {
        expect_xyz(uvs[4 * file + 0], 0, 0, 0);
        expect_xyz(uvs[4 * file + 1], 255, 0, 0);
        expect_xyz(uvs[4 * file + 2], 255, 255, 0);
        expect_xyz(uvs[4 * file + 3], 0, 255, 0);
    }
    const Model* model = mdl_get(slot);
    EXPECT_EQ(model->packet_count, 5);
    EXPECT_EQ(rb_current()->packet_count, 5);
    EXPECT_EQ(model->bones[1].vertex_start, 4);
    EXPECT_EQ(model->bones[1].vertex_count, 3);

    struct Expected {
        uint32_t corners;
        std::vector<int16_t> vertex;
        int16_t uv;  // first coordinate index
    };
    // Relative indices may reach back into the first bone's vertices.
    const Expected expected[5] = {{3, {0, 1, 2}, 0},
                                  {4, {0, 1, 2, 3}, 0},
                                  {3, {6, 5, 4}, 4},
                                  {3, {3, 4, 5}, 4},
                                  {4, {4, 5, 6, 0}, 4}};
    for (int32_t n = 0; n < 5; n++) {
        const PrimPacket* p = packet(n);
        const Expected& e = expected[n];
        EXPECT_EQ(p->header, PRIM_CULL | PRIM_TEXTURED | e.corners) << n;
        EXPECT_EQ(p->size, e.corners == 4 ? PRIM_QUAD_SIZE : PRIM_TRI_SIZE) << n;
        EXPECT_EQ(p->link, 0u);
        EXPECT_EQ(p->texture, 7);
        EXPECT_EQ(p->ramp, 0);
        for (uint32_t k = 0; k < e.corners; k++) {
            EXPECT_EQ(prim_index(p, PRIM_VERTEX)[k], e.vertex[k]) << n << " " << k;
            EXPECT_EQ(prim_index(p, PRIM_UV)[k], e.uv + static_cast<int16_t>(k)) << n << " " << k;
            EXPECT_EQ(prim_index(p, PRIM_COLOUR)[k], 0);
            EXPECT_EQ(prim_index(p, PRIM_INTENSITY)[k], 0);
        }
    }
}

TEST_F(LoaderTest, ObjectFilesCanNameAndSelectTheirOwnTextures) {
    write("a.bmp", bmp32());
    write("b.bmp", bmp32());
    write_model("m", Obj()
                         .vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})
                         .texcoords({{0, 0}, {1, 0}, {1, 1}, {0, 1}})
                         .names({"a.bmp", "b.bmp"})
                         .faces(OBJ_CHUNK_TRIANGLES, {{0, 1, 2}})
                         .select(1)
                         .faces(OBJ_CHUNK_TEX_QUADS, {{3, 2, 1, 0}})
                         .select(0)
                         .faces(OBJ_CHUNK_TEX_TRIANGLES, {{1, 2, 3}})
                         .done());
    ASSERT_EQ(mdl_load("m.txt", -1), 0);
    EXPECT_EQ(headless_message_count(), 0);
    int32_t a = tex_find("a.bmp");
    int32_t b = tex_find("b.bmp");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(rb_row_count(2), 4);  // only the file's own coordinates

    const PrimPacket* plain = packet(0);
    EXPECT_EQ(plain->header, PRIM_CULL | 3);
    EXPECT_EQ(plain->texture, 0);
    EXPECT_EQ(prim_index(plain, PRIM_COLOUR)[0], 0);
    EXPECT_EQ(prim_index(plain, PRIM_UV)[0], 0);

    // Coordinates parallel the vertices.
    const PrimPacket* quad = packet(1);
    EXPECT_EQ(quad->header, PRIM_CULL | PRIM_TEXTURED | 4);
    EXPECT_EQ(quad->texture, b);
    for (int16_t k = 0; k < 4; k++) {
        EXPECT_EQ(prim_index(quad, PRIM_VERTEX)[k], 3 - k);
        EXPECT_EQ(prim_index(quad, PRIM_UV)[k], 3 - k);
    }
    const PrimPacket* tri = packet(2);
    EXPECT_EQ(tri->texture, a);
    EXPECT_EQ(prim_index(tri, PRIM_UV)[2], 3);
}

TEST_F(LoaderTest, NormalsSumAtSharedVerticesAndSkipDamagedPackets) {
    // Face A lies in the plane z = 0, face B in x = 0; they share vertices 0
    // and 2 (converted: (0,0,0), (300,0,0), (0,-300,0), (0,0,300)).
    write_model("m", Obj()
                         .vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}})
                         .faces(OBJ_CHUNK_TEX_TRIANGLES, {{0, 1, 2}, {0, 2, 3}})
                         .done());
    ASSERT_EQ(mdl_load("m.txt", 0), 0);
    EXPECT_EQ(mdl_compute_normals(0), 0);
    const Vec4* n = rb_current()->normals;
    // A: (300,0,0) x (-300,-300,0) = (0,0,-90000); B: (0,-300,0) x (0,300,300)
    // = (-90000,0,0). Shared vertices hold the sum renormalised: 1024 x 1024 /
    // 1448 truncates to 724.
    expect_xyz(n[0], -724, 0, -724);
    expect_xyz(n[1], 0, 0, -1024);
    expect_xyz(n[2], -724, 0, -724);
    expect_xyz(n[3], -1024, 0, 0);
    for (int32_t i = 0; i < 2; i++) {
        const PrimPacket* p = packet(i);
        EXPECT_EQ(p->header, PRIM_CULL | PRIM_LIT_TEX3);
        for (int32_t k = 0; k < 3; k++) {
            EXPECT_EQ(prim_index(p, PRIM_INTENSITY)[k], prim_index(p, PRIM_VERTEX)[k]);
        }
    }
    const Bone& bone = mdl_get(0)->bones[0];
    EXPECT_EQ(bone.normal_start, 0);
    EXPECT_EQ(bone.normal_count, 4);
    EXPECT_EQ(bone.normals, rb_current()->normals);
    EXPECT_EQ(rb_current()->normal_count, 0);
    EXPECT_EQ(mdl_compute_normals(1), -1);
    EXPECT_EQ(mdl_compute_normals(32), -1);

    // A packet whose index was damaged after loading is passed over.
    write_model("sq", square_object());
    ASSERT_EQ(mdl_load("sq.txt", 0), 1);
    PrimPacket* p = const_cast<PrimPacket*>(packet(3));
    prim_index(p, PRIM_VERTEX)[3] = 1500;
    EXPECT_EQ(mdl_compute_normals(1), 0);
    EXPECT_EQ(packet(2)->header & PRIM_LIT, PRIM_LIT);
    EXPECT_EQ(p->header & PRIM_LIT, 0u);
    EXPECT_EQ(prim_index(p, PRIM_INTENSITY)[0], 0);
}

// The walk reads every chunk that starts before the file's total size, the
// last one whole even where it passes that size; the HEAD's first record is
// read at its offsets whatever else the section holds.
TEST_F(LoaderTest, ChunksStartBeforeTheTotalSizeAndHeadRecordsMayBeWider) {
    Obj object;
    object.vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    const int32_t faces_at = static_cast<int32_t>(object.done().size());
    object.faces(OBJ_CHUNK_TRIANGLES, {{0, 1, 2}});
    const int32_t end = static_cast<int32_t>(object.done().size());
    int32_t slot = 0;
    for (int32_t total : {end, end - 2, faces_at + 1, faces_at}) {
        SCOPED_TRACE(total);
        write_model("m", object.done(total));
        ASSERT_EQ(mdl_load("m.txt", 0), slot);
        EXPECT_EQ(mdl_get(slot)->packet_count, total > faces_at ? 1 : 0);
        slot++;
    }
    write("m.txt", "SEC_M_HEAD:\nIVVVI\n1 " + std::string(PLACEMENT) + " 7 1 " +
                       std::string(PLACEMENT) + " 8\nEND_SEC:\n" + objects({"m.obj"}));
    ASSERT_EQ(mdl_load("m.txt", 0), slot);
    EXPECT_EQ(mdl_get(slot)->bone_count, 1);
    EXPECT_EQ(headless_message_count(), 0);
}

TEST_F(LoaderTest, ScratchListHolds4096Corners) {
    for (int32_t count : {1365, 1366}) {
        write_model("t" + std::to_string(count),
                    Obj()
                        .vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}})
                        .faces(OBJ_CHUNK_TRIANGLES, std::vector<std::vector<int32_t>>(
                                                        static_cast<size_t>(count), {0, 1, 2}))
                        .done());
    }
    write_model("quads", Obj()
                             .vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})
                             .faces(OBJ_CHUNK_QUADS,
                                    std::vector<std::vector<int32_t>>(1024, {0, 1, 2, 3}))
                             .done());
    ASSERT_EQ(mdl_load("quads.txt", 0), 0);
    EXPECT_EQ(rb_current()->packet_count, 1024);
    EXPECT_EQ(mdl_get(0)->packet_count, 1024);

    // With room for the packets, the scratch list itself is the limit.
    RenderBuffer* standard = rb_current();
    RenderBuffer* large = rb_create(70000);
    ASSERT_NE(large, nullptr);
    rb_set_current(large);
    make_model_pools();
    const std::string before = snapshot();
    EXPECT_EQ(mdl_load("t1366.txt", 0), -3);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_EQ(last_message(), message_with(MSG_FILE_PARSE_FAILED, "t1366.obj"));
    EXPECT_EQ(mdl_get(1), nullptr);
    EXPECT_EQ(mdl_load("t1365.txt", 0), 1);
    EXPECT_EQ(large->packet_count, 1365);
    rb_destroy(large);
    rb_set_current(standard);
}

TEST_F(LoaderTest, AFullModelTableOrAFailedScratchListRefusesTheLoad) {
    write_model("m", square_object());
    for (int32_t i = 0; i < MODEL_SLOTS; i++) mdl_create(0);
    std::string before = snapshot();
    EXPECT_EQ(mdl_load("m.txt", 0), -4);
    EXPECT_TRUE(snapshot() == before);

    mdl_free(3);
    mem_fail_at(1);
    EXPECT_EQ(mdl_load("m.txt", 0), -1);
    EXPECT_EQ(last_message(), message_with(MSG_ALLOC_FAILED, 8192));
    EXPECT_TRUE(snapshot() == before);
    EXPECT_EQ(mdl_load("m.txt", 0), 3);
}

// Malformed files: each refusal returns its code and message, frees the model
// and leaves the render buffer exactly as it was.
struct Refusal {
    const char* what;
    std::string model;   // text of "m.txt"
    std::string object;  // bytes of "bad.obj" (named by the model text)
    int32_t texture;
    int32_t code;
    std::string message;
    const char* file = "m.txt";  // the model file loaded
};

std::vector<Refusal> refusals() {
    const std::string bad_model = head("1") + objects({"bad.obj"});
    const std::string parse_obj = message_with(MSG_FILE_PARSE_FAILED, "bad.obj");
    const std::string parse_model = message_with(MSG_FILE_PARSE_FAILED, "m.txt");
    const std::vector<Xyz> four = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto object = [&](const char* what, const std::string& bytes, int32_t texture = 0) {
        return Refusal{what, bad_model, bytes, texture, -3, parse_obj};
    };
    auto model = [&](const char* what, const std::string& text, int32_t code = -2) {
        return Refusal{what, text, "", 0, code, parse_model};
    };

    return {
        object("total size past the file", Obj().vertices(four).done(8 + 8 + 48 + 4)),
        object("negative total size", Obj().vertices(four).done(-8)),
        object("file shorter than its header", "abc"),
        object("chunk size 0", Obj().vertices(four).chunk(999, 0, "", 0).done()),
        object("negative chunk size", Obj().vertices(four).chunk(999, 0, "", -16).done()),
        object("chunk past the end of the file",
               Obj().vertices(four).chunk(999, 0, "", 100).done()),
        object("chunk header past the end of the file",
               Obj().vertices(four).raw("abcd").done()),
        object("vertex count past the chunk",
               Obj().chunk(OBJ_CHUNK_VERTICES, 3, std::string(24, '\0')).done()),
        object("negative vertex count", Obj().chunk(OBJ_CHUNK_VERTICES, -1, "").done()),
        object("face count past the chunk",
               Obj().vertices(four).chunk(OBJ_CHUNK_TRIANGLES, 2, std::string(8, '\0')).done()),
        object("index past the appended vertices",
               Obj().vertices(four).faces(OBJ_CHUNK_TRIANGLES, {{0, 1, 4}}).done()),
        object("index before the pool",
               Obj().vertices(four).faces(OBJ_CHUNK_QUADS, {{0, 1, 2, -5}}).done()),
        object("faces before any vertices",
               Obj().faces(OBJ_CHUNK_TRIANGLES, {{0, 1, 2}}).vertices(four).done()),
        object("NaN vertex", Obj().vertices({{0, nan, 0}}).done()),
        object("vertex beyond 32 bits", Obj().vertices({{0, 0, 1e7f}}).done()),
        object("vertex pool runs out", Obj().vertices(std::vector<Xyz>(1501, Xyz{0, 0, 0})).done()),
        // 1365 triangles fit the scratch list (4095 corners) but need 60,060 packet bytes.
        object("packet area runs out", Obj()
                                           .vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}})
                                           .faces(OBJ_CHUNK_TRIANGLES, {1365, {0, 1, 2}})
                                           .done()),
        object("65 texture names", Obj().names(std::vector<std::string>(65, "a.bmp")).done(), -1),
        object("texture name of 52 characters", Obj().names({std::string(52, 'n')}).done(), -1),
        object("texture name without its end",
               Obj().chunk(OBJ_CHUNK_TEXTURE_NAMES, 1, "abcd").done(), -1),
        object("texture outside the list", Obj().names({"a.bmp"}).select(1).done(), -1),
        object("NaN coordinate", Obj().texcoords({{nan, 0}}).done(), -1),
        object("coordinate pool runs out", Obj().texcoords({1201, {0.0f, 0.0f}}).done(), -1),
        object("textured face without coordinates",
               Obj().vertices(four).faces(OBJ_CHUNK_TEX_TRIANGLES, {{0, 1, 2}}).done(), -1),
        object("coordinate past the appended ones", Obj()
                                                        .vertices(four)
                                                        .texcoords({{0, 0}, {1, 0}})
                                                        .faces(OBJ_CHUNK_TEX_TRIANGLES, {{0, 1, 2}})
                                                        .done(),
               -1),
        model("OBJ before HEAD", objects({"good.obj"}) + head("1")),
        model("BORN before HEAD", bones({born(0, "0 0 0", "0 0 0")}) + head("1")),
        model("more OBJ records than bones", head("1") + objects({"good.obj", "good.obj"})),
        model("more BORN records than bones",
              head("1") + objects({"good.obj"}) +
                  bones({born(0, "0 0 0", "0 0 0"), born(0, "0 0 0", "0 0 0")})),
        model("a second HEAD", head("1") + objects({"good.obj"}) + head("1")),
        model("HEAD of another layout", "SEC_M_HEAD:\nI\n1\nEND_SEC:\n"),
        model("BORN of another layout",
              head("1") + objects({"good.obj"}) + "SEC_M_BORN:\nIIV\n0 0 1 2 3 4\nEND_SEC:\n"),
        model("OBJ record that is no name", head("1") + "SEC_M_OBJ:\nI\n5\nEND_SEC:\n"),
        model("negative bone count", head("-1")),
        model("HEAD value beyond 32 bits", head("1", "1e10 0 0 0 0 0 0 0 512 512 512 0")),
        model("bone rotation beyond 32 bits",
              head("1") + objects({"good.obj"}) + bones({born(0, "0 0 0", "0 1e8 0")})),
        model("no HEAD", "SEC_M_HIT:\nI\n1\nEND_SEC:\n", -1),
        model("no section", "// nothing here\n", -1),
        model("text that does not parse", "SEC_M_HEAD:\nIVVV\n1 x\nEND_SEC:\n"),
        {"missing object file", head("2") + objects({"good.obj", "gone.obj"}), "", 0, -3,
         message_with(MSG_FILE_NOT_FOUND, "gone.obj")},
        {"missing model file", "", "", 0, -2, message_with(MSG_FILE_NOT_FOUND, "none.txt"),
         "none.txt"},
    };
}

TEST_F(LoaderTest, RoomForMoreBonesThanAFileCanNameIsNoFault) {
    write("a.obj", square_object());
    for (const char* room : {"4096", "4097", "100000", "2147483647"}) {
        write("m.txt", head(room) + objects({"a.obj", "a.obj"}));
        headless_clear_messages();
        const int32_t slot = mdl_load("m.txt", 7);
        ASSERT_GE(slot, 0) << room;
        EXPECT_EQ(headless_message_count(), 0) << room;
        EXPECT_EQ(mdl_get(slot)->bone_count, 2) << room;
        EXPECT_EQ(mdl_get(slot)->bone_capacity, MODEL_MAX_BONES) << room;
        mdl_free(slot);
    }
}

TEST_F(LoaderTest, MalformedInputIsRefusedAndTakenBack) {
    write("a.bmp", bmp32());
    write("good.obj", square_object());
    write("base.txt", head("1") + objects({"good.obj"}));
    ASSERT_EQ(mdl_load("base.txt", 0), 0);
    const std::string loaded = snapshot();
    for (const Refusal& r : refusals()) {
        SCOPED_TRACE(r.what);
        std::remove("bad.obj");
        if (!r.object.empty()) write("bad.obj", r.object);
        write("m.txt", r.model);
        headless_clear_messages();
        EXPECT_EQ(mdl_load(r.file, r.texture), r.code);
        EXPECT_EQ(last_message(), r.message);
        EXPECT_EQ(mdl_get(1), nullptr);
        EXPECT_TRUE(snapshot() == loaded);
    }
    // The model loaded first is untouched, and the next load takes up where it
    // ended.
    ASSERT_NE(mdl_get(0), nullptr);
    EXPECT_EQ(mdl_get(0)->packet_count, 2);
    EXPECT_EQ(mdl_load("base.txt", 0), 1);
    EXPECT_EQ(mdl_get(1)->bones[0].vertex_start, 4);
    EXPECT_EQ(rb_row_count(2), 8);
}

}  // namespace
