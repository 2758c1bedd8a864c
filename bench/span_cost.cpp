// icon_look_span_cost LENGTH CALLS: calls every span routine CALLS times on
// spans of LENGTH pixels, each from its own driver function, so that a run
// under callgrind gives instructions per span routine (see span_cost.sh).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "model/shade.h"
#include "raster/shaded.h"
#include "raster/textured.h"
#include "render/gouraud.h"
#include "render/surface.h"

namespace {

int32_t length = 256;
int32_t calls = 1000;
std::vector<uint16_t> row;
std::vector<uint16_t> texels;
std::vector<uint8_t> ramp(RAMP_SIZE);
std::vector<uint8_t> built_ramp;

// Edge accumulators (24.8) of a span that runs across most of the texture
// and most of each colour's range, as a typical long span does.
constexpr int32_t LEFT_U = 10 << 8, RIGHT_U = 240 << 8, LEFT_V = 30 << 8, RIGHT_V = 200 << 8;
const int32_t left_colour[3] = {20 << 8, 250 << 8, 128 << 8};
const int32_t right_colour[3] = {240 << 8, 10 << 8, 100 << 8};

#define DRIVER __attribute__((noinline))

DRIVER void span_flat() {
    for (int32_t i = 0; i < calls; i++) draw_fill_span(row.data(), length, 0x1234);
}
DRIVER void span_gouraud() {
    for (int32_t i = 0; i < calls; i++) {
        draw_gouraud_span(row.data(), 0, length, left_colour, right_colour);
    }
}
DRIVER void span_gouraud_add() {
    for (int32_t i = 0; i < calls; i++) {
        draw_gouraud_add_span(row.data(), 0, length, left_colour, right_colour);
    }
}
DRIVER void span_tex() {
    for (int32_t i = 0; i < calls; i++) {
        draw_tex_span(row.data(), length, LEFT_U, LEFT_V, RIGHT_U, RIGHT_V, 8, 8, texels.data());
    }
}
DRIVER void span_tex_add() {
    for (int32_t i = 0; i < calls; i++) {
        draw_tex_span_add(row.data(), length, LEFT_U, LEFT_V, RIGHT_U, RIGHT_V, 8, 8,
                          texels.data());
    }
}
DRIVER void span_tex_half() {
    for (int32_t i = 0; i < calls; i++) {
        draw_tex_span_half(row.data(), length, LEFT_U, LEFT_V, RIGHT_U, RIGHT_V, 8, 8,
                           texels.data());
    }
}
DRIVER void span_lit() {
    for (int32_t i = 0; i < calls; i++) {
        draw_shaded_tex_span(row.data(), length, LEFT_U, LEFT_V, RIGHT_U, RIGHT_V, 8, 8,
                             texels.data(), left_colour[0], left_colour[1], left_colour[2],
                             right_colour[0], right_colour[1], right_colour[2]);
    }
}

// The same with a ramp of the built ramps' form, whose entries the kernel
// works out rather than reads.
DRIVER void span_lit_built() {
    shade_use_ramp(built_ramp.data());
    for (int32_t i = 0; i < calls; i++) {
        draw_shaded_tex_span(row.data(), length, LEFT_U, LEFT_V, RIGHT_U, RIGHT_V, 8, 8,
                             texels.data(), left_colour[0], left_colour[1], left_colour[2],
                             right_colour[0], right_colour[1], right_colour[2]);
    }
    shade_use_ramp(ramp.data());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (length = atoi(argv[1])) < 1 || (calls = atoi(argv[2])) < 1) {
        fprintf(stderr, "usage: icon_look_span_cost LENGTH CALLS\n");
        return 2;
    }
    row.assign(static_cast<size_t>(length), 0x4210);
    draw_set_surface_to(row.data(), length, 1);
    texels.resize(256 * 256);
    for (size_t i = 0; i < texels.size(); i++) texels[i] = static_cast<uint16_t>(i * 2654435761u >> 17);
    for (int32_t i = 0; i < RAMP_SIZE; i++) ramp[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 7) & 31);
    if (shade_init() != 0) return 1;
    built_ramp.assign(shade_ramp(0), shade_ramp(0) + RAMP_SIZE);
    shade_use_ramp(ramp.data());
    draw_set_tex_span_state(8, 8);
    span_flat();
    span_gouraud();
    span_gouraud_add();
    span_tex();
    span_tex_add();
    span_tex_half();
    span_lit();
    span_lit_built();
    printf("%u\n", row[static_cast<size_t>(length) / 2]);
    return 0;
}
