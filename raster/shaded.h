// Ramp-shaded textured triangles and quads (types 76, 267, 268).
#pragma once

#include <cstdint>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "raster/textured.h"
#include "render/surface.h"

// Colour of a clipped vertex, 0..255 per channel.
struct ShadeColour {
    int32_t r, g, b;
};

void draw_shaded_tex_tri(const ScreenVertex* v0, const ScreenVertex* v1, const ScreenVertex* v2,
                         const Vec4* c0, const Vec4* c1, const Vec4* c2, const Vec4* t0,
                         const Vec4* t1, const Vec4* t2, int32_t texture, int32_t ramp);
void draw_shaded_tex_quad(const ScreenVertex* v0, const ScreenVertex* v1,
                          const ScreenVertex* v2, const ScreenVertex* v3, const Vec4* c0,
                          const Vec4* c1, const Vec4* c2, const Vec4* c3, const Vec4* t0,
                          const Vec4* t1, const Vec4* t2, const Vec4* t3, int32_t texture,
                          int32_t ramp);

// Between draw_shaded_ramps_settled(true) and (false), nothing writes into
// a ramp: its entries are then compared with what was last seen of them once,
// not for every polygon (the ordering table settles them for its drawing
// pass, outside packet callbacks).
void draw_shaded_ramps_settled(bool settled);

// Clips, walks and fills the outline of n (3 or 4) vertices with the current
// ramp. Draws nothing for a slot without a texture or without a current ramp.
void draw_shaded_tex_poly(const ScreenVertex* const* v, const Vec4* const* c,
                          const Vec4* const* t, int32_t texture, int32_t n);
// The same scan with the texels and shifts given directly (no texture table).
void draw_shaded_tex_poly_image(const ScreenVertex* const* v, const Vec4* const* c,
                                const Vec4* const* t, const TexImage& image, int32_t n);

// Clips the outline to the surface, columns first, then rows. pos, uv and rgb
// need 16 entries. Returns the number of vertices written.
int32_t draw_clip_shaded_tex_poly(const ScreenVertex* const* v, const Vec4* const* t,
                                  const Vec4* const* c, ClipVertex* pos, TexCoord* uv,
                                  ShadeColour* rgb, int32_t n);

// A span of count pixels from p: each texel channel looked up in the current
// ramp at the light level of the matching colour channel. u, v and the colours
// as the edges accumulate them (24.8). Reads the span state.
void draw_shaded_tex_span(uint16_t* p, int32_t count, int32_t left_u, int32_t left_v,
                          int32_t right_u, int32_t right_v, int32_t width_shift,
                          int32_t height_shift, const uint16_t* texels, int32_t left_r,
                          int32_t left_g, int32_t left_b, int32_t right_r, int32_t right_g,
                          int32_t right_b);
