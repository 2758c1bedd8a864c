// Clipping and edge walking shared by the polygon rasterizers. A vertex
// carries its screen position and N more values (texture coordinates,
// colours) that are clipped and walked exactly like x. The Gouraud, textured
// and ramp-shaded families clip with clip_poly; the flat family has a clipper
// of its own and walks with N = 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "raster/simd.h"
#include "raster/textured.h"
#include "render/surface.h"

// Each clipping pass emits at most two vertices per edge: a quad ends with 16.
constexpr int32_t POLY_CAPACITY = 16;

// A point is kept in whole quarters of four values (the values past x, y and
// the N are 0). Points are written a quarter at a time, and the kernels' walker
// reads them a quarter at a time: each read then takes its values straight
// from the write that made them, where a wider read would wait for several
// writes to reach the cache.
template <int N>
struct EdgePoint {
    static constexpr int QUARTERS = (2 + N + 3) / 4;
    int32_t c[4 * QUARTERS];  // x, y, then the N values
};

// Writes a quarter of a point: four values in one store.
inline void store_quarter(int32_t* at, int32_t a, int32_t b, int32_t c, int32_t d) {
#if RASTER_SIMD
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_setr_epi32(a, b, c, d));
#else
    at[0] = a;
    at[1] = b;
    at[2] = c;
    at[3] = d;
#endif
}

// Widened divisor of a difference that may have wrapped (vertices near the
// camera project far outside the surface).
inline int32_t widen_wrapped(int32_t d) {
    return d >= 0 ? wrap_add(d, 1) : wrap_sub(d, 1);
}

inline bool poly_on_one_row(const ScreenVertex* const* v, int32_t n) {
    for (int32_t i = 1; i < n; i++) {
        if (v[i]->y != v[0]->y) return false;
    }
    return true;
}

// The crossing of the edge from the outside vertex p toward q with the border
// of `axis` (0 columns, 1 rows) that p lies beyond. The far border is placed
// on the last column or row but measured at `extent` (W or H).
template <int N>
EdgePoint<N> clip_crossing(const EdgePoint<N>& p, const EdgePoint<N>& q, int axis,
                           int32_t extent) {
    const int32_t d = widen_wrapped(wrap_sub(q.c[axis], p.c[axis]));
    EdgePoint<N> crossing{};
    int32_t s;
    if (p.c[axis] < 0) {
        crossing.c[axis] = 0;
        s = wrap_neg(p.c[axis]);
    } else {
        crossing.c[axis] = extent - 1;
        s = wrap_sub(extent, p.c[axis]);
    }
    for (int k = 0; k < 2 + N; k++) {
        if (k == axis) continue;
        const int32_t slope = wrap_div(wrap_shl(wrap_sub(q.c[k], p.c[k]), 8), d);
        crossing.c[k] = wrap_add(p.c[k], wrap_mul(s, slope) >> 8);
    }
    return crossing;
}

// Coincidence of a crossing with an edge end: the column pass compares x
// only, the row pass both coordinates.
template <int N>
bool clip_same_place(const EdgePoint<N>& a, const EdgePoint<N>& b, int axis) {
    return a.c[0] == b.c[0] && (axis == 0 || a.c[1] == b.c[1]);
}

// One pass over the closed outline in[0..n-1] against 0..extent-1 of `axis`;
// out needs room for 2n vertices.
template <int N>
int32_t clip_pass(const EdgePoint<N>* in, int32_t n, EdgePoint<N>* out, int axis,
                  int32_t extent) {
    const uint32_t limit = static_cast<uint32_t>(extent - 1);
    int32_t m = 0;
    for (int32_t k = 0; k < n; k++) {
        const EdgePoint<N>& a = in[k];
        const EdgePoint<N>& b = in[k + 1 < n ? k + 1 : 0];
        const bool a_out = static_cast<uint32_t>(a.c[axis]) > limit;
        const bool b_out = static_cast<uint32_t>(b.c[axis]) > limit;
        if (!a_out && !b_out) {
            out[m++] = b;
        } else if (!a_out) {
            const EdgePoint<N> crossing = clip_crossing(b, a, axis, extent);
            if (!clip_same_place(crossing, a, axis)) out[m++] = crossing;
        } else if (!b_out) {
            const EdgePoint<N> crossing = clip_crossing(a, b, axis, extent);
            if (axis == 0 && crossing.c[0] == b.c[0]) {
                // One vertex only: the crossing if it is b's place, else b.
                out[m++] = crossing.c[1] == b.c[1] ? crossing : b;
            } else {
                out[m++] = crossing;
                if (!clip_same_place(crossing, b, axis)) out[m++] = b;
            }
        }
    }
    return m;
}

