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

// A clipped vertex: screen position and the red, green and blue components.
struct GouraudVertex {
    int32_t x, y;
    int32_t c[3];
};

// Polygons of up to GOURAUD_MAX_INPUT vertices are clipped; every clipped
// polygon and the clipper's work array fit in GOURAUD_MAX_VERTICES.
constexpr int32_t GOURAUD_MAX_INPUT = 4;
constexpr int32_t GOURAUD_MAX_VERTICES = 15;

// Clip, walk and fill n vertices (3 or 4) with their colours (components
// 0, 1, 2 of each Vec4).
void draw_gouraud_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n);
void draw_gouraud_add_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n);

// Clips n vertices and colours to the surface, columns first, then rows.
// out needs GOURAUD_MAX_VERTICES entries. Returns the number of clipped
// vertices: 0 without a surface or when n lies outside 1..GOURAUD_MAX_INPUT.
int32_t draw_clip_gouraud(const ScreenVertex* const* v, const Vec4* const* c,
                          GouraudVertex* out, int32_t n);
// Where the edge from `outside` (above row 0 or below max_y) to `inside`
// crosses the rows of the surface, with its colour there.
void draw_clip_gouraud_row(const GouraudVertex* outside, const GouraudVertex* inside,
                           GouraudVertex* out);

// One row of a polygon: count pixels from column x of `row`, the colour
// running from `left` to `right` (red, green, blue with 8 fraction bits).
// Only the columns 0..width-1 of the surface are written.
void draw_gouraud_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                       const int32_t* right);
// The same, added to the pixels with each channel saturating.
void draw_gouraud_add_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                           const int32_t* right);
