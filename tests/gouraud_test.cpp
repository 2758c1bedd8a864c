#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "raster_support.h"
#include "render/gouraud.h"

namespace {

ScreenVertex sv(int32_t x, int32_t y) {
    return ScreenVertex{x, y, 0, 0};
}
Vec4 rgb(int32_t r, int32_t g, int32_t b) {
    return Vec4{r, g, b, 0};
}

void quad(bool additive, const ScreenVertex* v, const Vec4* c) {
    (additive ? draw_gouraud_add_quad : draw_gouraud_quad)(&v[0], &v[1], &v[2], &v[3], &c[0],
                                                          &c[1], &c[2], &c[3]);
}

uint16_t pixel555(int r5, int g5, int b5) {
    return static_cast<uint16_t>(r5 << 10 | g5 << 5 | b5);
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
        {rgb(255, 0, 0), 0x0000, 0x7C00, 0x7800},
        {rgb(8, 8, 8), 0x0000, 0x0421, 0x0000},
        {rgb(7, 7, 7), 0x0000, 0x0000, 0x0000},
        {rgb(511, 264, 520), 0x0000, 0x7C21, 0x7800},  // 255, 8, 8
        {rgb(-1, 0, 0), 0x0000, 0x7C00, 0x7800},
        {rgb(100000, -70000, 1 << 30), 0x0000, 0x5240, 0x5240},  // 160, 144, 0
        {rgb(255, 255, 255), 0x0000, 0x7FFF, 0x7BDE},
        {rgb(255, 255, 255), 0x7FFF, 0x7FFF, 0xFFFF},
        {rgb(16, 16, 16), 0x0421, 0x0842, 0x0842},
        // Blue overflows into green's lowest bit: red 2, green 3, blue 31.
        {rgb(16, 16, 16), 0x001F, 0x0842, pixel555(2, 3, 31)},
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
            EXPECT_EQ(canvas.at(3, y), count <= 0 ? 0 : y == 0 ? pixel555(31, 16, 0)
                                                               : pixel555(30, 16, 0));
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

// Clips the triangle and compares each vertex's x, y, red, green and blue.
void expect_clip(const ScreenVertex (&v)[3], const Vec4 (&c)[3],
                 const std::vector<std::array<int32_t, 5>>& expected) {
    const ScreenVertex* vp[] = {&v[0], &v[1], &v[2]};
    const Vec4* cp[] = {&c[0], &c[1], &c[2]};
    GouraudVertex out[GOURAUD_MAX_VERTICES];
    ASSERT_EQ(draw_clip_gouraud(vp, cp, out, 3), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((std::array<int32_t, 5>{out[i].x, out[i].y, out[i].c[0], out[i].c[1],
                                          out[i].c[2]}),
                  expected[i])
            << "vertex " << i;
    }
}

// Worked by hand on a 32 x 16 surface. Every slope divides by the widened
// difference (16 + 1 = 17 for the crossing edges), far crossings are measured
// to W or H and placed on max_x or max_y.
TEST(GouraudTest, ClippingInterpolatesColoursAtEachBorder) {
    Canvas canvas(32, 16, 0);
    // Left: red slope 40960 / 17 = 2409, 8 x 2409 >> 8 = 75 (not 80);
    // y slope 2048 / 17 = 120 gives row 3, green 8 x 1204 >> 8 = 37.
    expect_clip({sv(-8, 0), sv(8, 0), sv(8, 8)},
                {rgb(0, 0, 0), rgb(160, 0, 0), rgb(160, 80, 0)},
                {{8, 0, 160, 0, 0}, {8, 8, 160, 80, 0}, {0, 3, 75, 37, 0}, {0, 0, 75, 0, 0}});
    // Right: measured from x = 40 back to W = 32, reach -8: y 8 + (-960 >> 8) = 4,
    // blue 200 + (-8 x 3011 >> 8) = 105.
    expect_clip({sv(24, 0), sv(40, 8), sv(24, 8)},
                {rgb(0, 0, 0), rgb(0, 0, 200), rgb(0, 0, 0)},
                {{31, 8, 0, 0, 105}, {24, 8, 0, 0, 0}, {24, 0, 0, 0, 0}, {31, 4, 0, 0, 105}});
    // Top: x slope 4096 / 17 = 240 gives column 7; green 75 on both crossings.
    expect_clip({sv(0, -8), sv(16, 8), sv(0, 8)},
                {rgb(0, 0, 0), rgb(0, 160, 0), rgb(0, 160, 0)},
                {{0, 8, 0, 160, 0}, {0, 0, 0, 75, 0}, {7, 0, 0, 75, 0}, {16, 8, 0, 160, 0}});
    // Bottom: reach H - 24 = -8, blue slope -61440 / -17 = 3614,
    // 240 + (-28912 >> 8) = 127; x slope -240 gives column 7.
    expect_clip({sv(0, 8), sv(16, 8), sv(0, 24)},
                {rgb(0, 0, 0), rgb(0, 0, 0), rgb(0, 0, 240)},
                {{7, 15, 0, 0, 127}, {0, 15, 0, 0, 127}, {0, 8, 0, 0, 0}, {16, 8, 0, 0, 0}});
}

TEST(GouraudTest, ClippingDropsRepeatedVertices) {
    Canvas canvas(32, 16, 0);
    // Columns: a crossing that meets b exactly replaces it, with the crossing's
    // red 80; a crossing on a's column is dropped.
    expect_clip({sv(-4, 5), sv(0, 5), sv(0, 12)},
                {rgb(0, 0, 0), rgb(100, 0, 0), rgb(200, 0, 0)},
                {{0, 12, 200, 0, 0}, {0, 5, 80, 0, 0}});
    // Columns: a crossing on b's column but another row (row 8) gives way to b.
    expect_clip({sv(-4, 0), sv(0, 10), sv(6, 10)},
                {rgb(0, 0, 0), rgb(100, 0, 0), rgb(0, 0, 0)},
                {{6, 10, 0, 0, 0}, {0, 3, 0, 0, 0}, {0, 10, 100, 0, 0}});
    // Rows: a crossing equal to a is dropped; (10, 0) is kept before b.
    expect_clip({sv(5, -4), sv(12, 0), sv(5, 0)},
                {rgb(0, 0, 0), rgb(0, 100, 0), rgb(0, 200, 0)},
                {{5, 0, 0, 200, 0}, {10, 0, 0, 80, 0}, {12, 0, 0, 100, 0}});
    // Rows: a crossing equal to b replaces it, with green 80.
    expect_clip({sv(5, -4), sv(5, 0), sv(9, 6)},
                {rgb(0, 0, 0), rgb(0, 100, 0), rgb(0, 0, 0)},
                {{9, 6, 0, 0, 0}, {6, 0, 0, 0, 0}, {5, 0, 0, 80, 0}});
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
