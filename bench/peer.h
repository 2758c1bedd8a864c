// The peer: SDL2's software renderer drawing triangle lists into an RGB555
// surface of the same size, with the same 256 x 256 texture.
#pragma once

#include <cstdint>
#include <vector>

struct PeerVertex {
    float x, y;
    float u, v;  // texels of the 256 x 256 texture
    uint8_t r, g, b;
};

// Makes the renderer, its surface and the texture (texels: 256 x 256 RGB555).
void peer_start(const uint16_t* texels);
// A triangle list (three vertices each) kept for drawing: its number.
int32_t peer_batch(const std::vector<PeerVertex>& vertices, bool textured);
// Draws a batch with SDL_RenderGeometry and runs the renderer's queue.
void peer_draw(int32_t batch);
