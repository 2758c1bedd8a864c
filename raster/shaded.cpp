#include "raster/shaded.h"

#include "model/shade.h"
#include "raster/polyscan.h"
#include "raster/simd.h"

#include <cstring>
#include <initializer_list>

namespace {

// Walked after x: u, v, red, green, blue.
constexpr int SHADED_VALUES = 5;

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

// The span of count pixels that starts at column x of row, its writes
// confined to the columns 0..width-1. left and right hold u, v, red, green
// and blue as the edges accumulate them.
void shaded_span(uint16_t* row, int32_t x, int32_t count, int32_t width, const int32_t* left,
                 const int32_t* right, const TexImage& image, const uint8_t* ramp) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, width);
    if (range.count <= 0) return;
    const TexAddress address = tex_address();
    uint16_t* p = row + range.first;
    ChannelWalk c[3] = {channel_walk(left[2], right[2], count, range.skip),
                        channel_walk(left[3], right[3], count, range.skip),
                        channel_walk(left[4], right[4], count, range.skip)};
    TexWalk w = tex_walk(left[0], left[1], right[0], right[1], image.width_shift,
                         image.height_shift, count, range.skip);
    ChannelWalk& r = c[0];
    ChannelWalk& g = c[1];
    ChannelWalk& b = c[2];
    for (int32_t i = 0; i < range.count; i++) {
        const uint32_t texel = image.texels[address.index(w.u, w.v)];
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

#if RASTER_SIMD
// Entries of one ramp row (at offset `row`) at sixteen columns (0..31), by
// byte shuffles of the row's two halves: no memory read per pixel.
SIMD_AVX2 inline __m256i row_entries(const uint8_t* ramp, int32_t row, __m256i column) {
    const __m256i low = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + row)));
    const __m256i high = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + row + 16)));
    // The top bit of each lane's high byte makes the shuffles write 0 there;
    // column bit 4, moved to the top of the low byte, picks the high half.
    const __m256i index = _mm256_or_si256(column, _mm256_set1_epi16(static_cast<short>(0x8000)));
    return _mm256_blendv_epi8(_mm256_shuffle_epi8(low, index), _mm256_shuffle_epi8(high, index),
                              _mm256_slli_epi16(column, 3));
}

// Ramp entries at sixteen offsets (0..1023, in 16-bit lanes) by gathers of
// the 4-byte words that hold them, each word inside the ramp.
SIMD_AVX2 inline __m256i gathered_entries(const uint8_t* ramp, __m256i offset) {
    const __m256i start = _mm256_min_epu16(offset, _mm256_set1_epi16(RAMP_SIZE - 4));
    const __m256i shift = _mm256_slli_epi16(_mm256_sub_epi16(offset, start), 3);
    const int* words = reinterpret_cast<const int*>(ramp);
    const __m256i low = _mm256_srlv_epi32(
        _mm256_i32gather_epi32(words, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(start)), 1),
        _mm256_cvtepu16_epi32(_mm256_castsi256_si128(shift)));
    const __m256i high = _mm256_srlv_epi32(
        _mm256_i32gather_epi32(words, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(start, 1)),
                               1),
        _mm256_cvtepu16_epi32(_mm256_extracti128_si256(shift, 1)));
    // Byte 0 of each word into 16-bit lanes; the pack works within each
    // 128-bit half, so the quarters are put back in order.
    const __m256i byte = _mm256_set1_epi32(0xFF);
    return _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_and_si256(low, byte), _mm256_and_si256(high, byte)), 0xD8);
}

// Sixteen pixels: each texel channel looked up in the ramp row of its colour
// channel's level. Where the rows change within the block, the entries are
// gathered on long spans; on the short spans of small faces, where a gather
// would wait for the texels just read, they are read one by one.
template <bool LongSpan>
struct ShadedBlock {
    static constexpr bool reads_pixels = false;
    const simd::TexSampler& sampler;
    const uint8_t* ramp;
    simd::Lanes16<SHADED_VALUES> lanes;  // u, v, red, green, blue

