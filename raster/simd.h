// AVX2 span kernels, chosen at run time: the processor must have AVX2, and
// tests and benchmarks may turn them off to run the plain loops. Every kernel
// writes exactly what the plain loop writes.
#pragma once

#include <cstdint>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define RASTER_SIMD 1
#include <immintrin.h>

#include <cstring>
#define SIMD_AVX2 __attribute__((target("avx2")))
// For kernel parts that must be inlined into the walker's row loop: out of
// line, their sixteen-pixel state goes through memory.
#define SIMD_INLINE __attribute__((always_inline))
#else
#define RASTER_SIMD 0
#endif

// True when the AVX2 kernels run (read for every polygon, so kept inline).
extern bool simd_kernels_on;
inline bool simd_enabled() {
    return simd_kernels_on;
}
// Turns the kernels on (where the processor has AVX2) or off; returns whether
// they run now.
bool simd_enable(bool on);

// True when the kernels write the last pixels of a span with masked stores,
// which leave the pixels after them alone without reading them first (the
// processor must have AVX-512BW and VL). Read for every span, so kept inline.
extern bool masked_stores_on;
// Turns the masked stores on (where the processor has them) or off; returns
// whether they run now.
bool simd_enable_masked_stores(bool on);

#if RASTER_SIMD
namespace simd {

// Divisors made ready for several dividends: a quotient is the dividend
// times a reciprocal (1 + 2^-48) / divisor, so that one division serves them
// all. Exact wherever the divisor is neither 0 nor -1. The reciprocal and the
// product are each rounded by less than 2^-52 (in any rounding mode), so the
// product's magnitude is |q| times a factor between 1 + 2^-49 and 1 + 2^-47,
// q the true quotient: a whole q is not cut to the one below, and a q that is
// not whole lies at least 1/|divisor| below the next whole number, while the
// product exceeds |q| by at most |q| x 2^-47 <= 2^-16 / |divisor|.
struct LaneDivisors {
    __m256d low, high;  // reciprocals
};
constexpr double RECIPROCAL_DIVIDEND = 1.0 + 0x1p-48;

// The divisors in the lanes of `divisor`: the first four, or all eight.
SIMD_AVX2 inline LaneDivisors lane_divisors(__m256i divisor, bool all_eight) {
    const __m256d one_up = _mm256_set1_pd(RECIPROCAL_DIVIDEND);
    LaneDivisors d;
    d.low = _mm256_div_pd(one_up, _mm256_cvtepi32_pd(_mm256_castsi256_si128(divisor)));
    d.high = all_eight ? _mm256_div_pd(one_up,
                                       _mm256_cvtepi32_pd(_mm256_extracti128_si256(divisor, 1)))
                       : d.low;
    return d;
}

// The reciprocals of the small positive divisors, worked out as the build
// compiles: an edge's rows are mostly few, and its steps wait for them.
constexpr int32_t RECIPROCAL_TABLE_SIZE = 1024;
struct ReciprocalTable {
    double of[RECIPROCAL_TABLE_SIZE];
};
constexpr ReciprocalTable make_reciprocal_table() {
    ReciprocalTable t{};
    for (int32_t d = 1; d < RECIPROCAL_TABLE_SIZE; d++) t.of[d] = RECIPROCAL_DIVIDEND / d;
    return t;
}
inline constexpr ReciprocalTable reciprocal_table = make_reciprocal_table();

inline bool in_reciprocal_table(int32_t divisor) {
    return static_cast<uint32_t>(divisor) < RECIPROCAL_TABLE_SIZE && divisor != 0;
}

// One divisor for every lane: one reciprocal serves both halves.
SIMD_AVX2 inline LaneDivisors lane_divisor(int32_t divisor) {
    if (in_reciprocal_table(divisor)) {
        const __m256d r = _mm256_set1_pd(reciprocal_table.of[divisor]);
        return LaneDivisors{r, r};
    }
    return lane_divisors(_mm256_set1_epi32(divisor), false);
}

// One quotient, truncated toward zero (the divisor neither 0 nor -1): without
// the vector round trip, whose latency a polygon's first rows wait for.
inline int32_t divide_one(int32_t dividend, int32_t divisor) {
    if (in_reciprocal_table(divisor)) {
        return static_cast<int32_t>(dividend * reciprocal_table.of[divisor]);
    }
    return dividend / divisor;
}

// The quotients of one half, truncated toward zero.
SIMD_AVX2 inline __m128i divide_half(__m128i x, __m256d reciprocal) {
    return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(x), reciprocal));
}

