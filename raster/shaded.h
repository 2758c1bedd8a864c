// Ramp-shaded textured triangles and quads (types 76, 267, 268).
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"

void draw_shaded_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                         const Vec4* c0, const Vec4* c1, const Vec4* c2, const Vec4* t0,
                         const Vec4* t1, const Vec4* t2, int32_t texture, int32_t ramp);
void draw_shaded_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                          const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                          const Vec4* c1, const Vec4* c2, const Vec4* c3, const Vec4* t0,
                          const Vec4* t1, const Vec4* t2, const Vec4* t3, int32_t texture,
                          int32_t ramp);