    SIMD_AVX2 bool next(uint16_t* p, __m256i, int32_t left, __m256i* pixels) {
        const __m256i texel = simd::texels16(sampler, lanes.value[0], lanes.value[1], left);
        const __m256i five_bits = _mm256_set1_epi16(31);
        const __m256i column[3] = {
            _mm256_and_si256(_mm256_srli_epi16(texel, 10), five_bits),
            _mm256_and_si256(_mm256_srli_epi16(texel, 5), five_bits),
            _mm256_and_si256(texel, five_bits)};
        __m256i row[3];
        __m256i one_row = _mm256_set1_epi32(-1);
        for (int k = 0; k < 3; k++) {
            // ((level >> 10) AND 31) x 32
            row[k] = _mm256_and_si256(_mm256_srli_epi16(lanes.value[2 + k], 5),
                                      _mm256_set1_epi16(0x3E0));
            const __m256i first = _mm256_broadcastw_epi16(_mm256_castsi256_si128(row[k]));
            one_row = _mm256_and_si256(one_row, _mm256_cmpeq_epi16(row[k], first));
        }
        lanes.advance();
        // Pixels past the span do not count.
        if (left < 16) {
            one_row = _mm256_or_si256(
                one_row, _mm256_xor_si256(simd::first_lanes(left), _mm256_set1_epi32(-1)));
        }
        if (_mm256_movemask_epi8(one_row) != -1) {
            if (LongSpan) {
                __m256i entry[3];
                for (int k = 0; k < 3; k++) {
                    entry[k] = gathered_entries(ramp, _mm256_add_epi16(row[k], column[k]));
                }
                *pixels = combine(entry);
                return true;
            }
            mixed_rows(p, row, column, left);
            return false;
        }
        // Light changes slowly: mostly each channel stays on one row for the
        // sixteen pixels.
        __m256i entry[3];
        for (int k = 0; k < 3; k++) {
            entry[k] = row_entries(ramp, _mm256_cvtsi256_si32(row[k]) & 0xFFFF, column[k]);
        }
        *pixels = combine(entry);
        return true;
    }

    SIMD_AVX2 static __m256i combine(const __m256i* entry) {
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi16(entry[0], 10), _mm256_slli_epi16(entry[1], 5)),
            entry[2]);
    }

    // The same, with the rows changing within the block: entry by entry,
    // each pixel written as it is made (gathering them into a vector would
    // wait for all those writes).
    SIMD_AVX2 void mixed_rows(uint16_t* p, const __m256i* row, const __m256i* column,
                              int32_t left) const {
        alignas(32) uint16_t offset[3][16];
        for (int k = 0; k < 3; k++) {
            _mm256_store_si256(reinterpret_cast<__m256i*>(offset[k]),
                               _mm256_add_epi16(row[k], column[k]));
        }
        const int32_t n = left < 16 ? left : 16;
        for (int32_t i = 0; i < n; i++) {
            p[i] = static_cast<uint16_t>((ramp[offset[0][i]] << 10) | (ramp[offset[1][i]] << 5) |
                                         ramp[offset[2][i]]);
        }
    }
};

// Ramps whose entries follow one formula, (row j, column i) =
//   min(31, high[j] + d + (i >> 1)), d = (i x j) >> 5 or, in a banded ramp,
//   that rounded up to a multiple of 8,
// with a highlight high[j] only in the upper sixteen rows, as the built ramps
// do: the kernel works entries out sixteen at a time, however the rows change
// within a block, instead of reading them.
struct RampFormula {
    __m256i high;  // high[16..31], in both halves
    // The kernel's constants, read from here as operands: made in the kernel,
    // they would be made again for every block, the walker's loop holding
    // more values than there are vector registers.
    __m256i sixteen;     // bytes of 16
    __m256i thirty_one;  // 16-bit lanes of 31
    __m256i top_five;    // 16-bit lanes of 0xF800
    // The diffuse term rounded up to a multiple of 8, else taken as it is: the
    // kernels of the plain ramps leave out the rounding's two steps, about a
    // tenth of their formula.
    bool banded;
};

// Entries at rows j (0..31) and columns i, given as i << 11 (the column in
// the top five bits of each 16-bit lane): the high half of the product with j
// is then (i x j) >> 5, and i >> 1 one shift away.
template <bool Banded>
SIMD_AVX2 inline __m256i formula_entries(const RampFormula& f, __m256i j, __m256i top_i) {
    const __m256i product = _mm256_mulhi_epu16(top_i, j);
    const __m256i diffuse =
        Banded ? _mm256_and_si256(_mm256_add_epi16(product, _mm256_set1_epi16(7)),
                                  _mm256_set1_epi16(~7))
               : product;
    // high[j] by a byte shuffle at j - 16: rows below 16, and the high bytes,
    // wrap to indices with the top bit set, which the shuffle turns into 0.
    const __m256i high = _mm256_shuffle_epi8(f.high, _mm256_sub_epi8(j, f.sixteen));
    return _mm256_min_epi16(
        _mm256_add_epi16(_mm256_add_epi16(diffuse, _mm256_srli_epi16(top_i, 12)), high),
        f.thirty_one);
}

