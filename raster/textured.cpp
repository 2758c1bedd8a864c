#include "raster/textured.h"

#include "files/texture.h"
#include "raster/polyscan.h"
#include "raster/simd.h"

int32_t tex_u_mask = 0;
int32_t tex_v_mask = 0;
int32_t tex_v_shift = 0;

namespace {

struct CopyRule {
    static constexpr bool reads_pixels = false;
    static uint16_t apply(uint32_t texel, uint32_t) { return static_cast<uint16_t>(texel); }
#if RASTER_SIMD
    SIMD_AVX2 static __m256i apply16(__m256i texels, __m256i) { return texels; }
#endif
};

// Channels added with their lowest bits cleared; an overflowing channel
// becomes 31, and its carry stays in the next field (bit 15 for red).
struct AddRule {
    static constexpr bool reads_pixels = true;
    static uint16_t apply(uint32_t texel, uint32_t pixel) {
        const uint32_t sum = (texel & 0x7BDE) + (pixel & 0x7BDE);
        const uint32_t carries = sum & 0x8420;
        return static_cast<uint16_t>(sum | (carries - (carries >> 5)));
    }
#if RASTER_SIMD
    SIMD_AVX2 static __m256i apply16(__m256i texels, __m256i pixels) {
        return simd::add_saturate(texels, pixels);
    }
#endif
};

struct HalfRule {
    static constexpr bool reads_pixels = true;
    static uint16_t apply(uint32_t texel, uint32_t pixel) {
        return static_cast<uint16_t>(((texel >> 1) & 0x3DEF) + ((pixel >> 1) & 0x3DEF));
    }
#if RASTER_SIMD
    SIMD_AVX2 static __m256i apply16(__m256i texels, __m256i pixels) {
        return simd::average(texels, pixels);
    }
#endif
};

// The span of count pixels that starts at column x of row, its writes
// confined to the columns 0..width-1.
template <class Rule>
void tex_span(uint16_t* row, int32_t x, int32_t count, int32_t width, int32_t left_u,
              int32_t left_v, int32_t right_u, int32_t right_v, int32_t width_shift,
              int32_t height_shift, const uint16_t* texels) {
    if (count <= 0) return;
    const SpanRange range = draw_confine_span(x, count, width);
    if (range.count <= 0) return;
    const TexAddress address = tex_address();
    uint16_t* p = row + range.first;
    TexWalk w = tex_walk(left_u, left_v, right_u, right_v, width_shift, height_shift,
                         count, range.skip);
    for (int32_t i = 0; i < range.count; i++) {
        p[i] = Rule::apply(texels[address.index(w.u, w.v)], p[i]);
        w.u += w.du;
        w.v += w.dv;
    }
}

#if RASTER_SIMD
template <class Rule>
struct TexBlock {
    static constexpr bool reads_pixels = Rule::reads_pixels;
    const simd::TexSampler& sampler;
    simd::Lanes16<2> uv;

    SIMD_AVX2 SIMD_INLINE bool next(uint16_t*, __m256i under, int32_t left, __m256i* pixels) {
        const __m256i texels = simd::texels16(sampler, uv.value[0], uv.value[1], left);
        uv.advance();
        *pixels = Rule::apply16(texels, under);
        return true;
    }
};

// Spans of one polygon, or one span, sixteen pixels at a time.
template <class Rule>
struct TexKernel {
    static constexpr bool READS_PIXELS = TexBlock<Rule>::reads_pixels;
    simd::SpanShifts shifts;
    simd::TexSampler sampler;
    simd::PixelWindow window;

