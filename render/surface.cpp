#include "render/surface.h"

#include <cstring>

#include "raster/simd.h"
#include "shell/fbinfo.h"

namespace {

RasterSurface surface = {0, 0, -1, -1, nullptr};

}  // namespace

void draw_set_surface() {
    draw_set_surface_to(fb_pixels(), fb_width(), fb_height());
}

void draw_set_surface_to(uint16_t* pixels, int32_t width, int32_t height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        // No surface: every rasterizer draws nothing.
        surface = RasterSurface{0, 0, -1, -1, nullptr};
        return;
    }
    surface = RasterSurface{width, height, width - 1, height - 1, pixels};
}

const RasterSurface* draw_surface() {
    return &surface;
}

namespace {

constexpr int32_t CLIP_MAX_INPUT = 4;
constexpr int32_t CLIP_WORK_SIZE = 15;

// One clipping pass: against the columns, or against the rows with the
// coordinates exchanged. `size` is W or H, `max` the last column or row.
struct ClipAxis {
    bool rows;
    int32_t size;
    int32_t max;
};

int32_t along(const ClipVertex& v, const ClipAxis& axis) {
    return axis.rows ? v.y : v.x;
}

int32_t across(const ClipVertex& v, const ClipAxis& axis) {
    return axis.rows ? v.x : v.y;
}

ClipVertex make_vertex(int32_t along_value, int32_t across_value, const ClipAxis& axis) {
    if (axis.rows) return ClipVertex{across_value, along_value};
    return ClipVertex{along_value, across_value};
}

// Below 0 or above the maximum, in one unsigned comparison.
bool outside(const ClipVertex& v, const ClipAxis& axis) {
    return static_cast<uint32_t>(along(v, axis)) > static_cast<uint32_t>(axis.max);
}

// The column pass compares only the clipped coordinate, the row pass both.
bool same(const ClipVertex& a, const ClipVertex& b, const ClipAxis& axis) {
    if (!axis.rows) return a.x == b.x;
    return a.x == b.x && a.y == b.y;
}

// Where the edge between `in` (inside) and `out` crosses the border that `out`
// lies beyond. The far crossing is computed at W (or H) and placed at the
// maximum; the row pass widens its divisor so that it is never 0.
ClipVertex crossing(const ClipVertex& out, const ClipVertex& in, const ClipAxis& axis) {
    int32_t difference = wrap_sub(along(in, axis), along(out, axis));
    int32_t divisor = axis.rows ? draw_widen(difference) : difference;
    int32_t slope =
        wrap_div(wrap_shl(wrap_sub(across(in, axis), across(out, axis)), 8), divisor);
    int32_t a = along(out, axis);
    if (a < 0) {
        return make_vertex(0, wrap_add(across(out, axis), wrap_neg(wrap_mul(a, slope)) >> 8),
                           axis);
    }
    return make_vertex(
        axis.max, wrap_add(across(out, axis), wrap_mul(wrap_sub(axis.size, a), slope) >> 8),
        axis);
}

int32_t clip_pass(const ClipVertex* in, int32_t n, ClipVertex* out, int32_t capacity,
                  const ClipAxis& axis) {
    int32_t m = 0;
    auto emit = [&](const ClipVertex& v) {
        if (m < capacity) out[m++] = v;
    };
    for (int32_t k = 0; k < n; k++) {
        const ClipVertex& a = in[k];
        const ClipVertex& b = in[k + 1 < n ? k + 1 : 0];
        bool a_out = outside(a, axis);
        bool b_out = outside(b, axis);
        if (!a_out && !b_out) {
            emit(b);
        } else if (a_out && !b_out) {
            ClipVertex i = crossing(a, b, axis);
            if (!same(i, b, axis)) emit(i);
            emit(b);
        } else if (!a_out) {
            ClipVertex i = crossing(b, a, axis);
            if (!same(i, a, axis)) emit(i);
        }
        // Both ends outside, even on opposite sides: no vertex.
    }
    return m;
}

}  // namespace

int32_t draw_clip_polygon(const ScreenVertex* const* in, int32_t n, ClipVertex* out) {
    if (surface.pixels == nullptr || n < 0 || n > CLIP_MAX_INPUT) return 0;
    ClipVertex source[CLIP_MAX_INPUT];
    for (int32_t i = 0; i < n; i++) source[i] = ClipVertex{in[i]->x, in[i]->y};
    if (draw_poly_on_surface(in, n)) {
        draw_turn_inside(source, n, out);
        return n;
    }
    ClipVertex work[CLIP_WORK_SIZE];
    int32_t m = clip_pass(source, n, work, CLIP_WORK_SIZE,
                          ClipAxis{false, surface.width, surface.max_x});
    return clip_pass(work, m, out, DRAW_CLIP_MAX, ClipAxis{true, surface.height, surface.max_y});
}

int32_t draw_top_vertex(const ClipVertex* v, int32_t m) {
    int32_t top = 0;
    for (int32_t i = 1; i < m; i++) {
        if (v[i].y < v[top].y) top = i;
    }
    return top;
}

#if RASTER_SIMD
namespace {

SIMD_AVX2 void fill_run(uint16_t* p, int32_t count, uint16_t colour) {
    simd::fill_run(p, count, _mm256_set1_epi16(static_cast<short>(colour)));
}

}  // namespace
#endif

void draw_fill_span(uint16_t* p, int32_t count, uint16_t colour) {
#if RASTER_SIMD
    if (count >= 16 && simd_enabled()) {
        fill_run(p, count, colour);
        return;
    }
#endif
    const uint32_t pair = colour | static_cast<uint32_t>(colour) << 16;
    for (; count >= 2; count -= 2, p += 2) std::memcpy(p, &pair, sizeof pair);
    if (count == 1) *p = colour;
}
