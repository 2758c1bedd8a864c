#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/headless.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "shell/memory.h"

namespace {

class RenderBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        headless_clear_messages();
        mem_fail_at(0);
        ASSERT_EQ(rb_init(), 0);
        buffer = rb_current();
    }
    void TearDown() override {
        mem_fail_at(0);
        rb_release();
    }
    RenderBuffer* buffer = nullptr;
};

// Packets are read from the area in the file's byte order; the callback index
// overlays ramp (low half) and texture.
TEST(PrimPacketLayout, LittleEndianWithTheCallbackOverRampAndTexture) {
    alignas(4) uint8_t bytes[PRIM_QUAD_SIZE] = {};
    PrimPacket* p = reinterpret_cast<PrimPacket*>(bytes);
    p->header = 0x11223344u;
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);
    CallbackRecord r = {};
    r.callback = 0x00050002u;
    int16_t halves[2];
    std::memcpy(halves, reinterpret_cast<uint8_t*>(&r) + 16, sizeof halves);
    EXPECT_EQ(halves[0], 2);
    EXPECT_EQ(halves[1], 5);
}

TEST_F(RenderBufferTest, FieldsByNumberFollowThePools) {
    const int32_t n = 10;
    rb_make_vertex_pool(n);
    rb_make_colour_pool(n);
    rb_make_uv_pool(n);
    rb_make_normal_pool(n);
    uint8_t* area = reinterpret_cast<uint8_t*>(buffer) + sizeof(RenderBuffer);
    EXPECT_EQ(rb_field(0), 0);
    EXPECT_EQ(rb_field(1), reinterpret_cast<intptr_t>(area));
    EXPECT_EQ(rb_field(2), reinterpret_cast<intptr_t>(area));
    EXPECT_EQ(rb_field_ptr(0), &buffer->packet_count);
    EXPECT_EQ(rb_field_ptr(3), &buffer->vertex_count);
    EXPECT_EQ(rb_field_ptr(13), &buffer->normal_count);
    const intptr_t vec_bytes = 16 * n;
    EXPECT_EQ(rb_field(4), rb_field(5) + vec_bytes);
    EXPECT_EQ(rb_field(9), rb_field(8) + vec_bytes);
    EXPECT_EQ(rb_field(14), rb_field(15) + vec_bytes);
    EXPECT_EQ(rb_field(16), rb_field(15) + 2 * vec_bytes);
    EXPECT_EQ(rb_field(5), reinterpret_cast<intptr_t>(rb_positions()));
    EXPECT_EQ(rb_field(12), reinterpret_cast<intptr_t>(buffer->uvs));
    for (int32_t unused : {6, 7, 10, 11}) EXPECT_EQ(rb_field(unused), 0);
    EXPECT_EQ(rb_field(17), -1);
    EXPECT_EQ(rb_field_ptr(-1), nullptr);
    // Entry accessors stay inside their pools.
    EXPECT_EQ(rb_screen_vertex(9), buffer->screen_vertices + 9);
    EXPECT_EQ(rb_screen_vertex(10), nullptr);
    EXPECT_EQ(rb_view_normal(-1), nullptr);
    EXPECT_EQ(rb_intensity(3), buffer->intensities + 3);
}

TEST_F(RenderBufferTest, PacketsAreBumpAllocatedUntilTheAreaIsFull) {
    PrimPacket* a = rb_alloc_packet(PRIM_TRI_SIZE);
    PrimPacket* b = rb_alloc_packet(PRIM_QUAD_SIZE);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(a), buffer->first_packet);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(b), buffer->first_packet + 44);
    EXPECT_EQ(buffer->next_free - buffer->first_packet, 96);
    EXPECT_EQ(buffer->packet_count, 2);
    // Only the two packet sizes: the area is walked by them.
    for (int32_t size : {0, -4, 6, 8, 20, 48, 56, -44}) EXPECT_EQ(rb_alloc_packet(size), nullptr);
    EXPECT_EQ(buffer->packet_count, 2);
    // 96 + 1151 x 52 + 44 = 59992: a further 44 bytes do not fit.
    for (int i = 0; i < 1151; i++) ASSERT_NE(rb_alloc_packet(PRIM_QUAD_SIZE), nullptr);
    ASSERT_NE(rb_alloc_packet(PRIM_TRI_SIZE), nullptr);
    EXPECT_EQ(rb_alloc_packet(PRIM_TRI_SIZE), nullptr);
    EXPECT_EQ(buffer->packet_count, 1154);
    EXPECT_EQ(buffer->next_free - buffer->first_packet, PACKET_AREA_SIZE - 8);
}

