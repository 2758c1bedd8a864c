#include "model/loader.h"

#include <cstring>

#include "files/section.h"
#include "files/texture.h"
#include "geometry/matrix.h"
#include "model/model.h"
#include "render/renderbuf.h"
#include "shell/memory.h"

namespace {

// Known sections, in the order their numbers follow, ended by "NULL".
const char* const SECTION_NAMES[] = {"SEC_M_HEAD:", "SEC_M_OBJ:", "SEC_M_BORN:", "SEC_M_HIT:",
                                     "NULL"};
enum SectionKind { SECTION_HEAD, SECTION_OBJ, SECTION_BORN };

constexpr int32_t HEAD_RECORD_SIZE = 52;
constexpr int32_t BORN_RECORD_SIZE = 72;
constexpr int32_t OBJECT_HEADER_SIZE = 8;
constexpr int32_t CHUNK_HEADER_SIZE = 8;
constexpr int32_t VERTEX_BYTES = 12;
constexpr int32_t TEXCOORD_BYTES = 8;
constexpr int32_t VERTEX_ROW = 0;
constexpr int32_t UV_ROW = 2;
constexpr int32_t NORMAL_POOL = 3;
constexpr float UV_SCALE = 255.0f;
constexpr float NO_SCALE = 1.0f;
// Every object file read with one texture maps it whole onto each face.
constexpr Vec4 WHOLE_TEXTURE[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {255, 255, 0, 0}, {0, 255, 0, 0}};

int32_t load_texture = -1;  // the texture number given to the loader
int16_t* scratch = nullptr;  // corner -> coordinate index, relative to the coordinate base

int32_t read_i32(const uint8_t* at) {
    int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

int16_t read_i16(const uint8_t* at) {
    int16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// value x factor, formed exactly and truncated toward zero (0.7 x 300 gives
// 209); false for NaN or a result that does not fit in 32 bits.
bool convert(const uint8_t* at, float factor, int32_t* out) {
    float value;
    std::memcpy(&value, at, sizeof value);
    double product = static_cast<double>(value) * static_cast<double>(factor);
    if (!(product > -2147483649.0 && product < 2147483648.0)) return false;
    *out = static_cast<int32_t>(product);
    return true;
}

// Three floats at `at` (x, y, z 4 bytes apart) into a Vec4 with w = 0.
bool convert_xyz(const uint8_t* at, float fx, float fy, float fz, Vec4* out) {
    *out = Vec4{};
    return convert(at, fx, &out->x) && convert(at + 4, fy, &out->y) &&
           convert(at + 8, fz, &out->z);
}

// The parse message for a file that is there but cannot be used; returns code.
int32_t malformed(const char* name, int32_t code) {
    error_box(MSG_FILE_PARSE_FAILED, name);
    return code;
}

// An index the packet's 16-bit fields can hold, of an element appended so far.
bool appended(int32_t index, int32_t row) {
    return index >= 0 && index < rb_row_count(row) && index <= INT16_MAX;
}

// ---------------------------------------------------------------------------
// Object files

struct ObjectReader {
    bool multi;               // the file's own texture names and coordinates
    int32_t texture;          // the texture of textured faces
    int32_t uv_base;          // -1 until coordinates are appended
    int32_t vertex_base;      // -1 until a vertex chunk is read
    int32_t vertex_count;
    int32_t textures[MDL_TEXTURE_NAMES_MAX];
    int32_t texture_count;
};

struct Chunk {
    int32_t code;
    int32_t count;
    const uint8_t* data;
    int32_t bytes;  // data bytes, after the header
};

bool count_fits(const Chunk& chunk, int32_t element_bytes) {
    return chunk.count >= 0 && chunk.count <= chunk.bytes / element_bytes;
}

bool read_vertices(ObjectReader* r, const Chunk& chunk) {
    if (!count_fits(chunk, VERTEX_BYTES)) return false;
    int32_t base = rb_row_count(VERTEX_ROW);
    if (base < 0) return false;
    for (int32_t i = 0; i < chunk.count; i++) {
        // The file's y points up; the screen's grows downward.
        Vec4 v;
        if (!convert_xyz(chunk.data + i * VERTEX_BYTES, MODEL_UNIT_SCALE, -MODEL_UNIT_SCALE,
                         MODEL_UNIT_SCALE, &v)) {
            return false;
        }
        if (rb_row_append(&v, VERTEX_ROW) < 0) return false;
    }
    r->vertex_base = base;
    r->vertex_count = chunk.count;
    return true;
}

bool read_texcoords(ObjectReader* r, const Chunk& chunk) {
    if (!count_fits(chunk, TEXCOORD_BYTES)) return false;
    int32_t base = rb_row_count(UV_ROW);
    if (base < 0) return false;
    for (int32_t i = 0; i < chunk.count; i++) {
        const uint8_t* at = chunk.data + i * TEXCOORD_BYTES;
        Vec4 uv = {};
        if (!convert(at, UV_SCALE, &uv.x) || !convert(at + 4, UV_SCALE, &uv.y)) return false;
        if (rb_row_append(&uv, UV_ROW) < 0) return false;
    }
    r->uv_base = base;
    return true;
}

// Names packed back to back, each ended by a zero byte, loaded in order.
bool read_texture_names(ObjectReader* r, const Chunk& chunk) {
    if (chunk.count < 0) return false;
    int32_t at = 0;
    for (int32_t i = 0; i < chunk.count; i++) {
        if (r->texture_count == MDL_TEXTURE_NAMES_MAX) return false;
        const char* name = reinterpret_cast<const char*>(chunk.data + at);
        int32_t room = chunk.bytes - at;
        if (room > MDL_TEXTURE_NAME_MAX + 1) room = MDL_TEXTURE_NAME_MAX + 1;
        const void* end = std::memchr(name, '\0', static_cast<size_t>(room));
        if (end == nullptr) return false;
        // A name that fails to load leaves the texture table's result in the list.
        r->textures[r->texture_count++] = tex_load(name);
        at += static_cast<int32_t>(static_cast<const char*>(end) - name) + 1;
    }
    return true;
}

bool select_texture(ObjectReader* r, const Chunk& chunk) {
    if (chunk.bytes < 2) return false;
    int32_t k = read_i16(chunk.data);
    if (k < 0 || k >= r->texture_count) return false;
    r->texture = r->textures[k];
    return true;
}

// One packet per face of `corners` relative vertex indices. Textured faces
// take their coordinate indices from the scratch list, relative to the
// coordinate base.
bool emit_faces(const ObjectReader* r, const Chunk& chunk, int32_t corners, bool textured) {
    if (r->vertex_base < 0) return false;
    if (!count_fits(chunk, corners * 2)) return false;
    int32_t entries = chunk.count * corners;
    if (entries > MDL_SCRATCH_ENTRIES) return false;
    for (int32_t i = 0; i < entries; i++) {
        // The single-texture reader maps each face onto the whole texture; the
        // multi-texture reader's coordinates parallel the vertices.
        scratch[i] = r->multi ? read_i16(chunk.data + 2 * i) : static_cast<int16_t>(i % corners);
    }
    const uint32_t size = corners == 4 ? PRIM_QUAD_SIZE : PRIM_TRI_SIZE;
    for (int32_t face = 0; face < chunk.count; face++) {
        PrimPacket* p = rb_alloc_packet(static_cast<int32_t>(size));
        if (p == nullptr) return false;
        p->header = PRIM_CULL | static_cast<uint32_t>(corners) | (textured ? PRIM_TEXTURED : 0);
        p->size = size;
        p->link = 0;
        int16_t* vertex = prim_index(p, PRIM_VERTEX);
        int16_t* uv = prim_index(p, PRIM_UV);
        for (int32_t k = 0; k < corners; k++) {
            int32_t corner = face * corners + k;
            // Relative indices may be negative and reach earlier bones' vertices.
            int32_t index = r->vertex_base + read_i16(chunk.data + 2 * corner);
            if (!appended(index, VERTEX_ROW)) return false;
            vertex[k] = static_cast<int16_t>(index);
            if (!textured) continue;
            int32_t coordinate = r->uv_base < 0 ? -1 : r->uv_base + scratch[corner];
            if (!appended(coordinate, UV_ROW)) return false;
            uv[k] = static_cast<int16_t>(coordinate);
        }
        if (textured) p->texture = static_cast<int16_t>(r->texture);
    }
    return true;
}

bool read_chunk(ObjectReader* r, const Chunk& chunk) {
    switch (chunk.code) {
    case OBJ_CHUNK_VERTICES: return read_vertices(r, chunk);
    case OBJ_CHUNK_TRIANGLES: return emit_faces(r, chunk, 3, !r->multi);
    case OBJ_CHUNK_QUADS: return emit_faces(r, chunk, 4, !r->multi);
    case OBJ_CHUNK_TEX_TRIANGLES: return emit_faces(r, chunk, 3, true);
    case OBJ_CHUNK_TEX_QUADS: return emit_faces(r, chunk, 4, true);
    case OBJ_CHUNK_TEXCOORDS: return !r->multi || read_texcoords(r, chunk);
    case OBJ_CHUNK_TEXTURE_NAMES: return !r->multi || read_texture_names(r, chunk);
    case OBJ_CHUNK_SELECT_TEXTURE: return !r->multi || select_texture(r, chunk);
    default: return true;  // other codes are skipped
    }
}

// One object file into one bone of the model; false when it is malformed or
// does not fit the render buffer.
bool read_object(const uint8_t* file, int32_t file_size, int32_t slot) {
    ObjectReader r = {};
    r.multi = load_texture < 0;
    r.texture = r.multi ? -1 : load_texture;
    r.uv_base = r.multi ? -1 : rb_append_uvs(4, WHOLE_TEXTURE);
    r.vertex_base = -1;
    if (!r.multi && r.uv_base < 0) return false;
    if (file_size < OBJECT_HEADER_SIZE) return false;
    int32_t total = read_i32(file + 4);
    if (total < OBJECT_HEADER_SIZE || total > file_size) return false;
    // Chunks are read while they start before the total size; each lies
    // whole inside the file (the last may pass the total size) and moves the
    // walk on.
    for (int32_t at = OBJECT_HEADER_SIZE; at < total;) {
        if (file_size - at < CHUNK_HEADER_SIZE) return false;
        int32_t size = read_i32(file + at + 4);
        if (size < CHUNK_HEADER_SIZE || size > file_size - at) return false;
        Chunk chunk = {read_i16(file + at), read_i16(file + at + 2), file + at + CHUNK_HEADER_SIZE,
                       size - CHUNK_HEADER_SIZE};
        if (!read_chunk(&r, chunk)) return false;
        at += size;
    }
    // A file without vertices gives a bone without vertices.
    int32_t base = r.vertex_base < 0 ? 0 : r.vertex_base;
    return mdl_add_bone(slot, base, r.vertex_count, 0) >= 0;
}

// ---------------------------------------------------------------------------
// Sections of the model file

// The bytes of a section's record area.
int64_t record_bytes(const Section* section) {
    return int64_t{sec_size(section)} - 12 - sec_name_size(section);
}

// The record area holds exactly `count` records of `size` bytes.
bool records_fit(const Section* section, int32_t size) {
    return sec_count(section) >= 1 && record_bytes(section) == int64_t{sec_count(section)} * size;
}

int32_t section_kind(const Section* section) {
    int32_t kind = 0;
    while (std::strcmp(SECTION_NAMES[kind], "NULL") != 0 &&
           std::strcmp(SECTION_NAMES[kind], sec_name(section)) != 0) {
        kind++;
    }
    return kind;
}

int32_t read_head(const Section* section, const char* name, int32_t* slot) {
    // Only the first record is read, at its fixed offsets: the records may be
    // wider, or more than one.
    if (sec_count(section) < 1 || record_bytes(section) < HEAD_RECORD_SIZE) {
        return malformed(name, -2);
    }
    const uint8_t* record = sec_records(section);
    int32_t bones = read_i32(record);
    Vec4 position, rotation, scale;
    if (bones < 0 || !convert_xyz(record + 4, NO_SCALE, NO_SCALE, NO_SCALE, &position) ||
        !convert_xyz(record + 20, NO_SCALE, NO_SCALE, NO_SCALE, &rotation) ||
        !convert_xyz(record + 36, NO_SCALE, NO_SCALE, NO_SCALE, &scale)) {
        return malformed(name, -2);
    }
    // The count is room reserved: room past what an OBJ section can ever name
    // would stay empty, so none past that is taken.
    *slot = mdl_create(bones < MODEL_MAX_BONES ? bones : MODEL_MAX_BONES);
    if (*slot < 0) return -4;
    *mdl_position(*slot) = position;
    *mdl_rotation(*slot) = rotation;
    *mdl_scale(*slot) = scale;
    return 0;
}

// Each record names the object file of the next bone.
int32_t read_objects(const Section* section, const char* name, int32_t slot) {
    const Model* model = mdl_get(slot);
    int32_t count = sec_count(section);
    if (count > model->bone_capacity - model->bone_count) return malformed(name, -2);
    const uint8_t* record = sec_records(section);
    int64_t left = int64_t{sec_size(section)} - 12 - sec_name_size(section);
    for (int32_t i = 0; i < count; i++) {
        int32_t length = left >= 4 ? read_i32(record) : -1;
        const char* object = reinterpret_cast<const char*>(record + 4);
        if (length < 1 || length > left - 4 || std::memchr(object, '\0', length) == nullptr) {
            return malformed(name, -2);
        }
        int32_t size = 0;
        uint8_t* file = reinterpret_cast<uint8_t*>(sec_read_file_sized(object, &size));
        if (file == nullptr) return -3;
        bool read = read_object(file, size, slot);
        mem_free(file);
        if (!read) return malformed(object, -3);
        record += 4 + length;
        left -= 4 + length;
    }
    return 0;
}

// Record i gives bone i its pop count, translation and rotation.
int32_t read_bones(const Section* section, const char* name, int32_t slot) {
    int32_t count = sec_count(section);
    if (!records_fit(section, BORN_RECORD_SIZE) || count > mdl_get(slot)->bone_capacity) {
        return malformed(name, -2);
    }
    for (int32_t i = 0; i < count; i++) {
        const uint8_t* record = sec_records(section) + i * BORN_RECORD_SIZE;
        Vec4 translation, rotation;
        // Rotations are stored as converted; the rotation matrix wraps them.
        if (!convert_xyz(record + 8, NO_SCALE, NO_SCALE, NO_SCALE, &translation) ||
            !convert_xyz(record + 24, MODEL_UNIT_SCALE, MODEL_UNIT_SCALE, MODEL_UNIT_SCALE,
                         &rotation)) {
            return malformed(name, -2);
        }
        mdl_set_bone(slot, i, read_i32(record), &translation, &rotation);
    }
    return 0;
}

// The sections in file order; the slot of the finished model, or a failure
// with *slot naming the model to free.
int32_t read_sections(const SectionFile* image, const char* name, int32_t* slot) {
    for (const Section* s = image; sec_name_size(s) != -1; s = sec_next(s)) {
        int32_t kind = section_kind(s);
        if (kind > SECTION_BORN) continue;
        // One header, and it comes before the bones it makes room for.
        if ((kind == SECTION_HEAD) == (*slot >= 0)) return malformed(name, -2);
        int32_t result = kind == SECTION_HEAD  ? read_head(s, name, slot)
                         : kind == SECTION_OBJ ? read_objects(s, name, *slot)
                                               : read_bones(s, name, *slot);
        if (result < 0) return result;
    }
    if (*slot < 0) return malformed(name, -1);
    mdl_finish();
    return *slot;
}

}  // namespace

int32_t mdl_load(const char* name, int32_t texture) {
    load_texture = texture;
    RenderMark mark;
    rb_take_mark(&mark);
    scratch = static_cast<int16_t*>(
        mem_alloc(MDL_SCRATCH_ENTRIES * static_cast<int32_t>(sizeof(int16_t))));
    if (scratch == nullptr) return -1;
    SectionFile* image = sec_load(name);
    int32_t slot = -1;
    int32_t result = image != nullptr ? read_sections(image, name, &slot) : -2;
    if (result < 0) {
        // Nothing of a failed load stays: no model, no packets, no pool entries.
        mdl_free(slot);
        rb_rewind(&mark);
    }
    mem_free(image);
    mem_free(scratch);
    scratch = nullptr;
    return result;
}

int32_t mdl_compute_normals(int32_t slot) {
    Model* model = mdl_get(slot);
    RenderBuffer* buffer = rb_current();
    if (model == nullptr) return -1;
    if (buffer == nullptr || buffer->positions == nullptr || buffer->normals == nullptr) return 0;
    // Normals share their vertex's index, so both pools must hold it.
    const int32_t limit = buffer->pool_size[0] < buffer->pool_size[NORMAL_POOL]
                              ? buffer->pool_size[0]
                              : buffer->pool_size[NORMAL_POOL];
    PrimPacket* p = model->packets;
    for (int32_t i = 0; i < model->packet_count; i++, p = prim_next(p)) {
        if (mdl_checked_packet(p) == nullptr) break;
        int32_t corners = static_cast<int32_t>(p->header & PRIM_COUNT_MASK);
        if ((corners != 3 && corners != 4) || corners > prim_slots(p)) continue;
        int16_t* vertex = prim_index(p, PRIM_VERTEX);
        int32_t k = 0;
        while (k < corners && vertex[k] >= 0 && vertex[k] < limit) k++;
        if (k < corners) continue;
        p->header |= PRIM_LIT;
        Vec4 face;
        mtx_face_normal(&face, &buffer->positions[vertex[0]], &buffer->positions[vertex[1]],
                        &buffer->positions[vertex[2]]);
        int16_t* intensity = prim_index(p, PRIM_INTENSITY);
        for (k = 0; k < corners; k++) {
            Vec4* normal = &buffer->normals[vertex[k]];
            mtx_add_normal(normal, normal, &face);
            intensity[k] = vertex[k];
        }
    }
    for (int32_t b = 0; b < model->bone_count; b++) {
        Bone* bone = &model->bones[b];
        bone->normal_count = bone->vertex_count;
        bone->normal_start = bone->vertex_start;
        bool inside = bone->vertex_start >= 0 &&
                      bone->vertex_start <= buffer->pool_size[NORMAL_POOL];
        bone->normals = inside ? buffer->normals + bone->vertex_start : nullptr;
    }
    return 0;
}
