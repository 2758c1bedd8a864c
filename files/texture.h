// The texture table and the BMP loader.
#pragma once

#include <cstdint>

constexpr int32_t TEX_SLOTS = 128;
constexpr int32_t TEX_NAME_SIZE = 28;

struct Texture {
    int32_t slot;
    char name[TEX_NAME_SIZE];
    int32_t refs;
    int32_t width_shift;
    int32_t height_shift;
    uint16_t* texels;  // top row first
};

int32_t tex_init();
void tex_release();
// Slot of the texture loaded from a BMP file (or already loaded under that
// name); -1 for no free slot, a name longer than 27 characters, a failed
// allocation, a side outside 2..256 or a malformed file; -2 when the file
// cannot be read.
int32_t tex_load(const char* name);
int32_t tex_find(const char* name);
int32_t tex_free_slot();
void tex_free(int32_t slot);
// Converts up to 256 palette entries (blue, green, red, reserved) into the
// shared conversion table and clears the entries past them.
uint16_t* tex_palette_to_rgb555(const uint8_t* entries, int32_t count);

// A black texture of 2^width_shift x 2^height_shift texels (shifts 1..8) in
// the lowest free slot, reference count 1: its slot, or -1. Its texels may be
// written through tex_get.
int32_t tex_create(const char* name, int32_t width_shift, int32_t height_shift);

// The texture in a slot, or null for an empty or invalid slot.
Texture* tex_get(int32_t slot);

// A slot's sides (log2) and texels; 0, 0 and null for an empty or invalid slot.
int32_t tex_width_shift(int32_t slot);
int32_t tex_height_shift(int32_t slot);
const uint16_t* tex_pixels(int32_t slot);