TEST_F(RenderBufferTest, RowAppendsCountUpAndRefuseWhenFull) {
    rb_make_uv_pool(5);
    Vec4 v[4] = {{1, 2, 0, 0}, {3, 4, 0, 0}, {5, 6, 0, 0}, {7, 8, 0, 0}};
    EXPECT_EQ(rb_row_append(&v[0], 2), 0);
    EXPECT_EQ(rb_append_uvs(4, v), 1);  // the index of the first of the four
    EXPECT_EQ(rb_row_count(2), 5);
    EXPECT_EQ(buffer->uvs[4].x, 7);
    EXPECT_EQ(rb_row_append(&v[0], 2), -3);
    EXPECT_EQ(rb_row_count(2), 5);
    EXPECT_EQ(rb_row_append(&v[0], 4), -2);  // never bound
    EXPECT_EQ(rb_row_append(&v[0], 6), -1);
    EXPECT_EQ(rb_row_append(&v[0], -1), -1);
    EXPECT_EQ(rb_row_set(nullptr, 6, 0), -1);
    // All or nothing: four more do not fit into a pool with room for three.
    rb_make_vertex_pool(3);
    EXPECT_EQ(rb_append_positions(4, v), -3);
    EXPECT_EQ(rb_row_count(0), 0);
    EXPECT_EQ(rb_append_positions(3, v), 0);
}

TEST_F(RenderBufferTest, RemadePoolStartsAgainAtZero) {
    rb_make_vertex_pool(4);
    Vec4 v = {9, 9, 9, 9};
    rb_append_positions(1, &v);
    rb_append_positions(1, &v);
    rb_row_mark(0);
    rb_make_vertex_pool(6);
    EXPECT_EQ(rb_row_count(0), 0);
    EXPECT_EQ(buffer->positions[0].x, 0);
    EXPECT_EQ(buffer->pool_size[0], 6);
    EXPECT_EQ(rb_append_positions(1, &v), 0);
}

TEST_F(RenderBufferTest, FailedPoolIsMissingAndItsRowRefuses) {
    rb_make_normal_pool(4);
    mem_fail_at(1);
    rb_make_normal_pool(8);
    EXPECT_EQ(headless_message_count(), 1);
    EXPECT_EQ(buffer->normals, nullptr);
    EXPECT_EQ(buffer->intensities, nullptr);
    EXPECT_EQ(rb_intensity(0), nullptr);
    Vec4 v = {};
    EXPECT_EQ(rb_row_append(&v, 3), -2);
}

TEST_F(RenderBufferTest, ColoursConvertToRgb555ForAppendedEntriesOnly) {
    rb_make_colour_pool(3);
    Vec4 c[2] = {{255, 128, 7, 0}, {8, 16, 248, 0}};
    rb_row_append(&c[0], 1);
    rb_row_append(&c[1], 1);
    buffer->colours[2] = Vec4{255, 255, 255, 0};  // not appended
    uint16_t* flat = rb_convert_colours();
    ASSERT_EQ(flat, buffer->flat_colours);
    EXPECT_EQ(flat[0], 0x7E00);
    EXPECT_EQ(flat[1], (1 << 10) | (2 << 5) | 31);
    EXPECT_EQ(flat[2], 0);
}

TEST_F(RenderBufferTest, RewindTakesBackPacketsAndAppendsAfterTheMark) {
    rb_make_vertex_pool(8);
    rb_make_uv_pool(8);
    Vec4 v[3] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}};
    rb_append_positions(2, v);
    rb_alloc_packet(PRIM_TRI_SIZE);
    RenderMark mark;
    rb_take_mark(&mark);
    rb_append_positions(3, v);
    rb_append_uvs(2, v);
    PrimPacket* p = rb_alloc_packet(PRIM_QUAD_SIZE);
    p->header = 0x2004;
    p->size = PRIM_QUAD_SIZE;
    rb_alloc_packet(PRIM_TRI_SIZE);
    rb_rewind(&mark);
    EXPECT_EQ(buffer->packet_count, 1);
    EXPECT_EQ(buffer->next_free - buffer->first_packet, 44);
    EXPECT_EQ(rb_row_count(0), 2);
    EXPECT_EQ(rb_row_count(2), 0);
    EXPECT_EQ(buffer->positions[2].x, 0);
    EXPECT_EQ(buffer->positions[1].x, 2);
    EXPECT_EQ(p->header, 0u);
    EXPECT_EQ(rb_alloc_packet(PRIM_QUAD_SIZE), p);
}

TEST(RenderBufferInit, EachFailedStepReturnsItsCode) {
    headless_print_messages(false);
    const int32_t codes[4] = {-4, -1, -2, -3};
    for (int32_t step = 1; step <= 4; step++) {
        headless_clear_messages();
        mem_fail_at(step);
        EXPECT_EQ(rb_init(), codes[step - 1]);
        EXPECT_EQ(headless_message_count(), 1);
        mem_fail_at(0);
        rb_release();  // frees what was made
    }
    EXPECT_EQ(rb_current(), nullptr);
    mem_fail_at(1);
    EXPECT_EQ(rb_create(100), nullptr);
    mem_fail_at(0);
    EXPECT_EQ(rb_destroy(nullptr), -1);
}

}  // namespace
