#include "render/gouraud.h"

#include <cstring>

#include "raster/polyscan.h"
#include "raster/simd.h"
#include "render/surface.h"

namespace {

// Walked after x: red, green, blue.
constexpr int GOURAUD_VALUES = 3;
using GouraudPoint = EdgePoint<GOURAUD_VALUES>;

GouraudPoint edge_point(const GouraudVertex& v) {
    return GouraudPoint{{v.x, v.y, v.c[0], v.c[1], v.c[2]}};
}

GouraudVertex gouraud_vertex(const GouraudPoint& p) {
    return GouraudVertex{p.c[0], p.c[1], {p.c[2], p.c[3], p.c[4]}};
}

// Screen coordinates and colours may be anything a file or a projection near
// the camera produced: the clipper's arithmetic wraps.
int32_t clip_gouraud(const ScreenVertex* const* v, const Vec4* const* c, int32_t n,
                     GouraudPoint* out) {
    if (draw_surface()->pixels == nullptr || n < 1 || n > GOURAUD_MAX_INPUT) return 0;
    return clip_poly(v, n, out, [&](int32_t i) {
        GouraudPoint p;
        store_quarter(p.c, v[i]->x, v[i]->y, c[i]->x, c[i]->y);
        store_quarter(p.c + 4, c[i]->z, 0, 0, 0);
        return p;
    });
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

// n pixels from p of a span of count pixels whose first `skip` are not drawn;
// left and right hold red, green and blue as the edges accumulate them.
void plain_span(uint16_t* p, int32_t n, int32_t count, int32_t skip, const int32_t* left,
                const int32_t* right) {
    // Colour with 7 fraction bits: the top five bits of a channel sit at 10..14.
    uint32_t value[3];
    uint32_t step[3];
    for (int i = 0; i < 3; ++i) {
        value[i] = static_cast<uint32_t>(left[i] >> 1);
        step[i] = static_cast<uint32_t>((wrap_sub(right[i], left[i]) >> 1) / count);
    }
    skip_pixels(value, step, skip);
    uint32_t red = value[0], green = value[1], blue = value[2];
    for (int32_t i = 0; i < n; ++i) {
        p[i] = static_cast<uint16_t>((red & 0x7C00u) | ((green >> 5) & 0x03E0u) |
                                     ((blue >> 10) & 0x001Fu));
        red += step[0];
        green += step[1];
        blue += step[2];
    }
}

void add_span(uint16_t* p, int32_t n, int32_t count, int32_t skip, const int32_t* left,
              const int32_t* right) {
    // Each channel scaled so that its top four bits lie where add_source takes them.
    uint32_t value[3];
    uint32_t step[3];
    for (int i = 0; i < 3; ++i) {
        value[i] = static_cast<uint32_t>(wrap_shl(left[i], ADD_SHIFT[i]));
        step[i] = static_cast<uint32_t>(
            wrap_shl(wrap_sub(right[i], left[i]), ADD_SHIFT[i]) / count);
    }
    skip_pixels(value, step, skip);
    uint32_t red = value[0], green = value[1], blue = value[2];
    // Two pixels per word, the first in the low half (little-endian); the
    // halves never carry into each other.
    for (int32_t pairs = n >> 1; pairs > 0; --pairs) {
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
    if (n & 1) {
        *p = static_cast<uint16_t>(
            add_saturate(*p, add_source(red, green, blue), ADD_FIELDS, ADD_CARRIES));
    }
}

using SpanRun = void (*)(uint16_t*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*);

// The span of count pixels from column x of row, confined to the surface.
void confined_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                   const int32_t* right, SpanRun run) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, draw_surface()->width);
    if (range.count > 0) run(row + range.first, range.count, count, range.skip, left, right);
}

#if RASTER_SIMD
// Sixteen pixels of a plain span: each channel's value carries 7 fraction
// bits, and the pixel takes bits 10..14 of each.
struct PlainBlock {
    static constexpr bool reads_pixels = false;
    simd::Lanes16<3> colour;

