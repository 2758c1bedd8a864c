#include "model/shapes.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "geometry/matrix.h"
#include "shell/memory.h"

namespace {

constexpr int32_t MESH_STEPS = 16;  // points round each ring, packets per mesh
constexpr int32_t STEP_ANGLE = ANGLE_STEPS / MESH_STEPS;
constexpr int32_t STREAMS = 4;  // indexed by ShapeStream; entry 0 unused

Vec4* vertex_store = nullptr;
int32_t vertex_total = 0;
ShapeStream stream_kind = SHAPE_NO_STREAM;
int32_t stream_count[STREAMS] = {};
int32_t stream_start[STREAMS] = {};

uint8_t* packet_store = nullptr;
int32_t packet_cursor = 0;
int32_t mesh_packet_count = 0;
int32_t mesh_packet_start = 0;

MeshDescriptor* meshes = nullptr;
int32_t mesh_count = 0;

ShapeRecord* records = nullptr;
int32_t record_count = 0;
int32_t first_records[SHAPE_CAPACITY] = {};
int32_t shapes = 0;
int32_t record_cursor = -1;  // -1 while no shape is open
int32_t last_record = -1;

int32_t* markers = nullptr;

void begin_stream(ShapeStream kind) {
    stream_count[kind] = 0;
    stream_start[kind] = vertex_total;
    stream_kind = kind;
}

// Copies the header given, the texture, the depth bias and the vertex, colour
// and texture-coordinate entries of a template of `size` bytes.
int32_t emit_packet(const PrimPacket* pattern, uint32_t size, uint32_t header) {
    if (packet_store == nullptr || pattern == nullptr ||
        static_cast<uint32_t>(SHAPE_PACKET_CAPACITY - packet_cursor) < size) {
        return -1;
    }
    const int32_t corners = size == PRIM_QUAD_SIZE ? 4 : 3;
    PrimPacket packet = {};
    packet.header = header;
    packet.size = size;
    packet.depth_bias = pattern->depth_bias;
    packet.texture = pattern->texture;
    for (PrimField field : {PRIM_VERTEX, PRIM_COLOUR, PRIM_UV}) {
        for (int32_t j = 0; j < corners; j++) {
            const int32_t at = static_cast<int32_t>(field) * corners + j;
            packet.index[at] = pattern->index[at];
        }
    }
    std::memcpy(packet_store + packet_cursor, &packet, size);
    packet_cursor += static_cast<int32_t>(size);
    return ++mesh_packet_count;
}

// One additive Gouraud packet of 3 or 4 corners.
bool emit_gouraud(int32_t corners, const int32_t* vertex, const int32_t* colour) {
    PrimPacket pattern = {};
    pattern.size = corners == 4 ? PRIM_QUAD_SIZE : PRIM_TRI_SIZE;
    pattern.header = corners == 4 ? PRIM_GOURAUD4_ADD : PRIM_GOURAUD3_ADD;
    for (int32_t j = 0; j < corners; j++) {
        prim_index(&pattern, PRIM_VERTEX)[j] = static_cast<int16_t>(vertex[j]);
        prim_index(&pattern, PRIM_COLOUR)[j] = static_cast<int16_t>(colour[j]);
    }
    return (corners == 4 ? shape_emit_quad(&pattern) : shape_emit_triangle(&pattern)) >= 0;
}

bool add_point(int32_t x, int32_t y, int32_t z) {
    return shape_add_point(x, y, z) >= 0;
}

// The ring of radius 256 at step i.
void inner_ring(int32_t i, int32_t* x, int32_t* y) {
    shape_polar(i * STEP_ANGLE, 1, x, y);
}

bool disc_positions() {
    if (!add_point(0, 0, 0)) return false;
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        int32_t x, y;
        inner_ring(i, &x, &y);
        if (!add_point(x, y, 0)) return false;
    }
    return true;
}

