// Millions of random polygons of every family, clipped and unclipped, on
// random surfaces, textures and ramps: the rasterizers, with and without their
// sixteen-pixel kernels, must write exactly the pixels of the plain reference in
// raster_reference.cpp, and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "model/shade.h"
#include "platform/headless.h"
#include "raster/shaded.h"
#include "raster/simd.h"
#include "raster/textured.h"
#include "raster_reference.h"
#include "render/gouraud.h"
#include "render/surface.h"

namespace {

// Polygons per family; the sanitizer build runs far fewer. The environment
// variable ICON_LOOK_DIFF_POLYGONS sets another count.
#if defined(__SANITIZE_ADDRESS__)
constexpr int64_t DEFAULT_POLYGONS = 100000;
#else
constexpr int64_t DEFAULT_POLYGONS = 400000;
#endif

int64_t polygons_per_family() {
    const char* text = getenv("ICON_LOOK_DIFF_POLYGONS");
    if (text == nullptr) return DEFAULT_POLYGONS;
    const long long n = atoll(text);
    return n > 0 ? n : DEFAULT_POLYGONS;
}

constexpr int GUARD = 64;
constexpr uint16_t GUARD_VALUE = 0xBEEF;
constexpr int POLYGONS_PER_SCENE = 32;  // drawn over each other before a new surface

struct Scene {
    int32_t width = 0, height = 0;
    std::vector<uint16_t> ours, theirs;  // surfaces with guards on both sides
    std::vector<uint16_t> texels;
    int32_t width_shift = 1, height_shift = 1;
    std::vector<uint8_t> ramp;
};

// splitmix64: fast, and good enough to pick cases.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform in low..high (the tiny bias of the modulo does not matter here).
    int32_t between(int64_t low, int64_t high) {
        const uint64_t span = static_cast<uint64_t>(high - low) + 1;
        return static_cast<int32_t>(low + static_cast<int64_t>(next() % span));
    }
    bool chance(int percent) { return between(0, 99) < percent; }
    uint32_t bits() { return static_cast<uint32_t>(next() >> 32); }

private:
    uint64_t state_;
};

// Bulk random values (texels, pixels, ramp entries), cheaper than the engine.
template <class T>
void fill_random(Random& random, std::vector<T>& values, uint32_t mask) {
    uint32_t state = random.bits() | 1;
    for (T& value : values) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        value = static_cast<T>(state & mask);
    }
}

void new_scene(Random& random, Scene* s, bool first) {
    // Mostly small surfaces, some wide enough for long spans, now and then a
    // one-pixel row or column.
    s->width = random.chance(5) ? random.between(1, 2)
               : random.chance(30) ? random.between(33, 100)
                                   : random.between(1, 48);
    s->height = random.chance(5) ? random.between(1, 2) : random.between(1, 40);
    const size_t size = static_cast<size_t>(s->width) * s->height + 2 * GUARD;
    std::vector<uint16_t> background(static_cast<size_t>(s->width) * s->height);
    fill_random(random, background, 0xFFFF);
    s->ours.assign(size, GUARD_VALUE);
    std::copy(background.begin(), background.end(), s->ours.begin() + GUARD);
    s->theirs = s->ours;
    s->width_shift = random.between(1, 8);
    s->height_shift = random.between(1, 8);
    s->texels.resize(size_t{1} << (s->width_shift + s->height_shift));
    fill_random(random, s->texels, 0xFFFF);
    s->ramp.resize(RAMP_SIZE);
    fill_random(random, s->ramp, 31);
    // Ramps of the built ramps' form, with random highlights in the upper
    // rows and either rounding, some with one entry off or a highlight in a
    // lower row; the same buffer every time, so the kernels must notice when
    // its entries change (the first scene has that form, so that what they
    // remember of it goes stale).
    if (first || random.chance(50)) {
        const bool banded = random.chance(50);
        int32_t high[32] = {};
        for (int32_t j = 16; j < 32; j++) high[j] = random.chance(50) ? 0 : random.between(0, 31);
        if (random.chance(10)) high[random.between(0, 15)] = random.between(1, 31);
        for (int32_t j = 0; j < 32; j++) {
            for (int32_t i = 0; i < 32; i++) {
                const int32_t diffuse = (i * j) >> 5;
                const int32_t e = high[j] + (banded ? (diffuse + 7) & ~7 : diffuse) + (i >> 1);
                s->ramp[static_cast<size_t>(j * 32 + i)] = static_cast<uint8_t>(std::min(e, 31));
            }
        }
        if (random.chance(30)) {
            uint8_t& entry = s->ramp[static_cast<size_t>(random.between(0, RAMP_SIZE - 1))];
            entry = static_cast<uint8_t>((entry + random.between(1, 31)) & 31);
        }
    }
    draw_set_surface_to(s->ours.data() + GUARD, s->width, s->height);
}

