#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "files/texture.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "raster/shaded.h"
#include "raster/textured.h"
#include "render/gouraud.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"
#include "shell/memory.h"

namespace {

constexpr int32_t W = 32;
constexpr int32_t H = 24;

class OrderingTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        ASSERT_EQ(rb_init(), 0);
        buffer = rb_current();
        rb_make_vertex_pool(32);
        rb_make_colour_pool(8);
        pixels.assign(static_cast<size_t>(W) * H, 0);
        draw_set_surface_to(pixels.data(), W, H);
        cam_set_light_colour(255, 255, 255);
    }
    void TearDown() override {
        draw_set_surface_to(nullptr, 0, 0);
        rb_release();
    }

    void vertex(int32_t i, int32_t x, int32_t y, int32_t z, int32_t clip = 0) {
        *rb_screen_vertex(i) = ScreenVertex{x, y, z, clip};
    }
    // A packet with the given vertex indices (3 or 4 make its size) and
    // flat colour index.
    PrimPacket* packet(uint32_t header, const std::vector<int16_t>& vertices,
                       int16_t colour = 0) {
        uint32_t size = vertices.size() == 4 ? PRIM_QUAD_SIZE : PRIM_TRI_SIZE;
        PrimPacket* p = rb_alloc_packet(static_cast<int32_t>(size));
        p->header = header;
        p->size = size;
        int16_t* v = prim_index(p, PRIM_VERTEX);
        for (int16_t index : vertices) *v++ = index;
        prim_index(p, PRIM_COLOUR)[0] = colour;
        return p;
    }
    // A flat quad filling columns x0..x1-1 of rows y0..y1 at depth z, using
    // vertices first..first+3.
    PrimPacket* rect(int16_t first, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z,
                     int16_t colour) {
        vertex(first, x0, y0, z);
        vertex(first + 1, x1, y0, z);
        vertex(first + 2, x1, y1, z);
        vertex(first + 3, x0, y1, z);
        return packet(PRIM_CULL | PRIM_FLAT4,
                      {first, static_cast<int16_t>(first + 1), static_cast<int16_t>(first + 2),
                       static_cast<int16_t>(first + 3)},
                      colour);
    }
    // The bucket the packet is linked into, or -1.
    int32_t bucket_of(const PrimPacket* p) const {
        const uint8_t* area = buffer->first_packet;
        const auto offset = static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(p) - area);
        for (int32_t key = 0; key < OT_SIZE; key++) {
            for (uint32_t link = ot_head(key); link != OT_LINK_NONE && !(link & OT_LINK_SLOT);
                 link = reinterpret_cast<const PrimPacket*>(area + link)->link) {
                if (link == offset) return key;
            }
        }
        return -1;
    }
    bool table_empty() const {
        for (int32_t key = 0; key < OT_SIZE; key++) {
            if (ot_head(key) != OT_LINK_NONE) return false;
        }
        return true;
    }
    uint16_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * W + x]; }
    int32_t inked() const {
        int32_t n = 0;
        for (uint16_t p : pixels) n += p != 0;
        return n;
    }
    void set_flat(int32_t index, uint16_t colour) { buffer->flat_colours[index] = colour; }

    RenderBuffer* buffer = nullptr;
    std::vector<uint16_t> pixels;
};

// The key averages the depths of as many vertices as the header names; keys
// outside the table, also after being read back as 16 bits, are not linked.
TEST_F(OrderingTableTest, DepthKeyAveragesByVertexCountAndOnlyTableKeysAreLinked) {
    struct Case {
        uint32_t header;
        std::vector<int32_t> z;
        int32_t depth, bucket;
    };
    const Case cases[] = {
        {PRIM_FLAT3, {100, 101, 103}, 101, 101},      // 304 / 3
        {PRIM_FLAT4, {100, 100, 100, 103}, 100, 100},  // 403 >> 2
        {1, {77}, 77, 77},
        {2, {10, 13}, 11, 11},
        {PRIM_FLAT3, {-2, -1, -1}, -1, -1},               // -4 / 3 truncates toward zero
        {PRIM_FLAT3, {5000, 5000, 5000}, 5000, -1},       // beyond 4095
        {PRIM_FLAT3, {40000, 40000, 40000}, -25536, -1},  // low 16 bits of 40000
        {PRIM_FLAT3, {65586, 65586, 65586}, 50, 50},      // low 16 bits are 50
    };
    std::vector<PrimPacket*> packets;
    int16_t next = 0;
    for (const Case& k : cases) {
        const int16_t count = static_cast<int16_t>(k.z.size());
        // Entries past the vertex count name vertex 0 (depth 100).
        std::vector<int16_t> indices(count == 4 ? 4 : 3, 0);
        for (int16_t i = 0; i < count; i++) {
            vertex(next + i, 0, 0, k.z[i]);
            if (count > 1) indices[i] = static_cast<int16_t>(next + i);
        }
        packets.push_back(packet(k.header, indices));
        if (count == 1) packets.back()->texture = next;  // names a one-vertex packet's vertex
        next = static_cast<int16_t>(next + count);
    }
    ot_build(buffer);
    for (size_t i = 0; i < packets.size(); i++) {
        EXPECT_EQ(packets[i]->depth, cases[i].depth) << "case " << i;
        EXPECT_EQ(bucket_of(packets[i]), cases[i].bucket) << "case " << i;
    }
    ot_draw(buffer);
    EXPECT_TRUE(table_empty());
}

