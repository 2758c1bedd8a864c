#include "render/gouraud.h"

#include <cstddef>
#include <cstring>

#include "raster/simd.h"
#include "render/surface.h"

namespace {

using GouraudSpan = void (*)(uint16_t*, int32_t, int32_t, const int32_t*, const int32_t*);
using GouraudDriver = void (*)(const ScreenVertex* const*, const Vec4* const*, int32_t);

// Screen coordinates and colours may be anything a file or a projection near
// the camera produced, so all of this arithmetic wraps.
int32_t edge_slope(int32_t from, int32_t to, int32_t divisor) {
    return wrap_div(wrap_shl(wrap_sub(to, from), 8), divisor);
}

// A value at the border: `reach` steps of the clipped coordinate away from the
// outside end, along the slope between the two ends.
int32_t cross_value(int32_t outside, int32_t inside, int32_t divisor, int32_t reach) {
    return wrap_add(outside, wrap_mul(reach, edge_slope(outside, inside, divisor)) >> 8);
}

// Where the edge from `outside` to `inside` crosses the columns (or rows) of
// the surface. The far crossing is measured to W (H) but placed on max_x
// (max_y).
GouraudVertex clip_crossing(const GouraudVertex& outside, const GouraudVertex& inside,
                            bool rows) {
    const RasterSurface* s = draw_surface();
    int32_t p_out = rows ? outside.y : outside.x;
    int32_t p_in = rows ? inside.y : inside.x;
    int32_t divisor = draw_widen(wrap_sub(p_in, p_out));
    bool at_near_border = p_out < 0;
    int32_t reach = at_near_border ? wrap_neg(p_out) : wrap_sub(rows ? s->height : s->width, p_out);
    int32_t placed = at_near_border ? 0 : (rows ? s->max_y : s->max_x);
    GouraudVertex crossing;
    if (rows) {
        crossing.x = cross_value(outside.x, inside.x, divisor, reach);
        crossing.y = placed;
    } else {
        crossing.x = placed;
        crossing.y = cross_value(outside.y, inside.y, divisor, reach);
    }
    for (int i = 0; i < 3; ++i) {
        crossing.c[i] = cross_value(outside.c[i], inside.c[i], divisor, reach);
    }
    return crossing;
}

bool same_position(const GouraudVertex& a, const GouraudVertex& b) {
    return a.x == b.x && a.y == b.y;
}

// One pass over the closed outline. Only an edge entering the surface adds a
// vertex, and at most every other edge enters: 4 vertices become at most 6,
// then 9.
int32_t clip_pass(const GouraudVertex* in, int32_t n, bool rows, GouraudVertex* out) {
    const RasterSurface* s = draw_surface();
    // Negative coordinates read as unsigned lie beyond the limit too.
    uint32_t limit = static_cast<uint32_t>(rows ? s->max_y : s->max_x);
    int32_t m = 0;
    for (int32_t k = 0; k < n; ++k) {
        const GouraudVertex& a = in[k];
        const GouraudVertex& b = in[k + 1 < n ? k + 1 : 0];
        bool a_out = static_cast<uint32_t>(rows ? a.y : a.x) > limit;
        bool b_out = static_cast<uint32_t>(rows ? b.y : b.x) > limit;
        if (!a_out && !b_out) {
            out[m++] = b;
        } else if (a_out && !b_out) {
            GouraudVertex crossing = clip_crossing(a, b, rows);
            if (rows) {
                out[m++] = crossing;
                if (!same_position(crossing, b)) out[m++] = b;
            } else if (crossing.x != b.x) {
                out[m++] = crossing;
                out[m++] = b;
            } else {
                // b lies on the border: one vertex, the crossing only where it meets b.
                out[m++] = crossing.y == b.y ? crossing : b;
            }
        } else if (!a_out && b_out) {
            GouraudVertex crossing = clip_crossing(b, a, rows);
            bool repeats_a = rows ? same_position(crossing, a) : crossing.x == a.x;
            if (!repeats_a) out[m++] = crossing;
        }
    }
    return m;
}

// One side of the edge walk: x and the three colours with 8 fraction bits.
struct EdgeSide {
    int32_t target;
    int32_t direction;
    int32_t value[4];
    int32_t slope[4];
};

// The side moves on to its next vertex; its values carry on from where they are.
void move_on(EdgeSide* side, const GouraudVertex* p, int32_t m) {
    int32_t from = side->target;
    int32_t to = from + side->direction;
    if (to >= m) to = 0;
    if (to < 0) to = m - 1;
    side->target = to;
    const GouraudVertex& a = p[from];
    const GouraudVertex& b = p[to];
    int32_t divisor = draw_widen(b.y - a.y);
    side->slope[0] = edge_slope(a.x, b.x, divisor);
    for (int i = 0; i < 3; ++i) side->slope[i + 1] = edge_slope(a.c[i], b.c[i], divisor);
}

void step_side(EdgeSide* side) {
    for (int i = 0; i < 4; ++i) side->value[i] = wrap_add(side->value[i], side->slope[i]);
}

// Both families: clip, then walk the two sides down from the top vertex,
// one span per row.
void walk_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n,
                  GouraudSpan span) {
    const RasterSurface* s = draw_surface();
    if (s->pixels == nullptr) return;
    GouraudVertex p[GOURAUD_MAX_VERTICES];
    int32_t m = draw_clip_gouraud(v, c, p, n);
    if (m < 2) return;

    int32_t top = 0;
    for (int32_t i = 1; i < m; ++i) {
        if (p[i].y < p[top].y) top = i;
    }
    EdgeSide sides[2];
    for (int k = 0; k < 2; ++k) {
        sides[k].target = top;
        sides[k].direction = k == 0 ? 1 : -1;
        sides[k].value[0] = wrap_shl(p[top].x, 8);
        for (int i = 0; i < 3; ++i) sides[k].value[i + 1] = wrap_shl(p[top].c[i], 8);
        move_on(&sides[k], p, m);
    }
    bool left_is_1 = sides[1].slope[0] < sides[0].slope[0];
    const EdgeSide& left = sides[left_is_1 ? 1 : 0];
    const EdgeSide& right = sides[left_is_1 ? 0 : 1];

    // Clipped vertices lie on rows 0..max_y, so every row filled does too.
    int32_t row = p[top].y;
    uint16_t* row_pixels = s->pixels + static_cast<ptrdiff_t>(row) * s->width;
    auto fill_row = [&]() {
        int32_t x = left.value[0] >> 8;
        span(row_pixels, x, wrap_sub(right.value[0] >> 8, x), &left.value[1],
             &right.value[1]);
    };
    for (int32_t event = 1; event < m; ++event) {
        int k = p[sides[0].target].y > p[sides[1].target].y ? 1 : 0;
        int32_t target_y = p[sides[k].target].y;
        if (row == target_y) {
            fill_row();
            step_side(&sides[k]);
        } else {
            for (; row <= target_y; ++row) {
                fill_row();
                step_side(&sides[0]);
                step_side(&sides[1]);
                row_pixels += s->width;
            }
            if (p[sides[1 - k].target].y == target_y) move_on(&sides[1 - k], p, m);
        }
        move_on(&sides[k], p, m);
    }
}