bool ring_positions() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        int32_t x, y;
        inner_ring(i, &x, &y);
        if (!add_point(x, y, 0)) return false;
        shape_polar(i * STEP_ANGLE, 2, &x, &y);
        if (!add_point(x, y, 0)) return false;
    }
    return true;
}

bool band_positions() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        int32_t x, z;
        inner_ring(i, &x, &z);
        if (!add_point(x, 50, z) || !add_point(x, 0, z)) return false;
    }
    return true;
}

bool cone_positions() {
    if (!add_point(0, 0, 0)) return false;
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        Vec4 point;
        shape_sphere_point(&point, MESH_STEPS, i, 3, 2);
        if (shape_add_vertex(&point) < 0) return false;
    }
    return true;
}

// Two short spikes per step, turned at random.
bool starburst_positions() {
    if (!add_point(0, 0, 0)) return false;
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        const int32_t r1 = std::rand() & ANGLE_MASK;
        const int32_t r2 = std::rand() & ANGLE_MASK;
        const int32_t r3 = std::rand() & ANGLE_MASK;
        const Vec4 angles = {r3, r2, r1, 0};
        Matrix turn;
        mtx_rotation(&turn, &angles);
        Vec4 spikes[2] = {{1, 5, 0, 0}, {-1, 5, 0, 0}};
        mtx_transform_points(2, spikes, spikes, &turn);
        if (shape_add_vertex(&spikes[0]) < 0 || shape_add_vertex(&spikes[1]) < 0) return false;
    }
    return true;
}

// White at the centre, black at the rim.
bool fan_packets() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        const int32_t vertex[3] = {0, (i & 15) + 1, ((i + 1) & 15) + 1};
        const int32_t colour[3] = {1, 0, 0};
        if (!emit_gouraud(3, vertex, colour)) return false;
    }
    return true;
}

// Pairs (white, black) round a closed strip.
bool strip_quads() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        const int32_t vertex[4] = {(2 * i + 2) & 31, 2 * i, (2 * i + 1) & 31, (2 * i + 3) & 31};
        const int32_t colour[4] = {1, 1, 0, 0};
        if (!emit_gouraud(4, vertex, colour)) return false;
    }
    return true;
}

bool strip_triangles() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        const int32_t vertex[3] = {(2 * i + 2) & 31, 2 * i, (2 * i + 1) & 31};
        const int32_t colour[3] = {1, 1, 0};
        if (!emit_gouraud(3, vertex, colour)) return false;
    }
    return true;
}

bool spike_packets() {
    for (int32_t i = 0; i < MESH_STEPS; i++) {
        const int32_t vertex[3] = {0, 2 * i + 1, 2 * i + 2};
        const int32_t colour[3] = {1, 0, 0};
        if (!emit_gouraud(3, vertex, colour)) return false;
    }
    return true;
}

// Positions, the colours black and white, the packets, the descriptor.
bool build_mesh(bool (*positions)(), bool (*packets)()) {
    shape_begin_positions();
    if (!positions()) return false;
    shape_begin_colours();
    if (!add_point(0, 0, 0) || !add_point(255, 255, 255)) return false;
    shape_begin_packets();
    if (!packets()) return false;
    return shape_end_mesh() >= 0;
}

bool build_shape_zero() {
    if (shape_begin() < 0) return false;
    if (shape_add_record(5, 0, 1, 1, 2, 0, 64, 2) < 0) return false;
    return shape_end() >= 0;
}

}  // namespace

int32_t shape_tables_init() {
    shape_tables_release();  // a second start-up must not leak the first tables
    records = static_cast<ShapeRecord*>(
        mem_alloc(SHAPE_RECORD_CAPACITY * static_cast<int32_t>(sizeof(ShapeRecord))));
    if (records == nullptr) return -1;
    markers = static_cast<int32_t*>(mem_alloc(SHAPE_MARKER_ENTRIES * SHAPE_MARKER_WORDS *
                                              static_cast<int32_t>(sizeof(int32_t))));
    if (markers == nullptr) return -1;
    for (int32_t entry = 0; entry < SHAPE_MARKER_ENTRIES; entry++) {
        markers[entry * SHAPE_MARKER_WORDS] = -1;
    }
    meshes = static_cast<MeshDescriptor*>(
        mem_alloc(SHAPE_MESH_CAPACITY * static_cast<int32_t>(sizeof(MeshDescriptor))));
    if (meshes == nullptr) return -1;
    return 0;
}

