#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <vector>

#include "files/texture.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "raster/shaded.h"
#include "raster/simd.h"
#include "raster/textured.h"
#include "raster_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0x5555;
constexpr uint16_t TEXEL = 0x1234;

// Nothing drawn: the background everywhere, the guards intact.
void expect_blank(const Canvas& canvas) {
    expect_pixels(canvas, [](int, int) { return BACKGROUND; });
}

// Clips the polygon and compares each vertex's x, y, u and v.
void expect_clipped(const TestPoly& p, const std::vector<std::array<int32_t, 4>>& want) {
    ClipVertex pos[16];
    TexCoord uv[16];
    ASSERT_EQ(draw_clip_tex_poly(p.v, p.t, pos, uv, p.n), static_cast<int32_t>(want.size()));
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ((std::array<int32_t, 4>{pos[i].x, pos[i].y, uv[i].u, uv[i].v}), want[i])
            << "vertex " << i;
    }
}

using QuadDraw = void (*)(const ScreenVertex*, const ScreenVertex*, const ScreenVertex*,
                          const ScreenVertex*, const Vec4*, const Vec4*, const Vec4*,
                          const Vec4*, int32_t);

// A 16 x 16 texture in the texture table whose texels are all TEXEL.
class TexturedTest : public ::testing::Test {
protected:
    int32_t slot = -1;

    void SetUp() override {
        headless_print_messages(false);
        ASSERT_EQ(tex_init(), 0);
        slot = tex_create("plain", 4, 4);
        ASSERT_GE(slot, 0);
        Texture* texture = tex_get(slot);
        for (int i = 0; i < 256; i++) texture->texels[i] = TEXEL;
    }
    void TearDown() override { tex_release(); }

    void quad(const TestPoly& p, QuadDraw draw, int32_t texture) {
        draw(p.v[0], p.v[1], p.v[2], p.v[3], p.t[0], p.t[1], p.t[2], p.t[3], texture);
    }
    void quad(const TestPoly& p, QuadDraw draw = draw_tex_quad) { quad(p, draw, slot); }
    void tri(const TestPoly& p) {
        draw_tex_tri(p.v[0], p.v[1], p.v[2], p.t[0], p.t[1], p.t[2], slot);
    }
};

TEST_F(TexturedTest, PolygonsCoveringTheSurfaceFromOutsideDrawNothing) {
    Canvas canvas(32, 32, BACKGROUND);
    TestPoly square;
    square.add(-100, -100).add(200, -100).add(200, 200).add(-100, 200);
    TestPoly diamond;
    diamond.add(10, -100).add(200, 10).add(10, 200).add(-100, 10);
    for (const TestPoly* p : {&square, &diamond}) {
        quad(*p);
        expect_clipped(*p, {});
    }
    expect_blank(canvas);
}

// (10,0), (20,5), (21,6), (10,15): the right side reaches (21,6) one row after
// (20,5), so row 6 is drawn to column 18 and then again to column 19. Each
// row starts at column 10 and ends before these columns. Every family walks
// its outline with the same scan, which the differential test holds them to.
const int KINKED_ENDS[16] = {10, 11, 13, 14, 16, 18, 20, 19, 18, 17, 16, 14, 13, 12, 11, 10};

TEST_F(TexturedTest, RowWhereAnEdgeEndsIsDrawnTwice) {
    TestPoly p;
    p.add(10, 0).add(20, 5).add(21, 6).add(10, 15);
    struct Mode {
        QuadDraw draw;
        uint16_t texel, background, once, twice;
    };
    // Copying; additive (2,2,2) on black; averaging black onto white.
    const Mode modes[] = {{draw_tex_quad, TEXEL, BACKGROUND, TEXEL, TEXEL},
                          {draw_tex_quad_add, 0x0842, 0x0000, 0x0842, 0x1084},
                          {draw_tex_quad_half, 0x0000, 0x7FFF, 0x3DEF, 0x1CE7}};
    on_both_paths([&] {
        for (const Mode& mode : modes) {
            for (int i = 0; i < 256; i++) tex_get(slot)->texels[i] = mode.texel;
            Canvas canvas(32, 32, mode.background);
            quad(p, mode.draw);
            SCOPED_TRACE(mode.texel);
            expect_pixels(canvas, [&](int x, int y) {
                if (y == 6 && x >= 10 && x <= 18) return mode.twice;
                return y < 16 && x >= 10 && x < KINKED_ENDS[y] ? mode.once : mode.background;
            });
        }
    });
}

