#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "raster_support.h"
#include "render/gouraud.h"

namespace {

void quad(bool additive, const ScreenVertex* v, const Vec4* c) {
    (additive ? draw_gouraud_add_quad : draw_gouraud_quad)(&v[0], &v[1], &v[2], &v[3], &c[0],
                                                          &c[1], &c[2], &c[3]);
}

// Plain pixels keep the top five bits of each channel; additive ones add the
// top four (as an even five-bit value) to the pixel with its lowest bits
// dropped, saturating per channel. Components wrap modulo 256 in both.
TEST(GouraudTest, PixelRulesOfBothFamilies) {
    struct Case {
        Vec4 colour;
        uint16_t dest, plain, additive;
    };
    const Case cases[] = {
        {rgb(511, 264, 520), 0x0000, 0x7C21, 0x7800},  // 255, 8, 8
        {rgb(-1, 0, 0), 0x0000, 0x7C00, 0x7800},
        {rgb(100000, -70000, 1 << 30), 0x0000, 0x5240, 0x5240},  // 160, 144, 0
        {rgb(255, 255, 255), 0x7FFF, 0x7FFF, 0xFFFF},
        // Blue overflows into green's lowest bit: red 2, green 3, blue 31.
        {rgb(16, 16, 16), 0x001F, 0x0842, rgb555(2, 3, 31)},
    };
    for (const Case& k : cases) {
        // Columns 1..7 of rows 0 and 1 plain, of rows 3 and 4 additive.
        Canvas canvas(10, 5, k.dest);
        for (int32_t y : {0, 3}) {
            const ScreenVertex v[] = {sv(1, y), sv(8, y), sv(8, y + 1), sv(1, y + 1)};
            const Vec4 c[] = {k.colour, k.colour, k.colour, k.colour};
            quad(y == 3, v, c);
        }
        SCOPED_TRACE(::testing::Message() << k.colour.x << ", " << k.colour.y << ", "
                                          << k.colour.z << " over " << k.dest);
        expect_pixels(canvas, [&](int x, int y) {
            if (x < 1 || x > 7 || y == 2) return k.dest;
            return y < 2 ? k.plain : k.additive;
        });
    }
}

// The span entry points write exactly their columns, starting at the left
// colour; empty and reversed spans write nothing. What lies between is held
// to the reference by the differential test.
TEST(GouraudTest, SpansWriteExactlyTheirColumnsFromTheLeftColour) {
    const int32_t left[] = {255 << 8, 128 << 8, 7 << 8};
    const int32_t right[] = {0, 255 << 8, 7 << 8};
    for (int32_t count : {INT32_MIN, -6, -1, 0, 1, 2, 37}) {
        Canvas canvas(48, 2, 0);
        draw_gouraud_span(canvas.row(0), 3, count, left, right);
        draw_gouraud_add_span(canvas.row(1), 3, count, left, right);
        SCOPED_TRACE(count);
        for (int y = 0; y < 2; y++) {
            // Plain keeps five bits of each channel, additive four.
            EXPECT_EQ(canvas.at(3, y), count <= 0 ? 0 : y == 0 ? rgb555(31, 16, 0)
                                                               : rgb555(30, 16, 0));
            for (int x = 0; x < 48; x++) {
                const bool in = x >= 3 && x < 3 + count;
                ASSERT_EQ(canvas.at(x, y) != 0, in) << x << ", " << y;
            }
        }
        EXPECT_TRUE(canvas.guards_intact());
    }
}

TEST(GouraudTest, FlatOutlinesAndMissingSurfaceDrawNothing) {
    Canvas canvas(16, 16, 0x1234);
    const Vec4 c = rgb(255, 255, 255);
    ScreenVertex v[] = {sv(10, 5), sv(30, 5), sv(20, 5), sv(0, 5)};
    Vec4 cs[] = {c, c, c, c};
    draw_gouraud_triangle(&v[0], &v[1], &v[2], &c, &c, &c);
    draw_gouraud_add_triangle(&v[0], &v[1], &v[2], &c, &c, &c);
    quad(false, v, cs);
    quad(true, v, cs);
    expect_pixels(canvas, [](int, int) { return 0x1234; });

    draw_set_surface_to(nullptr, 16, 16);
    ScreenVertex big[] = {sv(0, 0), sv(10, 0), sv(10, 10), sv(0, 10)};
    quad(false, big, cs);
    quad(true, big, cs);
    const ScreenVertex* vp[] = {&big[0], &big[1], &big[2]};
    const Vec4* cp[] = {&c, &c, &c};
    GouraudVertex out[GOURAUD_MAX_VERTICES];
    EXPECT_EQ(draw_clip_gouraud(vp, cp, out, 3), 0);
    expect_pixels(canvas, [](int, int) { return 0x1234; });
}

// Coordinates and colours at the ends of the range wrap without faults and
// never write outside the surface.
TEST(GouraudTest, ExtremeInputsStayInsideTheSurface) {
    const Vec4 c[] = {rgb(INT32_MAX, INT32_MIN, 255), rgb(INT32_MIN, 0, INT32_MAX),
                      rgb(-70000, 1 << 30, 0), rgb(0, 255, INT32_MIN)};
    const ScreenVertex shapes[][4] = {
        {sv(INT32_MIN + 1, 0), sv(0, 3), sv(INT32_MAX, 9), sv(6, INT32_MAX)},
        {sv(-2000000000, -2000000000), sv(2000000000, 5), sv(10, 2000000000), sv(3, 3)},
        {sv(0, INT32_MIN), sv(INT32_MAX, INT32_MAX), sv(INT32_MIN, 7), sv(0, 8)}};
    for (bool additive : {false, true}) {
        for (const auto& shape : shapes) {
            Canvas canvas(16, 16, 0x7FFF);
            quad(additive, shape, c);
            EXPECT_TRUE(canvas.guards_intact());
        }
    }
}

}  // namespace
