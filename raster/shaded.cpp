#include "raster/shaded.h"

#include "model/shade.h"
#include "raster/polyscan.h"
#include "raster/simd.h"

namespace {

// Walked after x: u, v, red, green, blue.
constexpr int SHADED_VALUES = 5;
// Spans of at least this many pixels go through the eight-pixel kernel.
constexpr int32_t SHADED_KERNEL_MIN = 20;

// A colour channel across a span, held as colour x 128; the difference is
// shifted before it is divided.
struct ChannelWalk {
    uint32_t level, step;
};

inline ChannelWalk channel_walk(int32_t left, int32_t right, int32_t count, int32_t skip) {
    const int32_t step = (wrap_sub(right, left) >> 1) / count;
    return ChannelWalk{static_cast<uint32_t>(left >> 1) + static_cast<uint32_t>(skip) *
                                                               static_cast<uint32_t>(step),
                       static_cast<uint32_t>(step)};
}

// Offset of the ramp row for a channel level: ((level >> 10) AND 31) x 32.
inline uint32_t ramp_row(uint32_t level) {
    return (level >> 5) & 0x3E0;
}

#if RASTER_SIMD
// Ramp entries at eight offsets, each read within a 4-byte word that lies
// inside the ramp.
SIMD_AVX2 inline __m256i ramp_entries(const uint8_t* ramp, __m256i offset) {
    const __m256i word_start = _mm256_min_epu32(offset, _mm256_set1_epi32(RAMP_SIZE - 4));
    const __m256i word =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(ramp), word_start, 1);
    const __m256i shift = _mm256_slli_epi32(_mm256_sub_epi32(offset, word_start), 3);
    return _mm256_and_si256(_mm256_srlv_epi32(word, shift), _mm256_set1_epi32(0xFF));
}

// Ramp offset of a texel channel (5 bits at `shift`) at the level of its
// colour channel.
// Offset of the ramp row of each level: ((level >> 10) AND 31) x 32.
SIMD_AVX2 inline __m256i ramp_rows(__m256i level) {
    return _mm256_and_si256(_mm256_srli_epi32(level, 5), _mm256_set1_epi32(0x3E0));
}

// The texel channel (5 bits at `shift`) that picks the column.
SIMD_AVX2 inline __m256i ramp_columns(__m256i texel, int shift) {
    return _mm256_and_si256(_mm256_srli_epi32(texel, shift), _mm256_set1_epi32(31));
}

// Entries of one ramp row at eight columns (0..31), by byte shuffles of the
// row's two halves: no memory read per pixel.
SIMD_AVX2 inline __m256i row_entries(const uint8_t* ramp, int32_t row, __m256i column) {
    const __m256i low = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + row)));
    const __m256i high = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + row + 16)));
    // Column bit 4 moved to the top bit of the lane's low byte picks the high half.
    const __m256i picked = _mm256_blendv_epi8(_mm256_shuffle_epi8(low, column),
                                              _mm256_shuffle_epi8(high, column),
                                              _mm256_slli_epi32(column, 3));
    return _mm256_and_si256(picked, _mm256_set1_epi32(0xFF));
}

SIMD_AVX2 inline __m256i same_as_first(__m256i x) {
    return _mm256_cmpeq_epi32(x, _mm256_broadcastd_epi32(_mm256_castsi256_si128(x)));
}

struct ShadedKernel {
    static constexpr bool reads_pixels = false;
    simd::SpanValues values;  // u, v, red, green, blue
    const uint8_t* ramp;
    simd::TexLanes lanes;
    __m256i level[3], step[3];

