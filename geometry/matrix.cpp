#include "geometry/matrix.h"

#include <cmath>

#include "shell/memory.h"

int32_t* SinTable = nullptr;
int32_t* CosTable = nullptr;

namespace {

// Slightly below 2*pi/1024; the tables' exact values depend on this constant.
constexpr double ANGLE_STEP = 0.006135923151367188;

Matrix* stack_slots = nullptr;
int32_t stack_depth = 0;

int32_t* alloc_table() {
    return static_cast<int32_t*>(mem_alloc(ANGLE_STEPS * static_cast<int32_t>(sizeof(int32_t))));
}

// A table that failed to allocate reads as 0 rather than crashing later frames.
int32_t table_at(const int32_t* table, int32_t angle) {
    return table != nullptr ? table[angle & ANGLE_MASK] : 0;
}

// Only x, y and z are written.
void set_xyz(Vec4* out, int32_t x, int32_t y, int32_t z) {
    out->x = x;
    out->y = y;
    out->z = z;
}

uint64_t isqrt64(uint64_t value) {
    uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(value)));
    // The double estimate can be one off once value exceeds 53 bits.
    while (root * root > value) root--;
    while ((root + 1) * (root + 1) <= value) root++;
    return root;
}

// Scales (x, y, z) to length NORMAL_LENGTH. Formed in 64 bits so large vectors
// do not overflow; where 32 bits suffice the result is the same.
void normalise(Vec4* out, int32_t x, int32_t y, int32_t z) {
    const int64_t wx = x;
    const int64_t wy = y;
    const int64_t wz = z;
    const uint64_t squares = static_cast<uint64_t>(wx * wx) + static_cast<uint64_t>(wy * wy) +
                             static_cast<uint64_t>(wz * wz);
    const int64_t length = static_cast<int64_t>(isqrt64(squares));
    if (length == 0) {
        set_xyz(out, x, y, z);
        return;
    }
    // |component| <= length, so each quotient lies within +-1024.
    set_xyz(out, static_cast<int32_t>(wx * NORMAL_LENGTH / length),
            static_cast<int32_t>(wy * NORMAL_LENGTH / length),
            static_cast<int32_t>(wz * NORMAL_LENGTH / length));
}

}  // namespace

int32_t mtx_init() {
    mtx_release();  // a second start-up must not leak the first tables
    stack_depth = 0;
    SinTable = alloc_table();
    if (SinTable == nullptr) return -1;
    CosTable = alloc_table();
    if (CosTable == nullptr) return -1;
    stack_slots = static_cast<Matrix*>(
        mem_alloc(MATRIX_STACK_DEPTH * static_cast<int32_t>(sizeof(Matrix))));
    if (stack_slots == nullptr) return -1;
    for (int32_t i = 0; i < ANGLE_STEPS; i++) {
        const double angle = i * ANGLE_STEP;
        SinTable[i] = static_cast<int32_t>(std::sin(angle) * FX_ONE);
        CosTable[i] = static_cast<int32_t>(std::cos(angle) * FX_ONE);
    }
    return 0;
}

void mtx_release() {
    mem_free(stack_slots);
    mem_free(CosTable);
    mem_free(SinTable);
    stack_slots = nullptr;
    CosTable = nullptr;
    SinTable = nullptr;
    stack_depth = 0;
}

int32_t mtx_sin(int32_t angle) {
    return table_at(SinTable, angle);
}

int32_t mtx_cos(int32_t angle) {
    return table_at(CosTable, angle);
}

void mtx_identity(Matrix* out) {
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) out->m[row][col] = row == col ? FX_ONE : 0;
    }
}

int32_t mtx_rotation(Matrix* out, const Vec4* angles) {
    // Loaded rotations arrive unwrapped; wrapping keeps the lookups in the tables.
    const int32_t sx = mtx_sin(angles->x);
    const int32_t cx = mtx_cos(angles->x);
    const int32_t sy = mtx_sin(angles->y);
    const int32_t cy = mtx_cos(angles->y);
    const int32_t sz = mtx_sin(angles->z);
    const int32_t cz = mtx_cos(angles->z);
    // The shift points and the negation ahead of each shift are part of the result.
    int32_t(&m)[4][4] = out->m;
    m[0][0] = (cz * cy) >> 9;
    m[0][1] = ((((-(sx * sy)) >> 9) * cz) >> 9) - ((sz * cx) >> 9);
    m[0][2] = ((((-(cx * sy)) >> 9) * cz) >> 9) + ((sx * sz) >> 9);
    m[0][3] = 0;
    m[1][0] = (sz * cy) >> 9;
    m[1][1] = ((cx * cz) >> 9) - ((((sx * sy) >> 9) * sz) >> 9);
    m[1][2] = ((-(sx * cz)) >> 9) - ((((cx * sy) >> 9) * sz) >> 9);
    m[1][3] = 0;
    m[2][0] = sy;
    m[2][1] = (sx * cy) >> 9;
    m[2][2] = (cx * cy) >> 9;
    m[2][3] = 0;
    m[3][0] = 0;
    m[3][1] = 0;
    m[3][2] = 0;
    m[3][3] = FX_ONE;
    return 0;
}

