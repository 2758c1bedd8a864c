// The raster surface every rasterizer draws into, polygon clipping, the
// shared edge-walk helpers and the flat fills.
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"

struct RasterSurface {
    int32_t width;   // also the row stride in pixels
    int32_t height;
    int32_t max_x;
    int32_t max_y;
    uint16_t* pixels;
};

struct ClipVertex {
    int32_t x, y;
};

constexpr int32_t MARKER_SIZE = 50;
// Vertices a clipped triangle or quad may have.
constexpr int32_t DRAW_CLIP_MAX = 9;

// Takes fb_width, fb_height and fb_pixels. Without pixels (the frame buffer
// could not be made) the surface has no pixels and every rasterizer returns
// at once without drawing.
void draw_set_surface();
// The same for any pixel array (tests, benchmarks).
void draw_set_surface_to(uint16_t* pixels, int32_t width, int32_t height);
const RasterSurface* draw_surface();

void draw_flat_triangle(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                        uint16_t colour);
void draw_flat_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                    const ScreenVertex* v3, uint16_t colour);
void draw_marker(int32_t entry, const ScreenVertex* v);
void draw_rect_outline(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t colour);
// Clips a polygon of n (up to 4) vertices to the surface, columns first; out
// needs room for DRAW_CLIP_MAX vertices. Returns the number of vertices in out.
int32_t draw_clip_polygon(const ScreenVertex* const* in, int32_t n, ClipVertex* out);
int32_t draw_top_vertex(const ClipVertex* v, int32_t m);
// Fills count pixels from p (none when count <= 0).
void draw_fill_span(uint16_t* p, int32_t count, uint16_t colour);

// Whether (x, y) lies on the surface (never without one: its last column and
// row are -1 then, which the unsigned comparisons would take as the largest).
inline bool draw_on_surface(int32_t x, int32_t y) {
    const RasterSurface* s = draw_surface();
    return s->pixels != nullptr && static_cast<uint32_t>(x) <= static_cast<uint32_t>(s->max_x) &&
           static_cast<uint32_t>(y) <= static_cast<uint32_t>(s->max_y);
}

// Whether all n vertices lie on the surface (none do without one).
inline bool draw_poly_on_surface(const ScreenVertex* const* v, int32_t n) {
    const RasterSurface* s = draw_surface();
    const uint32_t max_x = static_cast<uint32_t>(s->max_x);
    const uint32_t max_y = static_cast<uint32_t>(s->max_y);
    bool inside = s->pixels != nullptr;
    for (int32_t i = 0; i < n; i++) {
        inside = inside && static_cast<uint32_t>(v[i]->x) <= max_x &&
                 static_cast<uint32_t>(v[i]->y) <= max_y;
    }
    return inside;
}

// A polygon that lies on the surface comes out of the two clipping passes
// turned by one vertex per pass: out[i] = in[(i + 2) mod n], so in[i] ends up
// at out[draw_turned_place(i, n)].
inline int32_t draw_turned_place(int32_t i, int32_t n) {
    int32_t place = i - 2;
    while (place < 0) place += n;
    return place;
}

template <class Vertex>
void draw_turn_inside(const Vertex* in, int32_t n, Vertex* out) {
    // Triangles and quads spelled out: they are nearly every polygon drawn.
    if (n == 3) {
        out[0] = in[2];
        out[1] = in[0];
        out[2] = in[1];
        return;
    }
    if (n == 4) {
        out[0] = in[2];
        out[1] = in[3];
        out[2] = in[0];
        out[3] = in[1];
        return;
    }
    for (int32_t i = 0; i < n; i++) out[draw_turned_place(i, n)] = in[i];
}

// D(d): the widened divisor of edge slopes, never zero. A difference of
// far-off screen coordinates may be at the end of the range and wraps.
inline int32_t draw_widen(int32_t d) {
    return d >= 0 ? wrap_add(d, 1) : wrap_sub(d, 1);
}

// A span that starts at column x and covers count pixels, confined to the
// columns 0..width-1. Interpolation runs as if every pixel were written, so
// `skip` pixels at the left are stepped over without writing.
struct SpanRange {
    int32_t first;  // first column written
    int32_t count;  // pixels written (<= 0: none)
    int32_t skip;   // pixels of the span left of `first`
};
// Whether count (> 0) pixels from column x all lie on a row of `width`: the
// span needs no confining.
inline bool draw_span_on_row(int32_t x, int32_t count, int32_t width) {
    return x >= 0 && count <= width - x;
}
inline SpanRange draw_confine_span(int32_t x, int32_t count, int32_t width) {
    int64_t first = x;
    int64_t end = static_cast<int64_t>(x) + count;
    if (first < 0) first = 0;
    if (end > width) end = width;
    SpanRange r;
    r.first = static_cast<int32_t>(first);
    r.count = end > first ? static_cast<int32_t>(end - first) : 0;
    r.skip = static_cast<int32_t>(first - x);
    return r;
}