    SIMD_AVX2 SIMD_INLINE void draw(uint16_t* p, int32_t n, const simd::SpanRow& row) const {
        TexBlock<Rule> block{sampler, simd::lanes16<2>(row)};
        simd::run16(p, n, window, block);
    }
};

template <class Rule>
SIMD_AVX2 TexKernel<Rule> tex_kernel(const TexImage& image, const simd::PixelWindow& window) {
    return TexKernel<Rule>{tex_shifts(image.width_shift, image.height_shift, 0),
                           tex_sampler(image.texels), window};
}

template <class Rule>
SIMD_AVX2 void tex_poly_simd(const EdgePoint<2>* clipped, int32_t m, const TexImage& image) {
    const TexKernel<Rule> kernel = tex_kernel<Rule>(image, surface_window());
    scan_poly_simd(clipped, m, kernel);
}

template <class Rule>
SIMD_AVX2 void tex_span_simd(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                             int32_t right_u, int32_t right_v, const TexImage& image) {
    const TexKernel<Rule> kernel = tex_kernel<Rule>(image, simd::PixelWindow{p + count});
    simd::draw_span<2>(kernel, p, count, count, 0,
                       _mm256_setr_epi32(0, 0, left_u, left_v, 0, 0, 0, 0),
                       _mm256_setr_epi32(0, 0, right_u, right_v, 0, 0, 0, 0));
}
#endif

// A span of count pixels from p, as draw_tex_span and its twins draw it.
template <class Rule>
void tex_span_at(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v, int32_t right_u,
                 int32_t right_v, const TexImage& image) {
    if (!tex_span_ready(image)) return;
#if RASTER_SIMD
    if (simd_enabled()) {
        if (count > 0) tex_span_simd<Rule>(p, count, left_u, left_v, right_u, right_v, image);
        return;
    }
#endif
    tex_span<Rule>(p, 0, count, count, left_u, left_v, right_u, right_v, image.width_shift,
                   image.height_shift, image.texels);
}

int32_t clip_tex(const ScreenVertex* const* v, const Vec4* const* t, int32_t n,
                 EdgePoint<2>* out) {
    if (n < 3 || n > 4) return 0;
    return clip_poly(v, n, out, [&](int32_t i) {
        EdgePoint<2> p;
        store_position_uv(p.c, *v[i], *t[i]);
        return p;
    });
}

template <class Rule>
void tex_poly(const ScreenVertex* const* v, const Vec4* const* t, const TexImage& image,
              int32_t n) {
    const RasterSurface* surface = draw_surface();
    if (surface->pixels == nullptr || !tex_image_usable(image)) return;
    EdgePoint<2> clipped[POLY_CAPACITY];
    const int32_t m = clip_tex(v, t, n, clipped);
    tex_span_state(image.width_shift, image.height_shift);
#if RASTER_SIMD
    if (simd_enabled()) {
        tex_poly_simd<Rule>(clipped, m, image);
        return;
    }
#endif
    const int32_t width = surface->width;
    scan_poly_plain(clipped, m, [&](uint16_t* row, const int32_t* left, const int32_t* right) {
        const int32_t x = left[0] >> 8;
        tex_span<Rule>(row, x, (right[0] >> 8) - x, width, left[1], left[2], right[1], right[2],
                       image.width_shift, image.height_shift, image.texels);
    });
}

void tex_poly_slot(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                   int32_t n, TexRule rule) {
    TexImage image;
    if (!tex_image_of_slot(texture, &image)) return;
    draw_tex_poly_image(v, t, image, n, rule);
}

void tex_entry(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture, int32_t n,
               TexRule rule) {
    if (!poly_on_one_row(v, n)) tex_poly_slot(v, t, texture, n, rule);
}

void tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
             const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture, TexRule rule) {
    const ScreenVertex* v[3] = {v0, v1, v2};
    const Vec4* t[3] = {t0, t1, t2};
    tex_entry(v, t, texture, 3, rule);
}

void tex_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
              const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
              const Vec4* t3, int32_t texture, TexRule rule) {
    const ScreenVertex* v[4] = {v0, v1, v2, v3};
    const Vec4* t[4] = {t0, t1, t2, t3};
    tex_entry(v, t, texture, 4, rule);
}

// Textures are 2 to 256 texels a side.
bool tex_shifts_usable(int32_t width_shift, int32_t height_shift) {
    return width_shift >= 1 && width_shift <= 8 && height_shift >= 1 && height_shift <= 8;
}

}  // namespace

bool tex_image_usable(const TexImage& image) {
    return image.texels != nullptr && tex_shifts_usable(image.width_shift, image.height_shift);
}

