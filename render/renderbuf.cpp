#include "render/renderbuf.h"

#include <cstddef>
#include <cstring>

#include "render/ordertab.h"
#include "shell/memory.h"

namespace {

// Bytes per element of each pool kind: the arrays that share its block.
constexpr int32_t POOL_ELEMENT_BYTES[POOL_KINDS] = {
    static_cast<int32_t>(sizeof(Vec4) + sizeof(ScreenVertex)),
    static_cast<int32_t>(sizeof(Vec4) + sizeof(uint16_t)),
    static_cast<int32_t>(sizeof(Vec4)),
    static_cast<int32_t>(2 * sizeof(Vec4) + sizeof(int32_t)),
};

constexpr int32_t FIELD_COUNT = 17;

struct FieldInfo {
    size_t offset;
    bool address;
};

// The numbered header fields, by number.
constexpr FieldInfo FIELDS[FIELD_COUNT] = {
    {offsetof(RenderBuffer, packet_count), false},
    {offsetof(RenderBuffer, first_packet), true},
    {offsetof(RenderBuffer, next_free), true},
    {offsetof(RenderBuffer, vertex_count), false},
    {offsetof(RenderBuffer, screen_vertices), true},
    {offsetof(RenderBuffer, positions), true},
    {offsetof(RenderBuffer, unused6), false},
    {offsetof(RenderBuffer, unused7), false},
    {offsetof(RenderBuffer, colours), true},
    {offsetof(RenderBuffer, flat_colours), true},
    {offsetof(RenderBuffer, unused10), false},
    {offsetof(RenderBuffer, unused11), false},
    {offsetof(RenderBuffer, uvs), true},
    {offsetof(RenderBuffer, normal_count), false},
    {offsetof(RenderBuffer, view_normals), true},
    {offsetof(RenderBuffer, normals), true},
    {offsetof(RenderBuffer, intensities), true},
};

PoolRow* rows = nullptr;
RenderBuffer* current = nullptr;
RenderBuffer* drawn = nullptr;

// The block of a pool kind: the first array cut from it.
void* pool_block(const RenderBuffer* buffer, int32_t kind) {
    switch (kind) {
    case 0: return buffer->positions;
    case 1: return buffer->colours;
    case 2: return buffer->uvs;
    default: return buffer->normals;
    }
}

// Stores a pool block (or null) and the arrays cut from it in the header.
void bind_pool(RenderBuffer* buffer, int32_t kind, uint8_t* block, int32_t count) {
    size_t vec_bytes = sizeof(Vec4) * static_cast<size_t>(count);
    uint8_t* second = block != nullptr ? block + vec_bytes : nullptr;
    uint8_t* third = block != nullptr ? block + 2 * vec_bytes : nullptr;
    switch (kind) {
    case 0:
        buffer->positions = reinterpret_cast<Vec4*>(block);
        buffer->screen_vertices = reinterpret_cast<ScreenVertex*>(second);
        break;
    case 1:
        buffer->colours = reinterpret_cast<Vec4*>(block);
        buffer->flat_colours = reinterpret_cast<uint16_t*>(second);
        break;
    case 2: buffer->uvs = reinterpret_cast<Vec4*>(block); break;
    default:
        buffer->normals = reinterpret_cast<Vec4*>(block);
        buffer->view_normals = reinterpret_cast<Vec4*>(second);
        buffer->intensities = reinterpret_cast<int32_t*>(third);
        break;
    }
    buffer->pool_size[kind] = block != nullptr ? count : 0;
}

bool valid_row(int32_t row) {
    return rows != nullptr && row >= 0 && row < POOL_ROWS;
}

// Frees a pool block; rows must not keep appending into it.
void free_pool_block(void* block) {
    if (block == nullptr) return;
    for (int32_t row = 0; valid_row(row); row++) {
        if (rows[row].base == block) rb_row_set(nullptr, row, 0);
    }
    mem_free(block);
}

// 0 when appends to the row may go ahead, else the refusal.
int32_t row_status(int32_t row) {
    if (!valid_row(row)) return -1;
    return rows[row].base != nullptr ? 0 : -2;
}

Vec4* row_element(const PoolRow* row, int32_t index) {
    return static_cast<Vec4*>(row->base) + index;
}

// Entry `index` of one array of a pool of the current buffer, or null
// outside it.
template <typename T>
T* pool_entry(T* RenderBuffer::*array, int32_t kind, int32_t index) {
    if (current == nullptr || current->*array == nullptr) return nullptr;
    if (index < 0 || index >= current->pool_size[kind]) return nullptr;
    return current->*array + index;
}

}  // namespace

