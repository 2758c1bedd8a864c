// Eight-pixel AVX2 kernels for the span routines, chosen at run time: the
// processor must have AVX2, and tests and benchmarks may turn them off to run
// the plain loops. Every kernel writes exactly what the plain loop writes.
#pragma once

#include <cstdint>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define RASTER_SIMD 1
#include <immintrin.h>

#include <cstring>
#define SIMD_AVX2 __attribute__((target("avx2")))
#else
#define RASTER_SIMD 0
#endif

// True when the AVX2 kernels run (read for every span, so kept inline).
extern bool simd_kernels_on;
inline bool simd_enabled() {
    return simd_kernels_on;
}
// Turns the kernels on (where the processor has AVX2) or off; returns whether
// they run now.
bool simd_enable(bool on);

#if RASTER_SIMD
namespace simd {

// Quotients of the lanes (the first four, or all eight) by count > 0,
// truncated toward zero. Exact: a 32-bit dividend has at most 31 bits of
// magnitude beyond the sign, so the correctly rounded double quotient of a
// division that leaves a remainder stays more than its rounding error away
// from the next whole number.
template <bool AllEight>
SIMD_AVX2 inline __m256i divide_lanes(__m256i x, int32_t count) {
    const __m256d divisor = _mm256_set1_pd(static_cast<double>(count));
    const __m128i low = _mm256_cvttpd_epi32(
        _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(x)), divisor));
    if (!AllEight) return _mm256_castsi128_si256(low);
    const __m128i high = _mm256_cvttpd_epi32(
        _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(x, 1)), divisor));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// The values of a span (value i in lane i) at its first pixel and their steps
// per pixel, from the edge accumulators on the left and the right, as each
// family's rule says, with per-lane shifts a to e (right shifts arithmetic):
//   step = ((((right - left) << a) >> b) / count) >> c
//   start = ((left << d) >> e) + skip x step
struct SpanValues {
    __m256i start, step;
};

template <bool AllEight>
SIMD_AVX2 inline SpanValues span_values(__m256i left, __m256i right, int32_t count,
                                        int32_t skip, __m256i a, __m256i b, __m256i c,
                                        __m256i d, __m256i e) {
    const __m256i difference =
        _mm256_srav_epi32(_mm256_sllv_epi32(_mm256_sub_epi32(right, left), a), b);
    SpanValues v;
    v.step = _mm256_srav_epi32(divide_lanes<AllEight>(difference, count), c);
    v.start = _mm256_add_epi32(_mm256_srav_epi32(_mm256_sllv_epi32(left, d), e),
                               _mm256_mullo_epi32(v.step, _mm256_set1_epi32(skip)));
    return v;
}

// Values read one by one into lanes 0, 1, ...: they were just written one by
// one, and a wide read of them would wait for those writes to finish.
SIMD_AVX2 inline __m256i three_values(const int32_t* p) {
    return _mm256_setr_epi32(p[0], p[1], p[2], 0, 0, 0, 0, 0);
}

SIMD_AVX2 inline __m256i five_values(const int32_t* p) {
    return _mm256_setr_epi32(p[0], p[1], p[2], p[3], p[4], 0, 0, 0);
}

// Value i of the span for eight pixels, `from` pixels in: lane j holds it
// at pixel from + j.
SIMD_AVX2 inline __m256i value_lanes(const SpanValues& v, int i, int32_t from) {
    const __m256i which = _mm256_set1_epi32(i);
    const __m256i pixel =
        _mm256_add_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(from));
    return _mm256_add_epi32(
        _mm256_permutevar8x32_epi32(v.start, which),
        _mm256_mullo_epi32(_mm256_permutevar8x32_epi32(v.step, which), pixel));
}

// Eight steps of value i.
SIMD_AVX2 inline __m256i value_step8(const SpanValues& v, int i) {
    return _mm256_slli_epi32(_mm256_permutevar8x32_epi32(v.step, _mm256_set1_epi32(i)), 3);
}

// The low 16 bits of each lane, stored as eight pixels.
SIMD_AVX2 inline void store8(uint16_t* p, __m256i pixels) {
    const __m256i low_halves = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1,
                                                -1, -1, 0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1,
                                                -1, -1, -1, -1);
    const __m256i packed =
        _mm256_permute4x64_epi64(_mm256_shuffle_epi8(pixels, low_halves), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
}

// The first n (< 8) of eight pixels: four, two and one at a time.
SIMD_AVX2 inline void store_part(uint16_t* p, int32_t n, __m256i pixels) {
    const __m256i low_halves = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1,
                                                -1, -1, 0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1,
                                                -1, -1, -1, -1);
    __m128i packed = _mm256_castsi256_si128(
        _mm256_permute4x64_epi64(_mm256_shuffle_epi8(pixels, low_halves), 0x08));
    if (n & 4) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
        packed = _mm_srli_si128(packed, 8);
        p += 4;
    }
    if (n & 2) {
        const int32_t two = _mm_cvtsi128_si32(packed);
        std::memcpy(p, &two, sizeof two);
        packed = _mm_srli_si128(packed, 4);
        p += 2;
    }
    if (n & 1) *p = static_cast<uint16_t>(_mm_cvtsi128_si32(packed));
}

