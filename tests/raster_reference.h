// A plain scalar rasterizer for every polygon family, written as simply as
// the rules allow: the differential test checks the real rasterizers against
// it pixel for pixel. Nothing here is shared with the code under test.
#pragma once

#include <cstdint>

namespace ref {

enum Family {
    FLAT,
    GOURAUD,
    GOURAUD_ADD,
    TEX_COPY,
    TEX_ADD,
    TEX_HALF,
    SHADED,
    FAMILY_COUNT
};

struct Surface {
    uint16_t* pixels;
    int32_t width, height;
};

struct Texture {
    const uint16_t* texels;
    int32_t width_shift, height_shift;
};

// One input polygon: positions, texture coordinates and colours per vertex.
struct Polygon {
    int32_t n;  // 3 or 4
    int32_t x[4], y[4];
    int32_t u[4], v[4];
    int32_t r[4], g[4], b[4];
    uint16_t flat;
};

// Draws the polygon as the family's entry point does (flat and Gouraud skip a
// polygon whose vertices share one row) or, for the textured and shaded
// families, as their scan converters do (no such check).
void draw(Family family, const Polygon& p, const Surface& s, const Texture& t,
          const uint8_t* ramp);

}  // namespace ref
