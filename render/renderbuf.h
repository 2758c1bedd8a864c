// The render buffer: the packet area and the four vertex pools.
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "render/prim.h"

constexpr int32_t PACKET_AREA_SIZE = 60000;
constexpr int32_t POOL_ROWS = 6;
constexpr int32_t POOL_KINDS = 4;

// Header fields in their numbered order, followed in the same block by the
// packet area. Addresses are native pointers in this build.
struct RenderBuffer {
    int32_t packet_count;            // 0
    uint8_t* first_packet;           // 1
    uint8_t* next_free;              // 2
    int32_t vertex_count;            // 3
    ScreenVertex* screen_vertices;   // 4
    Vec4* positions;                 // 5
    int32_t unused6, unused7;        // 6, 7
    Vec4* colours;                   // 8
    uint16_t* flat_colours;          // 9
    int32_t unused10, unused11;      // 10, 11
    Vec4* uvs;                       // 12
    int32_t normal_count;            // 13
    Vec4* view_normals;              // 14
    Vec4* normals;                   // 15
    int32_t* intensities;            // 16
    // Capacities, so that every append and allocation is checked.
    int32_t packet_area_size;
    int32_t pool_size[POOL_KINDS];
};

struct PoolRow {
    int32_t cursor;
    int32_t count;
    void* base;
    int32_t capacity;  // elements the array holds
};

// Everything a load appends, so that a failed load can be taken back.
struct RenderMark {
    int32_t packet_count;
    uint8_t* next_free;
    int32_t row_count[POOL_ROWS];
};

int32_t rb_init();
void rb_release();
RenderBuffer* rb_create(int32_t area_size);  // null on failure
int32_t rb_destroy(RenderBuffer* buffer);
// rb_init makes its buffer both the current and the drawn one.
void rb_set_current(RenderBuffer* buffer);
RenderBuffer* rb_current();
RenderBuffer* rb_drawn();

// Header field `field` (0..16) of the current buffer: its address, or its
// value (addresses as integers); null and -1 for no buffer or another number.
void* rb_field_ptr(int32_t field);
intptr_t rb_field(int32_t field);
Vec4* rb_positions();
// Entry `index` of an array of the current buffer, or null outside its pool.
ScreenVertex* rb_screen_vertex(int32_t index);
Vec4* rb_view_normal(int32_t index);
int32_t* rb_intensity(int32_t index);

void rb_make_pool(int32_t count, int32_t kind);
void rb_make_vertex_pool(int32_t count);
void rb_make_colour_pool(int32_t count);
void rb_make_uv_pool(int32_t count);
void rb_make_normal_pool(int32_t count);

// Null when size is not a positive multiple of 4 or the packet area cannot
// hold size more bytes.
PrimPacket* rb_alloc_packet(int32_t size);
uint16_t* rb_convert_colours();

int32_t rb_rows_init();
void rb_rows_release();
int32_t rb_row_set(void* base, int32_t row, int32_t capacity);
void rb_row_mark(int32_t row);
// Index of the new element; -1 bad row, -2 no array, -3 array full.
int32_t rb_row_append(const Vec4* source, int32_t row);
int32_t rb_row_count(int32_t row);
int32_t rb_append(int32_t count, const Vec4* source, int32_t row);
int32_t rb_append_positions(int32_t count, const Vec4* source);
int32_t rb_append_uvs(int32_t count, const Vec4* source);

// Takes back every packet and row element appended after the mark; the packet
// area and the elements go back to zero.
void rb_take_mark(RenderMark* mark);
void rb_rewind(const RenderMark* mark);
