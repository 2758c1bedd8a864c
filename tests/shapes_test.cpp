#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "geometry/matrix.h"
#include "model/shapes.h"
#include "platform/headless.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"
#include "shell/memory.h"
#include "tests/model_files.h"

namespace {

// A packet of the store, copied out whole or as its 44 bytes.
PrimPacket packet_at(int32_t offset) {
    PrimPacket p = {};
    std::memcpy(&p, shape_packets() + offset, PRIM_TRI_SIZE);
    if (p.size == PRIM_QUAD_SIZE) std::memcpy(&p, shape_packets() + offset, PRIM_QUAD_SIZE);
    return p;
}

std::vector<int16_t> entries(const PrimPacket& p, PrimField field) {
    const int16_t* e = prim_index(&p, field);
    return std::vector<int16_t>(e, e + prim_slots(&p));
}

class ShapesTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        ASSERT_EQ(mtx_init(), 0);
        ASSERT_EQ(shape_tables_init(), 0);
    }
    void TearDown() override {
        mem_fail_at(0);
        shape_release_stores();
        shape_tables_release();
        mtx_release();
    }
    const Vec4& position(int32_t mesh, int32_t i) const {
        return shape_vertices()[shape_mesh(mesh)->position_start + i];
    }
    PrimPacket mesh_packet(int32_t mesh, int32_t k) const {
        int32_t offset = shape_mesh(mesh)->packet_start;
        for (int32_t j = 0; j < k; j++) offset += static_cast<int32_t>(packet_at(offset).size);
        return packet_at(offset);
    }
};

TEST_F(ShapesTest, StartUpBuildsSixMeshesAndShapeZero) {
    ASSERT_EQ(shape_generate(), 0);
    ASSERT_EQ(shape_mesh_count(), 6);
    const int32_t positions[6] = {17, 32, 32, 32, 17, 33};
    int32_t next = 0;
    int32_t bytes = 0;
    for (int32_t m = 0; m < 6; m++) {
        const MeshDescriptor* d = shape_mesh(m);
        EXPECT_EQ(d->position_count, positions[m]) << "mesh " << m;
        EXPECT_EQ(d->position_start, next);
        EXPECT_EQ(d->colour_count, 2);
        EXPECT_EQ(d->colour_start, next + positions[m]);
        EXPECT_EQ(d->third_count, 0);
        EXPECT_EQ(d->third_start, 0);
        EXPECT_EQ(d->packet_count, 16);
        EXPECT_EQ(d->packet_start, bytes);
        expect_xyz(shape_vertices()[d->colour_start], 0, 0, 0);
        expect_xyz(shape_vertices()[d->colour_start + 1], 255, 255, 255);
        next += positions[m] + 2;
        bytes += d->packet_bytes;
    }
    EXPECT_EQ(shape_vertex_total(), 175);
    EXPECT_EQ(bytes, 4480);
    EXPECT_EQ(shape_packet_cursor(), 4480);

    // Walking the store by size: 64 additive triangles and 32 additive quads,
    // each with depth bias, link and ramp 0.
    int32_t triangles = 0;
    int32_t quads = 0;
    for (int32_t offset = 0; offset < 4480;) {
        PrimPacket p = packet_at(offset);
        if (p.size == PRIM_TRI_SIZE) {
            EXPECT_EQ(p.header, PRIM_GOURAUD3_ADD);
            triangles++;
        } else {
            ASSERT_EQ(p.size, PRIM_QUAD_SIZE);
            EXPECT_EQ(p.header, PRIM_GOURAUD4_ADD);
            quads++;
        }
        EXPECT_EQ(p.link, 0u);
        EXPECT_EQ(p.depth_bias, 0);
        EXPECT_EQ(p.ramp, 0);
        offset += static_cast<int32_t>(p.size);
    }
    EXPECT_EQ(triangles, 64);
    EXPECT_EQ(quads, 32);

    EXPECT_EQ(shape_count(), 1);
    EXPECT_EQ(shape_record_count(), 1);
    EXPECT_EQ(shape_first_record(0), 0);
    const ShapeRecord* r = shape_record(0);
    ASSERT_NE(r, nullptr);
    const int32_t words[SHAPE_RECORD_WORDS] = {5, 2, 0, 1, 1, 2, 0, 64, 0, 0};
    for (int32_t w = 0; w < SHAPE_RECORD_WORDS; w++) EXPECT_EQ(r->word[w], words[w]) << w;
    EXPECT_TRUE(headless_message_count() == 0);
}

