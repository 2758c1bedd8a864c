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

// True when the AVX2 kernels run.
bool simd_enabled();
// Turns the kernels on (where the processor has AVX2) or off; returns whether
// they run now.
bool simd_enable(bool on);

#if RASTER_SIMD
namespace simd {

// Lane i holds start + i x step, wrapping.
SIMD_AVX2 inline __m256i lanes(uint32_t start, uint32_t step) {
    const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(start)),
                            _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(step)), index));
}

SIMD_AVX2 inline __m256i times8(uint32_t step) {
    return _mm256_set1_epi32(static_cast<int>(step << 3));
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

// Texture coordinates of eight pixels and what addresses their texels. The
// texels are read as aligned pairs, so that no read passes either end of the
// texture.
struct TexLanes {
    __m256i u, v, du, dv;
    __m256i u_mask, v_mask;
    __m128i v_shift;
    const int* pairs;
};

SIMD_AVX2 inline TexLanes tex_lanes(uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                                    uint32_t u_mask, uint32_t v_mask, uint32_t v_shift,
                                    const uint16_t* texels) {
    TexLanes t;
    t.u = lanes(u, du);
    t.v = lanes(v, dv);
    t.du = times8(du);
    t.dv = times8(dv);
    t.u_mask = _mm256_set1_epi32(static_cast<int>(u_mask));
    t.v_mask = _mm256_set1_epi32(static_cast<int>(v_mask));
    t.v_shift = _mm_cvtsi32_si128(static_cast<int>(v_shift));
    t.pairs = reinterpret_cast<const int*>(texels);
    return t;
}

// Texels of the next eight pixels in the low 16 bits of each lane (the upper
// bits are left over from the pair read).
SIMD_AVX2 inline __m256i next_texels(TexLanes& t) {
    const __m256i index = _mm256_add_epi32(
        _mm256_srl_epi32(_mm256_and_si256(t.v, t.v_mask), t.v_shift),
        _mm256_and_si256(_mm256_srli_epi32(t.u, 8), t.u_mask));
    const __m256i pair = _mm256_i32gather_epi32(t.pairs, _mm256_srli_epi32(index, 1), 4);
    const __m256i odd = _mm256_and_si256(index, _mm256_set1_epi32(1));
    t.u = _mm256_add_epi32(t.u, t.du);
    t.v = _mm256_add_epi32(t.v, t.dv);
    return _mm256_srlv_epi32(pair, _mm256_slli_epi32(odd, 4));
}

// n pixels from p, eight at a time. The kernel's next(p) gives the next eight
// pixels (over the pixels at p, if it reads them) and moves on; restart(k)
// puts it k pixels from the start. A last part of fewer than eight is drawn
// again from eight before the end when the kernel only writes, else through a
// buffer: no pixel past the span is ever touched.
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
    uint16_t part[8] = {};
    const size_t bytes = static_cast<size_t>(left) * 2;
    if (Kernel::reads_pixels) std::memcpy(part, p, bytes);
    store8(part, kernel.next(part));
    std::memcpy(p, part, bytes);
}

// The pair reads need texels on a 4-byte boundary.
inline bool texels_paired(const uint16_t* texels) {
    return (reinterpret_cast<uintptr_t>(texels) & 3) == 0;
}

}  // namespace simd
#endif