TEST_F(OrderingTableTest, ClippedOrUnknownVerticesDropUnlessTheBiasBringsThemBack) {
    set_flat(1, 0x7FFF);
    PrimPacket* behind = rect(0, 0, 0, 10, 10, 100, 1);
    vertex(2, 10, 10, 100, -1);
    PrimPacket* biased = rect(4, 0, 0, 10, 10, 100, 1);
    vertex(6, 10, 10, 100, -1);
    biased->depth_bias = -4000;
    PrimPacket* unknown = packet(PRIM_FLAT4, {8, 9, 10, 999}, 1);
    PrimPacket* unknown_biased = packet(PRIM_FLAT4, {-1, 9, 10, 11}, 1);
    unknown_biased->depth_bias = -4000;
    ot_build(buffer);
    EXPECT_EQ(behind->depth, DEPTH_CLIPPED);
    EXPECT_EQ(bucket_of(behind), -1);
    EXPECT_EQ(bucket_of(biased), 96);
    EXPECT_EQ(unknown->depth, DEPTH_CLIPPED);
    EXPECT_EQ(bucket_of(unknown), -1);
    // Linked, but the dispatcher refuses the index outside the pool.
    EXPECT_EQ(bucket_of(unknown_biased), 96);
    ot_draw(buffer);
    EXPECT_TRUE(table_empty());
    // The biased packet draws with the clipped vertex's stale position.
    EXPECT_EQ(at(0, 0), 0x7FFF);
}

TEST_F(OrderingTableTest, BackFacesAreCulledInWrappingArithmetic) {
    const int32_t xy[][2] = {{0, 0},   {10, 0},    {10, 10},       {5, 5},
                             {20, 20}, {50000, 0}, {50000, 50000}, {0, 50000}};
    for (int32_t i = 0; i < 8; i++) vertex(i, xy[i][0], xy[i][1], 10);
    PrimPacket* clockwise = packet(PRIM_CULL | PRIM_FLAT3, {0, 1, 2});
    PrimPacket* counter = packet(PRIM_CULL | PRIM_FLAT3, {0, 2, 1});
    PrimPacket* uncull = packet(PRIM_FLAT3, {0, 2, 1});
    PrimPacket* collinear = packet(PRIM_CULL | PRIM_FLAT3, {0, 3, 4});
    // 50000 x 50000 wraps negative; -(50000 x 50000) wraps positive.
    PrimPacket* wraps_negative = packet(PRIM_CULL | PRIM_FLAT3, {0, 5, 6});
    PrimPacket* wraps_positive = packet(PRIM_CULL | PRIM_FLAT3, {0, 7, 6});
    PrimPacket* unknown = packet(PRIM_CULL | PRIM_FLAT3, {0, 1, 32});
    counter->depth = 33;
    wraps_negative->depth = 33;
    unknown->depth = 33;
    ot_build(buffer);
    EXPECT_EQ(bucket_of(clockwise), 10);
    EXPECT_EQ(bucket_of(counter), -1);
    EXPECT_EQ(counter->depth, 33);  // not updated when culled
    EXPECT_EQ(bucket_of(uncull), 10);
    EXPECT_EQ(bucket_of(collinear), 10);
    EXPECT_EQ(bucket_of(wraps_negative), -1);
    EXPECT_EQ(wraps_negative->depth, 33);
    EXPECT_EQ(bucket_of(wraps_positive), 10);
    EXPECT_EQ(bucket_of(unknown), -1);
    EXPECT_EQ(unknown->depth, 33);
    ot_draw(buffer);
}