SIMD_AVX2 inline __m256i load8(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Channels added with their lowest bits cleared; an overflowing channel
// becomes 31 and keeps its carry in the next field.
SIMD_AVX2 inline __m256i add_saturate(__m256i a, __m256i b) {
    const __m256i fields = _mm256_set1_epi32(0x7BDE);
    const __m256i sum =
        _mm256_add_epi32(_mm256_and_si256(a, fields), _mm256_and_si256(b, fields));
    const __m256i carries = _mm256_and_si256(sum, _mm256_set1_epi32(0x8420));
    return _mm256_or_si256(sum, _mm256_sub_epi32(carries, _mm256_srli_epi32(carries, 5)));
}

SIMD_AVX2 inline __m256i average(__m256i a, __m256i b) {
    const __m256i halves = _mm256_set1_epi32(0x3DEF);
    return _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(a, 1), halves),
                            _mm256_and_si256(_mm256_srli_epi32(b, 1), halves));
}

// Texture coordinates of eight pixels and what addresses their texels.
struct TexLanes {
    __m256i u, v, du, dv;
    __m256i u_mask, v_mask;
    __m128i v_shift;
    const uint16_t* texels;
};

SIMD_AVX2 inline void tex_sampler(TexLanes* t, uint32_t u_mask, uint32_t v_mask, uint32_t v_shift,
                                  const uint16_t* texels) {
    t->u_mask = _mm256_set1_epi32(static_cast<int>(u_mask));
    t->v_mask = _mm256_set1_epi32(static_cast<int>(v_mask));
    t->v_shift = _mm_cvtsi32_si128(static_cast<int>(v_shift));
    t->texels = texels;
}

// u and v (values 0 and 1 of the span) from pixel `from` on.
SIMD_AVX2 inline void tex_coordinates(TexLanes* t, const SpanValues& v, int32_t from) {
    t->u = value_lanes(v, 0, from);
    t->v = value_lanes(v, 1, from);
    t->du = value_step8(v, 0);
    t->dv = value_step8(v, 1);
}

// Texels of the next eight pixels, one in each lane. The indices are worked
// out together, the texels read one by one: eight plain reads are quicker
// than a gather here.
SIMD_AVX2 inline __m256i next_texels(TexLanes& t) {
    const __m256i index = _mm256_add_epi32(
        _mm256_srl_epi32(_mm256_and_si256(t.v, t.v_mask), t.v_shift),
        _mm256_and_si256(_mm256_srli_epi32(t.u, 8), t.u_mask));
    alignas(32) uint32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
    __m128i texel = _mm_cvtsi32_si128(t.texels[at[0]]);
    texel = _mm_insert_epi16(texel, t.texels[at[1]], 1);
    texel = _mm_insert_epi16(texel, t.texels[at[2]], 2);
    texel = _mm_insert_epi16(texel, t.texels[at[3]], 3);
    texel = _mm_insert_epi16(texel, t.texels[at[4]], 4);
    texel = _mm_insert_epi16(texel, t.texels[at[5]], 5);
    texel = _mm_insert_epi16(texel, t.texels[at[6]], 6);
    texel = _mm_insert_epi16(texel, t.texels[at[7]], 7);
    t.u = _mm256_add_epi32(t.u, t.du);
    t.v = _mm256_add_epi32(t.v, t.dv);
    return _mm256_cvtepu16_epi32(texel);
}

// n pixels from p, eight at a time. The kernel's next(p) gives the next eight
// pixels (over the pixels at p, if it reads them) and moves on; restart(k)
// puts it k pixels from the start. A last part of fewer than eight: a kernel
// that only writes draws the last eight again (the same values) or, in a span
// shorter than eight, stores four, two and one; a kernel that reads goes
// through a buffer. No pixel past the span is ever touched.
template <class Kernel>
SIMD_AVX2 inline void run8(uint16_t* p, int32_t n, Kernel& kernel) {
    int32_t left = n;
    for (; left >= 8; left -= 8, p += 8) store8(p, kernel.next(p));
    if (left == 0) return;
    if (!Kernel::reads_pixels && n >= 8) {
        kernel.restart(n - 8);
        p -= 8 - left;
        store8(p, kernel.next(p));
        return;
    }
    if (!Kernel::reads_pixels) {
        store_part(p, left, kernel.next(p));
        return;
    }
    uint16_t part[8] = {};
    const size_t bytes = static_cast<size_t>(left) * 2;
    std::memcpy(part, p, bytes);
    store8(part, kernel.next(part));
    std::memcpy(p, part, bytes);
}


}  // namespace simd
#endif
