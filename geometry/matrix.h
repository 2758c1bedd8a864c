// Trigonometry tables, 4x4 fixed-point matrices and the matrix stack.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

constexpr int32_t MATRIX_STACK_DEPTH = 32;

// 1024 entries each, scaled by 512; filled by mtx_init, null before.
extern int32_t* SinTable;
extern int32_t* CosTable;

int32_t mtx_init();
void mtx_release();

// Table entry at angle AND ANGLE_MASK; 0 when the tables failed to allocate.
int32_t mtx_sin(int32_t angle);
int32_t mtx_cos(int32_t angle);

void mtx_identity(Matrix* out);
int32_t mtx_rotation(Matrix* out, const Vec4* angles);
int32_t mtx_translation(Matrix* out, const Vec4* offset);
int32_t mtx_scale(Matrix* out, const Vec4* factors);
// out = a x b; out must not be a or b.
int32_t mtx_multiply(Matrix* out, const Matrix* a, const Matrix* b);
// S x R x T
int32_t mtx_compose_local(Matrix* out, const Vec4* translation, const Vec4* rotation,
                          const Vec4* scale);
// S x T x R
int32_t mtx_compose_view(Matrix* out, const Vec4* translation, const Vec4* rotation,
                         const Vec4* scale);
int32_t mtx_transform_points(int32_t count, Vec4* out, const Vec4* in, const Matrix* m);

// x*m[0][col] + y*m[1][col] + z*m[2][col] + m[3][col], wrapping, not shifted.
inline int32_t mtx_column_sum(const Vec4* v, const Matrix* m, int col) {
    int32_t sum = wrap_add(wrap_mul(v->x, m->m[0][col]), wrap_mul(v->y, m->m[1][col]));
    sum = wrap_add(sum, wrap_mul(v->z, m->m[2][col]));
    return wrap_add(sum, m->m[3][col]);
}

void mtx_stack_reset();
int32_t mtx_stack_push(const Matrix* m);
// Refused with -1 unless 1 <= levels <= depth.
int32_t mtx_stack_pop(Matrix* out, int32_t levels);
int32_t mtx_stack_depth();

void mtx_face_normal(Vec4* out, const Vec4* p0, const Vec4* p1, const Vec4* p2);
// out = renormalised (in + addend); out may be in.
void mtx_add_normal(Vec4* out, const Vec4* in, const Vec4* addend);
