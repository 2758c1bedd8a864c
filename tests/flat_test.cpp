#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "raster_support.h"
#include "render/gouraud.h"
#include "render/surface.h"

namespace {

constexpr uint16_t INK = 0x7C1F;

class FlatTest : public ::testing::Test {
protected:
    void use_surface(int32_t width, int32_t height) {
        canvas.reset();
        canvas.emplace(width, height, 0);
    }
    void SetUp() override { use_surface(32, 24); }

    uint16_t at(int32_t x, int32_t y) const { return canvas->at(x, y); }
    // Every pixel is INK exactly where `inked` says so.
    template <typename Pred>
    void expect_image(Pred inked) const {
        expect_pixels(*canvas, [&](int x, int y) { return inked(x, y) ? INK : 0; });
    }
    void expect_blank() const { expect_image([](int32_t, int32_t) { return false; }); }

    std::optional<Canvas> canvas;
};

std::vector<ClipVertex> clip(std::vector<ScreenVertex> in) {
    std::vector<const ScreenVertex*> refs;
    for (const ScreenVertex& v : in) refs.push_back(&v);
    ClipVertex out[DRAW_CLIP_MAX];
    int32_t m = draw_clip_polygon(refs.data(), static_cast<int32_t>(refs.size()), out);
    return std::vector<ClipVertex>(out, out + m);
}

// A triangle or a quad in INK.
void fill(const std::vector<ScreenVertex>& v) {
    if (v.size() == 3) draw_flat_triangle(&v[0], &v[1], &v[2], INK);
    else draw_flat_quad(&v[0], &v[1], &v[2], &v[3], INK);
}

void expect_vertices(const std::vector<ClipVertex>& got, const std::vector<ClipVertex>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(got[i].x, want[i].x) << "vertex " << i;
        EXPECT_EQ(got[i].y, want[i].y) << "vertex " << i;
    }
}

TEST_F(FlatTest, PolygonsOnOneRowOrWithoutASurfaceDrawNothing) {
    fill({sv(10, 5), sv(30, 5), sv(20, 5)});
    fill({sv(10, 5), sv(30, 5), sv(20, 5), sv(1, 5)});
    expect_blank();

    draw_set_surface_to(nullptr, 0, 0);
    fill({sv(0, 0), sv(10, 0), sv(10, 10), sv(0, 10)});
    fill({sv(0, 0), sv(10, 0), sv(10, 10)});
    draw_rect_outline(0, 0, 5, 5, INK);
    expect_blank();
}

TEST_F(FlatTest, EdgeAcrossTheWholeWidthLosesTheRegionAlongIt) {
    // One vertex left of column 0, one right of max_x: the edge between them
    // gives no vertex, so the outline is cut along the two border crossings.
    // Crossing right: s = (18 << 8) / -26 = -177, y = 2 + ((-9 * -177) >> 8) = 8.
    // Crossing left: s = (18 << 8) / 25 = 184, y = 2 + ((10 * 184) >> 8) = 9.
    std::vector<ScreenVertex> t = {sv(-10, 2), sv(41, 2), sv(15, 20)};
    expect_vertices(clip(t), {{15, 20}, {0, 9}, {31, 8}});
    fill(t);
    for (int32_t y = 0; y < 8; y++) {
        for (int32_t x = 0; x < 32; x++) ASSERT_EQ(at(x, y), 0) << x << ", " << y;
    }
    EXPECT_EQ(at(15, 12), INK);
    EXPECT_EQ(at(15, 19), INK);
}

TEST_F(FlatTest, SelfCrossingQuadClipsToNineVerticesInBothClippers) {
    // The column pass leaves six of its vertices, and the row pass cuts three
    // runs of them: the most a quad can give, one past a convex quad's eight.
    use_surface(20, 20);
    std::vector<ScreenVertex> quad = {sv(26, -1), sv(15, 0), sv(-20, -19), sv(4, 22)};
    EXPECT_EQ(clip(quad).size(), 9u);

    const Vec4 c = {0, 0, 0, 0};
    const ScreenVertex* vp[] = {&quad[0], &quad[1], &quad[2], &quad[3]};
    const Vec4* cp[] = {&c, &c, &c, &c};
    GouraudVertex shaded[GOURAUD_MAX_VERTICES];
    EXPECT_EQ(draw_clip_gouraud(vp, cp, shaded, 4), 9);
}

TEST_F(FlatTest, FillSpanWritesExactlyCountPixelsAtAnyAlignment) {
    for (int32_t start = 0; start < 2; start++) {
        for (int32_t count = -1; count <= 5; count++) {
            std::vector<uint16_t> row(10, 0);
            draw_fill_span(row.data() + start, count, 0x1234);
            for (int32_t i = 0; i < 10; i++) {
                bool in = i >= start && i < start + count;
                EXPECT_EQ(row[i], in ? 0x1234 : 0) << start << " " << count << " " << i;
            }
        }
    }
}

TEST_F(FlatTest, RectOutlineClipsEachEdgeAndNeverWrapsOntoTheSurface) {
    struct Case {
        int32_t width, height, x, y, w, h;
        bool (*inked)(int32_t, int32_t);
    };
    const Case cases[] = {
        // Clipped on the left; the far corner is left out.
        {512, 64, -10, 20, 50, 30,
         [](int32_t x, int32_t y) {
             return ((y == 20 || y == 50) && x <= 39) || (x == 40 && y >= 20 && y <= 49);
         }},
        // The edges at the width and at the height are dropped.
        {512, 64, 500, 40, 12, 24,
         [](int32_t x, int32_t y) { return (y == 40 && x >= 500) || (x == 500 && y >= 40); }},
        {64, 16, 10, 5, INT32_MAX, INT32_MAX,
         [](int32_t x, int32_t y) { return (y == 5 && x >= 10) || (x == 10 && y >= 5); }},
    };
    for (const Case& k : cases) {
        use_surface(k.width, k.height);
        draw_rect_outline(k.x, k.y, k.w, k.h, INK);
        SCOPED_TRACE(k.x);
        expect_image(k.inked);
    }
}

}  // namespace
