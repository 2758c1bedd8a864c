// Writing model files, object files and a small BMP for the loader tests, and a
// fixed-point reference of the bone transforms worked out apart from the system.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "files/texture.h"
#include "geometry/fixed.h"
#include "geometry/matrix.h"
#include "model/loader.h"
#include "model/model.h"
#include "render/renderbuf.h"

// The pools the start-up makes in the current render buffer.
inline void make_model_pools() {
    rb_make_vertex_pool(1500);
    rb_make_colour_pool(1500);
    rb_make_uv_pool(1200);
    rb_make_normal_pool(1500);
}

// The modules a model load needs, with the pools the start-up makes: the render
// buffer, the matrix stack, the texture and model tables.
inline bool start_model_scene() {
    int32_t failures = (mtx_init() < 0) + (rb_init() < 0);
    make_model_pools();
    failures += (tex_init() < 0) + (mdl_table_init() < 0);
    return failures == 0;
}

inline void release_model_scene() {
    mdl_table_release();
    tex_release();
    rb_release();
    mtx_release();
}

inline void put16(std::string* b, int32_t v) {
    b->push_back(static_cast<char>(v & 0xFF));
    b->push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void put32(std::string* b, int32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, static_cast<int32_t>(static_cast<uint32_t>(v) >> 16));
}

inline void put_float(std::string* b, float f) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(b, bits);
}

inline void expect_xyz(const Vec4& v, int32_t x, int32_t y, int32_t z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

struct Xyz {
    float x, y, z;
};

// An object file, chunk by chunk; the total size is set when it is done.
class Obj {
public:
    // A size of -1 stands for the true one: header and data.
    Obj& chunk(int32_t code, int32_t count, const std::string& data, int32_t size = -1) {
        put16(&bytes_, code);
        put16(&bytes_, count);
        put32(&bytes_, size == -1 ? 8 + static_cast<int32_t>(data.size()) : size);
        bytes_ += data;
        return *this;
    }
    Obj& vertices(const std::vector<Xyz>& points) {
        std::string d;
        for (const Xyz& p : points) {
            put_float(&d, p.x);
            put_float(&d, p.y);
            put_float(&d, p.z);
        }
        return chunk(OBJ_CHUNK_VERTICES, static_cast<int32_t>(points.size()), d);
    }
    // Faces of 3 or 4 relative indices, padded to a multiple of four bytes.
    Obj& faces(int32_t code, const std::vector<std::vector<int32_t>>& list) {
        std::string d;
        for (const std::vector<int32_t>& f : list) {
            for (int32_t i : f) put16(&d, i);
        }
        d.append((4 - d.size() % 4) % 4, '\0');
        return chunk(code, static_cast<int32_t>(list.size()), d);
    }
    Obj& texcoords(const std::vector<std::pair<float, float>>& list) {
        std::string d;
        for (const auto& uv : list) {
            put_float(&d, uv.first);
            put_float(&d, uv.second);
        }
        return chunk(OBJ_CHUNK_TEXCOORDS, static_cast<int32_t>(list.size()), d);
    }
    Obj& names(const std::vector<std::string>& list) {
        std::string d;
        for (const std::string& n : list) d += n + '\0';
        d.append((4 - d.size() % 4) % 4, '\0');
        return chunk(OBJ_CHUNK_TEXTURE_NAMES, static_cast<int32_t>(list.size()), d);
    }
    Obj& select(int32_t k) {
        std::string d;
        put16(&d, k);
        put16(&d, 0);
        return chunk(OBJ_CHUNK_SELECT_TEXTURE, 1, d);
    }
    Obj& raw(const std::string& b) {
        bytes_ += b;
        return *this;
    }
    // A total of -1 stands for the file's size.
    std::string done(int32_t total = -1) const {
        std::string b = bytes_;
        std::string t;
        put32(&t, total != -1 ? total : static_cast<int32_t>(b.size()));
        b.replace(4, 4, t);
        return b;
    }

private:
    std::string bytes_ = std::string(8, '\0');
};

// Four vertices of a unit square in the file's units, one triangle, one quad.
inline std::string square_object() {
    return Obj()
        .vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})
        .faces(OBJ_CHUNK_TEX_TRIANGLES, {{0, 1, 2}})
        .faces(OBJ_CHUNK_TEX_QUADS, {{0, 1, 2, 3}})
        .done();
}

