#include "families.h"

#include "raster/shaded.h"
#include "raster/textured.h"
#include "render/gouraud.h"
#include "render/surface.h"

const Family bench_families[BENCH_FAMILIES] = {
    {"flat",
     [](const BenchTri& t, int32_t) { draw_flat_triangle(&t.sv[0], &t.sv[1], &t.sv[2], t.flat); },
     PEER_FLAT},
    {"gouraud",
     [](const BenchTri& t, int32_t) {
         draw_gouraud_triangle(&t.sv[0], &t.sv[1], &t.sv[2], &t.rgb[0], &t.rgb[1], &t.rgb[2]);
     },
     PEER_COLOURS},
    {"gouraud_add",
     [](const BenchTri& t, int32_t) {
         draw_gouraud_add_triangle(&t.sv[0], &t.sv[1], &t.sv[2], &t.rgb[0], &t.rgb[1],
                                   &t.rgb[2]);
     },
     PEER_NONE},
    {"tex",
     [](const BenchTri& t, int32_t texture) {
         draw_tex_tri(&t.sv[0], &t.sv[1], &t.sv[2], &t.uv[0], &t.uv[1], &t.uv[2], texture);
     },
     PEER_TEXTURED_WHITE},
    {"tex_add",
     [](const BenchTri& t, int32_t texture) {
         draw_tex_tri_add(&t.sv[0], &t.sv[1], &t.sv[2], &t.uv[0], &t.uv[1], &t.uv[2], texture);
     },
     PEER_NONE},
    {"tex_half",
     [](const BenchTri& t, int32_t texture) {
         draw_tex_tri_half(&t.sv[0], &t.sv[1], &t.sv[2], &t.uv[0], &t.uv[1], &t.uv[2], texture);
     },
     PEER_NONE},
    {"lit",
     [](const BenchTri& t, int32_t texture) {
         draw_shaded_tex_tri(&t.sv[0], &t.sv[1], &t.sv[2], &t.rgb[0], &t.rgb[1], &t.rgb[2],
                             &t.uv[0], &t.uv[1], &t.uv[2], texture, 0);
     },
     PEER_TEXTURED_COLOURS},
};

void draw_family_set(const Family& family, const PolySet& set, int32_t texture) {
    draw_shaded_ramps_settled(true);
    for (const BenchTri& t : set.tris) family.draw(t, texture);
    draw_shaded_ramps_settled(false);
}

const SizeClass bench_sizes[BENCH_SIZES] = {
    {"16px", 20000, 16, 16},
    {"200px", 2000, 200, 200},
    {"20000px", 40, 20000, 20000},
};
