// The animation loader on any file against the shipped model, which is
// loaded once; a set that loads is played for a while, and every rotation it
// writes is an angle of one turn.

#include "files/anim.h"
#include "files/texture.h"
#include "fuzz/fuzz_support.h"
#include "model/loader.h"
#include "model/model.h"
#include "platform/headless.h"
#include "shell/memory.h"

namespace {

constexpr int32_t STEPS = 40;

int32_t model_slot = -1;
std::vector<FuzzFile> files;

void load_model_once() {
    if (model_slot >= 0) return;
    fuzz_start_scene();
    files = fuzz_shipped_model_files();
    files.push_back(FuzzFile{"an.txt", ""});
    fuzz_serve(files);
    model_slot = mdl_load("mdt.txt", tex_load("tes256.bmp"));
    FUZZ_CHECK(model_slot >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    load_model_once();
    const int32_t blocks = mem_blocks_in_use();
    files.back().bytes = fuzz_bytes(data, size);
    fuzz_serve(files);
    headless_clear_messages();
    *mdl_flags(model_slot) = 0;
    const int32_t slot = anim_load("an.txt", model_slot);
    if (slot < 0) {
        FUZZ_CHECK(headless_message_count() > 0);
        FUZZ_CHECK(anim_get(model_slot) == nullptr);
        FUZZ_CHECK(*mdl_flags(model_slot) == 0);
    } else {
        FUZZ_CHECK(slot == model_slot);
        const int32_t bones = anim_get(slot)->bone_count;
        FUZZ_CHECK(bones >= 1 && bones <= mdl_get(model_slot)->bone_count);
        for (int32_t step = 0; step < STEPS; step++) {
            anim_step(slot);
            for (int32_t b = 0; b < bones; b++) {
                const Vec4* r = mdl_bone_rotation(model_slot, b);
                FUZZ_CHECK(((r->x | r->y | r->z) & ~ANGLE_MASK) == 0);
            }
        }
        FUZZ_CHECK(anim_free(slot) == 0);
    }
    FUZZ_CHECK(mem_blocks_in_use() == blocks);
    return 0;
}