// A coordinate near the surface, well off it, or anywhere at all.
int32_t coordinate(Random& random, int32_t size, int mode) {
    switch (mode) {
    case 0: return random.between(-2, size + 1);
    case 1: return random.between(-size - 8, 2 * size + 8);
    case 2: return random.between(-100000, 100000);
    default: return random.between(INT32_MIN, INT32_MAX);
    }
}

int32_t channel(Random& random) {
    // Now and then outside 0..255: the arithmetic still wraps the same way.
    return random.chance(3) ? random.between(-1000, 1000) : random.between(0, 255);
}

ref::Polygon random_polygon(Random& random, const Scene& s) {
    ref::Polygon p{};
    p.n = random.chance(50) ? 3 : 4;
    const int roll = random.between(0, 99);
    const int mode = roll < 55 ? 0 : roll < 80 ? 1 : roll < 93 ? 2 : 3;
    const int32_t uv_range = random.chance(5) ? 1 << 14 : 600;
    for (int i = 0; i < p.n; i++) {
        // Each vertex may also fall back to the surface, so that huge
        // coordinates meet ordinary ones.
        const int m = random.chance(25) ? 0 : mode;
        p.x[i] = coordinate(random, s.width, m);
        p.y[i] = coordinate(random, s.height, m);
        if (random.chance(8) && i > 0) p.y[i] = p.y[i - 1];  // horizontal edges
        if (random.chance(4) && i > 0) p.x[i] = p.x[i - 1];  // vertical edges
        p.u[i] = random.between(-uv_range, uv_range);
        p.v[i] = random.between(-uv_range, uv_range);
        p.r[i] = channel(random);
        p.g[i] = channel(random);
        p.b[i] = channel(random);
    }
    p.flat = static_cast<uint16_t>(random.bits());
    return p;
}

void draw_ours(ref::Family family, const ref::Polygon& p, const Scene& s) {
    ScreenVertex sv[4];
    Vec4 uv[4], rgb[4];
    const ScreenVertex* v[4];
    const Vec4* t[4];
    const Vec4* c[4];
    for (int i = 0; i < p.n; i++) {
        sv[i] = ScreenVertex{p.x[i], p.y[i], 0, 0};
        uv[i] = Vec4{p.u[i], p.v[i], 0, 0};
        rgb[i] = Vec4{p.r[i], p.g[i], p.b[i], 0};
        v[i] = &sv[i];
        t[i] = &uv[i];
        c[i] = &rgb[i];
    }
    const bool tri = p.n == 3;
    const TexImage image{s.texels.data(), s.width_shift, s.height_shift};
    switch (family) {
    case ref::FLAT:
        if (tri) draw_flat_triangle(v[0], v[1], v[2], p.flat);
        else draw_flat_quad(v[0], v[1], v[2], v[3], p.flat);
        break;
    case ref::GOURAUD:
        if (tri) draw_gouraud_triangle(v[0], v[1], v[2], c[0], c[1], c[2]);
        else draw_gouraud_quad(v[0], v[1], v[2], v[3], c[0], c[1], c[2], c[3]);
        break;
    case ref::GOURAUD_ADD:
        if (tri) draw_gouraud_add_triangle(v[0], v[1], v[2], c[0], c[1], c[2]);
        else draw_gouraud_add_quad(v[0], v[1], v[2], v[3], c[0], c[1], c[2], c[3]);
        break;
    case ref::TEX_COPY: draw_tex_poly_image(v, t, image, p.n, TEX_COPY); break;
    case ref::TEX_ADD: draw_tex_poly_image(v, t, image, p.n, TEX_ADD); break;
    case ref::TEX_HALF: draw_tex_poly_image(v, t, image, p.n, TEX_HALF); break;
    case ref::SHADED:
        shade_use_ramp(s.ramp.data());
        draw_shaded_tex_poly_image(v, c, t, image, p.n);
        break;
    default: break;
    }
}