    SIMD_AVX2 bool next(uint16_t*, __m256i, int32_t, __m256i* pixels) {
        *pixels = _mm256_or_si256(
            _mm256_or_si256(
                _mm256_and_si256(colour.value[0], _mm256_set1_epi16(0x7C00)),
                _mm256_and_si256(_mm256_srli_epi16(colour.value[1], 5), _mm256_set1_epi16(0x03E0))),
            _mm256_and_si256(_mm256_srli_epi16(colour.value[2], 10), _mm256_set1_epi16(0x001F)));
        colour.advance();
        return true;
    }
};

// Sixteen pixels of an additive span: the channels need all 32 bits.
struct AddBlock {
    static constexpr bool reads_pixels = true;
    simd::Lanes32<3> colour;

    SIMD_AVX2 static __m256i source(__m256i red, __m256i green, __m256i blue) {
        return _mm256_srli_epi32(
            _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(red, _mm256_set1_epi32(0x78000000)),
                                            _mm256_and_si256(green, _mm256_set1_epi32(0x03C00000))),
                            _mm256_and_si256(blue, _mm256_set1_epi32(0x001E0000))),
            16);
    }
    SIMD_AVX2 bool next(uint16_t*, __m256i under, int32_t, __m256i* pixels) {
        const __m256i low = source(colour.low[0], colour.low[1], colour.low[2]);
        const __m256i high = source(colour.high[0], colour.high[1], colour.high[2]);
        colour.advance();
        *pixels = simd::add_saturate(under, simd::pack_words(low, high));
        return true;
    }
};

// Spans of one polygon, or one span. Plain: value cl >> 1, step
// ((cr - cl) >> 1) / count; additive: value cl << s, step ((cr - cl) << s) /
// count, with s = 15, 10, 5.
template <bool Additive>
struct GouraudKernel {
    static constexpr bool READS_PIXELS =
        Additive ? AddBlock::reads_pixels : PlainBlock::reads_pixels;
    // The caller's: so small, the kernel is copied into registers for the rows.
    const simd::SpanShifts& shifts;
    simd::PixelWindow window;

    SIMD_AVX2 void draw(uint16_t* p, int32_t n, const simd::SpanRow& row) const {
        if (Additive) {
            AddBlock block{simd::lanes32<GOURAUD_VALUES>(row)};
            simd::run16(p, n, window, block);
        } else {
            PlainBlock block{simd::lanes16<GOURAUD_VALUES>(row)};
            simd::run16(p, n, window, block);
        }
    }
};

template <bool Additive>
SIMD_AVX2 simd::SpanShifts gouraud_shifts() {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i scale = _mm256_setr_epi32(15, 10, 5, 0, 0, 0, 0, 0);
    const __m256i halve = _mm256_setr_epi32(1, 1, 1, 0, 0, 0, 0, 0);
    return simd::SpanShifts{Additive ? scale : zero, Additive ? zero : halve, zero,
                            Additive ? scale : zero, Additive ? zero : halve};
}

template <bool Additive>
SIMD_AVX2 void gouraud_poly_simd(const GouraudPoint* clipped, int32_t m) {
    const simd::SpanShifts shifts = gouraud_shifts<Additive>();
    const GouraudKernel<Additive> kernel{shifts, surface_window()};
    scan_poly_simd(clipped, m, kernel);
}

// One span given as a row, a column and the colours.
template <bool Additive>
SIMD_AVX2 void gouraud_span_simd(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                                 const int32_t* right) {
    const RasterSurface* surface = draw_surface();
    const SpanRange range = draw_confine_span(x, count, surface->width);
    if (range.count <= 0) return;
    uint16_t* p = row + range.first;
    const simd::SpanShifts shifts = gouraud_shifts<Additive>();
    const GouraudKernel<Additive> kernel{shifts, simd::PixelWindow{p + range.count}};
    const __m256i l = _mm256_setr_epi32(0, 0, left[0], left[1], left[2], 0, 0, 0);
    const __m256i r = _mm256_setr_epi32(0, 0, right[0], right[1], right[2], 0, 0, 0);
    simd::draw_span<GOURAUD_VALUES>(kernel, p, range.count, count, range.skip, l, r);
}
#endif