TEST_F(OrderingTableTest, FlushEmptiesEveryBucketAlsoForSkippedPackets) {
    set_flat(1, 0x7FFF);
    rect(0, 0, 0, 10, 10, 40, 1);
    PrimPacket* lit = rect(4, 0, 0, 10, 10, 40, 1);
    lit->header = PRIM_LIT | PRIM_FLAT3;  // 259: bucketed, no rasterizer
    PrimPacket* bad_colour = rect(8, 0, 0, 10, 10, 60, 99);
    PrimPacket* short_quad = packet(PRIM_FLAT4, {0, 1, 2}, 1);  // four corners, three entries
    ot_build(buffer);
    EXPECT_EQ(bucket_of(lit), 40);
    EXPECT_EQ(bucket_of(bad_colour), 60);
    EXPECT_EQ(bucket_of(short_quad), 40);
    ot_draw(buffer);
    EXPECT_TRUE(table_empty());
    EXPECT_EQ(inked(), 110);  // only the first packet drew
    ot_flush();
    EXPECT_TRUE(table_empty());
}

std::vector<std::vector<int32_t>> calls;
const uint16_t* watched_pixel = nullptr;

void slot_two(int32_t depth) {
    calls.push_back({2, depth, *watched_pixel});
}
void slot_five(int32_t depth) {
    calls.push_back({5, depth, *watched_pixel});
}

TEST_F(OrderingTableTest, CallbackSlotsRunBeforeThePacketsOfTheirBucket) {
    calls.clear();
    watched_pixel = &pixels[5 * W + 5];
    set_flat(1, 0x7C00);
    set_flat(2, 0x001F);
    set_flat(3, 0x03E0);
    rect(0, 0, 0, 10, 10, 80, 1);
    rect(4, 0, 0, 10, 10, 50, 2);
    rect(8, 0, 0, 10, 10, 20, 3);
    EXPECT_EQ(ot_set_slot(2, 50, slot_two), 0);
    EXPECT_EQ(ot_set_slot(5, 50, slot_five), 0);
    EXPECT_EQ(ot_set_slot(32, 50, slot_two), -1);
    EXPECT_EQ(ot_set_slot(-1, 50, slot_two), -1);
    EXPECT_EQ(ot_set_slot(3, 4096, slot_two), -1);
    // A callback record in the packet area names a slot's callback by index;
    // without a vertex count its depth stays.
    for (uint32_t index : {3u /* slot 2 */, 40u /* beyond the slots */}) {
        PrimPacket* record = packet(PRIM_CALLBACK, {0, 0, 0});
        std::memcpy(reinterpret_cast<uint8_t*>(record) + 16, &index, sizeof index);
        record->depth = 30;
    }
    ot_flush();
    const std::vector<std::vector<int32_t>> expected = {
        {5, 50, 0x7C00}, {2, 50, 0x7C00}, {2, 30, 0x001F}};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(at(5, 5), 0x03E0);
    // Slots are linked again every frame until emptied.
    calls.clear();
    ot_set_slot(5, 0, nullptr);
    ot_flush();
    EXPECT_EQ(calls.size(), 2u);
    calls.clear();
    ot_slots_clear();
    ot_flush();
    EXPECT_EQ(calls.size(), 0u);
}

// Built (or its slots linked) twice before a walk: each packet and slot is
// in the table once, and the walk ends.
TEST_F(OrderingTableTest, BuildingAgainBeforeDrawingStartsFromAnEmptyTable) {
    calls.clear();
    watched_pixel = &pixels[5 * W + 5];
    set_flat(1, 0x7C00);
    PrimPacket* only = rect(0, 0, 0, 10, 10, 50, 1);
    ASSERT_EQ(ot_set_slot(2, 50, slot_two), 0);
    ot_build(buffer);
    ot_link_slots();
    ot_build(buffer);
    ot_link_slots();
    EXPECT_EQ(only->link, OT_LINK_NONE);  // not its own successor
    ot_draw(buffer);
    EXPECT_EQ(calls, (std::vector<std::vector<int32_t>>{{2, 50, 0}}));
    EXPECT_EQ(inked(), 110);
    EXPECT_TRUE(table_empty());
    // After a walk the slots are linked again as every frame.
    ot_flush();
    EXPECT_EQ(calls.size(), 2u);
    ot_slots_clear();
}