    SIMD_AVX2 void restart(int32_t pixels) {
        simd::tex_coordinates(&lanes, values, pixels);
        for (int k = 0; k < 3; k++) {
            level[k] = simd::value_lanes(values, 2 + k, pixels);
            step[k] = simd::value_step8(values, 2 + k);
        }
    }
    // Texels of the next eight positions looked up in the ramp at the current
    // levels; the levels move on.
    SIMD_AVX2 __m256i next(const uint16_t*) {
        const __m256i texel = simd::next_texels(lanes);
        const __m256i row[3] = {ramp_rows(level[0]), ramp_rows(level[1]), ramp_rows(level[2])};
        const __m256i column[3] = {ramp_columns(texel, 10), ramp_columns(texel, 5),
                                   ramp_columns(texel, 0)};
        for (int k = 0; k < 3; k++) level[k] = _mm256_add_epi32(level[k], step[k]);
        __m256i entry[3];
        const __m256i one_row = _mm256_and_si256(
            _mm256_and_si256(same_as_first(row[0]), same_as_first(row[1])), same_as_first(row[2]));
        if (_mm256_movemask_epi8(one_row) == -1) {
            // Light changes slowly: mostly each channel stays on one row for eight pixels.
            for (int k = 0; k < 3; k++) {
                entry[k] = row_entries(ramp, _mm256_cvtsi256_si32(row[k]), column[k]);
            }
        } else {
            for (int k = 0; k < 3; k++) {
                entry[k] = ramp_entries(ramp, _mm256_add_epi32(row[k], column[k]));
            }
        }
        const __m256i red = entry[0], green = entry[1], blue = entry[2];
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi32(red, 10), _mm256_slli_epi32(green, 5)), blue);
    }
};

// n pixels from p of a span of count pixels whose first `skip` are not drawn;
// left and right hold u, v, red, green and blue as the edges accumulate them.
SIMD_AVX2 void shaded_run(uint16_t* p, int32_t n, int32_t count, int32_t skip,
                          const int32_t* left, const int32_t* right, int32_t width_shift,
                          int32_t height_shift, const TexAddress& a, const uint16_t* texels,
                          const uint8_t* ramp) {
    ShadedKernel kernel;
    kernel.values = simd::span_values<true>(
        simd::five_values(left), simd::five_values(right), count, skip,
        _mm256_setzero_si256(), _mm256_setr_epi32(0, 0, 1, 1, 1, 0, 0, 0),
        _mm256_setr_epi32(8 - width_shift, 8 - height_shift, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi32(width_shift, height_shift, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi32(8, 8, 1, 1, 1, 0, 0, 0));
    kernel.ramp = ramp;
    simd::tex_sampler(&kernel.lanes, a.u_mask, a.v_mask, a.v_shift, texels);
    kernel.restart(0);
    simd::run8(p, n, kernel);
}
#endif

// The span of count pixels that starts at column x of row, its writes
// confined to the columns 0..width-1. left and right hold u, v, red, green
// and blue as the edges accumulate them.
void shaded_span(uint16_t* row, int32_t x, int32_t count, int32_t width, const int32_t* left,
                 const int32_t* right, int32_t width_shift, int32_t height_shift,
                 const uint16_t* texels, const uint8_t* ramp) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, width);
    if (range.count <= 0) return;
    const TexAddress address = tex_address();
    uint16_t* p = row + range.first;
    const int32_t n = range.count;
#if RASTER_SIMD
    // Short spans are quicker in the plain loop: the kernel's set-up costs more
    // than it saves there.
    if (n >= SHADED_KERNEL_MIN && simd_enabled()) {
        shaded_run(p, n, count, range.skip, left, right, width_shift, height_shift, address,
                   texels, ramp);
        return;
    }
#endif
    ChannelWalk c[3] = {channel_walk(left[2], right[2], count, range.skip),
                        channel_walk(left[3], right[3], count, range.skip),
                        channel_walk(left[4], right[4], count, range.skip)};
    TexWalk w = tex_walk(left[0], left[1], right[0], right[1], width_shift, height_shift, count,
                         range.skip);
    ChannelWalk& r = c[0];
    ChannelWalk& g = c[1];
    ChannelWalk& b = c[2];
    for (int32_t i = 0; i < n; i++) {
        const uint32_t texel = texels[address.index(w.u, w.v)];
        p[i] = static_cast<uint16_t>((ramp[ramp_row(r.level) + ((texel >> 10) & 31)] << 10) |
                                     (ramp[ramp_row(g.level) + ((texel >> 5) & 31)] << 5) |
                                     ramp[ramp_row(b.level) + (texel & 31)]);
        r.level += r.step;
        g.level += g.step;
        b.level += b.step;
        w.u += w.du;
        w.v += w.dv;
    }
}

int32_t clip_shaded(const ScreenVertex* const* v, const Vec4* const* t, const Vec4* const* c,
                    int32_t n, EdgePoint<SHADED_VALUES>* out) {
    if (n < 3 || n > 4) return 0;
    EdgePoint<SHADED_VALUES> in[4];
    gather_positions_uv(v, t, n, in);
    for (int32_t i = 0; i < n; i++) {
        in[i].c[4] = c[i]->x;
        in[i].c[5] = c[i]->y;
        in[i].c[6] = c[i]->z;
    }
    return clip_poly(in, n, out);
}