TEST_F(ShapesTest, MeshPositionsAndPackets) {
    ASSERT_EQ(shape_generate(), 0);
    // Disc: centre, then radius 256 at every sixteenth of a turn.
    expect_xyz(position(0, 0), 0, 0, 0);
    expect_xyz(position(0, 1), 256, 0, 0);
    expect_xyz(position(0, 5), 0, 256, 0);
    expect_xyz(position(0, 9), -256, 0, 0);
    expect_xyz(position(0, 13), 0, -256, 0);
    EXPECT_EQ(entries(mesh_packet(0, 0), PRIM_VERTEX), (std::vector<int16_t>{0, 1, 2}));
    EXPECT_EQ(entries(mesh_packet(0, 15), PRIM_VERTEX), (std::vector<int16_t>{0, 16, 1}));
    EXPECT_EQ(entries(mesh_packet(0, 15), PRIM_COLOUR), (std::vector<int16_t>{1, 0, 0}));

    // Ring: inner and outer point per step.
    expect_xyz(position(1, 0), 256, 0, 0);
    expect_xyz(position(1, 1), 512, 0, 0);
    expect_xyz(position(1, 8), 0, 256, 0);
    expect_xyz(position(1, 9), 0, 512, 0);
    EXPECT_EQ(entries(mesh_packet(1, 0), PRIM_VERTEX), (std::vector<int16_t>{2, 0, 1, 3}));
    // The last quad closes the ring.
    EXPECT_EQ(entries(mesh_packet(1, 15), PRIM_VERTEX), (std::vector<int16_t>{0, 30, 31, 1}));
    EXPECT_EQ(entries(mesh_packet(1, 15), PRIM_COLOUR), (std::vector<int16_t>{1, 1, 0, 0}));

    // Bands lie in the x-z plane, the top at y = 50.
    expect_xyz(position(2, 0), 256, 50, 0);
    expect_xyz(position(2, 1), 256, 0, 0);
    expect_xyz(position(3, 8), 0, 50, 256);
    EXPECT_EQ(entries(mesh_packet(3, 15), PRIM_VERTEX), (std::vector<int16_t>{0, 30, 31}));
    EXPECT_EQ(entries(mesh_packet(3, 15), PRIM_COLOUR), (std::vector<int16_t>{1, 1, 0}));

    // Cone: sin 192 = 473 and cos 192 = 195; the radius 473 / 2 truncates to
    // 236 before the scale of 4.
    expect_xyz(position(4, 0), 0, 0, 0);
    expect_xyz(position(4, 1), 944, 780, 0);
    expect_xyz(position(4, 5), 0, 780, 944);

    // Starburst: spikes of length about 5 round the origin.
    expect_xyz(position(5, 0), 0, 0, 0);
    for (int32_t i = 1; i < 33; i++) {
        const Vec4& p = position(5, i);
        EXPECT_LE(p.x * p.x + p.y * p.y + p.z * p.z, 50) << i;
    }
    EXPECT_EQ(entries(mesh_packet(5, 15), PRIM_VERTEX), (std::vector<int16_t>{0, 31, 32}));
}

TEST_F(ShapesTest, EmittersSetTheVertexCountBits) {
    ASSERT_EQ(shape_make_stores(), 0);
    shape_begin_packets();
    PrimPacket pattern = {};
    pattern.header = PRIM_GOURAUD4_ADD;  // a quad code into a triangle
    pattern.size = PRIM_TRI_SIZE;
    pattern.texture = 7;
    pattern.depth_bias = -3;
    pattern.ramp = 2;
    for (int16_t j = 0; j < 12; j++) pattern.index[j] = static_cast<int16_t>(j + 1);
    EXPECT_EQ(shape_emit_triangle(&pattern), 1);
    pattern.header = PRIM_GOURAUD3_ADD;
    EXPECT_EQ(shape_emit_quad(&pattern), 2);
    const PrimPacket tri = packet_at(0);
    EXPECT_EQ(tri.header, PRIM_GOURAUD3_ADD);
    EXPECT_EQ(tri.size, PRIM_TRI_SIZE);
    EXPECT_EQ(tri.texture, 7);
    EXPECT_EQ(tri.depth_bias, -3);
    EXPECT_EQ(tri.ramp, 0);
    EXPECT_EQ(entries(tri, PRIM_UV), (std::vector<int16_t>{7, 8, 9}));
    EXPECT_EQ(entries(tri, PRIM_INTENSITY), (std::vector<int16_t>{0, 0, 0}));
    const PrimPacket quad = packet_at(44);
    EXPECT_EQ(quad.header, PRIM_GOURAUD4_ADD);
    EXPECT_EQ(entries(quad, PRIM_VERTEX), (std::vector<int16_t>{1, 2, 3, 4}));
    EXPECT_EQ(entries(quad, PRIM_UV), (std::vector<int16_t>{9, 10, 11, 12}));
    EXPECT_EQ(shape_packet_cursor(), 96);
}

