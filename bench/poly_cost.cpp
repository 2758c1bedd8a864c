// icon_look_poly_cost WHAT SIZE REPS: draws the seeded triangle set of one
// family (WHAT: flat, gouraud, ..., lit) and size (16px, 200px, 20000px) REPS
// times, or with WHAT = scene the shipped scene's frame (SIZE is ignored),
// from draw_polygons(), so that a run under callgrind counts the
// instructions of the drawing alone (see poly_cost.sh). Prints the polygons
// and pixels of one repetition of a family (0 0 for the scene).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "families.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"

namespace {

// One repetition: the set, or the scene's built ordering table.
__attribute__((noinline)) void draw_polygons(const Family* family, const PolySet& set,
                                             int32_t texture) {
    if (family == nullptr) {
        ot_draw(rb_drawn());
        return;
    }
    draw_family_set(*family, set, texture);
}

int usage() {
    fprintf(stderr, "usage: icon_look_poly_cost FAMILY|scene 16px|200px|20000px REPS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    headless_print_messages(false);
    bench_choose_span_code();
    if (argc != 4) return usage();
    const int32_t reps = atoi(argv[3]);
    if (reps < 1) return usage();
    const int32_t texture = bench_texture_slot();
    PolySet set;
    const Family* family = nullptr;
    if (strcmp(argv[1], "scene") == 0) {
        bench_pose_scene();
        draw_set_surface();
    } else {
        for (const Family& f : bench_families) {
            if (strcmp(f.name, argv[1]) == 0) family = &f;
        }
        const SizeClass* size = nullptr;
        for (const SizeClass& s : bench_sizes) {
            if (strcmp(s.name, argv[2]) == 0) size = &s;
        }
        if (family == nullptr || size == nullptr) return usage();
        set = make_poly_set(size->count, size->area, size->seed);
        bench_use_surface();
        shade_select_ramp(0);
    }
    for (int32_t r = 0; r < reps; r++) {
        if (family == nullptr) ot_build(rb_drawn());
        draw_polygons(family, set, texture);
    }
    printf("%zu %lld\n", set.tris.size(), static_cast<long long>(set.pixels));
    return 0;
}
