// Flat-filled triangles and quads (types 3 and 4), the rectangle outline and
// the marker box (type 81).
#include <cstddef>
#include <cstdint>

#include "geometry/fixed.h"
#include "model/shapes.h"
#include "render/surface.h"

namespace {

// One side of the edge walk: from clipped vertex `start` towards `target`,
// moving through the outline by `step`; x advances by `slope` per row
// (8 fraction bits).
struct WalkSide {
    int32_t start;
    int32_t target;
    int32_t step;
    int32_t slope;
};

int32_t edge_slope(const ClipVertex* v, int32_t from, int32_t to) {
    return wrap_div(wrap_shl(wrap_sub(v[to].x, v[from].x), 8),
                    draw_widen(wrap_sub(v[to].y, v[from].y)));
}

WalkSide walk_side(const ClipVertex* v, int32_t m, int32_t start, int32_t step) {
    int32_t target = start + step;
    if (target >= m) target = 0;
    if (target < 0) target = m - 1;
    return WalkSide{start, target, step, edge_slope(v, start, target)};
}

uint16_t* row_pixels(const RasterSurface* s, int32_t row) {
    return s->pixels + static_cast<ptrdiff_t>(row) * s->width;
}

// Columns xl >> 8 up to, not including, xr >> 8, written only where they lie
// on the surface.
void fill_row(const RasterSurface* s, int32_t row, int32_t xl, int32_t xr, uint16_t colour) {
    if (row < 0 || row > s->max_y) return;
    int32_t x = xl >> 8;
    SpanRange span = draw_confine_span(x, wrap_sub(xr >> 8, x), s->width);
    if (span.count > 0) draw_fill_span(row_pixels(s, row) + span.first, span.count, colour);
}

bool all_on_one_row(const ScreenVertex* const* v, int32_t n) {
    for (int32_t i = 1; i < n; i++) {
        if (v[i]->y != v[0]->y) return false;
    }
    return true;
}

// Clips the polygon and walks its two sides down from the top vertex, one
// vertex event at a time, filling each row between the left and right edge.
void fill_polygon(const ScreenVertex* const* in, int32_t n, uint16_t colour) {
    const RasterSurface* s = draw_surface();
    if (s->pixels == nullptr || all_on_one_row(in, n)) return;
    ClipVertex v[DRAW_CLIP_MAX];
    int32_t m = draw_clip_polygon(in, n, v);
    if (m - 1 <= 0) return;
    int32_t top = draw_top_vertex(v, m);
    WalkSide side[2] = {walk_side(v, m, top, 1), walk_side(v, m, top, -1)};
    // Which side is left is decided once for the whole polygon.
    const int32_t left = side[1].slope < side[0].slope ? 1 : 0;
    int32_t x[2] = {wrap_shl(v[top].x, 8), wrap_shl(v[top].x, 8)};
    int32_t row = v[top].y;
    for (int32_t event = 0; event < m - 1; event++) {
        const int32_t k = v[side[0].target].y > v[side[1].target].y ? 1 : 0;
        const int32_t target_y = v[side[k].target].y;
        if (row == target_y) {
            // A side that ends on the current row moves without a new row.
            fill_row(s, row, x[left], x[1 - left], colour);
            x[k] = wrap_add(x[k], side[k].slope);
        } else {
            for (; row <= target_y; row++) {
                fill_row(s, row, x[left], x[1 - left], colour);
                x[0] = wrap_add(x[0], side[0].slope);
                x[1] = wrap_add(x[1], side[1].slope);
            }
            if (v[side[1 - k].target].y == target_y) {
                side[1 - k] = walk_side(v, m, side[1 - k].target, side[1 - k].step);
            }
        }
        side[k] = walk_side(v, m, side[k].target, side[k].step);
    }
}

// Rows y0 .. y0 + count - 1 of one column.
void fill_column(const RasterSurface* s, int32_t x, int32_t y0, int32_t count, uint16_t colour) {
    for (int32_t row = y0; row < y0 + count; row++) row_pixels(s, row)[x] = colour;
}

// Length of an edge from `start` over `length` pixels that stays on a side
// of `size` pixels, starting at max(start, 0).
int64_t clipped_length(int32_t start, int32_t length, int32_t size) {
    int64_t first = start < 0 ? 0 : start;
    if (first + length > size) return size - first;
    if (start < 0) return static_cast<int64_t>(length) + start;
    return length;
}

}  // namespace

void draw_flat_triangle(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                        uint16_t colour) {
    const ScreenVertex* v[3] = {v0, v1, v2};
    fill_polygon(v, 3, colour);
}

void draw_flat_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                    const ScreenVertex* v3, uint16_t colour) {
    const ScreenVertex* v[4] = {v0, v1, v2, v3};
    fill_polygon(v, 4, colour);
}

void draw_rect_outline(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t colour) {
    const RasterSurface* s = draw_surface();
    if (s->pixels == nullptr) return;
    // Sums in 64 bits, so that no edge wraps onto the surface.
    const int64_t width = clipped_length(x, w, s->width);
    const int32_t x0 = x < 0 ? 0 : x;
    if (width > 0) {
        const int64_t rows[2] = {y, static_cast<int64_t>(y) + h};
        for (int64_t row : rows) {
            if (row >= 0 && row < s->height) {
                draw_fill_span(row_pixels(s, static_cast<int32_t>(row)) + x0,
                               static_cast<int32_t>(width), colour);
            }
        }
    }
    const int64_t height = clipped_length(y, h, s->height);
    const int32_t y0 = y < 0 ? 0 : y;
    if (height > 0) {
        const int64_t columns[2] = {x, static_cast<int64_t>(x) + w};
        for (int64_t column : columns) {
            if (column >= 0 && column < s->width) {
                fill_column(s, static_cast<int32_t>(column), y0, static_cast<int32_t>(height),
                            colour);
            }
        }
    }
}

void draw_marker(int32_t entry, const ScreenVertex* v) {
    // Only entries a client has cleared to 0 show their markers.
    const int32_t* marker = shape_marker_entry(entry);
    if (marker == nullptr || marker[0] != 0) return;
    draw_rect_outline(v->x, v->y, MARKER_SIZE, MARKER_SIZE, 0x7FFF);
}