void shaded_entry(const ScreenVertex* const* v, const Vec4* const* c, const Vec4* const* t,
                  int32_t texture, int32_t ramp, int32_t n) {
    if (draw_surface()->pixels == nullptr || poly_on_one_row(v, n)) return;
    // A packet naming a ramp the table does not hold draws nothing.
    if (shade_select_ramp(ramp) < 0) return;
    draw_shaded_tex_poly(v, c, t, texture, n);
}

}  // namespace

void draw_shaded_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                         const Vec4* c0, const Vec4* c1, const Vec4* c2, const Vec4* t0,
                         const Vec4* t1, const Vec4* t2, int32_t texture, int32_t ramp) {
    const ScreenVertex* v[3] = {v0, v1, v2};
    const Vec4* c[3] = {c0, c1, c2};
    const Vec4* t[3] = {t0, t1, t2};
    shaded_entry(v, c, t, texture, ramp, 3);
}

void draw_shaded_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                          const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                          const Vec4* c1, const Vec4* c2, const Vec4* c3, const Vec4* t0,
                          const Vec4* t1, const Vec4* t2, const Vec4* t3, int32_t texture,
                          int32_t ramp) {
    const ScreenVertex* v[4] = {v0, v1, v2, v3};
    const Vec4* c[4] = {c0, c1, c2, c3};
    const Vec4* t[4] = {t0, t1, t2, t3};
    shaded_entry(v, c, t, texture, ramp, 4);
}

void draw_shaded_tex_poly(const ScreenVertex* const* v, const Vec4* const* c,
                          const Vec4* const* t, int32_t texture, int32_t n) {
    if (draw_surface()->pixels == nullptr) return;
    TexImage image;
    if (!tex_image_of_slot(texture, &image)) return;
    draw_shaded_tex_poly_image(v, c, t, image, n);
}

void draw_shaded_tex_poly_image(const ScreenVertex* const* v, const Vec4* const* c,
                                const Vec4* const* t, const TexImage& image, int32_t n) {
    const RasterSurface* surface = draw_surface();
    const uint8_t* ramp = shade_current_ramp();
    if (surface->pixels == nullptr || ramp == nullptr || !tex_image_usable(image)) return;
    EdgePoint<SHADED_VALUES> clipped[POLY_CAPACITY];
    const int32_t m = clip_shaded(v, t, c, n, clipped);
    draw_set_tex_span_state(image.width_shift, image.height_shift);
    const int32_t width = surface->width;
    scan_poly(clipped, m, [&](uint16_t* row, const int32_t* left, const int32_t* right) {
        const int32_t x = left[0] >> 8;
        shaded_span(row, x, (right[0] >> 8) - x, width, left + 1, right + 1, image.width_shift,
                    image.height_shift, image.texels, ramp);
    });
}

int32_t draw_clip_shaded_tex_poly(const ScreenVertex* const* v, const Vec4* const* t,
                                  const Vec4* const* c, ClipVertex* pos, TexCoord* uv,
                                  ShadeColour* rgb, int32_t n) {
    EdgePoint<SHADED_VALUES> clipped[POLY_CAPACITY];
    const int32_t m = clip_shaded(v, t, c, n, clipped);
    for (int32_t i = 0; i < m; i++) {
        const int32_t* k = clipped[i].c;
        pos[i] = ClipVertex{k[0], k[1]};
        uv[i] = TexCoord{k[2], k[3]};
        rgb[i] = ShadeColour{k[4], k[5], k[6]};
    }
    return m;
}

void draw_shaded_tex_span(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                          int32_t right_u, int32_t right_v, int32_t width_shift,
                          int32_t height_shift, const uint16_t* texels, int32_t left_r,
                          int32_t left_g, int32_t left_b, int32_t right_r, int32_t right_g,
                          int32_t right_b) {
    const uint8_t* ramp = shade_current_ramp();
    if (ramp == nullptr) return;
    const int32_t left[SHADED_VALUES] = {left_u, left_v, left_r, left_g, left_b};
    const int32_t right[SHADED_VALUES] = {right_u, right_v, right_r, right_g, right_b};
    shaded_span(p, 0, count, count, left, right, width_shift, height_shift, texels, ramp);
}