void shape_tables_release() {
    mem_free(meshes);
    meshes = nullptr;
    mesh_count = 0;
    mem_free(markers);
    markers = nullptr;
    mem_free(records);
    records = nullptr;
    record_count = 0;
    shapes = 0;
    record_cursor = -1;
    last_record = -1;
}

int32_t shape_make_stores() {
    if (vertex_store != nullptr || packet_store != nullptr) return -3;
    vertex_store =
        static_cast<Vec4*>(mem_alloc(SHAPE_VERTEX_CAPACITY * static_cast<int32_t>(sizeof(Vec4))));
    packet_store =
        vertex_store != nullptr ? static_cast<uint8_t*>(mem_alloc(SHAPE_PACKET_CAPACITY)) : nullptr;
    if (packet_store == nullptr) {
        shape_release_stores();
        return -1;
    }
    return 0;
}

int32_t shape_generate() {
    const int32_t made = shape_make_stores();
    if (made < 0) return made;
    const bool built =
        build_mesh(disc_positions, fan_packets) && build_mesh(ring_positions, strip_quads) &&
        build_mesh(band_positions, strip_quads) && build_mesh(band_positions, strip_triangles) &&
        build_mesh(cone_positions, fan_packets) && build_mesh(starburst_positions, spike_packets) &&
        build_shape_zero();
    return built ? 0 : -2;
}

void shape_release_stores() {
    mem_free(packet_store);
    packet_store = nullptr;
    mem_free(vertex_store);
    vertex_store = nullptr;
    // The descriptors and stream counts describe the stores.
    vertex_total = 0;
    stream_kind = SHAPE_NO_STREAM;
    for (int32_t kind = 0; kind < STREAMS; kind++) {
        stream_count[kind] = 0;
        stream_start[kind] = 0;
    }
    packet_cursor = 0;
    mesh_packet_count = 0;
    mesh_packet_start = 0;
    mesh_count = 0;
}

void shape_begin_positions() {
    begin_stream(SHAPE_POSITIONS);
}

void shape_begin_colours() {
    begin_stream(SHAPE_COLOURS);
}

void shape_begin_packets() {
    mesh_packet_count = 0;
    mesh_packet_start = packet_cursor;
}

int32_t shape_add_vertex(const Vec4* v) {
    if (vertex_store == nullptr || vertex_total >= SHAPE_VERTEX_CAPACITY) return -1;
    vertex_store[vertex_total] = *v;
    if (stream_kind == SHAPE_NO_STREAM) return vertex_total;
    stream_count[stream_kind]++;
    return ++vertex_total;
}

int32_t shape_add_point(int32_t x, int32_t y, int32_t z) {
    const Vec4 point = {x, y, z, 0};
    return shape_add_vertex(&point);
}

void shape_polar(int32_t a, int32_t r, int32_t* x, int32_t* y) {
    *x = wrap_mul(r, mtx_cos(a)) >> 1;
    *y = wrap_mul(r, mtx_sin(a)) >> 1;
}

int32_t shape_sphere_point(Vec4* out, int32_t n, int32_t i, int32_t k, int32_t s) {
    *out = Vec4{0, 0, 0, 0};
    if (n <= 0 || s < 0 || s > 31) return -1;
    const int32_t e = wrap_shl(k, 10) / n;
    const int32_t f = wrap_shl(i % n, 10) / n;
    out->x = wrap_shl((mtx_cos(f) * mtx_sin(e)) >> 10, s);
    out->y = wrap_shl(mtx_cos(e), s);
    out->z = wrap_shl((mtx_sin(f) * mtx_sin(e)) >> 10, s);
    return 0;
}

