#include "model/shade.h"

#include "geometry/camera.h"
#include "shell/memory.h"

namespace {

constexpr int32_t RAMP_LEVELS = 32;

// Added to the soft ramp near full light: a small highlight.
constexpr int32_t SOFT_HIGHLIGHT[RAMP_LEVELS] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2,
                                                 2, 3, 3, 4, 5, 6, 7, 8, 9, 10};
// Added to the glossy ramp: a strong highlight that saturates the top levels.
constexpr int32_t GLOSS_HIGHLIGHT[RAMP_LEVELS] = {0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,
                                                  0, 0, 0, 0, 0, 1, 1,  2,  2,  3,  3,
                                                  4, 5, 6, 7, 10, 15, 20, 26, 31, 31};

uint8_t** store = nullptr;  // RAMP_SLOTS references, each empty or owning a ramp
const uint8_t* ramp_table[RAMP_TABLE_SIZE] = {nullptr, nullptr, nullptr};
const uint8_t* current_ramp = nullptr;
FrameHook before_hook = nullptr;
FrameHook after_hook = nullptr;

}  // namespace

int32_t shade_init() {
    shade_release();  // a second start-up must not leak the first store
    cam_set_light_colour(255, 255, 255);
    Vec4* light = cam_light_vector();
    light->x = NORMAL_LENGTH;
    light->y = 0;
    light->z = 0;
    store = static_cast<uint8_t**>(
        mem_alloc(RAMP_SLOTS * static_cast<int32_t>(sizeof(uint8_t*))));
    if (store == nullptr) return -1;
    if (shade_build_ramps() < 0) return -1;
    for (int32_t k = 0; k < RAMP_TABLE_SIZE; k++) ramp_table[k] = shade_ramp(k);
    current_ramp = ramp_table[0];
    return 0;
}

void shade_release() {
    for (int32_t k = 0; k < RAMP_TABLE_SIZE; k++) ramp_table[k] = nullptr;
    current_ramp = nullptr;
    if (store == nullptr) return;
    for (int32_t slot = 0; slot < RAMP_SLOTS; slot++) mem_free(store[slot]);
    mem_free(store);
    store = nullptr;
}

int32_t shade_new_ramp() {
    if (store == nullptr) return -1;
    for (int32_t slot = 0; slot < RAMP_SLOTS; slot++) {
        if (store[slot] != nullptr) continue;
        store[slot] = static_cast<uint8_t*>(mem_alloc(RAMP_SIZE));
        // A slot whose ramp could not be allocated stays free.
        return store[slot] != nullptr ? slot : -1;
    }
    return -1;
}

uint8_t* shade_ramp(int32_t slot) {
    if (store == nullptr || slot < 0 || slot >= RAMP_SLOTS) return nullptr;
    return store[slot];
}

int32_t shade_build_ramps() {
    uint8_t* ramps[3];
    for (uint8_t*& ramp : ramps) {
        const int32_t slot = shade_new_ramp();
        if (slot < 0) return -1;
        ramp = shade_ramp(slot);
        if (ramp == nullptr) return -1;
    }
    for (int32_t j = 0; j < RAMP_LEVELS; j++) {
        for (int32_t i = 0; i < RAMP_LEVELS; i++) {
            const int32_t entry = j * RAMP_LEVELS + i;
            const int32_t soft = shade_built_entry(SOFT_HIGHLIGHT[j], j, i, false);
            const int32_t gloss = shade_built_entry(GLOSS_HIGHLIGHT[j], j, i, false);
            ramps[0][entry] = static_cast<uint8_t>(soft);
            ramps[1][entry] = static_cast<uint8_t>(gloss);
            // Banded: no highlight, the diffuse term rounded up to a multiple of 8.
            ramps[2][entry] = static_cast<uint8_t>(shade_built_entry(0, j, i, true));
        }
    }
    return 0;
}

const uint8_t* shade_current_ramp() {
    return current_ramp;
}

int32_t shade_select_ramp(int32_t ramp) {
    if (ramp < 0 || ramp >= RAMP_TABLE_SIZE || ramp_table[ramp] == nullptr) return -1;
    current_ramp = ramp_table[ramp];
    return 0;
}

void shade_use_ramp(const uint8_t* ramp) {
    current_ramp = ramp;
}

void shade_before_frame() {
    if (before_hook != nullptr) before_hook();
}

void shade_after_frame() {
    if (after_hook != nullptr) after_hook();
}

void shade_set_hooks(FrameHook before, FrameHook after) {
    before_hook = before;
    after_hook = after;
}
