// Start-up and the loaders with one allocation failing: the k-th, for k = 1,
// 2, 3, ... until a run makes fewer than k allocations. Every run shows the
// allocation message with the size that failed before any other message,
// crashes nothing, and gives back every block once its modules are released.
// Start-up reads every shipped file, so its run fails every allocation of the
// section reader and of the texture, model and animation loaders; each
// loader's refusals share one way out, which their own tests check leaves
// their tables as they were. Only what start-up never reads gets a run here:
// object files that name their own textures.

#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app_session.h"
#include "files/section.h"
#include "files/texture.h"
#include "geometry/matrix.h"
#include "model/loader.h"
#include "model/model.h"
#include "platform/headless.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "shell/framebuf.h"
#include "shell/memory.h"
#include "shell/mouse.h"
#include "test_support.h"
#include "tests/model_files.h"

namespace {

const std::string DATA_DIR = std::string(ICON_LOOK_SOURCE_DIR) + "/data";

// Runs `run` with each allocation in turn failing and returns the number of
// runs in which one failed. `run` arms the failure itself with mem_fail_at(k)
// (so that it may prepare first), releases everything it made and returns
// the messages shown.
int fail_each_allocation(const std::function<std::vector<std::string>(int32_t k)>& run) {
    for (int32_t k = 1; k < 100000; k++) {
        headless_clear_messages();
        const int32_t blocks = mem_blocks_in_use();
        const std::vector<std::string> messages = run(k);
        const int32_t calls = mem_alloc_calls();
        const int32_t failed = mem_failed_size();
        mem_fail_at(0);
        EXPECT_EQ(mem_blocks_in_use(), blocks) << "blocks left after failing allocation " << k;
        if (calls < k) {
            EXPECT_EQ(failed, -1);
            return k - 1;
        }
        EXPECT_GE(failed, 0) << k;
        // The cause comes first, whatever follows from it.
        EXPECT_EQ(messages.empty() ? "" : messages[0], message_with(MSG_ALLOC_FAILED, failed)) << k;
        if (::testing::Test::HasFailure()) return k;
    }
    ADD_FAILURE() << "no end to the allocations";
    return 0;
}

class AllocFailure : public ::testing::Test {
protected:
    void SetUp() override {
        headless_print_messages(false);
        mem_fail_at(0);
        ASSERT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
        ASSERT_EQ(chdir(DATA_DIR.c_str()), 0);
    }
    void TearDown() override {
        mem_fail_at(0);
        sec_set_memory_files(nullptr, 0);
        EXPECT_EQ(chdir(saved_dir), 0);
    }

    static bool no_models() {
        for (int32_t slot = 0; slot < MODEL_SLOTS; slot++) {
            if (mdl_get(slot) != nullptr) return false;
        }
        return true;
    }

    // A model load with allocation k failing: a refused load leaves no model
    // and no packet; one that goes on has every face.
    static void load_model(int32_t k, const char* name, int32_t texture, int32_t packets) {
        mem_fail_at(k);
        const int32_t slot = mdl_load(name, texture);
        if (slot < 0) {
            EXPECT_TRUE(no_models()) << k;
            EXPECT_EQ(rb_current()->packet_count, 0) << k;
        } else {
            EXPECT_EQ(mdl_get(slot)->packet_count, packets) << k;
        }
    }

    char saved_dir[4096] = {};
};

TEST_F(AllocFailure, ModelWithItsOwnTextures) {
    // Two bones whose object files name a texture each, one of them shared.
    const std::string object_a =
        Obj().vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}).texcoords({{0, 0}, {1, 0}, {1, 1}})
            .names({"tes256.bmp"}).select(0).faces(OBJ_CHUNK_TEX_TRIANGLES, {{0, 1, 2}}).done();
    const std::string object_b =
        Obj().vertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})
            .texcoords({{0, 0}, {1, 0}, {1, 1}, {0, 1}}).names({"tes256.bmp", "b.bmp"}).select(1)
            .faces(OBJ_CHUNK_TEX_QUADS, {{0, 1, 2, 3}})
            .faces(OBJ_CHUNK_TRIANGLES, {{0, 1, 2}})
            .done();
    const std::string model = head("2") + objects({"a.obj", "b.obj"}) +
                              bones({born(0, "0 0 0", "0 0 0"), born(0, "0 1 0", "0 0 0")});
    const std::string texture = read_file(DATA_DIR + "/tes256.bmp"), other = bmp32();
    auto file = [](const char* name, const std::string& bytes) {
        return SecMemoryFile{name, reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<int32_t>(bytes.size())};
    };
    const SecMemoryFile table[] = {file("mdt.txt", model), file("a.obj", object_a),
                                   file("b.obj", object_b), file("tes256.bmp", texture),
                                   file("b.bmp", other)};
    sec_set_memory_files(table, 5);
    const int runs = fail_each_allocation([](int32_t k) {
        EXPECT_TRUE(start_model_scene());
        // A texture that cannot be loaded leaves a failure in the texture list
        // and the model loads still.
        load_model(k, "mdt.txt", -1, 3);
        release_model_scene();
        return shown_messages();
    });
    // Scratch, text, image, model, two object files, 2 x 3 for the two textures.
    EXPECT_EQ(runs, 12);
}

TEST_F(AllocFailure, StartUpFramesAndRelease) {
    const int runs = fail_each_allocation([](int32_t k) {
        mem_fail_at(k);
        AppSession app(ICON_LOOK_SOURCE_DIR);
        EXPECT_NE(app.window, nullptr);
        for (int frame = 0; frame < 3; frame++) app.frame();
        app.close();
        EXPECT_TRUE(app.quit) << k;
        EXPECT_EQ(headless_live_gdi_objects(), 0) << k;
        // The session's end clears the messages.
        return shown_messages();
    });
    EXPECT_GE(runs, 40);
}

// Each module's start-up run a second time, without its release between, as
// a start-up after a failed one would: the first one's blocks are given back.
TEST_F(AllocFailure, ASecondStartUpOfAModuleLeaksNothing) {
    AppSession app(ICON_LOOK_SOURCE_DIR);
    const int32_t blocks = mem_blocks_in_use();
    const int32_t gdi_objects = headless_live_gdi_objects();
    EXPECT_EQ(fb_init(app.window), 0);
    EXPECT_EQ(mouse_init(), 0);
    EXPECT_EQ(mtx_init(), 0);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_EQ(headless_live_gdi_objects(), gdi_objects);
    ASSERT_EQ(rb_init(), 0);
    rb_make_vertex_pool(10);
    const int32_t with_one_buffer = mem_blocks_in_use();
    ASSERT_EQ(rb_init(), 0);
    rb_make_vertex_pool(10);
    EXPECT_EQ(mem_blocks_in_use(), with_one_buffer);
    // And the steps of the render buffer's start-up, each on its own.
    EXPECT_EQ(rb_rows_init(), 0);
    EXPECT_EQ(ot_table_init(), 0);
    EXPECT_EQ(ot_slots_init(), 0);
    EXPECT_EQ(mem_blocks_in_use(), with_one_buffer);
}

}  // namespace