TEST_F(ShapesTest, VertexBeforeAnyStreamIsWrittenButNotCounted) {
    ASSERT_EQ(shape_make_stores(), 0);
    EXPECT_EQ(shape_add_point(1, 2, 3), 0);
    EXPECT_EQ(shape_vertex_total(), 0);
    expect_xyz(shape_vertices()[0], 1, 2, 3);
    shape_begin_positions();
    EXPECT_EQ(shape_add_point(4, 5, 6), 1);
    expect_xyz(shape_vertices()[0], 4, 5, 6);
    shape_begin_colours();
    EXPECT_EQ(shape_add_point(7, 8, 9), 2);
    ASSERT_EQ(shape_end_mesh(), 0);
    const MeshDescriptor* d = shape_mesh(0);
    EXPECT_EQ(d->position_count, 1);
    EXPECT_EQ(d->colour_count, 1);
    EXPECT_EQ(d->colour_start, 1);
}

TEST_F(ShapesTest, BuildersRefuseAtCapacity) {
    ASSERT_EQ(shape_make_stores(), 0);
    EXPECT_EQ(shape_make_stores(), -3);
    shape_begin_positions();
    for (int32_t i = 1; i <= SHAPE_VERTEX_CAPACITY; i++) ASSERT_EQ(shape_add_point(i, 0, 0), i);
    EXPECT_EQ(shape_add_point(-1, -1, -1), -1);
    EXPECT_EQ(shape_vertex_total(), SHAPE_VERTEX_CAPACITY);
    expect_xyz(shape_vertices()[SHAPE_VERTEX_CAPACITY - 1], SHAPE_VERTEX_CAPACITY, 0, 0);

    shape_begin_packets();
    PrimPacket pattern = {};
    for (int32_t k = 1; k <= 113; k++) ASSERT_EQ(shape_emit_triangle(&pattern), k);
    EXPECT_EQ(shape_packet_cursor(), 4972);
    EXPECT_EQ(shape_emit_triangle(&pattern), -1);
    EXPECT_EQ(shape_emit_quad(&pattern), -1);
    EXPECT_EQ(shape_packet_cursor(), 4972);

    for (int32_t m = 0; m < SHAPE_MESH_CAPACITY; m++) ASSERT_EQ(shape_end_mesh(), m);
    EXPECT_EQ(shape_end_mesh(), -1);

    // 64 shapes, then no 65th.
    for (int32_t s = 0; s < SHAPE_CAPACITY; s++) {
        ASSERT_EQ(shape_begin(), s);
        ASSERT_EQ(shape_end(), s + 1);
    }
    EXPECT_EQ(shape_begin(), -1);
    EXPECT_EQ(shape_end(), -1);
}

TEST_F(ShapesTest, RecordsStopAt256) {
    ASSERT_EQ(shape_begin(), 0);
    for (int32_t r = 0; r < SHAPE_RECORD_CAPACITY; r++) {
        ASSERT_EQ(shape_add_record(r, 0, 0, 0, 0, 0, 0, 0), r);
    }
    EXPECT_EQ(shape_add_record(9, 9, 9, 9, 9, 9, 9, 9), -1);
    EXPECT_EQ(shape_record_count(), SHAPE_RECORD_CAPACITY);
    EXPECT_EQ(shape_end(), 1);
    EXPECT_EQ(shape_begin(), -1);
    EXPECT_EQ(shape_add_record(9, 9, 9, 9, 9, 9, 9, 9), -1);  // no shape open
}

