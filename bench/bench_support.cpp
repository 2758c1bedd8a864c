#include "bench_support.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "files/texture.h"
#include "model/model.h"
#include "model/shade.h"
#include "raster/simd.h"
#include "platform/headless.h"
#include "platform/win32.h"
#include "render/surface.h"
#include "shell/app.h"
#include "shell/framebuf.h"
#include "shell/mouse.h"

namespace {

std::vector<uint16_t> surface_pixels(static_cast<size_t>(BENCH_WIDTH) * BENCH_HEIGHT);
std::vector<uint16_t> scratch(static_cast<size_t>(BENCH_WIDTH) * BENCH_HEIGHT);
int32_t texture_slot = -1;
HWND window = nullptr;

// Texture coordinates for a vertex `dx`, `dy` pixels from the centre, mapped
// about one texel per pixel where the texture allows.
Vec4 uv_at(double dx, double dy, double scale, double uc, double vc) {
    return Vec4{static_cast<int32_t>(uc + dx * scale), static_cast<int32_t>(vc + dy * scale), 0, 0};
}

void handle_messages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

void bench_restart_scene() {
    if (window != nullptr) {
        DestroyWindow(window);  // releases every module of the program
        handle_messages();
        headless_reset();
        window = nullptr;
    }
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr || chdir(ICON_LOOK_SOURCE_DIR) != 0) {
        fprintf(stderr, "icon_look_bench: cannot enter %s\n", ICON_LOOK_SOURCE_DIR);
        exit(1);
    }
    window = app_create_window(GetModuleHandleA(nullptr), "ICON_LOOK", "TEST");
    ShowWindow(window, SW_SHOWDEFAULT);
    handle_messages();
    fb_set_min_interval(0);
    if (chdir(here) != 0) exit(1);
}

void bench_pose_scene() {
    bench_restart_scene();
    bench_scene_frame();
    mdl_update_all();
}

void bench_scene_frame() {
    mouse_sample(0, 0);
    app_frame(window, 0, 0);
}

const char* bench_choose_span_code() {
    const auto set = [](const char* name) {
        const char* value = getenv(name);
        return value != nullptr && value[0] == '1';
    };
    simd_enable(!set("ICON_LOOK_SCALAR"));
    simd_enable_masked_stores(!set("ICON_LOOK_NO_MASKED"));
    if (!simd_enabled()) return "plain loops";
    return masked_stores_on ? "vector kernels, masked stores" : "vector kernels";
}

uint16_t* bench_surface() {
    return surface_pixels.data();
}

void bench_use_surface() {
    draw_set_surface_to(surface_pixels.data(), BENCH_WIDTH, BENCH_HEIGHT);
}

int64_t covered_pixels(const ScreenVertex* const* v, int32_t n) {
    draw_set_surface_to(scratch.data(), BENCH_WIDTH, BENCH_HEIGHT);
    if (n == 3) {
        draw_flat_triangle(v[0], v[1], v[2], 1);
    } else {
        draw_flat_quad(v[0], v[1], v[2], v[3], 1);
    }
    // Only the rows the polygon spans can have been written.
    int32_t top = v[0]->y, bottom = v[0]->y;
    for (int32_t i = 1; i < n; i++) {
        top = std::min(top, v[i]->y);
        bottom = std::max(bottom, v[i]->y);
    }
    top = std::max(top, 0);
    bottom = std::min(bottom, BENCH_HEIGHT - 1);
    int64_t covered = 0;
    for (int32_t y = top; y <= bottom; y++) {
        uint16_t* row = scratch.data() + static_cast<size_t>(y) * BENCH_WIDTH;
        for (int32_t x = 0; x < BENCH_WIDTH; x++) {
            covered += row[x];
            row[x] = 0;
        }
    }
    return covered;
}

PolySet make_poly_set(int32_t count, double area, uint32_t seed) {
    std::mt19937 random(seed);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    PolySet set;
    const double pi = std::acos(-1.0);
    // Vertices about radius r from the centre: an equilateral triangle of
    // this area has r = side / sqrt(3).
    const double r = std::sqrt(4.0 * area / std::sqrt(3.0)) / std::sqrt(3.0);
    const double reach = r * 1.25;
    const double uv_scale = std::min(1.0, 120.0 / reach);
    for (int32_t i = 0; i < count; i++) {
        BenchTri t;
        const double cx = uniform(reach, BENCH_WIDTH - 1 - reach);
        const double cy = uniform(reach, BENCH_HEIGHT - 1 - reach);
        const double uc = uniform(reach * uv_scale, 255 - reach * uv_scale);
        const double vc = uniform(reach * uv_scale, 255 - reach * uv_scale);
        const double turn = uniform(0, 2 * pi);
        for (int k = 0; k < 3; k++) {
            const double angle = turn + k * 2 * pi / 3 + uniform(-0.25, 0.25);
            const double radius = r * uniform(0.8, 1.2);
            const double dx = radius * std::cos(angle);
            const double dy = radius * std::sin(angle);
            t.sv[k] = ScreenVertex{static_cast<int32_t>(std::lround(cx + dx)),
                                   static_cast<int32_t>(std::lround(cy + dy)), 100, 0};
            t.uv[k] = uv_at(dx, dy, uv_scale, uc, vc);
            t.rgb[k] = Vec4{static_cast<int32_t>(random() % 256),
                            static_cast<int32_t>(random() % 256),
                            static_cast<int32_t>(random() % 256), 0};
        }
        t.flat = static_cast<uint16_t>(random() & 0x7FFF);
        const ScreenVertex* v[3] = {&t.sv[0], &t.sv[1], &t.sv[2]};
        set.pixels += covered_pixels(v, 3);
        set.tris.push_back(t);
    }
    bench_use_surface();
    return set;
}

int32_t bench_texture_slot() {
    if (texture_slot >= 0) return texture_slot;
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr || chdir(ICON_LOOK_SOURCE_DIR "/data") != 0) {
        fprintf(stderr, "icon_look_bench: cannot enter %s/data\n", ICON_LOOK_SOURCE_DIR);
        exit(1);
    }
    tex_init();
    texture_slot = tex_load("tes256.bmp");
    shade_init();
    if (chdir(here) != 0 || texture_slot < 0 || tex_width_shift(texture_slot) != 8 ||
        tex_height_shift(texture_slot) != 8) {
        fprintf(stderr, "icon_look_bench: no 256 x 256 tes256.bmp in %s/data\n",
                ICON_LOOK_SOURCE_DIR);
        exit(1);
    }
    return texture_slot;
}

const uint16_t* bench_texels() {
    return tex_pixels(bench_texture_slot());
}

void report_allocations(benchmark::State& state, const char* counter, int64_t allocations,
                        double per) {
    state.counters[counter] = static_cast<double>(allocations) / per;
    if (allocations != 0) state.SkipWithError("memory was allocated while drawing");
}

void report_rates(benchmark::State& state, int64_t pixels_per_iteration,
                  int64_t polygons_per_iteration, double seconds, double peer_seconds) {
    const double iterations = static_cast<double>(state.iterations());
    const double pixels = static_cast<double>(pixels_per_iteration) * iterations;
    const double polygons = static_cast<double>(polygons_per_iteration) * iterations;
    state.counters["Mpix/s"] = pixels / seconds / 1e6;
    state.counters["ns/poly"] = seconds / polygons * 1e9;
    if (peer_seconds > 0) {
        state.counters["peer_Mpix/s"] = pixels / peer_seconds / 1e6;
        state.counters["peer_ns/poly"] = peer_seconds / polygons * 1e9;
        state.counters["x_peer"] = peer_seconds / seconds;
    }
}
