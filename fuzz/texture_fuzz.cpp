// The BMP loader on any file: a texture of an accepted size whose every texel
// can be read, or a refusal that leaves the slot free.

#include "files/section.h"
#include "files/texture.h"
#include "fuzz/fuzz_support.h"
#include "shell/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_process();
    const int32_t blocks = mem_blocks_in_use();
    std::vector<FuzzFile> files = {{"t.bmp", fuzz_bytes(data, size)}};
    fuzz_serve(files);
    FUZZ_CHECK(tex_init() == 0);
    const int32_t slot = tex_load("t.bmp");
    if (slot >= 0) {
        FUZZ_CHECK(slot == 0);
        const Texture* t = tex_get(slot);
        FUZZ_CHECK(t->width_shift >= 1 && t->width_shift <= 8);
        FUZZ_CHECK(t->height_shift >= 1 && t->height_shift <= 8);
        uint32_t sum = 0;
        for (int32_t i = 0; i < 1 << (t->width_shift + t->height_shift); i++) sum += t->texels[i];
        fuzz_sink = sum;
    } else {
        FUZZ_CHECK(tex_free_slot() == 0);
    }
    tex_release();
    sec_set_memory_files(nullptr, 0);
    FUZZ_CHECK(mem_blocks_in_use() == blocks);
    return 0;
}