TEST_F(ShapesTest, FailedAllocationsAreReported) {
    shape_tables_release();
    for (int32_t k = 1; k <= 3; k++) {
        mem_fail_at(k);
        EXPECT_EQ(shape_tables_init(), -1) << k;
    }
    mem_fail_at(0);
    ASSERT_EQ(shape_tables_init(), 0);
    for (int32_t k = 1; k <= 2; k++) {
        mem_fail_at(k);
        EXPECT_EQ(shape_generate(), -1) << k;
        EXPECT_EQ(shape_vertices(), nullptr);
        EXPECT_EQ(shape_packets(), nullptr);
    }
    mem_fail_at(0);
    EXPECT_EQ(headless_message_count(), 5);
    // Without the tables the meshes cannot be registered.
    shape_tables_release();
    EXPECT_EQ(shape_generate(), -2);
    EXPECT_EQ(shape_marker_entry(0), nullptr);
    EXPECT_EQ(shape_set_marker(0, 0), -1);
}

// The marker box, drawn directly and through the ordering table.
class MarkerTest : public ::testing::Test {
protected:
    static constexpr int32_t W = 128;
    static constexpr int32_t H = 96;
    void SetUp() override {
        headless_print_messages(false);
        ASSERT_EQ(shape_tables_init(), 0);
        pixels.assign(static_cast<size_t>(W) * H, 0);
        draw_set_surface_to(pixels.data(), W, H);
    }
    void TearDown() override {
        draw_set_surface_to(nullptr, 0, 0);
        shape_tables_release();
    }
    int32_t inked() const {
        int32_t n = 0;
        for (uint16_t p : pixels) n += p != 0;
        return n;
    }
    // The outline of a 50 x 50 box at (x, y): white on those pixels only.
    void expect_box(int32_t x, int32_t y) const {
        for (int32_t row = 0; row < H; row++) {
            for (int32_t col = 0; col < W; col++) {
                const bool horizontal = (row == y || row == y + 50) && col >= x && col < x + 50;
                const bool vertical = (col == x || col == x + 50) && row >= y && row < y + 50;
                ASSERT_EQ(pixels[static_cast<size_t>(row) * W + col],
                          horizontal || vertical ? 0x7FFF : 0)
                    << col << ", " << row;
            }
        }
    }
    std::vector<uint16_t> pixels;
};

TEST_F(MarkerTest, DrawnOnlyWhenItsEntryIsCleared) {
    const ScreenVertex v = {10, 20, 100, 0};
    for (int32_t entry = 0; entry < SHAPE_MARKER_ENTRIES; entry++) {
        ASSERT_NE(shape_marker_entry(entry), nullptr);
        EXPECT_EQ(shape_marker_entry(entry)[0], -1);
        draw_marker(entry, &v);
    }
    EXPECT_EQ(inked(), 0);
    EXPECT_EQ(shape_marker_entry(-1), nullptr);
    EXPECT_EQ(shape_marker_entry(32), nullptr);
    EXPECT_EQ(shape_set_marker(32, 0), -1);

    ASSERT_EQ(shape_set_marker(3, 0), 0);
    draw_marker(2, &v);
    draw_marker(-1, &v);
    draw_marker(32, &v);
    EXPECT_EQ(inked(), 0);
    draw_marker(3, &v);
    expect_box(10, 20);

    // Any other value hides the markers again.
    pixels.assign(pixels.size(), 0);
    ASSERT_EQ(shape_set_marker(3, 1), 0);
    draw_marker(3, &v);
    EXPECT_EQ(inked(), 0);
}

TEST_F(MarkerTest, DispatchedFromTheOrderingTable) {
    ASSERT_EQ(rb_init(), 0);
    rb_make_vertex_pool(8);
    *rb_screen_vertex(5) = ScreenVertex{30, 40, 100, 0};
    ASSERT_EQ(shape_set_marker(3, 0), 0);
    auto marker = [](uint32_t entry, int16_t vertex, int16_t bias) {
        PrimPacket* p = rb_alloc_packet(PRIM_TRI_SIZE);
        p->header = (entry << 16) | PRIM_MARKER;
        p->size = PRIM_TRI_SIZE;
        p->texture = vertex;
        p->depth_bias = bias;
        prim_index(p, PRIM_VERTEX)[0] = 0;  // not the marker's vertex
    };
    marker(0xFFFF, 5, 0);  // entry -1
    marker(4, 5, 0);       // entry still -1
    marker(3, 100, -200);  // vertex outside the pool, still bucketed
    ot_flush();
    EXPECT_EQ(inked(), 0);
    marker(3, 5, 0);
    ot_flush();
    expect_box(30, 40);
    rb_release();
}

}  // namespace