// Clips the polygon of the n (1..4) input vertices to the surface: columns
// first, then rows. point(i) gives vertex i as a point. Returns the
// vertex count written to out (POLY_CAPACITY entries). A polygon on the
// surface is written straight to out, in the order the passes leave it.
template <int N, class Point>
int32_t clip_poly(const ScreenVertex* const* v, int32_t n, EdgePoint<N>* out,
                  const Point& point) {
    if (draw_poly_on_surface(v, n)) {
        for (int32_t i = 0; i < n; i++) out[draw_turned_place(i, n)] = point(i);
        return n;
    }
    EdgePoint<N> in[4];
    for (int32_t i = 0; i < n; i++) in[i] = point(i);
    const RasterSurface* surface = draw_surface();
    EdgePoint<N> columns[POLY_CAPACITY];
    const int32_t m = clip_pass(in, n, columns, 0, surface->width);
    return clip_pass(columns, m, out, 1, surface->height);
}

// The first quarter of the textured families' points: position and texture
// coordinates.
inline void store_position_uv(int32_t* at, const ScreenVertex& v, const Vec4& t) {
    store_quarter(at, v.x, v.y, t.x, t.y);
}

// The walked values of a vertex: x, then the N values (y is the row).
template <int N>
int32_t walked_value(const EdgePoint<N>& p, int a) {
    return p.c[a == 0 ? 0 : a + 1];
}

// Walks the clipped outline v[0..m-1] from its top vertex down. The walker
// holds the accumulators of the two edges (24.8: x and the N values) and
// draws the spans:
//   start(top)            both edges' accumulators at the top vertex x 256
//   set_edge(e, a, b)     edge e runs from vertex a to vertex b: its steps
//   choose_left()         the left edge: edge 1 when its x step is smaller
//   spans(y, last)        the spans of rows y..last, both edges stepped after
//                         each
//   span_then_step(y, e)  the span of row y, then only edge e stepped
// Left and right edges are chosen once at the top vertex and the
// accumulators are never reset, so a row where an edge ends may be drawn
// twice.
template <int N, class Walker>
void scan_poly(const EdgePoint<N>* v, int32_t m, Walker& walker) {
    if (m < 2) return;
    int32_t top = 0;
    for (int32_t i = 1; i < m; i++) {
        if (v[i].c[1] < v[top].c[1]) top = i;
    }
    // Edge 0 walks forward through the outline, edge 1 backward.
    int32_t end[2] = {top + 1 < m ? top + 1 : 0, top > 0 ? top - 1 : m - 1};
    walker.start(v[top]);
    walker.set_edge(0, v[top], v[end[0]]);
    walker.set_edge(1, v[top], v[end[1]]);
    walker.choose_left();

    auto move_on = [&](int edge) {
        const int32_t from = end[edge];
        if (edge == 0) end[0] = from + 1 < m ? from + 1 : 0;
        else end[1] = from > 0 ? from - 1 : m - 1;
        walker.set_edge(edge, v[from], v[end[edge]]);
    };

    int32_t y = v[top].c[1];
    for (int32_t event = 0; event < m - 1; event++) {
        const int k = v[end[1]].c[1] < v[end[0]].c[1] ? 1 : 0;
        const int32_t end_y = v[end[k]].c[1];
        // After the last event no edge is walked again.
        const bool more = event + 1 < m - 1;
        if (y == end_y) {
            walker.span_then_step(y, k);
        } else {
            if (y < end_y) {
                walker.spans(y, end_y);
                y = end_y + 1;
            }
            if (more && v[end[1 - k]].c[1] == end_y) move_on(1 - k);
        }
        if (more) move_on(k);
    }
}

