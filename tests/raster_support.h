// Helpers for the rasterizer tests: a guarded pixel surface and polygons
// built from plain numbers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "geometry/camera.h"
#include "geometry/fixed.h"
#include "raster/simd.h"
#include "render/surface.h"

// A W x H surface with guard pixels before and after it, made current.
struct Canvas {
    static constexpr int GUARD = 256;
    static constexpr uint16_t GUARD_VALUE = 0xDEAD;
    int width;
    int height;
    std::vector<uint16_t> memory;

    Canvas(int w, int h, uint16_t background) : width(w), height(h) {
        memory.assign(static_cast<size_t>(w) * h + 2 * GUARD, GUARD_VALUE);
        for (int i = 0; i < w * h; i++) memory[GUARD + i] = background;
        draw_set_surface_to(memory.data() + GUARD, w, h);
    }
    ~Canvas() { draw_set_surface_to(nullptr, 0, 0); }
    uint16_t* row(int y) { return memory.data() + GUARD + static_cast<size_t>(y) * width; }
    uint16_t at(int x, int y) const {
        return memory[GUARD + static_cast<size_t>(y) * width + x];
    }
    bool guards_intact() const {
        for (int i = 0; i < GUARD; i++) {
            if (memory[i] != GUARD_VALUE || memory[memory.size() - 1 - i] != GUARD_VALUE)
                return false;
        }
        return true;
    }
};

// Every pixel of the canvas is expected(x, y); the guards are intact.
template <class F>
void expect_pixels(const Canvas& canvas, F expected) {
    for (int y = 0; y < canvas.height; y++) {
        for (int x = 0; x < canvas.width; x++) {
            ASSERT_EQ(canvas.at(x, y), expected(x, y)) << "x " << x << " y " << y;
        }
    }
    EXPECT_TRUE(canvas.guards_intact());
}

// Runs `body` with the plain span loops, then with the vector kernels (where
// the processor has them), which confine their spans each in their own way.
template <class Body>
void on_both_paths(Body body) {
    for (const bool kernels : {false, true}) {
        SCOPED_TRACE(kernels ? "vector kernels" : "plain loops");
        simd_enable(kernels);
        body();
    }
    simd_enable(true);
}

inline ScreenVertex sv(int32_t x, int32_t y) {
    return ScreenVertex{x, y, 0, 0};
}
inline Vec4 rgb(int32_t r, int32_t g, int32_t b) {
    return Vec4{r, g, b, 0};
}
// A pixel from its three five-bit channels.
inline uint16_t rgb555(int r5, int g5, int b5) {
    return static_cast<uint16_t>(r5 << 10 | g5 << 5 | b5);
}

// Up to four vertices with texture coordinates and colours.
struct TestPoly {
    int n = 0;
    ScreenVertex sv[4] = {};
    Vec4 uv[4] = {};
    Vec4 rgb[4] = {};
    const ScreenVertex* v[4] = {};
    const Vec4* t[4] = {};
    const Vec4* c[4] = {};

    TestPoly& add(int32_t x, int32_t y, int32_t u = 0, int32_t tv = 0) {
        sv[n] = ScreenVertex{x, y, 0, 0};
        uv[n] = Vec4{u, tv, 0, 0};
        v[n] = &sv[n];
        t[n] = &uv[n];
        c[n] = &rgb[n];
        n++;
        return *this;
    }
    TestPoly& colour(int32_t r, int32_t g, int32_t b) {
        rgb[n - 1] = Vec4{r, g, b, 0};
        return *this;
    }
    TestPoly& colour_all(int32_t r, int32_t g, int32_t b) {
        for (int i = 0; i < n; i++) rgb[i] = Vec4{r, g, b, 0};
        return *this;
    }
};

// A texture of 2^ws x 2^hs texels filled by f(column, row).
template <class F>
std::vector<uint16_t> make_texels(int ws, int hs, F f) {
    std::vector<uint16_t> texels(static_cast<size_t>(1) << (ws + hs));
    for (int r = 0; r < (1 << hs); r++) {
        for (int c = 0; c < (1 << ws); c++) texels[(static_cast<size_t>(r) << ws) + c] = f(c, r);
    }
    return texels;
}
