// Textured triangles and quads: copy (11, 12), saturating add (27, 28) and
// average (59, 60).
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"

// Span state, set once per polygon from the texture's shifts.
extern int32_t tex_u_mask;
extern int32_t tex_v_mask;
extern int32_t tex_v_shift;

void draw_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                  const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                   const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                   const Vec4* t3, int32_t texture);
void draw_tex_tri_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                      const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                       const Vec4* t3, int32_t texture);
void draw_tex_tri_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                        const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                        const Vec4* t3, int32_t texture);