// The walker of the plain loops: span(row, left, right) draws a span of the
// row from the accumulators x and the N values of the left and right edges.
template <int N, class Span>
struct PlainWalker {
    static constexpr int VALUES = 1 + N;
    const Span& span;
    uint16_t* pixels;
    int32_t width;
    int32_t acc[2][VALUES];
    int32_t step[2][VALUES];
    int left;

    void start(const EdgePoint<N>& top) {
        for (int a = 0; a < VALUES; a++) acc[0][a] = acc[1][a] = wrap_shl(walked_value(top, a), 8);
    }
    void set_edge(int edge, const EdgePoint<N>& from, const EdgePoint<N>& to) {
        // Clipped rows lie on the surface: the difference cannot overflow, and
        // the widened divisor is never 0 or -1.
        const int32_t rows = draw_widen(to.c[1] - from.c[1]);
        for (int a = 0; a < VALUES; a++) {
            step[edge][a] =
                wrap_shl(wrap_sub(walked_value(to, a), walked_value(from, a)), 8) / rows;
        }
    }
    void choose_left() { left = step[1][0] < step[0][0] ? 1 : 0; }
    void step_edge(int edge) {
        for (int a = 0; a < VALUES; a++) acc[edge][a] = wrap_add(acc[edge][a], step[edge][a]);
    }
    void spans(int32_t y, int32_t last) {
        for (uint16_t* row = pixels + y * width; y <= last; y++, row += width) {
            span(row, acc[left], acc[1 - left]);
            step_edge(0);
            step_edge(1);
        }
    }
    void span_then_step(int32_t y, int edge) {
        span(pixels + y * width, acc[left], acc[1 - left]);
        step_edge(edge);
    }
};

template <int N, class Span>
void scan_poly_plain(const EdgePoint<N>* v, int32_t m, const Span& span) {
    const RasterSurface* surface = draw_surface();
    PlainWalker<N, Span> walker{span, surface->pixels, surface->width, {}, {}, 0};
    scan_poly(v, m, walker);
}

#if RASTER_SIMD
// Whether a kernel draws two short rows together (draw_pair).
template <class Kernel, class = void>
struct KernelPairs {
    static constexpr bool value = false;
};
template <class Kernel>
struct KernelPairs<Kernel, std::void_t<decltype(Kernel::PAIRS)>> {
    static constexpr bool value = Kernel::PAIRS;
};

// The span values of up to eight consecutive rows, worked out together: row
// i's first column and pixel count at x[i] and count[i], its value k and that
// value's step per pixel at start[k][i] and step[k][i].
template <int K>
struct RowBatch {
    static constexpr int VALUES = K > 0 ? K : 1;
    alignas(32) int32_t x[8];
    alignas(32) int32_t count[8];
    alignas(32) int32_t start[VALUES][8];
    alignas(32) int32_t step[VALUES][8];
};

// A family's shifts (simd::SpanShifts) spread out for the rows of a batch:
// shift j of value k in every lane of by_value[k][j]. The last spread is
// kept, since the polygons drawn one after another mostly share a texture.
template <int N>
struct WalkerShifts {
    simd::SpanShifts of;
    __m256i by_value[N][5];
};
template <int N>
inline WalkerShifts<N> last_walker_shifts{};