// Sixteen texels lit at the red, green and blue levels `level` (16-bit lanes).
template <bool Banded>
SIMD_AVX2 inline __m256i formula_pixels(const RampFormula& f, __m256i texel,
                                        const __m256i* level) {
    const __m256i top_column[3] = {_mm256_and_si256(_mm256_slli_epi16(texel, 1), f.top_five),
                                   _mm256_and_si256(_mm256_slli_epi16(texel, 6), f.top_five),
                                   _mm256_slli_epi16(texel, 11)};
    __m256i entry[3];
    for (int k = 0; k < 3; k++) {
        // (level >> 10) AND 31
        const __m256i row = _mm256_and_si256(_mm256_srli_epi16(level[k], 10), f.thirty_one);
        entry[k] = formula_entries<Banded>(f, row, top_column[k]);
    }
    return ShadedBlock<false>::combine(entry);
}

// Sixteen pixels of a ramp that follows the formula.
template <bool Banded>
struct FormulaBlock {
    static constexpr bool reads_pixels = false;
    const simd::TexSampler& sampler;
    const RampFormula& formula;
    simd::Lanes16<SHADED_VALUES> lanes;  // u, v, red, green, blue

    SIMD_AVX2 SIMD_INLINE bool next(uint16_t*, __m256i, int32_t left, __m256i* pixels) {
        const __m256i texel = simd::texels16(sampler, lanes.value[0], lanes.value[1], left);
        *pixels = formula_pixels<Banded>(formula, texel, &lanes.value[2]);
        lanes.advance();
        return true;
    }
};

// Spans from this many pixels on are long.
constexpr int32_t LONG_SPAN = 48;

// Spans of one polygon, or one span, sixteen pixels at a time.
struct ShadedKernel {
    static constexpr bool READS_PIXELS =
        ShadedBlock<false>::reads_pixels || ShadedBlock<true>::reads_pixels;
    simd::SpanShifts shifts;
    simd::TexSampler sampler;
    const uint8_t* ramp;
    simd::PixelWindow window;

    SIMD_AVX2 void draw(uint16_t* p, int32_t n, const simd::SpanRow& row) const {
        if (n >= LONG_SPAN) {
            draw_long(p, n, row);
            return;
        }
        run<ShadedBlock<false>>(p, n, row);
    }

    // Out of line, so that the short spans' code stays as compact as it was.
    SIMD_AVX2 __attribute__((noinline)) void draw_long(uint16_t* p, int32_t n,
                                                       const simd::SpanRow& row) const {
        run<ShadedBlock<true>>(p, n, row);
    }

    template <class Block>
    SIMD_AVX2 void run(uint16_t* p, int32_t n, const simd::SpanRow& row) const {
        Block block{sampler, ramp, simd::lanes16<SHADED_VALUES>(row)};
        simd::run16(p, n, window, block);
    }
};

// The formula of a ramp: high[j] is entry (j, 0), 0 in the lower sixteen
// rows; the rest must match entry for entry, with the diffuse term as it is
// or rounded up to a multiple of 8.
SIMD_AVX2 bool fit_formula(const uint8_t* ramp, RampFormula* f) {
    uint8_t high[32];
    for (int32_t j = 0; j < 32; j++) high[j] = ramp[j * 32];
    for (int32_t j = 0; j < 16; j++) {
        if (high[j] != 0) return false;
    }
    for (const bool banded : {false, true}) {
        bool fits = true;
        for (int32_t j = 0; j < 32 && fits; j++) {
            for (int32_t i = 0; i < 32 && fits; i++) {
                fits = ramp[j * 32 + i] == shade_built_entry(high[j], j, i, banded);
            }
        }
        if (!fits) continue;
        f->high = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + 16)));
        f->banded = banded;
        f->sixteen = _mm256_set1_epi8(16);
        f->thirty_one = _mm256_set1_epi16(31);
        f->top_five = _mm256_set1_epi16(static_cast<short>(0xF800));
        return true;
    }
    return false;
}