int32_t shape_emit_triangle(const PrimPacket* pattern) {
    if (pattern == nullptr) return -1;
    return emit_packet(pattern, PRIM_TRI_SIZE, (pattern->header & ~4u) | 3u);
}

int32_t shape_emit_quad(const PrimPacket* pattern) {
    if (pattern == nullptr) return -1;
    return emit_packet(pattern, PRIM_QUAD_SIZE, (pattern->header & ~3u) | 4u);
}

int32_t shape_end_mesh() {
    if (meshes == nullptr || mesh_count >= SHAPE_MESH_CAPACITY) return -1;
    meshes[mesh_count] = MeshDescriptor{stream_count[SHAPE_POSITIONS],
                                        stream_start[SHAPE_POSITIONS],
                                        stream_count[SHAPE_COLOURS],
                                        stream_start[SHAPE_COLOURS],
                                        stream_count[SHAPE_THIRD_STREAM],
                                        stream_start[SHAPE_THIRD_STREAM],
                                        mesh_packet_count,
                                        mesh_packet_start,
                                        packet_cursor - mesh_packet_start};
    return mesh_count++;
}

int32_t shape_begin() {
    if (records == nullptr || shapes >= SHAPE_CAPACITY || record_count >= SHAPE_RECORD_CAPACITY) {
        return -1;
    }
    first_records[shapes] = record_count;
    record_cursor = record_count;
    last_record = record_count;
    return shapes;
}

int32_t shape_add_record(int32_t w0, int32_t w2, int32_t w3, int32_t w4, int32_t w5, int32_t w6,
                         int32_t w7, int32_t w1) {
    if (records == nullptr || record_cursor < 0 || record_cursor >= SHAPE_RECORD_CAPACITY) {
        return -1;
    }
    int32_t* word = records[record_cursor].word;
    word[0] = w0;
    word[2] = w2;
    word[3] = w3;
    word[4] = w4;
    word[5] = w5;
    word[6] = w6;
    word[7] = w7;
    word[1] = w1;
    last_record = record_cursor++;
    record_count++;
    return last_record;
}

int32_t shape_end() {
    if (records == nullptr || record_cursor < 0) return -1;
    records[last_record].word[9] = 0;
    record_cursor = -1;
    return ++shapes;
}

const Vec4* shape_vertices() {
    return vertex_store;
}

int32_t shape_vertex_total() {
    return vertex_total;
}

const uint8_t* shape_packets() {
    return packet_store;
}

int32_t shape_packet_cursor() {
    return packet_cursor;
}

int32_t shape_mesh_count() {
    return mesh_count;
}

const MeshDescriptor* shape_mesh(int32_t index) {
    if (meshes == nullptr || index < 0 || index >= mesh_count) return nullptr;
    return &meshes[index];
}

int32_t shape_count() {
    return shapes;
}

int32_t shape_record_count() {
    return record_count;
}

const ShapeRecord* shape_record(int32_t index) {
    if (records == nullptr || index < 0 || index >= record_count) return nullptr;
    return &records[index];
}

int32_t shape_first_record(int32_t shape) {
    if (shape < 0 || shape >= shapes) return -1;
    return first_records[shape];
}

const int32_t* shape_marker_entry(int32_t entry) {
    if (markers == nullptr || entry < 0 || entry >= SHAPE_MARKER_ENTRIES) return nullptr;
    return &markers[entry * SHAPE_MARKER_WORDS];
}

int32_t shape_set_marker(int32_t entry, int32_t word0) {
    if (markers == nullptr || entry < 0 || entry >= SHAPE_MARKER_ENTRIES) return -1;
    markers[entry * SHAPE_MARKER_WORDS] = word0;
    return 0;
}