TEST_F(TexturedTest, EdgeJoiningTwoOutsideVerticesLosesItsRegion) {
    Canvas canvas(32, 32, BACKGROUND);
    TestPoly p;
    p.add(-10, 20).add(16, 0).add(42, 20);
    expect_clipped(p, {{16, 0, 0, 0}, {31, 12, 0, 0}, {0, 12, 0, 0}});
    tri(p);
    EXPECT_EQ(canvas.at(15, 12), TEXEL);
    for (int y = 13; y < 32; y++) {
        for (int x = 0; x < 32; x++) ASSERT_EQ(canvas.at(x, y), BACKGROUND) << x << " " << y;
    }
}

// Texel (column c, row r) = r x 32 + c.
uint16_t numbered(int c, int r) {
    return static_cast<uint16_t>(r * 32 + c);
}

TEST(TexturedSampling, CoordinatesRepeatTheTexture) {
    const std::vector<uint16_t> texels = make_texels(4, 4, numbered);
    const TexImage image = {texels.data(), 4, 4};
    struct Case {
        int32_t u, v;
        uint16_t texel;
    };
    const Case cases[] = {{0, 0, 0},   {256, 0, 0},   {-1, 0, 15}, {16, 0, 1},
                          {0, 256, 0}, {0, -1, 480},  {-1, -1, 495}};
    for (const Case& k : cases) {
        Canvas canvas(8, 8, BACKGROUND);
        TestPoly p;
        p.add(0, 0, k.u, k.v).add(4, 0, k.u, k.v).add(4, 4, k.u, k.v).add(0, 4, k.u, k.v);
        draw_tex_poly_image(p.v, p.t, image, 4, TEX_COPY);
        SCOPED_TRACE(::testing::Message() << k.u << "," << k.v);
        expect_pixels(canvas, [&](int x, int y) { return x < 4 && y <= 4 ? k.texel : BACKGROUND; });
    }
}

TEST(TexturedSampling, SpanStepsAreDividedBeforeTheShiftAndBadShapesAreRefused) {
    const std::vector<uint16_t> texels = make_texels(4, 4, numbered);
    draw_set_tex_span_state(4, 4);
    uint16_t pixels[3] = {BACKGROUND, BACKGROUND, BACKGROUND};
    // (4028 - 4128) / 3 = -33, >> 4 = -3 (shifting first would give -2): u and
    // v run 258, 255, 252, that is texel 1 then texel 0 in both directions.
    draw_tex_span(pixels, 3, 4128, 4128, 4028, 4028, 4, 4, texels.data());
    EXPECT_EQ(pixels[0], numbered(1, 1));
    EXPECT_EQ(pixels[1], numbered(0, 0));
    EXPECT_EQ(pixels[2], numbered(0, 0));
    // Zero and negative counts write nothing.
    draw_tex_span(pixels, 0, 0, 0, 0, 0, 4, 4, texels.data());
    draw_tex_span(pixels, -2, 0, 0, 256, 256, 4, 4, texels.data());
    // Nor do shifts of no texture size, or no texels.
    ASSERT_EQ(shade_init(), 0);
    ASSERT_EQ(shade_select_ramp(0), 0);
    for (const auto& shifts : {std::array<int32_t, 2>{0, 4}, {4, 9}, {-1, 4}, {4, 32}}) {
        draw_tex_span(pixels, 3, 0, 0, 256, 256, shifts[0], shifts[1], texels.data());
        draw_tex_span_add(pixels, 3, 0, 0, 256, 256, shifts[0], shifts[1], texels.data());
        draw_shaded_tex_span(pixels, 3, 0, 0, 256, 256, shifts[0], shifts[1], texels.data(), 0,
                             0, 0, 0, 0, 0);
        draw_set_tex_span_state(shifts[0], shifts[1]);
    }
    draw_tex_span_half(pixels, 3, 0, 0, 256, 256, 4, 4, nullptr);
    EXPECT_EQ(pixels[0], numbered(1, 1));
    EXPECT_EQ(pixels[2], numbered(0, 0));
    EXPECT_EQ(tex_v_shift, 4);  // the state as the last usable shifts left it
    // A state left by a larger texture does not address past a small one's
    // texels: coordinates far out wrap inside its two by two.
    const uint16_t small[4] = {0x0001, 0x0002, 0x0003, 0x0004};
    const int32_t far = 0x7FFF0000;
    on_both_paths([&] {
        uint16_t four[4] = {};
        draw_set_tex_span_state(8, 8);
        draw_tex_span(four, 4, far, far, far, far, 1, 1, small);
        EXPECT_EQ(std::vector<uint16_t>(four, four + 4), std::vector<uint16_t>(4, 0x0001));
        draw_set_tex_span_state(8, 8);
        draw_shaded_tex_span(four, 4, far, far, far, far, 1, 1, small, 0, 0, 0, 0, 0, 0);
    });
    shade_release();
}