// Position, rotation and scale of a HEAD record.
inline const char PLACEMENT[] = "0 0 0 0  0 0 0 0  512 512 512 0";

inline std::string head(const std::string& bones, const std::string& placement = PLACEMENT) {
    return "SEC_M_HEAD:\nIVVV\n" + bones + " " + placement + "\nEND_SEC:\n";
}

inline std::string objects(const std::vector<std::string>& names) {
    std::string t = "SEC_M_OBJ:\nS\n";
    for (const std::string& n : names) t += n + "\n";
    return t + "END_SEC:\n";
}

// Each record: pop count, translation x y z, rotation x y z (file units).
inline std::string bones(const std::vector<std::string>& records) {
    std::string t = "SEC_M_BORN:\nIIVVVV\n";
    for (const std::string& r : records) t += r + "\n";
    return t + "END_SEC:\n";
}

inline std::string born(int32_t pop, const std::string& translation,
                        const std::string& rotation) {
    return std::to_string(pop) + " 0 " + translation + " 0 " + rotation + " 0 0 0 0 0 0 0 0 0";
}

// A 2 x 2 32-bit BMP.
inline std::string bmp32() {
    std::string b = "BM";
    for (int32_t v : {54 + 16, 0, 54, 40, 2, 2}) put32(&b, v);
    put16(&b, 1);
    put16(&b, 32);
    b.append(24, '\0');
    b.append(16, '\x7f');
    return b;
}

// 512 = 1.0; angles of 1024 steps to the turn; row vectors, translation in row 3.
inline int32_t ref_sin(int32_t a) {
    return static_cast<int32_t>(std::sin((a & 1023) * 0.006135923151367188) * 512);
}
inline int32_t ref_cos(int32_t a) {
    return static_cast<int32_t>(std::cos((a & 1023) * 0.006135923151367188) * 512);
}

inline Matrix ref_identity() {
    Matrix m = {};
    for (int i = 0; i < 4; i++) m.m[i][i] = 512;
    return m;
}

inline Matrix ref_product(const Matrix& a, const Matrix& b) {
    Matrix out = {};
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            int64_t s = 0;
            for (int k = 0; k < 4; k++) s += (int64_t{a.m[i][k]} * b.m[k][j]) >> 9;
            out.m[i][j] = static_cast<int32_t>(s);
        }
    }
    return out;
}

inline Matrix ref_rotation(const Vec4& r) {
    const int32_t sx = ref_sin(r.x), cx = ref_cos(r.x), sy = ref_sin(r.y), cy = ref_cos(r.y);
    const int32_t sz = ref_sin(r.z), cz = ref_cos(r.z);
    Matrix m = ref_identity();
    m.m[0][0] = (cz * cy) >> 9;
    m.m[0][1] = ((((-(sx * sy)) >> 9) * cz) >> 9) - ((sz * cx) >> 9);
    m.m[0][2] = ((((-(cx * sy)) >> 9) * cz) >> 9) + ((sx * sz) >> 9);
    m.m[1][0] = (sz * cy) >> 9;
    m.m[1][1] = ((cx * cz) >> 9) - ((((sx * sy) >> 9) * sz) >> 9);
    m.m[1][2] = ((-(sx * cz)) >> 9) - ((((cx * sy) >> 9) * sz) >> 9);
    m.m[2][0] = sy;
    m.m[2][1] = (sx * cy) >> 9;
    m.m[2][2] = (cx * cy) >> 9;
    return m;
}

inline Matrix ref_translation(const Vec4& t) {
    Matrix m = ref_identity();
    m.m[3][0] = t.x * 512;
    m.m[3][1] = t.y * 512;
    m.m[3][2] = t.z * 512;
    return m;
}