template <int N>
SIMD_AVX2 const WalkerShifts<N>& walker_shifts(const simd::SpanShifts& s) {
    WalkerShifts<N>& last = last_walker_shifts<N>;
    const __m256i by_shift[5] = {s.a, s.b, s.c, s.d, s.e};
    const __m256i kept[5] = {last.of.a, last.of.b, last.of.c, last.of.d, last.of.e};
    __m256i differ = _mm256_setzero_si256();
    for (int j = 0; j < 5; j++) {
        differ = _mm256_or_si256(differ, _mm256_xor_si256(by_shift[j], kept[j]));
    }
    // (At first both are all zero: the spread of zero shifts.)
    if (_mm256_testz_si256(differ, differ)) return last;
    last.of = s;
    for (int k = 0; k < N; k++) {
        for (int j = 0; j < 5; j++) {
            last.by_value[k][j] = _mm256_permutevar8x32_epi32(by_shift[j], _mm256_set1_epi32(k));
        }
    }
    return last;
}

// The walker of the kernels: the accumulators of an edge are the lanes of a
// vector, x, y (not walked) and the N values, as in EdgePoint. For each span
// it calls kernel.draw(p, n, row): n pixels from p, with the values of the
// span at its first drawn pixel in `row` (simd::SpanRow). The kernel's
// `shifts` (simd::SpanShifts) turn accumulators into span values, and its
// READS_PIXELS says whether its blocks read the pixels they draw over.
template <int N, class Kernel>
struct SimdWalker {
    const Kernel& kernel;
    uint16_t* pixels;
    int32_t width;
    // Written by start() and set_edge() before they are read: not cleared.
    alignas(32) int32_t acc[2][8];
    alignas(32) int32_t step[2][8];
    int left = 0;
    // The kernel's shifts a, b, c, d, e of value k, in every lane.
    const WalkerShifts<N>* shifts = nullptr;

    SIMD_AVX2 SimdWalker(const Kernel& kernel_, uint16_t* pixels_, int32_t width_)
        : kernel(kernel_), pixels(pixels_), width(width_) {
        if constexpr (N > 0) shifts = &walker_shifts<N>(kernel.shifts);
    }