// Quotients of the lanes (the first four, or all eight) by the divisors of
// `d`, truncated toward zero. Other lanes give an unspecified value, and
// nothing traps.
SIMD_AVX2 inline __m256i divide_by(__m256i x, const LaneDivisors& d, bool all_eight) {
    const __m128i low = divide_half(_mm256_castsi256_si128(x), d.low);
    if (!all_eight) return _mm256_castsi128_si256(low);
    const __m128i high = divide_half(_mm256_extracti128_si256(x, 1), d.high);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// The same with one divisor for every lane.
template <bool AllEight>
SIMD_AVX2 inline __m256i divide_lanes(__m256i x, int32_t divisor) {
    return divide_by(x, lane_divisor(divisor), AllEight);
}

// How a family turns the edge accumulators into span values, as per-lane
// shifts (right shifts arithmetic):
//   step = ((((right - left) << a) >> b) / count) >> c
//   start = ((left << d) >> e) + skip x step
struct SpanShifts {
    __m256i a, b, c, d, e;
};

// The values of a span at its first drawn pixel and their steps per pixel,
// value k in lane k.
struct SpanValues {
    __m256i start, step;
};

// The K (1..6) values of a span from the edge accumulators, which hold x,
// y and then the values (lanes 2..): count > 0 pixels, the first `skip` not
// drawn.
template <int K>
SIMD_AVX2 inline SpanValues span_values(__m256i left, __m256i right, int32_t count,
                                        int32_t skip, const SpanShifts& s) {
    const __m256i to_front = _mm256_setr_epi32(2, 3, 4, 5, 6, 7, 0, 1);
    const __m256i l = _mm256_permutevar8x32_epi32(left, to_front);
    const __m256i r = _mm256_permutevar8x32_epi32(right, to_front);
    const __m256i difference =
        _mm256_srav_epi32(_mm256_sllv_epi32(_mm256_sub_epi32(r, l), s.a), s.b);
    SpanValues v;
    v.step = _mm256_srav_epi32(divide_lanes<(K > 4)>(difference, count), s.c);
    v.start = _mm256_srav_epi32(_mm256_sllv_epi32(l, s.d), s.e);
    if (skip != 0) {
        v.start = _mm256_add_epi32(v.start, _mm256_mullo_epi32(v.step, _mm256_set1_epi32(skip)));
    }
    return v;
}

// The values of one span, as the kernels read them: value k at start[k x
// stride] and its step per pixel at step[k x stride].
struct SpanRow {
    const int32_t* start;
    const int32_t* step;
    int32_t stride;
};

// Sixteen pixels of a span, the K values of pixel j in 16-bit lane j. Only
// the low 16 bits of a value matter wherever this is used, and they follow
// from the low 16 bits of the start and the step alone.
template <int K>
struct Lanes16 {
    __m256i value[K];
    __m256i step[K];  // one pixel's

    // Sixteen pixels on. (The sixteen steps are worked out here, so that a
    // span of one block never works them out: where a loop advances, they
    // are worked out once before it.)
    SIMD_AVX2 void advance() {
        for (int k = 0; k < K; k++) {
            value[k] = _mm256_add_epi16(value[k], _mm256_slli_epi16(step[k], 4));
        }
    }
};

// The low 16 bits of first[0] in lanes 0..7, of first[1] in lanes 8..15:
// both read at once, then spread by one byte shuffle.
SIMD_AVX2 inline __m256i halves16(const int32_t* first) {
    const __m256i both = _mm256_broadcastq_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)));
    return _mm256_shuffle_epi8(both, _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1,
                                                      0, 1, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5, 4,
                                                      5, 4, 5, 4, 5));
}