int32_t rb_init() {
    rb_release();  // a second start-up must not leak the first one's tables
    if (rb_rows_init() < 0) return -4;
    if (ot_table_init() < 0) return -1;
    RenderBuffer* buffer = rb_create(PACKET_AREA_SIZE);
    if (buffer == nullptr) return -2;
    rb_set_current(buffer);
    drawn = buffer;
    if (ot_slots_init() < 0) return -3;
    return 0;
}

void rb_release() {
    ot_slots_release();
    rb_destroy(drawn);
    ot_table_release();
    rb_rows_release();
    current = nullptr;
    drawn = nullptr;
}

RenderBuffer* rb_create(int32_t area_size) {
    constexpr int32_t header = static_cast<int32_t>(sizeof(RenderBuffer));
    if (area_size < 0 || area_size > INT32_MAX - header) return nullptr;
    void* block = mem_alloc(header + area_size);
    if (block == nullptr) return nullptr;
    RenderBuffer* buffer = static_cast<RenderBuffer*>(block);
    buffer->first_packet = static_cast<uint8_t*>(block) + header;
    buffer->next_free = buffer->first_packet;
    buffer->packet_area_size = area_size;
    return buffer;
}

int32_t rb_destroy(RenderBuffer* buffer) {
    if (buffer == nullptr) return -1;
    for (int32_t kind = 0; kind < POOL_KINDS; kind++) free_pool_block(pool_block(buffer, kind));
    if (current == buffer) current = nullptr;
    if (drawn == buffer) drawn = nullptr;
    mem_free(buffer);
    return 0;
}

void rb_set_current(RenderBuffer* buffer) {
    current = buffer;
}

RenderBuffer* rb_current() {
    return current;
}

RenderBuffer* rb_drawn() {
    return drawn;
}

void* rb_field_ptr(int32_t field) {
    if (current == nullptr || field < 0 || field >= FIELD_COUNT) return nullptr;
    return reinterpret_cast<uint8_t*>(current) + FIELDS[field].offset;
}