void draw_unless_flat(const ScreenVertex* const* v, const Vec4* const* c, int32_t n,
                      GouraudDriver driver) {
    for (int32_t i = 1; i < n; ++i) {
        if (v[i]->y != v[0]->y) {
            driver(v, c, n);
            return;
        }
    }
}

// Channel accumulators of a span are unsigned so that they wrap. Pixels left
// of the surface are stepped over as if they had been drawn.
void skip_pixels(uint32_t* value, const uint32_t* step, int32_t skip) {
    for (int i = 0; i < 3; ++i) value[i] += static_cast<uint32_t>(skip) * step[i];
}

// The four top bits of each 8-bit channel in the upper four bits of its field.
inline uint32_t add_source(uint32_t red, uint32_t green, uint32_t blue) {
    return ((red & 0x78000000u) | (green & 0x03C00000u) | (blue & 0x001E0000u)) >> 16;
}

// Adds one pixel (or two in one word) field by field. With the lowest bit of
// every destination field dropped a field's sum fits in six bits; a carry
// turns its field into 31 and stays in the lowest bit of the next field.
inline uint32_t add_saturate(uint32_t dest, uint32_t source, uint32_t fields,
                             uint32_t carry_bits) {
    uint32_t sum = (dest & fields) + source;
    uint32_t carries = sum & carry_bits;
    return sum | (carries - (carries >> 5));
}