// With TwoRows, pixels 0..7 of `row` in lanes 0..7 and pixels 0..7 of the
// next row (one further along each start and step) in lanes 8..15.
template <int K, bool TwoRows = false>
SIMD_AVX2 inline Lanes16<K> lanes16(const SpanRow& row) {
    const __m256i pixel =
        TwoRows ? _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7)
                : _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    Lanes16<K> lanes;
    for (int k = 0; k < K; k++) {
        const int32_t* start = row.start + k * row.stride;
        const int32_t* step = row.step + k * row.stride;
        const __m256i steps =
            TwoRows ? halves16(step) : _mm256_set1_epi16(static_cast<short>(*step));
        const __m256i starts =
            TwoRows ? halves16(start) : _mm256_set1_epi16(static_cast<short>(*start));
        lanes.value[k] = _mm256_add_epi16(starts, _mm256_mullo_epi16(steps, pixel));
        lanes.step[k] = steps;
    }
    return lanes;
}

// The same in full 32 bits, for values whose high bits matter: pixels 0..7
// of the block in `low`, 8..15 in `high`.
template <int K>
struct Lanes32 {
    __m256i low[K], high[K];
    __m256i step16[K];

    SIMD_AVX2 void advance() {
        for (int k = 0; k < K; k++) {
            low[k] = _mm256_add_epi32(low[k], step16[k]);
            high[k] = _mm256_add_epi32(high[k], step16[k]);
        }
    }
};

template <int K>
SIMD_AVX2 inline Lanes32<K> lanes32(const SpanRow& row) {
    const __m256i pixel = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    Lanes32<K> lanes;
    for (int k = 0; k < K; k++) {
        const __m256i step = _mm256_set1_epi32(row.step[k * row.stride]);
        lanes.low[k] = _mm256_add_epi32(_mm256_set1_epi32(row.start[k * row.stride]),
                                        _mm256_mullo_epi32(step, pixel));
        lanes.high[k] = _mm256_add_epi32(lanes.low[k], _mm256_slli_epi32(step, 3));
        lanes.step16[k] = _mm256_slli_epi32(step, 4);
    }
    return lanes;
}

// One span through a kernel's draw(p, n, row): n pixels from p of a span of
// count pixels whose first `skip` are not drawn, its values worked out from
// the edge accumulators left and right.
template <int K, class Kernel>
SIMD_AVX2 inline void draw_span(const Kernel& kernel, uint16_t* p, int32_t n, int32_t count,
                                int32_t skip, __m256i left, __m256i right) {
    alignas(32) int32_t start[8];
    alignas(32) int32_t step[8];
    if constexpr (K > 0) {
        const SpanValues v = span_values<K>(left, right, count, skip, kernel.shifts);
        _mm256_store_si256(reinterpret_cast<__m256i*>(start), v.start);
        _mm256_store_si256(reinterpret_cast<__m256i*>(step), v.step);
    }
    kernel.draw(p, n, SpanRow{start, step, 1});
}

// Sixteen 32-bit values below 0x8000, eight in each vector, as 16-bit lanes
// in order.
SIMD_AVX2 inline __m256i pack_words(__m256i low, __m256i high) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

// The pixels a kernel may touch beyond the end of a span: it reads them and
// writes their own values back, so that a short span costs one wide read and
// write instead of a run of narrow ones. No pixel at or past `end` is touched.
struct PixelWindow {
    const uint16_t* end;
};

// 16-bit lanes 0..n-1 set (n <= 16).
SIMD_AVX2 inline __m256i first_lanes(int32_t n) {
    static const int16_t ones_then_zeros[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                -1, -1, -1, -1, -1, 0,  0,  0,  0,  0,  0,
                                                0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ones_then_zeros + 16 - n));
}

// The masked stores use mask register k1; a build for AVX-512 must be told.
#if defined(__AVX512F__)
#define SIMD_MASK_CLOBBER : "k1"
#else
#define SIMD_MASK_CLOBBER
#endif

// The first n (1..Lanes) pixels of a block of Lanes (16, or 8 in an
// __m128i) written at p in one masked store, only where masked_stores_on.
// Written out as instructions: the kernels are built for AVX2. The operand
// names every pixel of the block, as the instruction may address them all;
// those past the first n are neither read nor written.
template <int Lanes, class Pixels>
SIMD_AVX2 inline void store_first_masked(uint16_t* p, int32_t n, Pixels pixels) {
    const uint32_t lanes = (1u << n) - 1;
    __asm__("kmovd %[lanes], %%k1\n\tvmovdqu16 %[pixels], %[at]%{%%k1%}"
            : [at] "+m"(*reinterpret_cast<uint16_t(*)[Lanes]>(p))
            : [lanes] "r"(lanes), [pixels] "x"(pixels) SIMD_MASK_CLOBBER);
}