// Both families: clip, then walk the two sides down from the top vertex,
// one span per row.
template <bool Additive>
void walk_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    GouraudPoint clipped[POLY_CAPACITY];
    const int32_t m = clip_gouraud(v, c, n, clipped);
#if RASTER_SIMD
    if (simd_enabled()) {
        gouraud_poly_simd<Additive>(clipped, m);
        return;
    }
#endif
    scan_poly_plain(clipped, m, [](uint16_t* row, const int32_t* left, const int32_t* right) {
        const int32_t x = left[0] >> 8;
        confined_span(row, x, wrap_sub(right[0] >> 8, x), left + 1, right + 1,
                      Additive ? add_span : plain_span);
    });
}

template <bool Additive>
void draw_unless_flat(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    if (!poly_on_one_row(v, n)) walk_polygon<Additive>(v, c, n);
}

template <bool Additive>
void span_at(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
             const int32_t* right) {
    if (count <= 0) return;
#if RASTER_SIMD
    if (simd_enabled()) {
        gouraud_span_simd<Additive>(row, x, count, left, right);
        return;
    }
#endif
    confined_span(row, x, count, left, right, Additive ? add_span : plain_span);
}

}  // namespace

void draw_gouraud_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                           const Vec4* c2) {
    const ScreenVertex* v[] = {v0, v1, v2};
    const Vec4* c[] = {c0, c1, c2};
    draw_unless_flat<false>(v, c, 3);
}

void draw_gouraud_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* c0, const Vec4* c1, const Vec4* c2,
                       const Vec4* c3) {
    const ScreenVertex* v[] = {v0, v1, v2, v3};
    const Vec4* c[] = {c0, c1, c2, c3};
    draw_unless_flat<false>(v, c, 4);
}

void draw_gouraud_add_triangle(const ScreenVertex* v0, const ScreenVertex* v1,
                               const ScreenVertex* v2, const Vec4* c0, const Vec4* c1,
                               const Vec4* c2) {
    const ScreenVertex* v[] = {v0, v1, v2};
    const Vec4* c[] = {c0, c1, c2};
    draw_unless_flat<true>(v, c, 3);
}

void draw_gouraud_add_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                           const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                           const Vec4* c1, const Vec4* c2, const Vec4* c3) {
    const ScreenVertex* v[] = {v0, v1, v2, v3};
    const Vec4* c[] = {c0, c1, c2, c3};
    draw_unless_flat<true>(v, c, 4);
}

void draw_gouraud_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    walk_polygon<false>(v, c, n);
}

void draw_gouraud_add_polygon(const ScreenVertex* const* v, const Vec4* const* c, int32_t n) {
    walk_polygon<true>(v, c, n);
}

int32_t draw_clip_gouraud(const ScreenVertex* const* v, const Vec4* const* c,
                          GouraudVertex* out, int32_t n) {
    GouraudPoint clipped[POLY_CAPACITY];
    const int32_t m = clip_gouraud(v, c, n, clipped);
    for (int32_t i = 0; i < m; ++i) out[i] = gouraud_vertex(clipped[i]);
    return m;
}

void draw_clip_gouraud_row(const GouraudVertex* outside, const GouraudVertex* inside,
                           GouraudVertex* out) {
    *out = gouraud_vertex(
        clip_crossing(edge_point(*outside), edge_point(*inside), 1, draw_surface()->height));
}

void draw_gouraud_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                       const int32_t* right) {
    span_at<false>(row, x, count, left, right);
}

void draw_gouraud_add_span(uint16_t* row, int32_t x, int32_t count, const int32_t* left,
                           const int32_t* right) {
    span_at<true>(row, x, count, left, right);
}