    SIMD_AVX2 static __m256i lanes(const int32_t* p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    SIMD_AVX2 static void set_lanes(int32_t* p, __m256i x) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(p), x);
    }
    // The values of a point, a quarter at a time (see EdgePoint).
    SIMD_AVX2 static __m256i point_lanes(const EdgePoint<N>& p) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p.c));
        if constexpr (EdgePoint<N>::QUARTERS == 1) {
            return _mm256_zextsi128_si256(first);
        } else {
            static_assert(EdgePoint<N>::QUARTERS == 2, "points of up to eight values");
            return _mm256_inserti128_si256(
                _mm256_castsi128_si256(first),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p.c + 4)), 1);
        }
    }
    SIMD_AVX2 void start(const EdgePoint<N>& top) {
        const __m256i at_top = _mm256_slli_epi32(point_lanes(top), 8);
        set_lanes(acc[0], at_top);
        set_lanes(acc[1], at_top);
    }
    SIMD_AVX2 void set_edge(int edge, const EdgePoint<N>& from, const EdgePoint<N>& to) {
        const int32_t rows = draw_widen(to.c[1] - from.c[1]);
        if constexpr (N == 0) {
            // Only x is walked.
            step[edge][0] = simd::divide_one(wrap_shl(wrap_sub(to.c[0], from.c[0]), 8), rows);
            return;
        }
        const __m256i difference = _mm256_sub_epi32(point_lanes(to), point_lanes(from));
        set_lanes(step[edge],
                  simd::divide_lanes<(2 + N > 4)>(_mm256_slli_epi32(difference, 8), rows));
    }
    void choose_left() { left = step[1][0] < step[0][0] ? 1 : 0; }

    // The span of a row: columns left x >> 8 up to, not including, right x >> 8,
    // written only where they lie on the surface.
    SIMD_AVX2 void span(uint16_t* row, __m256i l, __m256i r) const {
        const int32_t x = _mm256_cvtsi256_si32(l) >> 8;
        const int32_t count = wrap_sub(_mm256_cvtsi256_si32(r) >> 8, x);
        if (count <= 0) return;
        const SpanRange range = draw_confine_span(x, count, width);
        if (range.count > 0) {
            simd::draw_span<N>(kernel, row + range.first, range.count, count, range.skip, l, r);
        }
    }

    // Lane `a` of an edge's accumulators at each of the next eight rows.
    SIMD_AVX2 static __m256i walked_rows(const int32_t* edge_acc, const int32_t* edge_step,
                                         int a) {
        return _mm256_add_epi32(_mm256_set1_epi32(edge_acc[a]),
                                _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                   _mm256_set1_epi32(edge_step[a])));
    }

    // The spans of the next `rows` (1..8) rows, as span() and
    // simd::span_values work them out one at a time: the divisions of a value
    // done together.
    SIMD_AVX2 void batch(RowBatch<N>* b, int32_t rows) const {
        const int32_t* l = acc[left];
        const int32_t* r = acc[1 - left];
        const int32_t* step_l = step[left];
        const int32_t* step_r = step[1 - left];
        const __m256i x = _mm256_srai_epi32(walked_rows(l, step_l, 0), 8);
        const __m256i count =
            _mm256_sub_epi32(_mm256_srai_epi32(walked_rows(r, step_r, 0), 8), x);
        set_lanes(b->x, x);
        set_lanes(b->count, count);
        const simd::LaneDivisors divisors = simd::lane_divisors(count, rows > 4);
        for (int k = 0; k < N; k++) {
            const __m256i* s = shifts->by_value[k];
            const __m256i value_l = walked_rows(l, step_l, 2 + k);
            const __m256i value_r = walked_rows(r, step_r, 2 + k);
            const __m256i difference = _mm256_srav_epi32(
                _mm256_sllv_epi32(_mm256_sub_epi32(value_r, value_l), s[0]), s[1]);
            set_lanes(b->step[k], _mm256_srav_epi32(
                                      simd::divide_by(difference, divisors, rows > 4), s[2]));
            set_lanes(b->start[k], _mm256_srav_epi32(_mm256_sllv_epi32(value_l, s[3]), s[4]));
        }
    }

    // Whether row i of a batch has 1 to 8 pixels, all on a surface `width`
    // pixels wide.
    static bool short_on_surface(const RowBatch<N>& b, int32_t i, int32_t width) {
        return b.count[i] > 0 && b.count[i] <= 8 && draw_span_on_row(b.x[i], b.count[i], width);
    }

    // Row i of a batch, at `row`, through `kernel`, on a surface `width`
    // pixels wide.
    SIMD_AVX2 static void batch_span(const Kernel& kernel, int32_t width, uint16_t* row,
                                     const RowBatch<N>& b, int32_t i) {
        const int32_t x = b.x[i];
        const int32_t count = b.count[i];
        if (count <= 0) return;
        if (draw_span_on_row(x, count, width)) {
            kernel.draw(row + x, count, simd::SpanRow{&b.start[0][i], &b.step[0][i], 8});
            return;
        }
        const SpanRange range = draw_confine_span(x, count, width);
        if (range.count <= 0) return;
        // The values at the first pixel on the surface.
        alignas(32) int32_t start[RowBatch<N>::VALUES][8];
        for (int k = 0; k < N; k++) {
            start[k][0] = wrap_add(b.start[k][i], wrap_mul(range.skip, b.step[k][i]));
        }
        kernel.draw(row + range.first, range.count,
                    simd::SpanRow{&start[0][0], &b.step[0][i], 8});
    }

    // Asks for the lines where the eight rows from row `first` on begin
    // (counted from `row` and the accumulators; none at or past row `end`).
    // The first block of a short row is read back before it is written: from
    // a frame buffer that has left the cache, every row would wait for its
    // line in turn. Not needed where nothing is read: a kernel that only
    // writes, with masked stores for the short blocks. (Addresses as integers:
    // a prefetch may reach past the surface's last pixel.)
    static bool rows_read_back() {
        return Kernel::READS_PIXELS || !masked_stores_on;
    }
    SIMD_AVX2 void prefetch_rows(const uint16_t* row, int32_t first, int32_t end) const {
        const int32_t l = acc[left][0], step_l = step[left][0];
        const uintptr_t base = reinterpret_cast<uintptr_t>(row);
        for (int32_t i = first; i < first + 8 && i < end; i++) {
            const intptr_t x = wrap_add(l, wrap_mul(i, step_l)) >> 8;
            const uintptr_t at =
                base + static_cast<uintptr_t>(i * static_cast<intptr_t>(width) + x) * 2;
            // The first block's first and last pixels: it may cross into a second line.
            _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(at + (16 - 1) * sizeof(uint16_t)),
                         _MM_HINT_T0);
        }
    }

    SIMD_AVX2 void spans(int32_t y, int32_t last) {
        uint16_t* row = pixels + y * width;
        // Copies in registers: the pixel stores may alias the walker. A kernel
        // much larger than its few hot fields costs more to copy than its
        // reloads do: that one is read where it is.
        using RowKernel =
            std::conditional_t<(sizeof(Kernel) <= 64), const Kernel, const Kernel&>;
        RowKernel row_kernel = kernel;
        const int32_t row_width = width;
        if constexpr (N == 0) {
            // Nothing to divide: row by row, from x alone (the only lane read).
            int32_t l = acc[left][0], r = acc[1 - left][0];
            const int32_t step_l = step[left][0], step_r = step[1 - left][0];
            for (; y <= last; y++, row += row_width) {
                const int32_t x = l >> 8;
                const int32_t count = wrap_sub(r >> 8, x);
                if (count > 0) {
                    if (draw_span_on_row(x, count, row_width)) {
                        row_kernel.draw(row + x, count, simd::SpanRow{});
                    } else {
                        const SpanRange range = draw_confine_span(x, count, row_width);
                        if (range.count > 0) {
                            row_kernel.draw(row + range.first, range.count, simd::SpanRow{});
                        }
                    }
                }
                l = wrap_add(l, step_l);
                r = wrap_add(r, step_r);
            }
            acc[left][0] = l;
            acc[1 - left][0] = r;
            return;
        }
        const bool ask_ahead = rows_read_back();
        if (ask_ahead) prefetch_rows(row, 0, last - y + 1);
        while (y <= last) {
            const int32_t rows = last - y < 8 ? last - y + 1 : 8;
            RowBatch<N> b;
            batch(&b, rows);
            // The next batch's rows, while this one is drawn.
            if (ask_ahead) prefetch_rows(row, 8, last - y + 1);
            for (int32_t i = 0; i < rows; i++, row += row_width) {
                if constexpr (KernelPairs<Kernel>::value) {
                    // Two short rows on the surface in one sixteen-pixel block.
                    if (i + 1 < rows && short_on_surface(b, i, row_width) &&
                        short_on_surface(b, i + 1, row_width) &&
                        row_kernel.draw_pair(row + b.x[i], b.count[i],
                                             row + row_width + b.x[i + 1], b.count[i + 1],
                                             simd::SpanRow{&b.start[0][i], &b.step[0][i], 8})) {
                        i++;
                        row += row_width;
                        continue;
                    }
                }
                batch_span(row_kernel, row_width, row, b, i);
            }
            const __m256i times = _mm256_set1_epi32(rows);
            for (int e = 0; e < 2; e++) {
                const __m256i walked = _mm256_mullo_epi32(lanes(step[e]), times);
                set_lanes(acc[e], _mm256_add_epi32(lanes(acc[e]), walked));
            }
            y += rows;
        }
    }
    SIMD_AVX2 void span_then_step(int32_t y, int edge) {
        uint16_t* row = pixels + y * width;
        if constexpr (N == 0) {
            // x alone, as spans() walks it.
            span(row, _mm256_castsi128_si256(_mm_cvtsi32_si128(acc[left][0])),
                 _mm256_castsi128_si256(_mm_cvtsi32_si128(acc[1 - left][0])));
            acc[edge][0] = wrap_add(acc[edge][0], step[edge][0]);
            return;
        }
        span(row, lanes(acc[left]), lanes(acc[1 - left]));
        set_lanes(acc[edge], _mm256_add_epi32(lanes(acc[edge]), lanes(step[edge])));
    }
};

