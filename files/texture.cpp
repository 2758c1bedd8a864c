#include "files/texture.h"

#include <cstring>

#include "platform/win32.h"
#include "shell/memory.h"

namespace {

Texture** table = nullptr;
uint16_t palette_table[256];

}  // namespace

int32_t tex_init() {
    table = static_cast<Texture**>(mem_alloc(TEX_SLOTS * static_cast<int32_t>(sizeof(Texture*))));
    return table != nullptr ? 0 : -1;
}

void tex_release() {
    if (table == nullptr) return;
    for (int32_t i = 0; i < TEX_SLOTS; i++) tex_free(i);
    mem_free(table);
    table = nullptr;
}

int32_t tex_find(const char* name) {
    if (table == nullptr) return -1;
    for (int32_t i = 0; i < TEX_SLOTS; i++) {
        if (table[i] != nullptr && lstrcmpA(table[i]->name, name) == 0) {
            table[i]->refs++;
            return i;
        }
    }
    return -1;
}

int32_t tex_free_slot() {
    if (table == nullptr) return -1;
    for (int32_t i = 0; i < TEX_SLOTS; i++) {
        if (table[i] == nullptr) return i;
    }
    return -1;
}

void tex_free(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= TEX_SLOTS || table[slot] == nullptr) return;
    mem_free(table[slot]->texels);
    mem_free(table[slot]);
    table[slot] = nullptr;
}

int32_t tex_create(const char* name, int32_t width_shift, int32_t height_shift) {
    if (width_shift < 1 || width_shift > 8 || height_shift < 1 || height_shift > 8) return -1;
    if (name == nullptr || lstrlenA(name) >= TEX_NAME_SIZE) return -1;
    int32_t slot = tex_free_slot();
    if (slot < 0) return -1;
    Texture* t = static_cast<Texture*>(mem_alloc(static_cast<int32_t>(sizeof(Texture))));
    if (t == nullptr) return -1;
    t->texels = static_cast<uint16_t*>(
        mem_alloc(static_cast<int32_t>(sizeof(uint16_t)) << (width_shift + height_shift)));
    if (t->texels == nullptr) {
        mem_free(t);
        return -1;
    }
    t->slot = slot;
    lstrcpyA(t->name, name);
    t->refs = 1;
    t->width_shift = width_shift;
    t->height_shift = height_shift;
    table[slot] = t;
    return slot;
}

uint16_t* tex_palette_to_rgb555(const uint8_t* entries, int32_t count) {
    for (int32_t i = 0; i < count && i < 256; i++) {
        const uint8_t* e = entries + 4 * i;
        uint32_t blue = e[0], green = e[1], red = e[2];
        palette_table[i] =
            static_cast<uint16_t>(((red & 0xF8) << 7) | ((green & 0xF8) << 2) | (blue >> 3));
    }
    return palette_table;
}

Texture* tex_get(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= TEX_SLOTS) return nullptr;
    return table[slot];
}

int32_t tex_width_shift(int32_t slot) {
    return table[slot]->width_shift;
}

int32_t tex_height_shift(int32_t slot) {
    return table[slot]->height_shift;
}

const uint16_t* tex_pixels(int32_t slot) {
    return table[slot]->texels;
}
