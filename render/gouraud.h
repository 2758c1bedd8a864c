// Gouraud triangles and quads: plain (types 67, 68) and additive (83, 84).
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"

void draw_gouraud_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                           const Vec4* c2);
void draw_gouraud_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* c0, const Vec4* c1, const Vec4* c2,
                       const Vec4* c3);
void draw_gouraud_add_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                               const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                               const Vec4* c2);
void draw_gouraud_add_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                           const Vec4* c1, const Vec4* c2, const Vec4* c3);