// Where the kernels of a polygon may read and write back pixels past a span:
// the surface.
inline simd::PixelWindow surface_window() {
    const RasterSurface* surface = draw_surface();
    return simd::PixelWindow{surface->pixels + static_cast<ptrdiff_t>(surface->width) *
                                                   surface->height};
}

template <int N, class Kernel>
void scan_poly_simd(const EdgePoint<N>* v, int32_t m, const Kernel& kernel) {
    const RasterSurface* surface = draw_surface();
    SimdWalker<N, Kernel> walker(kernel, surface->pixels, surface->width);
    scan_poly(v, m, walker);
}
#endif

// Texture coordinates of a span: u and v in 24.8 texels, stepped per pixel
// with wrap-around (only their low bits address texels).
struct TexWalk {
    uint32_t u, v, du, dv;
};

// For a span of count > 0 pixels whose first `skip` pixels are not drawn.
// The steps are divided before they are shifted.
inline TexWalk tex_walk(int32_t left_u, int32_t left_v, int32_t right_u, int32_t right_v,
                        int32_t width_shift, int32_t height_shift, int32_t count,
                        int32_t skip) {
    TexWalk w;
    w.du = static_cast<uint32_t>((wrap_sub(right_u, left_u) / count) >> (8 - width_shift));
    w.dv = static_cast<uint32_t>((wrap_sub(right_v, left_v) / count) >> (8 - height_shift));
    w.u = static_cast<uint32_t>(wrap_shl(left_u, width_shift) >> 8) +
          static_cast<uint32_t>(skip) * w.du;
    w.v = static_cast<uint32_t>(wrap_shl(left_v, height_shift) >> 8) +
          static_cast<uint32_t>(skip) * w.dv;
    return w;
}