// The ramps last seen, a copy of their entries and their formulas: a ramp is
// fitted again only when its entries change. While the ramps are settled,
// a ramp checked once in the current settling is not compared again.
struct FittedRamp {
    const uint8_t* ramp;
    bool fits;
    uint32_t checked;  // the settling it was last compared in
    RampFormula formula;
    uint8_t entries[RAMP_SIZE];
};
constexpr int32_t FITTED_RAMPS = 4;
FittedRamp fitted[FITTED_RAMPS];
int32_t next_fitted = 0;
bool ramps_settled = false;
uint32_t settling = 0;  // 0: none yet

// Whether two ramps hold the same entries.
SIMD_AVX2 bool same_entries(const uint8_t* a, const uint8_t* b) {
    __m256i differ = _mm256_setzero_si256();
#pragma GCC unroll 32
    for (int32_t i = 0; i < RAMP_SIZE; i += 32) {
        differ = _mm256_or_si256(
            differ, _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i))));
    }
    return _mm256_testz_si256(differ, differ) != 0;
}

SIMD_AVX2 const RampFormula* ramp_formula(const uint8_t* ramp) {
    const uint32_t now = ramps_settled ? settling : 0;
    for (FittedRamp& r : fitted) {
        if (r.ramp != ramp) continue;
        if ((now != 0 && r.checked == now) || same_entries(r.entries, ramp)) {
            r.checked = now;
            return r.fits ? &r.formula : nullptr;
        }
    }
    FittedRamp& r = fitted[next_fitted];
    next_fitted = (next_fitted + 1) % FITTED_RAMPS;
    r.ramp = ramp;
    r.checked = now;
    std::memcpy(r.entries, ramp, RAMP_SIZE);
    r.fits = fit_formula(ramp, &r.formula);
    return r.fits ? &r.formula : nullptr;
}

// The spans of a ramp that follows the formula.
template <bool Banded>
struct FormulaKernel {
    // Two rows of up to eight pixels go through one block together.
    static constexpr bool PAIRS = true;
    static constexpr bool READS_PIXELS = FormulaBlock<Banded>::reads_pixels;
    simd::SpanShifts shifts;
    simd::TexSampler sampler;
    const RampFormula& formula;  // remembered with its ramp
    simd::PixelWindow window;

    SIMD_AVX2 SIMD_INLINE void draw(uint16_t* p, int32_t n, const simd::SpanRow& row) const {
        FormulaBlock<Banded> block{sampler, formula, simd::lanes16<SHADED_VALUES>(row)};
        simd::run16(p, n, window, block);
    }

    // n0 pixels at p0 and n1 at p1 (1..8 each), the rows of `row` and the
    // next one (one further along each value's starts and steps): the first
    // in lanes 0..7 of a block, the second in lanes 8..15. False, drawing
    // nothing, where eight pixels from p1 would pass the window.
    SIMD_AVX2 SIMD_INLINE bool draw_pair(uint16_t* p0, int32_t n0, uint16_t* p1, int32_t n1,
                                         const simd::SpanRow& row) const {
        if (window.end - p1 < 8) return false;
        const simd::Lanes16<SHADED_VALUES> lanes = simd::lanes16<SHADED_VALUES, true>(row);
        const __m256i texel =
            simd::texels_two_rows(sampler, lanes.value[0], lanes.value[1], n0, n1);
        const __m256i pixels = formula_pixels<Banded>(formula, texel, &lanes.value[2]);
        simd::store_first(p0, n0, _mm256_castsi256_si128(pixels));
        simd::store_first(p1, n1, _mm256_extracti128_si256(pixels, 1));
        return true;
    }
};

// Colour channels: step = ((right - left) >> 1) / count, start = left >> 1.
SIMD_AVX2 simd::SpanShifts shaded_shifts(const TexImage& image) {
    return tex_shifts(image.width_shift, image.height_shift, 1);
}

SIMD_AVX2 ShadedKernel shaded_kernel(const TexImage& image, const uint8_t* ramp,
                                     const simd::PixelWindow& window) {
    return ShadedKernel{shaded_shifts(image), tex_sampler(image.texels), ramp, window};
}

template <bool Banded>
SIMD_AVX2 FormulaKernel<Banded> formula_kernel(const TexImage& image, const RampFormula& formula,
                                               const simd::PixelWindow& window) {
    return FormulaKernel<Banded>{shaded_shifts(image), tex_sampler(image.texels), formula, window};
}