bool tex_span_ready(const TexImage& image) {
    if (!tex_image_usable(image)) return false;
    // The state follows the shifts given: one left by a larger texture would
    // address texels past these.
    tex_span_state(image.width_shift, image.height_shift);
    return true;
}

bool tex_image_of_slot(int32_t texture, TexImage* image) {
    const Texture* t = tex_get(texture);
    if (t == nullptr) return false;
    *image = TexImage{t->texels, t->width_shift, t->height_shift};
    return true;
}

void draw_set_tex_span_state(int32_t width_shift, int32_t height_shift) {
    // Other shifts leave the state alone.
    if (tex_shifts_usable(width_shift, height_shift)) tex_span_state(width_shift, height_shift);
}

void draw_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                  const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture) {
    tex_tri(v0, v1, v2, t0, t1, t2, texture, TEX_COPY);
}

void draw_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                   const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                   const Vec4* t3, int32_t texture) {
    tex_quad(v0, v1, v2, v3, t0, t1, t2, t3, texture, TEX_COPY);
}

void draw_tex_tri_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                      const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture) {
    tex_tri(v0, v1, v2, t0, t1, t2, texture, TEX_ADD);
}

void draw_tex_quad_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                       const Vec4* t3, int32_t texture) {
    tex_quad(v0, v1, v2, v3, t0, t1, t2, t3, texture, TEX_ADD);
}

void draw_tex_tri_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture) {
    tex_tri(v0, v1, v2, t0, t1, t2, texture, TEX_HALF);
}

void draw_tex_quad_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                        const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                        const Vec4* t3, int32_t texture) {
    tex_quad(v0, v1, v2, v3, t0, t1, t2, t3, texture, TEX_HALF);
}

void draw_tex_poly(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                   int32_t n) {
    tex_poly_slot(v, t, texture, n, TEX_COPY);
}

void draw_tex_poly_add(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                       int32_t n) {
    tex_poly_slot(v, t, texture, n, TEX_ADD);
}

void draw_tex_poly_half(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                        int32_t n) {
    tex_poly_slot(v, t, texture, n, TEX_HALF);
}

void draw_tex_poly_image(const ScreenVertex* const* v, const Vec4* const* t,
                         const TexImage& image, int32_t n, TexRule rule) {
    switch (rule) {
    case TEX_COPY: tex_poly<CopyRule>(v, t, image, n); break;
    case TEX_ADD: tex_poly<AddRule>(v, t, image, n); break;
    case TEX_HALF: tex_poly<HalfRule>(v, t, image, n); break;
    }
}

int32_t draw_clip_tex_poly(const ScreenVertex* const* v, const Vec4* const* t, ClipVertex* pos,
                           TexCoord* uv, int32_t n) {
    if (draw_surface()->pixels == nullptr) return 0;  // nothing lies on no surface
    EdgePoint<2> clipped[POLY_CAPACITY];
    const int32_t m = clip_tex(v, t, n, clipped);
    for (int32_t i = 0; i < m; i++) {
        pos[i] = ClipVertex{clipped[i].c[0], clipped[i].c[1]};
        uv[i] = TexCoord{clipped[i].c[2], clipped[i].c[3]};
    }
    return m;
}

void draw_tex_span(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v, int32_t right_u,
                   int32_t right_v, int32_t width_shift, int32_t height_shift,
                   const uint16_t* texels) {
    tex_span_at<CopyRule>(p, count, left_u, left_v, right_u, right_v,
                          TexImage{texels, width_shift, height_shift});
}

void draw_tex_span_add(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                       int32_t right_u, int32_t right_v, int32_t width_shift,
                       int32_t height_shift, const uint16_t* texels) {
    tex_span_at<AddRule>(p, count, left_u, left_v, right_u, right_v,
                         TexImage{texels, width_shift, height_shift});
}

void draw_tex_span_half(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                        int32_t right_u, int32_t right_v, int32_t width_shift,
                        int32_t height_shift, const uint16_t* texels) {
    tex_span_at<HalfRule>(p, count, left_u, left_v, right_u, right_v,
                          TexImage{texels, width_shift, height_shift});
}
