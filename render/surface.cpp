#include "render/surface.h"

#include "shell/fbinfo.h"

namespace {

RasterSurface surface = {0, 0, -1, -1, nullptr};

}  // namespace

void draw_set_surface() {
    draw_set_surface_to(fb_pixels(), fb_width(), fb_height());
}

void draw_set_surface_to(uint16_t* pixels, int32_t width, int32_t height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        // No surface: every rasterizer draws nothing.
        surface = RasterSurface{0, 0, -1, -1, nullptr};
        return;
    }
    surface = RasterSurface{width, height, width - 1, height - 1, pixels};
}

const RasterSurface* draw_surface() {
    return &surface;
}