void move_slot_seven(int32_t depth) {
    calls.push_back({7, depth, 0});
    ot_set_slot(7, 300, move_slot_seven);
}

// A callback may fill its own slot again while the table is drawn: the rest
// of its bucket is still drawn, and the next frame calls it at its new depth.
TEST_F(OrderingTableTest, ACallbackMayMoveItsOwnSlot) {
    calls.clear();
    set_flat(1, 0x7C00);
    rect(0, 0, 0, 10, 10, 50, 1);
    ASSERT_EQ(ot_set_slot(7, 50, move_slot_seven), 0);
    ot_flush();
    EXPECT_EQ(at(5, 5), 0x7C00);
    ot_flush();
    const std::vector<std::vector<int32_t>> expected = {{7, 50, 0}, {7, 300, 0}};
    EXPECT_EQ(calls, expected);
    ot_slots_clear();
}

uint8_t* rewritten_ramp = nullptr;
void whiten_ramp(int32_t) {
    std::memset(rewritten_ramp, 31, RAMP_SIZE);
}

// The drawing pass may take the ramps as unchanging, but not across a packet
// callback: one that rewrites a ramp changes the lit packets drawn after it.
TEST_F(OrderingTableTest, ACallbackMayRewriteARampBetweenLitPackets) {
    ASSERT_EQ(shade_init(), 0);
    ASSERT_EQ(tex_init(), 0);
    ASSERT_EQ(tex_create("t", 2, 2), 0);
    for (int32_t i = 0; i < 16; i++) {
        tex_get(0)->texels[i] = static_cast<uint16_t>(0x2108 * (1 + i % 3));
    }
    rb_make_uv_pool(4);
    rb_make_normal_pool(4);
    for (int32_t i = 0; i < 4; i++) {
        buffer->uvs[i] = Vec4{(i == 1 || i == 2) ? 1000 : 0, i >= 2 ? 1000 : 0, 0, 0};
        buffer->intensities[i] = 150;
    }
    // The far quad on the left, the near one on the right, the callback
    // between them.
    for (int32_t half = 0; half < 2; half++) {
        const int16_t first = static_cast<int16_t>(half * 4);
        const int32_t x0 = half * 16, z = half == 0 ? 80 : 20;
        vertex(first, x0, 0, z);
        vertex(first + 1, x0 + 16, 0, z);
        vertex(first + 2, x0 + 16, H - 1, z);
        vertex(first + 3, x0, H - 1, z);
        PrimPacket* p = packet(PRIM_LIT_TEX4, {first, static_cast<int16_t>(first + 1),
                                               static_cast<int16_t>(first + 2),
                                               static_cast<int16_t>(first + 3)});
        int16_t* uv = prim_index(p, PRIM_UV);
        int16_t* intensity = prim_index(p, PRIM_INTENSITY);
        for (int16_t i = 0; i < 4; i++) uv[i] = intensity[i] = i;
    }
    rewritten_ramp = shade_ramp(0);
    ASSERT_EQ(ot_set_slot(0, 50, whiten_ramp), 0);
    ot_flush();
    int32_t drawn[2] = {}, white[2] = {};
    for (int32_t y = 0; y < H; y++) {
        for (int32_t x = 0; x < W; x++) {
            drawn[x / 16] += at(x, y) != 0;
            white[x / 16] += at(x, y) == 0x7FFF;
        }
    }
    EXPECT_GT(drawn[0], 300);
    EXPECT_EQ(white[0], 0);
    EXPECT_GT(drawn[1], 300);
    EXPECT_EQ(white[1], drawn[1]);
    ot_slots_clear();
    tex_release();
    shade_release();
}

