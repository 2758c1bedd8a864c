// Flat-filled triangles and quads (types 3 and 4), the rectangle outline and
// the marker box (type 81).
#include <cstddef>
#include <cstdint>

#include "geometry/fixed.h"
#include "model/shapes.h"
#include "raster/polyscan.h"
#include "raster/simd.h"
#include "render/surface.h"

namespace {

uint16_t* row_pixels(const RasterSurface* s, int32_t row) {
    return s->pixels + static_cast<ptrdiff_t>(row) * s->width;
}

#if RASTER_SIMD
// Sixteen pixels of one colour.
struct FillBlock {
    static constexpr bool reads_pixels = false;
    __m256i colour;
    SIMD_AVX2 bool next(uint16_t*, __m256i, int32_t, __m256i* pixels) const {
        *pixels = colour;
        return true;
    }
};

// A span of one colour: long ones in whole stores, the last overlapping (no
// pixel past the span is read); short ones as one block.
struct FillKernel {
    static constexpr bool READS_PIXELS = FillBlock::reads_pixels;
    __m256i colour;
    simd::PixelWindow window;
    SIMD_AVX2 void draw(uint16_t* p, int32_t n, const simd::SpanRow&) const {
        if (n >= 16) {
            simd::fill_run(p, n, colour);
            return;
        }
        FillBlock block{colour};
        simd::run16(p, n, window, block);
    }
};

// The walker inlined whole: a small flat polygon's set-up costs about as much
// as its rows, and the calls between the walker's steps are a good part of it.
SIMD_AVX2 __attribute__((flatten)) void fill_simd(const EdgePoint<0>* v, int32_t m,
                                                  uint16_t colour) {
    const FillKernel kernel{_mm256_set1_epi16(static_cast<short>(colour)), surface_window()};
    scan_poly_simd(v, m, kernel);
}
#endif

// Clips the polygon and walks its two sides down from the top vertex,
// filling each row between the left and right edge.
void fill_polygon(const ScreenVertex* const* in, int32_t n, uint16_t colour) {
    const RasterSurface* s = draw_surface();
    if (s->pixels == nullptr || poly_on_one_row(in, n)) return;
    ClipVertex clipped[DRAW_CLIP_MAX];
    const int32_t m = draw_clip_polygon(in, n, clipped);
    EdgePoint<0> v[DRAW_CLIP_MAX];
    for (int32_t i = 0; i < m; i++) store_quarter(v[i].c, clipped[i].x, clipped[i].y, 0, 0);
#if RASTER_SIMD
    if (simd_enabled()) {
        fill_simd(v, m, colour);
        return;
    }
#endif
    // Columns xl >> 8 up to, not including, xr >> 8, written only where they
    // lie on the surface.
    scan_poly_plain(v, m, [&](uint16_t* row, const int32_t* left, const int32_t* right) {
        const int32_t x = left[0] >> 8;
        const SpanRange span = draw_confine_span(x, wrap_sub(right[0] >> 8, x), s->width);
        if (span.count > 0) draw_fill_span(row + span.first, span.count, colour);
    });
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