// The span state of a texture whose shifts are known to be usable.
inline void tex_span_state(int32_t width_shift, int32_t height_shift) {
    tex_u_mask = (1 << width_shift) - 1;
    tex_v_mask = ((1 << height_shift) - 1) * 256;
    tex_v_shift = 8 - width_shift;
}

// The span state in registers for one span.
struct TexAddress {
    uint32_t u_mask, v_mask, v_shift;
    uint32_t index(uint32_t u, uint32_t v) const {
        return ((v & v_mask) >> v_shift) + ((u >> 8) & u_mask);
    }
};

inline TexAddress tex_address() {
    return TexAddress{static_cast<uint32_t>(tex_u_mask), static_cast<uint32_t>(tex_v_mask),
                      static_cast<uint32_t>(tex_v_shift)};
}

#if RASTER_SIMD
// The span state and the texels of a span or polygon in vector registers.
SIMD_AVX2 inline simd::TexSampler tex_sampler(const uint16_t* texels) {
    const TexAddress a = tex_address();
    return simd::tex_sampler(a.u_mask, a.v_mask, a.v_shift, texels);
}

// u and v: du = ((right u - left u) / count) >> (8 - width shift) and
// u = (left u << width shift) >> 8, v likewise; `rest` shifts the values
// after them right by that much.
SIMD_AVX2 inline simd::SpanShifts tex_shifts(int32_t width_shift, int32_t height_shift,
                                             int32_t rest) {
    return simd::SpanShifts{
        _mm256_setzero_si256(), _mm256_setr_epi32(0, 0, rest, rest, rest, 0, 0, 0),
        _mm256_setr_epi32(8 - width_shift, 8 - height_shift, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi32(width_shift, height_shift, 0, 0, 0, 0, 0, 0),
        _mm256_setr_epi32(8, 8, rest, rest, rest, 0, 0, 0)};
}
#endif

// Texels and shifts of a texture slot; false for a slot without a usable
// texture.
bool tex_image_of_slot(int32_t texture, TexImage* image);
bool tex_image_usable(const TexImage& image);
// The span state of a texture a public span entry is given; false, setting
// nothing, for one it cannot read (no texels, or a side other than 2..256).
bool tex_span_ready(const TexImage& image);