TEST_F(OrderingTableTest, ArgumentsAreCheckedAgainstPoolsTextureAndRamp) {
    ASSERT_EQ(tex_init(), 0);
    ASSERT_EQ(tex_create("t", 2, 2), 0);
    rb_make_uv_pool(4);
    rb_make_normal_pool(4);
    buffer->intensities[1] = 200;
    buffer->intensities[2] = -40;
    buffer->intensities[3] = 255;
    const LightColour orange = {255, 128, 0};
    const uint32_t all = OT_USE_FLAT | OT_USE_COLOURS | OT_USE_UVS | OT_USE_TEXTURE |
                         OT_USE_RAMP | OT_USE_LIT;
    PrimPacket* p = packet(PRIM_LIT_TEX4, {4, 5, 6, 7}, 1);
    int16_t* colour = prim_index(p, PRIM_COLOUR);
    int16_t* uv = prim_index(p, PRIM_UV);
    int16_t* intensity = prim_index(p, PRIM_INTENSITY);
    for (int16_t i = 0; i < 4; i++) {
        colour[i] = static_cast<int16_t>(7 - i);
        uv[i] = static_cast<int16_t>(3 - i);
        intensity[i] = i;
    }
    p->ramp = 2;
    set_flat(7, 0x1234);
    PrimArgs a;
    ASSERT_TRUE(ot_prim_args(buffer, p, 4, all, &orange, &a));
    EXPECT_EQ(a.v[3], buffer->screen_vertices + 7);
    EXPECT_EQ(a.c[0], buffer->colours + 7);
    EXPECT_EQ(a.t[0], buffer->uvs + 3);
    // The light scaled by the intensity >> 8; negative intensities count as 0.
    const auto rgb = [](Vec4 v) { return std::vector<int32_t>{v.x, v.y, v.z}; };
    EXPECT_EQ(rgb(a.lit[1]), (std::vector<int32_t>{199, 100, 0}));
    EXPECT_EQ(rgb(a.lit[2]), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(rgb(a.lit[3]), (std::vector<int32_t>{254, 127, 0}));
    EXPECT_EQ(a.flat, 0x1234);  // colour 0 is index 7
    EXPECT_EQ(a.texture, 0);
    EXPECT_EQ(a.ramp, 2);
    // Each field out of its range refuses the packet.
    const std::vector<std::function<void(int16_t)>> breakers = {
        [&](int16_t v) { prim_index(p, PRIM_VERTEX)[1] = v ? 32 : 5; },
        [&](int16_t v) { colour[2] = v ? 8 : 5; },
        [&](int16_t v) { uv[3] = v ? -1 : 0; },
        [&](int16_t v) { intensity[0] = v ? 4 : 0; },
        [&](int16_t v) { p->texture = v ? 5 : 0; },
        [&](int16_t v) { p->ramp = v ? 3 : 0; },
    };
    for (size_t i = 0; i < breakers.size(); i++) {
        breakers[i](1);
        EXPECT_FALSE(ot_prim_args(buffer, p, 4, all, &orange, &a)) << "field " << i;
        breakers[i](0);
        EXPECT_TRUE(ot_prim_args(buffer, p, 4, all, &orange, &a)) << "field " << i;
    }
    p->texture = -1;  // no texture is fine where none is used
    EXPECT_TRUE(ot_prim_args(buffer, p, 4, OT_USE_UVS, &orange, &a));
    PrimPacket* tri = packet(PRIM_LIT_TEX3, {4, 5, 6}, 1);
    EXPECT_FALSE(ot_prim_args(buffer, tri, 4, 0, &orange, &a));
    EXPECT_TRUE(ot_prim_args(buffer, tri, 3, 0, &orange, &a));
    tex_release();
}

// Each type code reaches its own rasterizer and pixel rule: a packet drawn
// through the table writes what a direct call of that rasterizer writes, over
// a background that tells copying, adding and averaging apart. Codes without
// a rasterizer write nothing.
TEST_F(OrderingTableTest, EveryTypeCodeReachesItsRasterizer) {
    ASSERT_EQ(shade_init(), 0);
    ASSERT_EQ(tex_init(), 0);
    ASSERT_EQ(tex_create("t", 2, 2), 0);
    for (int32_t i = 0; i < 16; i++) {
        tex_get(0)->texels[i] = static_cast<uint16_t>(0x1CE7 + 0x0C63 * (i % 5));
    }
    const Vec4 rgb[] = {{200, 40, 90, 0}, {30, 220, 60, 0}, {90, 90, 250, 0}, {250, 250, 20, 0}};
    for (const Vec4& c : rgb) rb_row_append(&c, 1);
    rb_convert_colours();
    rb_make_uv_pool(4);
    rb_make_normal_pool(4);
    const int32_t xy[4][2] = {{3, 2}, {28, 1}, {30, 21}, {1, 19}};
    for (int16_t i = 0; i < 4; i++) {
        vertex(i, xy[i][0], xy[i][1], 100);
        buffer->uvs[i] = Vec4{(i == 1 || i == 2) ? 1000 : 0, i >= 2 ? 1000 : 0, 0, 0};
        buffer->intensities[i] = 40 + 70 * i;
    }
    // One packet of each size; the one not in use has no type.
    PrimPacket* sized[2] = {packet(0, {0, 1, 2}), packet(0, {0, 1, 2, 3})};
    for (PrimPacket* p : sized) {
        for (int16_t i = 0; i < 4; i++) {
            prim_index(p, PRIM_COLOUR)[i] = prim_index(p, PRIM_UV)[i] =
                prim_index(p, PRIM_INTENSITY)[i] = i;
        }
        p->texture = 0;
        p->ramp = 1;
    }
    // The direct calls, from the arguments gathered from the packet: each
    // family's outline of n corners.
    using Draw = std::function<void(const PrimArgs&, int32_t)>;
    const Draw flat = [](const PrimArgs& a, int32_t n) {
        if (n == 3) draw_flat_triangle(a.v[0], a.v[1], a.v[2], a.flat);
        else draw_flat_quad(a.v[0], a.v[1], a.v[2], a.v[3], a.flat);
    };
    const auto textured = [](auto poly) -> Draw {
        return [poly](const PrimArgs& a, int32_t n) { poly(a.v, a.t, 0, n); };
    };
    const auto gouraud = [](auto poly) -> Draw {
        return [poly](const PrimArgs& a, int32_t n) { poly(a.v, a.c, n); };
    };
    const Draw shaded = [](const PrimArgs& a, int32_t n) {
        shade_select_ramp(1);
        draw_shaded_tex_poly(a.v, a.c, a.t, 0, n);
    };
    const Draw lit = [](const PrimArgs& a, int32_t n) {
        const Vec4* colours[4] = {&a.lit[0], &a.lit[1], &a.lit[2], &a.lit[3]};
        shade_select_ramp(1);
        draw_shaded_tex_poly(a.v, colours, a.t, 0, n);
    };
    const struct {
        uint32_t type;
        int32_t corners;
        Draw draw;  // none for codes without a rasterizer
    } cases[] = {
        {PRIM_FLAT3, 3, flat},
        {PRIM_FLAT4, 4, flat},
        {PRIM_TEX3, 3, textured(draw_tex_poly)},
        {PRIM_TEX3_ADD, 3, textured(draw_tex_poly_add)},
        {PRIM_TEX3_HALF, 3, textured(draw_tex_poly_half)},
        {PRIM_TEX4, 4, textured(draw_tex_poly)},
        {PRIM_TEX4_ADD, 4, textured(draw_tex_poly_add)},
        {PRIM_TEX4_HALF, 4, textured(draw_tex_poly_half)},
        {PRIM_GOURAUD3, 3, gouraud(draw_gouraud_polygon)},
        {PRIM_GOURAUD3_ADD, 3, gouraud(draw_gouraud_add_polygon)},
        {PRIM_GOURAUD4, 4, gouraud(draw_gouraud_polygon)},
        {PRIM_GOURAUD4_ADD, 4, gouraud(draw_gouraud_add_polygon)},
        {PRIM_SHADED_TEX4, 4, shaded},
        {PRIM_LIT_TEX3, 3, lit},
        {PRIM_LIT_TEX4, 4, lit},
        {PRIM_GOURAUD | PRIM_TEXTURED | 3, 3, nullptr},
        {PRIM_LIT | 3, 3, nullptr},
        {PRIM_LIT | 4, 4, nullptr},
    };
    const uint16_t background = 0x2D6B;
    const LightColour white = {255, 255, 255};
    for (const auto& c : cases) {
        PrimPacket* p = sized[c.corners - 3];
        p->header = c.type;
        sized[4 - c.corners]->header = 0;
        pixels.assign(pixels.size(), background);
        ot_flush();
        const std::vector<uint16_t> through_table = pixels;
        pixels.assign(pixels.size(), background);
        if (c.draw) {
            PrimArgs a;
            ASSERT_TRUE(ot_prim_args(buffer, p, c.corners,
                                     OT_USE_FLAT | OT_USE_COLOURS | OT_USE_UVS | OT_USE_LIT,
                                     &white, &a));
            c.draw(a, c.corners);
            // A large part of the surface, not all of it.
            const auto kept = std::count(pixels.begin(), pixels.end(), background);
            EXPECT_GT(kept, 0) << "type " << c.type;
            EXPECT_LT(kept, W * H * 3 / 4) << "type " << c.type;
        }
        EXPECT_EQ(through_table, pixels) << "type " << c.type;
    }
    tex_release();
    shade_release();
}

}  // namespace
