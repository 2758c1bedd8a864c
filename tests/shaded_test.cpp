#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "files/texture.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "raster/shaded.h"
#include "raster/simd.h"
#include "raster_support.h"

namespace {

constexpr uint16_t BACKGROUND = 0x5555;

TestPoly box(int w, int h) {
    TestPoly p;
    p.add(0, 0).add(w, 0).add(w, h).add(0, h);
    return p;
}

class ShadedTest : public ::testing::Test {
protected:
    std::vector<uint16_t> texels = make_texels(2, 2, [](int c, int r) {
        return static_cast<uint16_t>(0x8000 | rgb555(c * 7 + r, 31 - c * 3, r * 9));
    });
    TexImage image = {texels.data(), 2, 2};
    std::vector<uint8_t> ramp;

    void SetUp() override { headless_print_messages(false); }
    void TearDown() override {
        tex_release();
        shade_release();
    }

    // A test ramp answering the light level it is looked up at, or else the
    // texel channel.
    void use_test_ramp(bool answers_level) {
        ramp.resize(RAMP_SIZE);
        for (int j = 0; j < 32; j++) {
            for (int i = 0; i < 32; i++) ramp[j * 32 + i] = uint8_t(answers_level ? j : i);
        }
        shade_use_ramp(ramp.data());
    }
    // The ramp table and a texture slot of 2^shift x 2^shift black texels.
    int32_t start_tables(int shift) {
        EXPECT_EQ(shade_init(), 0);
        EXPECT_EQ(tex_init(), 0);
        const int32_t slot = tex_create("lit", shift, shift);
        EXPECT_GE(slot, 0);
        return slot;
    }
    void quad(const TestPoly& q, int32_t slot, int32_t ramp_index) {
        draw_shaded_tex_quad(q.v[0], q.v[1], q.v[2], q.v[3], q.c[0], q.c[1], q.c[2], q.c[3], q.t[0],
                             q.t[1], q.t[2], q.t[3], slot, ramp_index);
    }
};

TEST_F(ShadedTest, EachChannelIsLitAtTheLevelOfItsColour) {
    use_test_ramp(true);
    struct Case {
        int r, g, b;
        uint16_t pixel;
    };
    const Case cases[] = {{256, 256, 256, 0x0000},  // wraps to level 0
                          {8, 136, 247, rgb555(1, 17, 30)}};
    for (const Case& k : cases) {
        Canvas canvas(16, 16, BACKGROUND);
        TestPoly p = box(8, 4);
        p.colour_all(k.r, k.g, k.b);
        draw_shaded_tex_poly_image(p.v, p.c, p.t, image, 4);
        SCOPED_TRACE(::testing::Message() << k.r << "," << k.g << "," << k.b);
        expect_pixels(canvas, [&](int x, int y) { return x < 8 && y <= 4 ? k.pixel : BACKGROUND; });
    }
}

TEST_F(ShadedTest, ColourStepsAreShiftedBeforeTheDivision) {
    use_test_ramp(true);
    draw_set_tex_span_state(2, 2);
    uint16_t pixels[2] = {BACKGROUND, BACKGROUND};
    // Red from 2048 to 2046: (-2 >> 1) / 2 = 0, so both pixels stay at
    // 1024 (level 1); dividing first would step to 1023 (level 0).
    draw_shaded_tex_span(pixels, 2, 0, 0, 0, 0, 2, 2, texels.data(), 2048, 0, 0, 2046, 0, 0);
    EXPECT_EQ(pixels[0], rgb555(1, 0, 0));
    EXPECT_EQ(pixels[1], rgb555(1, 0, 0));
    draw_shaded_tex_span(pixels, 0, 0, 0, 0, 0, 2, 2, texels.data(), 0, 0, 0, 0, 0, 0);
    draw_shaded_tex_span(pixels, -1, 0, 0, 0, 0, 2, 2, texels.data(), 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(pixels[0], rgb555(1, 0, 0));
}

// The span entry point, with the built ramps (whose entries the kernels work
// out) and with a ramp of any other form: the kernels write what the plain
// loop writes, for spans long and short, light rising and falling.
TEST_F(ShadedTest, SpanKernelsMatchThePlainLoopForEveryRampForm) {
    ASSERT_EQ(shade_init(), 0);
    std::vector<uint16_t> noise(64 * 64);
    for (size_t i = 0; i < noise.size(); i++) {
        noise[i] = static_cast<uint16_t>(i * 2654435761u >> 13);
    }
    draw_set_tex_span_state(6, 6);
    use_test_ramp(true);
    const uint8_t* ramps[4] = {shade_ramp(0), shade_ramp(1), shade_ramp(2), ramp.data()};
    for (int k = 0; k < 4; k++) {
        shade_use_ramp(ramps[k]);
        for (int32_t count = 1; count <= 70; count += 3) {
            const int32_t from = count * 900 % 65280, to = 65280 - from;
            uint16_t pixels[2][72];
            for (int pass = 0; pass < 2; pass++) {
                simd_enable(pass == 0);
                std::fill(std::begin(pixels[pass]), std::end(pixels[pass]), BACKGROUND);
                draw_shaded_tex_span(pixels[pass], count, 300, 7000, 9000 * count, 100, 6, 6,
                                     noise.data(), from, to, count * 500, to, from, 65280);
            }
            simd_enable(true);
            ASSERT_TRUE(std::equal(pixels[0], pixels[0] + 72, pixels[1]))
                << "ramp " << k << ", count " << count;
        }
    }
}

TEST_F(ShadedTest, EntryPointsSwitchOnlyTheRampLookedUp) {
    const int32_t slot = start_tables(2);
    for (int i = 0; i < 16; i++) tex_get(slot)->texels[i] = texels[i];
    // The fourth component is not read: colours computed by the dispatcher
    // (types 267, 268) and those of the colour array (type 76) draw alike.
    TestPoly p, other;
    for (TestPoly* q : {&p, &other}) {
        q->add(2, 1, 0, 0).add(13, 3, 256, 0).add(11, 12, 256, 256).add(1, 9, 0, 256);
        q->colour_all(128, 64, 200);
    }
    for (int i = 0; i < 4; i++) other.rgb[i].w = 1000 + i;
    // Each entry draws what the slot's drawing does with that ramp current,
    // whatever ramp was current before.
    for (int k = 0; k < 3; k++) {
        std::vector<uint16_t> lit;
        {
            Canvas expected(16, 16, BACKGROUND);
            shade_use_ramp(shade_ramp(k));
            draw_shaded_tex_poly(p.v, p.c, p.t, slot, 4);
            ASSERT_NE(expected.at(6, 5), BACKGROUND);
            lit = expected.memory;
        }
        for (const TestPoly* q : {&p, &other}) {
            Canvas canvas(16, 16, BACKGROUND);
            use_test_ramp(false);
            quad(*q, slot, k);
            EXPECT_EQ(shade_current_ramp(), shade_ramp(k));
            EXPECT_EQ(canvas.memory, lit) << "ramp " << k;
        }
    }
}

TEST_F(ShadedTest, UnknownRampOrMissingRampOrTextureDrawsNothing) {
    const int32_t slot = start_tables(1);
    Canvas canvas(16, 16, BACKGROUND);
    TestPoly p = box(8, 8);
    p.colour_all(255, 255, 255);
    for (int32_t unknown : {3, -1}) {
        quad(p, slot, unknown);
        EXPECT_EQ(shade_current_ramp(), shade_ramp(0));
    }
    for (int32_t empty : {slot + 1, -1, TEX_SLOTS}) quad(p, empty, 0);
    shade_release();
    quad(p, slot, 0);
    draw_shaded_tex_poly_image(p.v, p.c, p.t, image, 4);
    uint16_t pixel = BACKGROUND;
    draw_shaded_tex_span(&pixel, 1, 0, 0, 0, 0, 2, 2, texels.data(), 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(pixel, BACKGROUND);
    expect_pixels(canvas, [](int, int) { return BACKGROUND; });
}

}  // namespace