// The first n (< 16) pixels of a block: eight, four, two and one at a time.
SIMD_AVX2 inline void store_part(uint16_t* p, int32_t n, __m256i pixels) {
    __m128i part = _mm256_castsi256_si128(pixels);
    if (n & 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), part);
        part = _mm256_extracti128_si256(pixels, 1);
        p += 8;
    }
    if (n & 4) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), part);
        part = _mm_srli_si128(part, 8);
        p += 4;
    }
    if (n & 2) {
        const int32_t two = _mm_cvtsi128_si32(part);
        std::memcpy(p, &two, sizeof two);
        part = _mm_srli_si128(part, 4);
        p += 2;
    }
    if (n & 1) *p = static_cast<uint16_t>(_mm_cvtsi128_si32(part));
}

// count (16 or more) pixels of one colour from p, sixteen per store; the last
// sixteen are written again for the rest.
SIMD_AVX2 inline void fill_run(uint16_t* p, int32_t count, __m256i pixels) {
    for (; count > 16; count -= 16, p += 16) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), pixels);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + count - 16), pixels);
}

// n pixels from p, sixteen at a time. For each block of sixteen pixels at q,
// of which `left` or more are drawn, the block's next(q, under, left, &pixels)
// either gives the sixteen pixels in `pixels` and returns true, or writes the
// first min(left, 16) at q itself and returns false; either way it moves on.
// `under` holds the pixels at q, read only when the block reads pixels or the
// window lets a short last block be blended into what is there. A short last
// block that reads no pixels goes out in one masked store where the processor
// has them: a frame buffer out of the cache is then not read before it is
// written. Otherwise the last pixels are stored a few at a time (or go through
// a buffer, for a block that reads pixels). Always inlined, so that the
// block's state stays in registers.
template <class Block>
SIMD_AVX2 SIMD_INLINE inline void run16(uint16_t* p, int32_t n, const PixelWindow& window,
                                        Block& block) {
    __m256i pixels;
    for (; n >= 16; n -= 16, p += 16) {
        __m256i* at = reinterpret_cast<__m256i*>(p);
        const __m256i under =
            Block::reads_pixels ? _mm256_loadu_si256(at) : _mm256_setzero_si256();
        if (block.next(p, under, n, &pixels)) _mm256_storeu_si256(at, pixels);
    }
    if (n == 0) return;
    if (!Block::reads_pixels && masked_stores_on) {
        if (block.next(p, _mm256_setzero_si256(), n, &pixels)) {
            store_first_masked<16>(p, n, pixels);
        }
        return;
    }
    if (window.end - p >= 16) {
        __m256i* at = reinterpret_cast<__m256i*>(p);
        const __m256i under = _mm256_loadu_si256(at);
        if (block.next(p, under, n, &pixels)) {
            _mm256_storeu_si256(at, _mm256_blendv_epi8(under, pixels, first_lanes(n)));
        }
        return;
    }
    if (!Block::reads_pixels) {
        if (block.next(p, _mm256_setzero_si256(), n, &pixels)) store_part(p, n, pixels);
        return;
    }
    alignas(32) uint16_t part[16] = {};
    const size_t bytes = static_cast<size_t>(n) * 2;
    std::memcpy(part, p, bytes);
    __m256i* at = reinterpret_cast<__m256i*>(part);
    if (block.next(part, _mm256_load_si256(at), n, &pixels)) _mm256_store_si256(at, pixels);
    std::memcpy(p, part, bytes);
}

// Channels added with their lowest bits cleared; an overflowing channel
// becomes 31 and keeps its carry in the next field.
SIMD_AVX2 inline __m256i add_saturate(__m256i a, __m256i b) {
    const __m256i fields = _mm256_set1_epi16(0x7BDE);
    const __m256i sum =
        _mm256_add_epi16(_mm256_and_si256(a, fields), _mm256_and_si256(b, fields));
    const __m256i carries = _mm256_and_si256(sum, _mm256_set1_epi16(static_cast<short>(0x8420)));
    return _mm256_or_si256(sum, _mm256_sub_epi16(carries, _mm256_srli_epi16(carries, 5)));
}