constexpr uint32_t ADD_FIELDS = 0x7BDEu;
constexpr uint32_t ADD_CARRIES = 0x8420u;
constexpr uint32_t ADD_PAIR_FIELDS = 0x7BDE7BDEu;
constexpr uint32_t ADD_PAIR_CARRIES = 0x84208420u;
constexpr int ADD_SHIFT[3] = {15, 10, 5};

#if RASTER_SIMD
// Eight pixels of a span at a time: the three channels of eight pixels.
template <bool Additive>
struct GouraudKernel {
    static constexpr bool reads_pixels = Additive;
    simd::SpanValues values;  // red, green, blue
    __m256i channel[3], step8[3];

    SIMD_AVX2 void restart(int32_t pixels) {
        for (int i = 0; i < 3; i++) {
            channel[i] = simd::value_lanes(values, i, pixels);
            step8[i] = simd::value_step8(values, i);
        }
    }
    SIMD_AVX2 __m256i next(const uint16_t* p) {
        __m256i pixels;
        if (Additive) {
            const __m256i source = _mm256_srli_epi32(
                _mm256_or_si256(
                    _mm256_or_si256(
                        _mm256_and_si256(channel[0], _mm256_set1_epi32(0x78000000)),
                        _mm256_and_si256(channel[1], _mm256_set1_epi32(0x03C00000))),
                    _mm256_and_si256(channel[2], _mm256_set1_epi32(0x001E0000))),
                16);
            pixels = simd::add_saturate(simd::load8(p), source);
        } else {
            pixels = _mm256_or_si256(
                _mm256_or_si256(
                    _mm256_and_si256(channel[0], _mm256_set1_epi32(0x7C00)),
                    _mm256_and_si256(_mm256_srli_epi32(channel[1], 5), _mm256_set1_epi32(0x03E0))),
                _mm256_and_si256(_mm256_srli_epi32(channel[2], 10), _mm256_set1_epi32(0x001F)));
        }
        for (int i = 0; i < 3; i++) channel[i] = _mm256_add_epi32(channel[i], step8[i]);
        return pixels;
    }
};

// n pixels from p of a span of count pixels whose first `skip` are not drawn.
// Plain: value cl >> 1, step ((cr - cl) >> 1) / count; additive: value cl << s,
// step ((cr - cl) << s) / count, with s = 15, 10, 5.
template <bool Additive>
SIMD_AVX2 void gouraud_run(uint16_t* p, int32_t n, int32_t count, int32_t skip,
                           const int32_t* left, const int32_t* right) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i scale = _mm256_setr_epi32(15, 10, 5, 0, 0, 0, 0, 0);
    const __m256i halve = _mm256_setr_epi32(1, 1, 1, 0, 0, 0, 0, 0);
    GouraudKernel<Additive> kernel;
    kernel.values = simd::span_values<false>(
        simd::three_values(left), simd::three_values(right), count, skip,
        Additive ? scale : zero, Additive ? zero : halve, zero, Additive ? scale : zero,
        Additive ? zero : halve);
    kernel.restart(0);
    simd::run8(p, n, kernel);
}
#endif

}  // namespace

void draw_gouraud_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                           const Vec4* c2) {
    const ScreenVertex* v[] = {v0, v1, v2};
    const Vec4* c[] = {c0, c1, c2};
    draw_unless_flat(v, c, 3, draw_gouraud_polygon);
}

void draw_gouraud_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* c0, const Vec4* c1, const Vec4* c2,
                       const Vec4* c3) {
    const ScreenVertex* v[] = {v0, v1, v2, v3};
    const Vec4* c[] = {c0, c1, c2, c3};
    draw_unless_flat(v, c, 4, draw_gouraud_polygon);
}

void draw_gouraud_add_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                               const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                               const Vec4* c2) {
    const ScreenVertex* v[] = {v0, v1, v2};
    const Vec4* c[] = {c0, c1, c2};
    draw_unless_flat(v, c, 3, draw_gouraud_add_polygon);
}

void draw_gouraud_add_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                           const Vec4* c1, const Vec4* c2, const Vec4* c3) {
    const ScreenVertex* v[] = {v0, v1, v2, v3};
    const Vec4* c[] = {c0, c1, c2, c3};
    draw_unless_flat(v, c, 4, draw_gouraud_add_polygon);
}