intptr_t rb_field(int32_t field) {
    const void* p = rb_field_ptr(field);
    if (p == nullptr) return -1;
    if (FIELDS[field].address) {
        void* address;
        std::memcpy(&address, p, sizeof address);
        return reinterpret_cast<intptr_t>(address);
    }
    int32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

Vec4* rb_positions() {
    return current != nullptr ? current->positions : nullptr;
}

ScreenVertex* rb_screen_vertex(int32_t index) {
    return pool_entry(&RenderBuffer::screen_vertices, 0, index);
}

Vec4* rb_view_normal(int32_t index) {
    return pool_entry(&RenderBuffer::view_normals, 3, index);
}

int32_t* rb_intensity(int32_t index) {
    return pool_entry(&RenderBuffer::intensities, 3, index);
}

void rb_make_pool(int32_t count, int32_t kind) {
    if (current == nullptr || kind < 0 || kind >= POOL_KINDS) return;
    free_pool_block(pool_block(current, kind));
    int32_t per = POOL_ELEMENT_BYTES[kind];
    // A size beyond what one block can hold fails like any other allocation.
    int32_t bytes = count >= 0 && count <= INT32_MAX / per ? count * per : -1;
    uint8_t* block = static_cast<uint8_t*>(mem_alloc(bytes));
    bind_pool(current, kind, block, count);
    rb_row_set(block, kind, block != nullptr ? count : 0);
}

void rb_make_vertex_pool(int32_t count) {
    rb_make_pool(count, 0);
}

void rb_make_colour_pool(int32_t count) {
    rb_make_pool(count, 1);
}

void rb_make_uv_pool(int32_t count) {
    rb_make_pool(count, 2);
}

void rb_make_normal_pool(int32_t count) {
    rb_make_pool(count, 3);
}

PrimPacket* rb_alloc_packet(int32_t size) {
    // The ordering table walks the area by the two packet sizes alone: a
    // packet of any other size would hide every packet after it.
    const uint32_t bytes = static_cast<uint32_t>(size);
    if (current == nullptr || (bytes != PRIM_TRI_SIZE && bytes != PRIM_QUAD_SIZE)) return nullptr;
    int32_t used = static_cast<int32_t>(current->next_free - current->first_packet);
    if (size > current->packet_area_size - used) return nullptr;
    PrimPacket* packet = reinterpret_cast<PrimPacket*>(current->next_free);
    current->next_free += size;
    current->packet_count++;
    return packet;
}

uint16_t* rb_convert_colours() {
    if (current == nullptr || current->flat_colours == nullptr) return nullptr;
    for (int32_t i = 0; i < rb_row_count(1) && i < current->pool_size[1]; i++) {
        const Vec4& c = current->colours[i];
        current->flat_colours[i] = static_cast<uint16_t>(
            (((c.x >> 3) & 31) << 10) | (((c.y >> 3) & 31) << 5) | ((c.z >> 3) & 31));
    }
    return current->flat_colours;
}

int32_t rb_rows_init() {
    rb_rows_release();  // a second start-up must not leak the first table
    rows = static_cast<PoolRow*>(mem_alloc(POOL_ROWS * static_cast<int32_t>(sizeof(PoolRow))));
    return rows != nullptr ? 0 : -1;
}

void rb_rows_release() {
    mem_free(rows);
    rows = nullptr;
}

int32_t rb_row_set(void* base, int32_t row, int32_t capacity) {
    if (!valid_row(row)) return -1;
    rows[row] = PoolRow{0, 0, base, base != nullptr && capacity > 0 ? capacity : 0};
    return 0;
}

void rb_row_mark(int32_t row) {
    if (valid_row(row)) rows[row].cursor = rows[row].count;
}

int32_t rb_row_append(const Vec4* source, int32_t row) {
    int32_t status = row_status(row);
    if (status < 0) return status;
    PoolRow* r = &rows[row];
    if (r->count >= r->capacity) return -3;
    *row_element(r, r->count) = *source;
    return r->count++;
}

int32_t rb_row_count(int32_t row) {
    return valid_row(row) ? rows[row].count : -1;
}

int32_t rb_append(int32_t count, const Vec4* source, int32_t row) {
    int32_t status = row_status(row);
    if (status < 0) return status;
    if (count < 0) return -1;
    // All or nothing: a partial append would leave a half-read model behind.
    if (count > rows[row].capacity - rows[row].count) return -3;
    int32_t first = rows[row].count;
    for (int32_t i = 0; i < count; i++) rb_row_append(&source[i], row);
    return first;
}

int32_t rb_append_positions(int32_t count, const Vec4* source) {
    return rb_append(count, source, 0);
}

int32_t rb_append_uvs(int32_t count, const Vec4* source) {
    return rb_append(count, source, 2);
}

void rb_take_mark(RenderMark* mark) {
    *mark = RenderMark{};
    if (current != nullptr) {
        mark->packet_count = current->packet_count;
        mark->next_free = current->next_free;
    }
    for (int32_t row = 0; row < POOL_ROWS; row++) mark->row_count[row] = rb_row_count(row);
}

void rb_rewind(const RenderMark* mark) {
    if (current != nullptr && mark->next_free >= current->first_packet &&
        mark->next_free <= current->next_free && mark->packet_count >= 0 &&
        mark->packet_count <= current->packet_count) {
        // The area goes back to zero, as later packets expect to find it.
        std::memset(mark->next_free, 0, static_cast<size_t>(current->next_free - mark->next_free));
        current->next_free = mark->next_free;
        current->packet_count = mark->packet_count;
    }
    for (int32_t row = 0; valid_row(row); row++) {
        PoolRow* r = &rows[row];
        int32_t keep = mark->row_count[row];
        if (keep < 0 || keep >= r->count) continue;
        std::memset(row_element(r, keep), 0, sizeof(Vec4) * static_cast<size_t>(r->count - keep));
        r->count = keep;
        if (r->cursor > keep) r->cursor = keep;
    }
}