SIMD_AVX2 inline __m256i average(__m256i a, __m256i b) {
    const __m256i halves = _mm256_set1_epi16(0x3DEF);
    return _mm256_add_epi16(_mm256_and_si256(_mm256_srli_epi16(a, 1), halves),
                            _mm256_and_si256(_mm256_srli_epi16(b, 1), halves));
}

// What addresses the texels: the span state in registers.
struct TexSampler {
    __m256i u_mask, v_mask;
    __m128i v_shift;
    const uint16_t* texels;
};

SIMD_AVX2 inline TexSampler tex_sampler(uint32_t u_mask, uint32_t v_mask, uint32_t v_shift,
                                        const uint16_t* texels) {
    return TexSampler{_mm256_set1_epi16(static_cast<short>(u_mask)),
                      _mm256_set1_epi16(static_cast<short>(v_mask)),
                      _mm_cvtsi32_si128(static_cast<int>(v_shift)), texels};
}

// Texels at the indices in lanes 0..3 of `at`, read one by one into lanes
// 0..3 of x, or 4..7 with High.
template <bool High>
SIMD_AVX2 inline __m128i four_texels(__m128i x, const uint16_t* t, const uint16_t* at) {
    constexpr int first = High ? 4 : 0;
    x = High ? _mm_insert_epi16(x, t[at[0]], first) : _mm_cvtsi32_si128(t[at[0]]);
    x = _mm_insert_epi16(x, t[at[1]], first + 1);
    x = _mm_insert_epi16(x, t[at[2]], first + 2);
    return _mm_insert_epi16(x, t[at[3]], first + 3);
}

// The texels of the first `left` (1..8) indices of `at`, four at a time;
// lanes past them are left unspecified.
SIMD_AVX2 inline __m128i eight_texels(const uint16_t* t, const uint16_t* at, int32_t left) {
    const __m128i x = four_texels<false>(_mm_setzero_si128(), t, at);
    return left > 4 ? four_texels<true>(x, t, at + 4) : x;
}

// Texels at the texture coordinates of sixteen pixels (u and v in 16-bit
// lanes; only their bits 8..15 address texels), of which the first `left`
// are wanted: lanes past them hold whatever is quickest. The indices are
// worked out together, the texels read one by one: plain reads are quicker
// than a gather here.
SIMD_AVX2 inline void texel_indices(const TexSampler& s, __m256i u, __m256i v, uint16_t* at) {
    const __m256i index =
        _mm256_add_epi16(_mm256_srl_epi16(_mm256_and_si256(v, s.v_mask), s.v_shift),
                         _mm256_and_si256(_mm256_srli_epi16(u, 8), s.u_mask));
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
}

SIMD_AVX2 inline __m256i texels16(const TexSampler& s, __m256i u, __m256i v, int32_t left) {
    alignas(32) uint16_t at[16];
    texel_indices(s, u, v, at);
    const __m128i low = eight_texels(s.texels, at, left);
    if (left <= 8) return _mm256_castsi128_si256(low);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low),
                                   eight_texels(s.texels, at + 8, left - 8), 1);
}

// The texels of two rows in one block: the first n0 (1..8) of lanes 0..7
// and the first n1 (1..8) of lanes 8..15; the other lanes unspecified.
SIMD_AVX2 inline __m256i texels_two_rows(const TexSampler& s, __m256i u, __m256i v, int32_t n0,
                                         int32_t n1) {
    alignas(32) uint16_t at[16];
    texel_indices(s, u, v, at);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(eight_texels(s.texels, at, n0)),
                                   eight_texels(s.texels, at + 8, n1), 1);
}

// The first n (1..8) of eight pixels written at p: by a masked store, or
// blended into the eight there (all of which must then lie in the surface).
SIMD_AVX2 inline void store_first(uint16_t* p, int32_t n, __m128i pixels) {
    if (masked_stores_on) {
        store_first_masked<8>(p, n, pixels);
        return;
    }
    __m128i* at = reinterpret_cast<__m128i*>(p);
    _mm_storeu_si128(at, _mm_blendv_epi8(_mm_loadu_si128(at), pixels,
                                         _mm256_castsi256_si128(first_lanes(n))));
}

}  // namespace simd
#endif