int32_t mtx_translation(Matrix* out, const Vec4* offset) {
    mtx_identity(out);
    out->m[3][0] = wrap_shl(offset->x, FX_SHIFT);
    out->m[3][1] = wrap_shl(offset->y, FX_SHIFT);
    out->m[3][2] = wrap_shl(offset->z, FX_SHIFT);
    return 0;
}

int32_t mtx_scale(Matrix* out, const Vec4* factors) {
    mtx_identity(out);
    out->m[0][0] = factors->x;
    out->m[1][1] = factors->y;
    out->m[2][2] = factors->z;
    return 0;
}

int32_t mtx_multiply(Matrix* out, const Matrix* a, const Matrix* b) {
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) {
            // Each product is brought back to scale on its own before the sum.
            int32_t sum = 0;
            for (int k = 0; k < 4; k++) {
                sum = wrap_add(sum, wrap_mul(a->m[row][k], b->m[k][col]) >> FX_SHIFT);
            }
            out->m[row][col] = sum;
        }
    }
    return 0;
}

namespace {

// S x (R x T) or S x (T x R): the two compositions differ only in the order of
// rotation and translation.
int32_t compose(Matrix* out, const Vec4* translation, const Vec4* rotation, const Vec4* scale,
                bool rotate_first) {
    Matrix t;
    Matrix r;
    Matrix s;
    Matrix inner;
    mtx_translation(&t, translation);
    mtx_rotation(&r, rotation);
    mtx_scale(&s, scale);
    if (rotate_first) {
        mtx_multiply(&inner, &r, &t);
    } else {
        mtx_multiply(&inner, &t, &r);
    }
    return mtx_multiply(out, &s, &inner);
}

}  // namespace

int32_t mtx_compose_local(Matrix* out, const Vec4* translation, const Vec4* rotation,
                          const Vec4* scale) {
    return compose(out, translation, rotation, scale, true);
}

int32_t mtx_compose_view(Matrix* out, const Vec4* translation, const Vec4* rotation,
                         const Vec4* scale) {
    return compose(out, translation, rotation, scale, false);
}

int32_t mtx_transform_points(int32_t count, Vec4* out, const Vec4* in, const Matrix* m) {
    for (int32_t i = 0; i < count; i++) {
        // The whole sum is shifted once; all three are read before out is written.
        const int32_t x = mtx_column_sum(&in[i], m, 0) >> FX_SHIFT;
        const int32_t y = mtx_column_sum(&in[i], m, 1) >> FX_SHIFT;
        const int32_t z = mtx_column_sum(&in[i], m, 2) >> FX_SHIFT;
        set_xyz(&out[i], x, y, z);
    }
    return 0;
}

void mtx_stack_reset() {
    stack_depth = 0;
}

int32_t mtx_stack_push(const Matrix* m) {
    if (stack_slots == nullptr || stack_depth >= MATRIX_STACK_DEPTH) return -1;
    stack_slots[stack_depth] = *m;
    return stack_depth++;
}

int32_t mtx_stack_pop(Matrix* out, int32_t levels) {
    // A count below 1 would read a slot that holds no saved matrix (or lies
    // past the table when the stack is full).
    if (stack_slots == nullptr || levels < 1 || levels > stack_depth) return -1;
    stack_depth -= levels;
    *out = stack_slots[stack_depth];
    return stack_depth;
}

int32_t mtx_stack_depth() {
    return stack_depth;
}

void mtx_face_normal(Vec4* out, const Vec4* p0, const Vec4* p1, const Vec4* p2) {
    const int32_t ux = wrap_sub(p1->x, p0->x);
    const int32_t uy = wrap_sub(p1->y, p0->y);
    const int32_t uz = wrap_sub(p1->z, p0->z);
    const int32_t vx = wrap_sub(p2->x, p1->x);
    const int32_t vy = wrap_sub(p2->y, p1->y);
    const int32_t vz = wrap_sub(p2->z, p1->z);
    normalise(out, wrap_sub(wrap_mul(uy, vz), wrap_mul(uz, vy)),
              wrap_sub(wrap_mul(uz, vx), wrap_mul(ux, vz)),
              wrap_sub(wrap_mul(ux, vy), wrap_mul(uy, vx)));
}

void mtx_add_normal(Vec4* out, const Vec4* in, const Vec4* addend) {
    normalise(out, wrap_add(in->x, addend->x), wrap_add(in->y, addend->y),
              wrap_add(in->z, addend->z));
}