TEST(TexturedSampling, PixelRules) {
    struct Case {
        void (*span)(uint16_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     const uint16_t*);
        uint16_t pixel, texel, result;
    };
    const Case cases[] = {
        {draw_tex_span_add, 0x7C00, 0x7C00, 0xFC00},  // red saturates, carry into bit 15
        {draw_tex_span_add, 0x0010, 0x0010, 0x003F},  // blue saturates, carry into green
        {draw_tex_span_half, 0x7FFF, 0x0000, 0x3DEF},
    };
    draw_set_tex_span_state(1, 1);
    for (const Case& k : cases) {
        const uint16_t texels[4] = {k.texel, k.texel, k.texel, k.texel};
        uint16_t pixel = k.pixel;
        k.span(&pixel, 1, 0, 0, 0, 0, 1, 1, texels);
        EXPECT_EQ(pixel, k.result) << std::hex << k.pixel << " " << k.texel;
    }
}

TEST_F(TexturedTest, NothingIsDrawnOnOneRowOrWithoutSurfaceOrTexture) {
    TestPoly p;
    p.add(0, 0).add(10, 0).add(10, 10).add(0, 10);
    {
        // The entry points skip an outline on one row, which the scan would fill.
        Canvas canvas(32, 32, BACKGROUND);
        TestPoly flat;
        tri(flat.add(10, 5).add(30, 5).add(20, 5));
        quad(flat.add(1, 5));
        expect_blank(canvas);
    }
    draw_set_surface_to(nullptr, 0, 0);
    quad(p);
    draw_tex_poly(p.v, p.t, slot, 4);
    // Nor is anything clipped onto no surface.
    ClipVertex pos[16];
    TexCoord uv[16];
    EXPECT_EQ(draw_clip_tex_poly(p.v, p.t, pos, uv, 4), 0);
    EXPECT_EQ(draw_clip_polygon(p.v, 4, pos), 0);
    EXPECT_FALSE(draw_on_surface(0, 0));

    Canvas canvas(16, 16, BACKGROUND);
    for (int32_t empty : {slot + 1, -1, TEX_SLOTS}) quad(p, draw_tex_quad_half, empty);
    expect_blank(canvas);
}

TEST_F(TexturedTest, HugeCoordinatesStayInsideTheSurface) {
    Canvas canvas(32, 32, BACKGROUND);
    TestPoly p;
    p.add(INT32_MIN + 3, -5, INT32_MAX, 7).add(INT32_MAX - 1, 2000000000, -9, INT32_MIN)
        .add(12, INT32_MIN, 0, 0).add(-1900000000, 17, 5, 5);
    quad(p, draw_tex_quad_add);
    draw_tex_tri(p.v[1], p.v[3], p.v[2], p.t[1], p.t[3], p.t[2], slot);
    EXPECT_TRUE(canvas.guards_intact());
}

}  // namespace
