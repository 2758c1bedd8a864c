#include "files/texture.h"

#include <cstring>

#include "files/section.h"
#include "platform/win32.h"
#include "shell/memory.h"

namespace {

constexpr int32_t PALETTE_SIZE = 256;
constexpr int32_t SIDE_SHIFTS = 8;       // sides 2, 4, ..., 256
constexpr int32_t BMP_HEADERS_END = 54;  // 14-byte file header, 40-byte info header

Texture** table = nullptr;
uint16_t palette_table[PALETTE_SIZE];

// Where the parts of a BMP file lie, from its headers.
struct BmpLayout {
    int32_t width_shift;
    int32_t height_shift;
    int32_t bits;
    int32_t palette_entries;  // 4 and 8 bits
    int32_t pixel_offset;
    int32_t row_bytes;  // 0 when the bit count is not converted
};

uint32_t read_u16(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8);
}

int32_t read_i32(const uint8_t* at) {
    return static_cast<int32_t>(read_u16(at) | (read_u16(at + 2) << 16));
}

// log2 of an accepted side, or -1.
int32_t side_shift(int32_t side) {
    for (int32_t shift = 1; shift <= SIDE_SHIFTS; shift++) {
        if (side == 1 << shift) return shift;
    }
    return -1;
}

// Whether the file is one this table takes: sides in the size table, a
// palette that fits, every row there.
bool read_layout(const uint8_t* file, int32_t size, BmpLayout* bmp) {
    if (size < BMP_HEADERS_END) return false;
    bmp->width_shift = side_shift(read_i32(file + 18));
    bmp->height_shift = side_shift(read_i32(file + 22));
    if (bmp->width_shift < 0 || bmp->height_shift < 0) return false;
    int32_t width = 1 << bmp->width_shift;
    bmp->bits = static_cast<int32_t>(read_u16(file + 28));
    bmp->palette_entries = 0;
    bmp->row_bytes = 0;
    if (bmp->bits == 4 || bmp->bits == 8) {
        int32_t used = read_i32(file + 46);
        if (used < 0 || used > PALETTE_SIZE) return false;
        bmp->palette_entries = used != 0 ? used : 1 << bmp->bits;
        bmp->row_bytes = bmp->bits == 4 ? width / 2 : width;
    } else if (bmp->bits == 16 || bmp->bits == 32) {
        bmp->row_bytes = width * (bmp->bits / 8);
    }
    bmp->pixel_offset = BMP_HEADERS_END + 4 * bmp->palette_entries;
    int32_t needed = bmp->pixel_offset + bmp->row_bytes * (1 << bmp->height_shift);
    return size >= needed;
}

// Texels top row first from the file's rows, bottom row first.
void convert_pixels(const uint8_t* file, const BmpLayout& bmp, uint16_t* texels) {
    if (bmp.row_bytes == 0) return;  // stays black
    const uint16_t* palette = nullptr;
    if (bmp.palette_entries > 0) {
        palette = tex_palette_to_rgb555(file + BMP_HEADERS_END, bmp.palette_entries);
    }
    int32_t width = 1 << bmp.width_shift;
    int32_t height = 1 << bmp.height_shift;
    for (int32_t k = 0; k < height; k++) {
        const uint8_t* row = file + bmp.pixel_offset + bmp.row_bytes * (height - 1 - k);
        uint16_t* out = texels + k * width;
        for (int32_t x = 0; x < width; x++) {
            switch (bmp.bits) {
            case 4: {
                uint32_t pair = row[x / 2];
                out[x] = palette[(x & 1) != 0 ? pair & 0xF : pair >> 4];
                break;
            }
            case 8: out[x] = palette[row[x]]; break;
            case 16: out[x] = static_cast<uint16_t>(read_u16(row + 2 * x)); break;
            case 32: {
                const uint8_t* p = row + 4 * x;
                uint32_t blue = p[0], green = p[1], red = p[2];
                out[x] =
                    static_cast<uint16_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
                break;
            }
            }
        }
    }
}

}  // namespace

int32_t tex_init() {
    tex_release();  // a second start-up must not leak the first table
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
    if (width_shift < 1 || width_shift > SIDE_SHIFTS || height_shift < 1 ||
        height_shift > SIDE_SHIFTS) {
        return -1;
    }
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
    int32_t converted = count < 0 ? 0 : (count > PALETTE_SIZE ? PALETTE_SIZE : count);
    for (int32_t i = 0; i < converted; i++) {
        const uint8_t* e = entries + 4 * i;
        uint32_t blue = e[0], green = e[1], red = e[2];
        palette_table[i] =
            static_cast<uint16_t>(((red & 0xF8) << 7) | ((green & 0xF8) << 2) | (blue >> 3));
    }
    // Indices past the palette give black, not a colour of an earlier file.
    for (int32_t i = converted; i < PALETTE_SIZE; i++) palette_table[i] = 0;
    return palette_table;
}

int32_t tex_load(const char* name) {
    if (name == nullptr) return -1;
    int32_t slot = tex_find(name);
    if (slot >= 0) return slot;
    if (tex_free_slot() < 0) return -1;
    int32_t size = 0;
    uint8_t* file = reinterpret_cast<uint8_t*>(sec_read_file_sized(name, &size));
    if (file == nullptr) return -2;
    BmpLayout bmp;
    // A longer name could not be stored whole, so it could never be found
    // again: the file is refused as one that cannot be read. So is a side
    // the table does not take: no reader of the result says why, and the
    // model drawn with it would go wrong unexplained.
    const bool accepted = lstrlenA(name) < TEX_NAME_SIZE && read_layout(file, size, &bmp);
    if (!accepted) error_box(MSG_FILE_PARSE_FAILED, name);
    slot = accepted ? tex_create(name, bmp.width_shift, bmp.height_shift) : -1;
    if (slot >= 0) convert_pixels(file, bmp, table[slot]->texels);
    mem_free(file);
    return slot;
}

Texture* tex_get(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= TEX_SLOTS) return nullptr;
    return table[slot];
}

// A slot that holds no texture reads as no texels and zero shifts, which no
// texel address accepts, rather than as memory past the table.
int32_t tex_width_shift(int32_t slot) {
    const Texture* t = tex_get(slot);
    return t != nullptr ? t->width_shift : 0;
}

int32_t tex_height_shift(int32_t slot) {
    const Texture* t = tex_get(slot);
    return t != nullptr ? t->height_shift : 0;
}

const uint16_t* tex_pixels(int32_t slot) {
    const Texture* t = tex_get(slot);
    return t != nullptr ? t->texels : nullptr;
}
