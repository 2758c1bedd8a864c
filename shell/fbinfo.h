// What the rasterizers need of the frame buffer: its size and its pixels.
#pragma once

#include <cstdint>

int32_t fb_width();
int32_t fb_height();  // drawable height: client height - 1
uint16_t* fb_pixels();
