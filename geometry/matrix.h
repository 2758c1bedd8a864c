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

void mtx_stack_reset();
int32_t mtx_stack_push(const Matrix* m);
int32_t mtx_stack_pop(Matrix* out, int32_t levels);
int32_t mtx_stack_depth();

void mtx_face_normal(Vec4* out, const Vec4* p0, const Vec4* p1, const Vec4* p2);
// out = renormalised (in + addend); out may be in.
void mtx_add_normal(Vec4* out, const Vec4* in, const Vec4* addend);