SIMD_AVX2 void shaded_poly_simd(const EdgePoint<SHADED_VALUES>* clipped, int32_t m,
                                const TexImage& image, const uint8_t* ramp) {
    const RampFormula* formula = ramp_formula(ramp);
    if (formula != nullptr) {
        if (formula->banded) {
            scan_poly_simd(clipped, m, formula_kernel<true>(image, *formula, surface_window()));
        } else {
            scan_poly_simd(clipped, m, formula_kernel<false>(image, *formula, surface_window()));
        }
        return;
    }
    const ShadedKernel kernel = shaded_kernel(image, ramp, surface_window());
    scan_poly_simd(clipped, m, kernel);
}

SIMD_AVX2 void shaded_span_simd(uint16_t* p, int32_t count, const int32_t* left,
                                const int32_t* right, const TexImage& image,
                                const uint8_t* ramp) {
    const __m256i l = _mm256_setr_epi32(0, 0, left[0], left[1], left[2], left[3], left[4], 0);
    const __m256i r = _mm256_setr_epi32(0, 0, right[0], right[1], right[2], right[3], right[4], 0);
    const simd::PixelWindow window{p + count};
    const RampFormula* formula = ramp_formula(ramp);
    if (formula != nullptr) {
        if (formula->banded) {
            simd::draw_span<SHADED_VALUES>(formula_kernel<true>(image, *formula, window), p,
                                           count, count, 0, l, r);
        } else {
            simd::draw_span<SHADED_VALUES>(formula_kernel<false>(image, *formula, window), p,
                                           count, count, 0, l, r);
        }
        return;
    }
    simd::draw_span<SHADED_VALUES>(shaded_kernel(image, ramp, window), p, count, count, 0, l, r);
}
#endif

int32_t clip_shaded(const ScreenVertex* const* v, const Vec4* const* t, const Vec4* const* c,
                    int32_t n, EdgePoint<SHADED_VALUES>* out) {
    if (n < 3 || n > 4) return 0;
    return clip_poly(v, n, out, [&](int32_t i) {
        EdgePoint<SHADED_VALUES> p;
        store_position_uv(p.c, *v[i], *t[i]);
        store_quarter(p.c + 4, c[i]->x, c[i]->y, c[i]->z, 0);
        return p;
    });
}

void shaded_entry(const ScreenVertex* const* v, const Vec4* const* c, const Vec4* const* t,
                  int32_t texture, int32_t ramp, int32_t n) {
    if (poly_on_one_row(v, n)) return;
    // A packet naming a ramp the table does not hold draws nothing.
    if (shade_select_ramp(ramp) < 0) return;
    draw_shaded_tex_poly(v, c, t, texture, n);
}

}  // namespace

void draw_shaded_ramps_settled(bool settled) {
#if RASTER_SIMD
    ramps_settled = settled;
    // A new settling: nothing is taken as checked in it yet, also when the
    // count starts again after 2^32 of them.
    if (settled && ++settling == 0) {
        settling = 1;
        for (FittedRamp& r : fitted) r.checked = 0;
    }
#else
    (void)settled;
#endif
}

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
    tex_span_state(image.width_shift, image.height_shift);
#if RASTER_SIMD
    if (simd_enabled()) {
        shaded_poly_simd(clipped, m, image, ramp);
        return;
    }
#endif
    const int32_t width = surface->width;
    scan_poly_plain(clipped, m, [&](uint16_t* row, const int32_t* left, const int32_t* right) {
        const int32_t x = left[0] >> 8;
        shaded_span(row, x, (right[0] >> 8) - x, width, left + 1, right + 1, image, ramp);
    });
}

int32_t draw_clip_shaded_tex_poly(const ScreenVertex* const* v, const Vec4* const* t,
                                  const Vec4* const* c, ClipVertex* pos, TexCoord* uv,
                                  ShadeColour* rgb, int32_t n) {
    if (draw_surface()->pixels == nullptr) return 0;  // nothing lies on no surface
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
    const TexImage image{texels, width_shift, height_shift};
    if (!tex_span_ready(image)) return;
#if RASTER_SIMD
    if (simd_enabled()) {
        if (count > 0) shaded_span_simd(p, count, left, right, image, ramp);
        return;
    }
#endif
    shaded_span(p, 0, count, count, left, right, image, ramp);
}