void draw_gouraud_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    walk_polygon(v, c, n, draw_gouraud_span);
}

void draw_gouraud_add_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    walk_polygon(v, c, n, draw_gouraud_add_span);
}

int32_t draw_clip_gouraud(const ScreenVertex* const* v, const Vec4* const* c,
                          GouraudVertex* out, int32_t n) {
    if (draw_surface()->pixels == nullptr || n < 1 || n > GOURAUD_MAX_INPUT) return 0;
    GouraudVertex input[GOURAUD_MAX_INPUT];
    bool inside = true;
    for (int32_t i = 0; i < n; ++i) {
        input[i] = GouraudVertex{v[i]->x, v[i]->y, {c[i]->x, c[i]->y, c[i]->z}};
        inside = inside && draw_on_surface(v[i]->x, v[i]->y);
    }
    if (inside) {
        // Each pass emits every edge's end: the outline comes out turned by
        // one vertex per pass.
        for (int32_t i = 0; i < n; ++i) out[i] = input[(i + 2) % n];
        return n;
    }
    GouraudVertex columns[GOURAUD_MAX_VERTICES];
    int32_t m = clip_pass(input, n, false, columns);
    return clip_pass(columns, m, true, out);
}

void draw_clip_gouraud_row(const GouraudVertex* outside, const GouraudVertex* inside,
                           GouraudVertex* out) {
    *out = clip_crossing(*outside, *inside, true);
}

void draw_gouraud_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                       const int32_t* right) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, draw_surface()->width);
    if (range.count <= 0) return;
    uint16_t* p = row + range.first;
#if RASTER_SIMD
    if (range.count >= 2 && simd_enabled()) {
        gouraud_run<false>(p, range.count, count, range.skip, left, right);
        return;
    }
#endif
    // Colour with 7 fraction bits: the top five bits of a channel sit at 10..14.
    uint32_t value[3];
    uint32_t step[3];
    for (int i = 0; i < 3; ++i) {
        value[i] = static_cast<uint32_t>(left[i] >> 1);
        step[i] = static_cast<uint32_t>((wrap_sub(right[i], left[i]) >> 1) / count);
    }
    skip_pixels(value, step, range.skip);
    uint32_t red = value[0], green = value[1], blue = value[2];
    for (int32_t i = 0; i < range.count; ++i) {
        p[i] = static_cast<uint16_t>((red & 0x7C00u) | ((green >> 5) & 0x03E0u) |
                                     ((blue >> 10) & 0x001Fu));
        red += step[0];
        green += step[1];
        blue += step[2];
    }
}

void draw_gouraud_add_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                           const int32_t* right) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, draw_surface()->width);
    if (range.count <= 0) return;
    uint16_t* p = row + range.first;
#if RASTER_SIMD
    if (range.count >= 2 && simd_enabled()) {
        gouraud_run<true>(p, range.count, count, range.skip, left, right);
        return;
    }
#endif
    // Each channel scaled so that its top four bits lie where add_source takes them.
    uint32_t value[3];
    uint32_t step[3];
    for (int i = 0; i < 3; ++i) {
        value[i] = static_cast<uint32_t>(wrap_shl(left[i], ADD_SHIFT[i]));
        step[i] = static_cast<uint32_t>(
            wrap_shl(wrap_sub(right[i], left[i]), ADD_SHIFT[i]) / count);
    }
    skip_pixels(value, step, range.skip);
    uint32_t red = value[0], green = value[1], blue = value[2];
    // Two pixels per word, the first in the low half (little-endian); the
    // halves never carry into each other.
    for (int32_t pairs = range.count >> 1; pairs > 0; --pairs) {
        uint32_t source = add_source(red, green, blue);
        red += step[0];
        green += step[1];
        blue += step[2];
        source |= add_source(red, green, blue) << 16;
        red += step[0];
        green += step[1];
        blue += step[2];
        uint32_t dest;
        std::memcpy(&dest, p, sizeof dest);
        dest = add_saturate(dest, source, ADD_PAIR_FIELDS, ADD_PAIR_CARRIES);
        std::memcpy(p, &dest, sizeof dest);
        p += 2;
    }
    if (range.count & 1) {
        *p = static_cast<uint16_t>(
            add_saturate(*p, add_source(red, green, blue), ADD_FIELDS, ADD_CARRIES));
    }
}
