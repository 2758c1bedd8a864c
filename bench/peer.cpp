#include "peer.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "bench_support.h"

namespace {

struct Batch {
    std::vector<SDL_Vertex> vertices;
    bool textured;
};

SDL_Surface* surface = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::vector<Batch> batches;

void check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "icon_look_bench: %s: %s\n", what, SDL_GetError());
    exit(1);
}

}  // namespace

void peer_start(const uint16_t* texels) {
    if (renderer != nullptr) return;
    surface = SDL_CreateRGBSurfaceWithFormat(0, BENCH_WIDTH, BENCH_HEIGHT, 16,
                                             SDL_PIXELFORMAT_RGB555);
    check(surface != nullptr, "SDL_CreateRGBSurfaceWithFormat");
    renderer = SDL_CreateSoftwareRenderer(surface);
    check(renderer != nullptr, "SDL_CreateSoftwareRenderer");
    // Opaque, like our copy rule: no blending on either path.
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB555, SDL_TEXTUREACCESS_STATIC, 256,
                                256);
    check(texture != nullptr, "SDL_CreateTexture");
    check(SDL_UpdateTexture(texture, nullptr, texels, 256 * 2) == 0, "SDL_UpdateTexture");
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
}

int32_t peer_batch(const std::vector<PeerVertex>& vertices, bool textured) {
    Batch batch;
    batch.textured = textured;
    for (const PeerVertex& p : vertices) {
        SDL_Vertex v;
        v.position = SDL_FPoint{p.x, p.y};
        v.color = SDL_Color{p.r, p.g, p.b, 255};
        v.tex_coord = SDL_FPoint{p.u / 256.0f, p.v / 256.0f};
        batch.vertices.push_back(v);
    }
    batches.push_back(batch);
    return static_cast<int32_t>(batches.size()) - 1;
}

void peer_draw(int32_t batch) {
    const Batch& b = batches[static_cast<size_t>(batch)];
    SDL_RenderGeometry(renderer, b.textured ? texture : nullptr, b.vertices.data(),
                       static_cast<int>(b.vertices.size()), nullptr, 0);
    SDL_RenderFlush(renderer);
}