std::string describe(const ref::Polygon& p, const Scene& s, size_t first_difference) {
    std::ostringstream out;
    out << "surface " << s.width << " x " << s.height << ", texture shifts " << s.width_shift
        << ", " << s.height_shift << "; vertices (x, y, u, v, r, g, b):";
    for (int i = 0; i < p.n; i++) {
        out << " (" << p.x[i] << ", " << p.y[i] << ", " << p.u[i] << ", " << p.v[i] << ", "
            << p.r[i] << ", " << p.g[i] << ", " << p.b[i] << ")";
    }
    const int64_t at = static_cast<int64_t>(first_difference) - GUARD;
    out << "; flat " << p.flat << "; first difference at element " << at;
    if (at >= 0 && at < static_cast<int64_t>(s.width) * s.height) {
        out << " (x " << at % s.width << ", y " << at / s.width << "): ours "
            << s.ours[first_difference] << ", reference " << s.theirs[first_difference];
    }
    return out.str();
}

void run_family(ref::Family family, uint32_t seed) {
    headless_print_messages(false);
    Random random(seed);
    Scene s;
    const int64_t count = polygons_per_family();
    for (int64_t i = 0; i < count; i++) {
        if (i % POLYGONS_PER_SCENE == 0) {
            new_scene(random, &s, i == 0);
            // The scenes take turns: the sixteen-pixel kernels with masked stores,
            // the kernels without them, the plain loops (where the processor has
            // the kernels and the masked stores).
            const int64_t turn = i / POLYGONS_PER_SCENE % 3;
            simd_enable(turn != 2);
            simd_enable_masked_stores(turn == 0);
        }
        // Now and then an entry of the ramp changes between two polygons.
        if (random.chance(2)) {
            s.ramp[static_cast<size_t>(random.between(0, RAMP_SIZE - 1))] =
                static_cast<uint8_t>(random.between(0, 31));
        }
        const ref::Polygon p = random_polygon(random, s);
        draw_ours(family, p, s);
        ref::draw(family, p, ref::Surface{s.theirs.data() + GUARD, s.width, s.height},
                  ref::Texture{s.texels.data(), s.width_shift, s.height_shift}, s.ramp.data());
        if (s.ours != s.theirs) {
            size_t k = 0;
            while (s.ours[k] == s.theirs[k]) k++;
            FAIL() << "polygon " << i << ": " << describe(p, s, k);
        }
    }
    draw_set_surface_to(nullptr, 0, 0);
    shade_use_ramp(nullptr);
    simd_enable(true);
    simd_enable_masked_stores(true);
}

TEST(Differential, Flat) { run_family(ref::FLAT, 1); }
TEST(Differential, Gouraud) { run_family(ref::GOURAUD, 2); }
TEST(Differential, GouraudAdditive) { run_family(ref::GOURAUD_ADD, 3); }
TEST(Differential, TexturedCopy) { run_family(ref::TEX_COPY, 4); }
TEST(Differential, TexturedAdditive) { run_family(ref::TEX_ADD, 5); }
TEST(Differential, TexturedAveraged) { run_family(ref::TEX_HALF, 6); }
TEST(Differential, RampShaded) { run_family(ref::SHADED, 7); }

}  // namespace
