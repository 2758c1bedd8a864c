#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "files/anim.h"
#include "files/section.h"
#include "files/texture.h"
#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "model/loader.h"
#include "model/model.h"
#include "model/shade.h"
#include "platform/headless.h"
#include "render/ordertab.h"
#include "render/renderbuf.h"
#include "render/surface.h"
#include "shell/memory.h"

namespace {

// A small surface with guard pixels on both sides: drawing must stay inside.
constexpr int32_t CANVAS_WIDTH = 128;
constexpr int32_t CANVAS_HEIGHT = 96;
constexpr int32_t CANVAS_GUARD = 256;
constexpr uint16_t GUARD_VALUE = 0xDEAD;
uint16_t canvas[CANVAS_GUARD + CANVAS_WIDTH * CANVAS_HEIGHT + CANVAS_GUARD];

std::vector<SecMemoryFile> served;
bool verbose = false;
int32_t scene_blocks = 0;  // blocks in use before the scene was made

bool guards_intact() {
    for (int32_t i = 0; i < CANVAS_GUARD; i++) {
        if (canvas[i] != GUARD_VALUE) return false;
        if (canvas[CANVAS_GUARD + CANVAS_WIDTH * CANVAS_HEIGHT + i] != GUARD_VALUE) return false;
    }
    return true;
}

bool same_as_mark(const RenderMark& mark) {
    RenderMark now;
    rb_take_mark(&now);
    if (now.packet_count != mark.packet_count || now.next_free != mark.next_free) return false;
    for (int32_t row = 0; row < POOL_ROWS; row++) {
        if (now.row_count[row] != mark.row_count[row]) return false;
    }
    return true;
}

bool model_table_empty() {
    for (int32_t slot = 0; slot < MODEL_SLOTS; slot++) {
        if (mdl_get(slot) != nullptr) return false;
    }
    return true;
}

// Start-up's steps after the load, the animation "an.txt" if there is one,
// then frames in several turns.
void draw_model(int32_t slot) {
    *mdl_scale(slot) = Vec4{FX_ONE, FX_ONE, FX_ONE, 0};
    anim_load("an.txt", slot);
    mdl_set_bone_flags(slot, BONE_LIT);
    mdl_show(slot);
    mdl_compute_normals(slot);
    *mdl_position(slot) = Vec4{0, 0, 200, 0};
    rb_convert_colours();
    for (int32_t frame = 0; frame < 3; frame++) {
        cam_set_light_angles(0, frame * 300, 576);
        mdl_update_all();
        ot_flush();
        anim_step(slot);
        Vec4* rotation = mdl_rotation(slot);
        rotation->x = wrap_add(rotation->x, 300) & ANGLE_MASK;
        rotation->y = wrap_add(rotation->y, 200) & ANGLE_MASK;
    }
    FUZZ_CHECK(guards_intact());
    anim_free(slot);
}

}  // namespace

volatile uint32_t fuzz_sink = 0;

void fuzz_fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

void fuzz_serve(const std::vector<FuzzFile>& files) {
    served.clear();
    for (const FuzzFile& f : files) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(f.bytes.data());
        served.push_back(
            SecMemoryFile{f.name.c_str(), bytes, static_cast<int32_t>(f.bytes.size())});
    }
    sec_set_memory_files(served.data(), static_cast<int32_t>(served.size()));
}

std::string fuzz_shipped_file(const std::string& name) {
    std::ifstream in(std::string(ICON_LOOK_SOURCE_DIR) + "/data/" + name, std::ios::binary);
    FUZZ_CHECK(in.good());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string fuzz_bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

void fuzz_start_process() {
    static bool started = false;
    if (started) return;
    started = true;
    // Quiet unless asked: the messages of an input under study.
    verbose = std::getenv("ICON_LOOK_FUZZ_VERBOSE") != nullptr;
    headless_print_messages(verbose);
    FUZZ_CHECK(mtx_init() == 0);
    FUZZ_CHECK(shade_init() == 0);
}

void fuzz_start_scene() {
    fuzz_start_process();
    headless_clear_messages();
    scene_blocks = mem_blocks_in_use();
    FUZZ_CHECK(rb_init() == 0);
    rb_make_vertex_pool(1500);
    rb_make_colour_pool(1500);
    rb_make_uv_pool(1200);
    rb_make_normal_pool(1500);
    FUZZ_CHECK(tex_init() == 0);
    FUZZ_CHECK(mdl_table_init() == 0);
    FUZZ_CHECK(anim_init() == 0);
    for (uint16_t& pixel : canvas) pixel = GUARD_VALUE;
    draw_set_surface_to(canvas + CANVAS_GUARD, CANVAS_WIDTH, CANVAS_HEIGHT);
    cam_set_screen_centre(CANVAS_WIDTH / 2, CANVAS_HEIGHT / 2);
    cam_set_light_colour(255, 255, 255);
}

void fuzz_stop_scene() {
    draw_set_surface_to(nullptr, 0, 0);
    anim_release();
    mdl_table_release();
    tex_release();
    rb_release();
    sec_set_memory_files(nullptr, 0);
    FUZZ_CHECK(mem_blocks_in_use() == scene_blocks);
}

int32_t fuzz_load_and_draw(const char* name, int32_t texture) {
    RenderMark mark;
    rb_take_mark(&mark);
    headless_clear_messages();
    const int32_t slot = mdl_load(name, texture);
    if (verbose) std::fprintf(stderr, "mdl_load(%s, %d): %d\n", name, texture, slot);
    if (slot < 0) {
        // A refusal says why and leaves nothing behind.
        FUZZ_CHECK(headless_message_count() > 0);
        FUZZ_CHECK(model_table_empty());
        FUZZ_CHECK(same_as_mark(mark));
        return slot;
    }
    draw_model(slot);
    mdl_free(slot);
    rb_rewind(&mark);
    return slot;
}

std::vector<FuzzFile> fuzz_shipped_model_files() {
    std::vector<FuzzFile> files = {{"mdt.txt", fuzz_shipped_file("mdt.txt")},
                                   {"tes256.bmp", fuzz_shipped_file("tes256.bmp")}};
    // The object files are the lines of the model file that end in ".obj".
    std::istringstream lines(files[0].bytes);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t n = line.size();
        if (n > 4 && line.compare(n - 4, 4, ".obj") == 0) {
            files.push_back(FuzzFile{line, fuzz_shipped_file(line)});
        }
    }
    return files;
}
