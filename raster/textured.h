// Textured triangles and quads: copy (11, 12), saturating add (27, 28) and
// average (59, 60).
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "render/surface.h"

// Span state, set once per polygon from the texture's shifts.
extern int32_t tex_u_mask;
extern int32_t tex_v_mask;
extern int32_t tex_v_shift;

// A texture's texels (top row first) and its width and height shifts (1..8).
struct TexImage {
    const uint16_t* texels;
    int32_t width_shift;
    int32_t height_shift;
};

// Texture coordinates of a clipped vertex.
struct TexCoord {
    int32_t u, v;
};

// How a texel meets the pixel under it.
enum TexRule { TEX_COPY, TEX_ADD, TEX_HALF };

void draw_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                  const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                   const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                   const Vec4* t3, int32_t texture);
void draw_tex_tri_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                      const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad_add(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                       const Vec4* t3, int32_t texture);
void draw_tex_tri_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                       const Vec4* t0, const Vec4* t1, const Vec4* t2, int32_t texture);
void draw_tex_quad_half(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                        const ScreenVertex* v3, const Vec4* t0, const Vec4* t1, const Vec4* t2,
                        const Vec4* t3, int32_t texture);

// Scan converters: clip the outline of n (3 or 4) vertices, walk its edges and
// fill its spans. They draw nothing for a slot without a texture.
void draw_tex_poly(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                   int32_t n);
void draw_tex_poly_add(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                       int32_t n);
void draw_tex_poly_half(const ScreenVertex* const* v, const Vec4* const* t, int32_t texture,
                        int32_t n);
// The same scan with the texels and shifts given directly (no texture table).
void draw_tex_poly_image(const ScreenVertex* const* v, const Vec4* const* t,
                         const TexImage& image, int32_t n, TexRule rule);

// Clips the outline to the surface, columns first, then rows. pos and uv need
// 16 entries. Returns the number of vertices written.
int32_t draw_clip_tex_poly(const ScreenVertex* const* v, const Vec4* const* t, ClipVertex* pos,
                           TexCoord* uv, int32_t n);

// Sets the span state for a texture of 2^width_shift x 2^height_shift texels
// (shifts 1..8).
void draw_set_tex_span_state(int32_t width_shift, int32_t height_shift);

// Spans of count pixels from p, with u and v as the edges accumulate them
// (24.8). They read the span state.
void draw_tex_span(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v, int32_t right_u,
                   int32_t right_v, int32_t width_shift, int32_t height_shift,
                   const uint16_t* texels);
void draw_tex_span_add(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                       int32_t right_u, int32_t right_v, int32_t width_shift,
                       int32_t height_shift, const uint16_t* texels);
void draw_tex_span_half(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                        int32_t right_u, int32_t right_v, int32_t width_shift,
                        int32_t height_shift, const uint16_t* texels);
