// The built-in shapes: six small procedural glow meshes built into stores of
// their own at start-up, their mesh descriptors, the shape registry and the
// marker table.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"
#include "render/prim.h"

constexpr int32_t SHAPE_VERTEX_CAPACITY = 5000;  // Vec4 entries
constexpr int32_t SHAPE_PACKET_CAPACITY = 5000;  // bytes
constexpr int32_t SHAPE_MESH_CAPACITY = 64;
constexpr int32_t SHAPE_RECORD_CAPACITY = 256;
constexpr int32_t SHAPE_CAPACITY = 64;
constexpr int32_t SHAPE_RECORD_WORDS = 10;
constexpr int32_t SHAPE_MARKER_ENTRIES = 32;
constexpr int32_t SHAPE_MARKER_WORDS = 36;

// The stream that shape_add_vertex counts into.
enum ShapeStream {
    SHAPE_NO_STREAM = 0,
    SHAPE_POSITIONS = 1,
    SHAPE_COLOURS = 2,
    SHAPE_THIRD_STREAM = 3,
};

// Starts are entry numbers in the vertex store and byte offsets in the
// packet store.
struct MeshDescriptor {
    int32_t position_count;
    int32_t position_start;
    int32_t colour_count;
    int32_t colour_start;
    int32_t third_count;
    int32_t third_start;
    int32_t packet_count;
    int32_t packet_start;
    int32_t packet_bytes;
};

struct ShapeRecord {
    int32_t word[SHAPE_RECORD_WORDS];
};

// Records, marker table, shape table and mesh descriptors: 0, or -1 at the
// first allocation that fails.
int32_t shape_tables_init();
void shape_tables_release();
// Vertex and packet stores, then meshes 0 to 5 and shape 0: 0; -1 when a
// store cannot be allocated, -2 when a builder refuses (no descriptor or
// registry tables), -3 when the stores already exist.
int32_t shape_generate();
// Just the empty stores, no stream begun: 0, -1 or -3 as above.
int32_t shape_make_stores();
void shape_release_stores();

void shape_begin_positions();
void shape_begin_colours();
void shape_begin_packets();
// Copies v to the next free entry and counts it into the current stream: the
// new total; without a stream the entry is written but not counted and the
// total is returned. -1, nothing written, when the store is full or missing.
int32_t shape_add_vertex(const Vec4* v);
int32_t shape_add_point(int32_t x, int32_t y, int32_t z);
// Radius 256 per unit of r at angle a.
void shape_polar(int32_t a, int32_t r, int32_t* x, int32_t* y);
// Point i of ring k of a sphere of n rings, scaled by 2^s: 0; -1 (out zeroed)
// for n <= 0 or s outside 0..31.
int32_t shape_sphere_point(Vec4* out, int32_t n, int32_t i, int32_t k, int32_t s);
// A packet from a template of the three- or four-vertex layout: the mesh's
// packet count; -1 when the store is full or missing.
int32_t shape_emit_triangle(const PrimPacket* pattern);
int32_t shape_emit_quad(const PrimPacket* pattern);
// Descriptor of the mesh built since the last begins: its index, or -1 when
// the table is full or missing.
int32_t shape_end_mesh();

// Index of the shape being started, or -1 with 64 shapes or 256 records.
int32_t shape_begin();
// Record at the cursor: the record's index, or -1 past the last record or
// without a shape begun.
int32_t shape_add_record(int32_t w0, int32_t w2, int32_t w3, int32_t w4, int32_t w5, int32_t w6,
                         int32_t w7, int32_t w1);
// The shape counter advances: the number of shapes, or -1 without a shape begun.
int32_t shape_end();

// Views of the stores and tables (null or 0 when missing).
const Vec4* shape_vertices();
int32_t shape_vertex_total();
const uint8_t* shape_packets();
int32_t shape_packet_cursor();
int32_t shape_mesh_count();
const MeshDescriptor* shape_mesh(int32_t index);
int32_t shape_count();
int32_t shape_record_count();
const ShapeRecord* shape_record(int32_t index);
// First record of a shape, or -1.
int32_t shape_first_record(int32_t shape);

// Entry 0..31 of the marker table (SHAPE_MARKER_WORDS words), or null.
const int32_t* shape_marker_entry(int32_t entry);
// Sets word 0 of an entry (0 lets its markers draw): 0, or -1 when refused.
int32_t shape_set_marker(int32_t entry, int32_t word0);
