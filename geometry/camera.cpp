#include "geometry/camera.h"

namespace {

LightColour light_colour = {255, 255, 255};

}  // namespace

void cam_set_light_colour(int32_t r, int32_t g, int32_t b) {
    light_colour = LightColour{r, g, b};
}

const LightColour* cam_light_colour() {
    return &light_colour;
}
