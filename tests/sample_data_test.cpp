// The shipped sample data: the generator reproduces the committed files, and the figure
// they describe is well formed and stays in view, in front of the viewer, in every pose
// of its animation and every turn the mouse can give. The files are read by the loaders
// (whose own tests check them); the start-up transform is redone here in 64 bits, apart
// from the system, so that sums the system would wrap are seen.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "files/anim.h"
#include "files/texture.h"
#include "geometry/matrix.h"
#include "model/model.h"
#include "platform/headless.h"
#include "render/renderbuf.h"
#include "shell/memory.h"
#include "tests/model_files.h"
#include "tests/test_support.h"

namespace {

const std::string kDataDir = std::string(ICON_LOOK_SOURCE_DIR) + "/data";

std::vector<std::string> list_files(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SampleData, GeneratorReproducesTheCommittedFiles) {
    const std::string out = test_output_path("sample_data");
    mkdir(out.c_str(), 0755);
    for (const std::string& name : list_files(out)) std::remove((out + "/" + name).c_str());

    const std::string command = std::string("'") + ICON_LOOK_MAKE_SAMPLE_DATA + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const std::vector<std::string> committed = list_files(kDataDir);
    ASSERT_EQ(list_files(out), committed);
    for (const std::string& name : committed) {
        EXPECT_TRUE(read_file(out + "/" + name) == read_file(kDataDir + "/" + name)) << name;
    }
}

// ---------------------------------------------------------------------------------------
// The figure as the loaders make it.

struct FaceRec {
    int count;
    int v[4];  // absolute vertex indices
};

struct BoneRec {
    int pop;
    Vec4 translation;
    int start, count;
};

struct Figure {
    std::vector<Vec4> positions;
    std::vector<FaceRec> faces;
    std::vector<BoneRec> bones;
};

struct Animation {
    int bones = 0;
    std::vector<AnimKey> keys;
    // Bone rotations the playback writes over one whole loop, after the loaded rest pose.
    std::vector<std::vector<Vec4>> frames;
};

uint32_t byte(const std::string& s, size_t at) { return static_cast<uint8_t>(s[at]); }
uint32_t le16(const std::string& s, size_t at) { return byte(s, at) | byte(s, at + 1) << 8; }
uint32_t le32(const std::string& s, size_t at) { return le16(s, at) | le16(s, at + 2) << 16; }

// Loads the shipped model and animation as the start-up does and copies out what the
// checks need; the modules are released again. Past the change of directory nothing
// returns early, so the working directory is always put back.
void load_figure(Figure* fig, Animation* anim) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(kDataDir.c_str()), 0);
    headless_print_messages(false);
    headless_clear_messages();
    mem_fail_at(0);
    EXPECT_TRUE(start_model_scene());
    EXPECT_EQ(anim_init(), 0);
    const int32_t slot = mdl_load("mdt.txt", tex_load("tes256.bmp"));
    EXPECT_EQ(anim_load("an.txt", slot), slot);
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_TRUE(shown_messages().empty());

    if (const Model* model = mdl_get(slot)) {
        fig->positions.assign(rb_positions(), rb_positions() + rb_row_count(0));
        for (int32_t b = 0; b < model->bone_count; ++b) {
            const Bone& bone = model->bones[b];
            fig->bones.push_back({bone.pop_count, bone.translation, bone.vertex_start,
                                  bone.vertex_count});
        }
        PrimPacket* p = model->packets;
        for (int32_t n = 0; n < model->packet_count; ++n, p = prim_next(p)) {
            FaceRec f = {static_cast<int>(p->header & PRIM_COUNT_MASK), {0, 0, 0, 0}};
            for (int k = 0; k < f.count; ++k) f.v[k] = prim_index(p, PRIM_VERTEX)[k];
            fig->faces.push_back(f);
        }
        if (AnimSet* set = anim_get(slot)) {
            anim->bones = set->bone_count;
            anim->keys.assign(anim_keys(set), anim_keys(set) + set->key_count);
            int loop = 0;
            for (const AnimKey& k : anim->keys) loop += k.duration;
            for (int step = 0; step <= loop + 1; ++step) {
                std::vector<Vec4> pose;
                for (int32_t b = 0; b < model->bone_count; ++b) {
                    pose.push_back(*mdl_bone_rotation(slot, b));
                }
                anim->frames.push_back(pose);
                anim_step(slot);
            }
        }
    }
    anim_release();
    release_model_scene();
}

// ---------------------------------------------------------------------------------------
// The start-up transform: fixed-point matrices, hierarchy walk and projection.

struct ScreenPoint {
    int64_t x, y, z;
};

struct View {
    int left, top, right, bottom;  // bounding box of the projected vertices
    int nearest;                   // smallest view depth
    int dropped;                   // faces behind the near limit or outside the depth buckets
    bool fits_32_bits;
};

// Scale 1.0, rotation, then translation.
Matrix local(const Vec4& t, const Vec4& a) {
    return ref_product(ref_rotation(a), ref_translation(t));
}

constexpr int kWidth = 504, kHeight = 468, kCentreX = kWidth / 2, kCentreY = kHeight / 2;

// Model at (0, 0, 200) turned by (rx, ry, 0); camera at (0, 0, 75).
View project(const Figure& fig, const std::vector<Vec4>& pose, int rx, int ry) {
    View v = {1 << 30, 1 << 30, -(1 << 30), -(1 << 30), 1 << 30, 0, true};
    std::vector<ScreenPoint> screen(fig.positions.size());
    Matrix current =
        ref_product(local({0, 0, 200, 0}, {rx, ry, 0, 0}), ref_translation({0, 0, 75, 0}));
    std::vector<Matrix> stack;
    for (size_t b = 0; b < fig.bones.size(); ++b) {
        const BoneRec& bone = fig.bones[b];
        stack.push_back(current);
        current = ref_product(local(bone.translation, pose[b]), current);
        for (int i = bone.start; i < bone.start + bone.count; ++i) {
            const Vec4 p = fig.positions[i];
            int64_t s[3];
            for (int c = 0; c < 3; ++c) {
                s[c] = int64_t{p.x} * current.m[0][c] + int64_t{p.y} * current.m[1][c] +
                       int64_t{p.z} * current.m[2][c] + current.m[3][c];
                v.fits_32_bits = v.fits_32_bits && s[c] == static_cast<int32_t>(s[c]);
            }
            ScreenPoint& sp = screen[i];
            sp.z = s[2] >> 9;
            v.nearest = static_cast<int>(std::min<int64_t>(v.nearest, sp.z));
            if (sp.z <= -256) continue;
            sp.x = (s[0] >> 1) / (sp.z + 256) + kCentreX;
            sp.y = (s[1] >> 1) / (sp.z + 256) + kCentreY;
            v.left = static_cast<int>(std::min<int64_t>(v.left, sp.x));
            v.right = static_cast<int>(std::max<int64_t>(v.right, sp.x));
            v.top = static_cast<int>(std::min<int64_t>(v.top, sp.y));
            v.bottom = static_cast<int>(std::max<int64_t>(v.bottom, sp.y));
        }
        if (bone.pop > 0 && bone.pop <= static_cast<int>(stack.size())) {
            const size_t depth = stack.size() - bone.pop;
            current = stack[depth];
            stack.resize(depth);
        }
    }
    // Depth keys as the ordering table takes them: a face with a vertex at the near limit
    // or a key outside 0..4095 is never drawn.
    for (const FaceRec& f : fig.faces) {
        int64_t sum = 0;
        bool clipped = false;
        for (int k = 0; k < f.count; ++k) {
            sum += screen[f.v[k]].z;
            clipped = clipped || screen[f.v[k]].z <= -256;
        }
        const int64_t key = f.count == 3 ? sum / 3 : sum >> 2;
        if (clipped || key < 0 || key > 4095) ++v.dropped;
    }
    return v;
}

class SampleFigure : public ::testing::Test {
protected:
    static void SetUpTestSuite() { load_figure(&fig_, &anim_); }
    static Figure fig_;
    static Animation anim_;
};
Figure SampleFigure::fig_;
Animation SampleFigure::anim_;

TEST_F(SampleFigure, IsATreeOfBones) {
    ASSERT_GE(fig_.bones.size(), 10u);
    // Walk the pop counts: every bone hangs from a bone already seen.
    std::vector<int> children(fig_.bones.size(), 0), path;
    bool pops[3] = {false, false, false};
    for (size_t b = 0; b < fig_.bones.size(); ++b) {
        if (!path.empty()) ++children[path.back()];
        path.push_back(static_cast<int>(b));
        ASSERT_LE(path.size(), 32u) << "matrix stack depth";
        const int pop = fig_.bones[b].pop;
        ASSERT_GE(pop, 0);
        ASSERT_LE(pop, static_cast<int>(path.size())) << "bone " << b;
        pops[std::min(pop, 2)] = true;
        path.resize(path.size() - pop);
    }
    EXPECT_TRUE(pops[0] && pops[1] && pops[2]) << "pop counts 0, 1 and larger are all used";
    EXPECT_GE(*std::max_element(children.begin(), children.end()), 2) << "a real tree";

    int triangles = 0, quads = 0;
    for (const FaceRec& f : fig_.faces) (f.count == 3 ? triangles : quads) += 1;
    EXPECT_GE(triangles, 50);
    EXPECT_GE(quads, 200);
    EXPECT_LE(triangles + quads, 900);

    for (const BoneRec& b : fig_.bones) {
        for (int32_t t : {b.translation.x, b.translation.y, b.translation.z}) {
            EXPECT_LT(std::abs(t), 8192);
        }
    }
    ASSERT_FALSE(anim_.frames.empty());
    for (const Vec4& r : anim_.frames[0]) {  // the rest pose as loaded
        for (int32_t a : {r.x, r.y, r.z}) {
            EXPECT_GE(a, 0);
            EXPECT_LE(a, 1023);
        }
    }
    for (const Vec4& p : fig_.positions) {
        for (int32_t c : {p.x, p.y, p.z}) EXPECT_LT(std::abs(c), 1024);
    }
}

// Each bone is made of closed convex solids: every edge is shared by exactly one face
// running the other way, and every face is wound so that its normal (the system's
// (P1 - P0) x (P2 - P1)) points into its solid, which is what the back-face test keeps
// from outside. The normal's sum of squares stays within 32 bits.
TEST_F(SampleFigure, FacesCloseTheirSolidsAndWindForTheBackFaceTest) {
    std::map<std::pair<int, int>, int> edges;
    for (const FaceRec& f : fig_.faces) {
        for (int k = 0; k < f.count; ++k) ++edges[{f.v[k], f.v[(k + 1) % f.count]}];
    }
    for (const auto& e : edges) {
        EXPECT_EQ(e.second, 1) << "edge " << e.first.first << "-" << e.first.second;
        EXPECT_EQ(edges.count({e.first.second, e.first.first}), 1u)
            << "open edge " << e.first.first << "-" << e.first.second;
    }

    // Solids are the groups of faces joined by shared vertices.
    std::vector<int> group(fig_.positions.size());
    for (size_t i = 0; i < group.size(); ++i) group[i] = static_cast<int>(i);
    auto root = [&](int i) {
        while (group[i] != i) i = group[i];
        return i;
    };
    for (const FaceRec& f : fig_.faces) {
        for (int k = 1; k < f.count; ++k) group[root(f.v[k])] = root(f.v[0]);
    }
    std::map<int, std::pair<Vec4, int>> sums;
    for (size_t i = 0; i < group.size(); ++i) {
        std::pair<Vec4, int>& s = sums[root(static_cast<int>(i))];
        s.first = {s.first.x + fig_.positions[i].x, s.first.y + fig_.positions[i].y,
                   s.first.z + fig_.positions[i].z, 0};
        ++s.second;
    }
    for (const FaceRec& f : fig_.faces) {
        const Vec4 p0 = fig_.positions[f.v[0]], p1 = fig_.positions[f.v[1]];
        const Vec4 p2 = fig_.positions[f.v[2]];
        const int64_t ux = p1.x - p0.x, uy = p1.y - p0.y, uz = p1.z - p0.z;
        const int64_t vx = p2.x - p1.x, vy = p2.y - p1.y, vz = p2.z - p1.z;
        const int64_t nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        EXPECT_LT(nx * nx + ny * ny + nz * nz, int64_t{1} << 31);
        const std::pair<Vec4, int>& s = sums[root(f.v[0])];
        const int64_t cx = s.first.x - int64_t{p0.x} * s.second;
        const int64_t cy = s.first.y - int64_t{p0.y} * s.second;
        const int64_t cz = s.first.z - int64_t{p0.z} * s.second;
        EXPECT_GT(nx * cx + ny * cy + nz * cz, 0) << "face at vertex " << f.v[0];
    }
}

TEST_F(SampleFigure, AnimationLoopsOverEveryBone) {
    ASSERT_EQ(anim_.bones, static_cast<int>(fig_.bones.size()));
    ASSERT_FALSE(anim_.keys.empty());
    for (size_t k = 0; k < anim_.keys.size(); ++k) {
        EXPECT_GT(anim_.keys[k].duration, 0);
        EXPECT_EQ(anim_.keys[k].next, static_cast<int>((k + 1) % anim_.keys.size()));
    }
}

// Every frame of the walk (and the loaded rest pose) at model turns in steps of 64: no
// vertex reaches the near limit, no face falls outside the depth buckets, the 32-bit sums
// hold, and the figure fills a good part of the 504 x 468 view without leaving it.
TEST_F(SampleFigure, FillsTheViewInEveryPoseAndTurn) {
    ASSERT_GT(anim_.frames.size(), 2u);
    const int kStep = 64;
    double least = 1.0;
    int margin = 1 << 30;
    for (const std::vector<Vec4>& pose : anim_.frames) {
        for (int rx = 0; rx < 1024; rx += kStep) {
            for (int ry = 0; ry < 1024; ry += kStep) {
                const View v = project(fig_, pose, rx, ry);
                ASSERT_TRUE(v.fits_32_bits);
                ASSERT_GT(v.nearest, -256);
                ASSERT_EQ(v.dropped, 0) << "turn " << rx << ", " << ry;
                margin = std::min(
                    {margin, v.left, v.top, kWidth - 1 - v.right, kHeight - 1 - v.bottom});
                const double w = (v.right - v.left + 1.0) / kWidth;
                const double h = (v.bottom - v.top + 1.0) / kHeight;
                least = std::min(least, std::max(w, h));
            }
        }
    }
    EXPECT_GE(least, 0.33);
    EXPECT_GE(margin, 0);
}

// 256 x 256, 8 bits, full palette, bottom-up rows of exactly 256 bytes; no texel turns
// black in RGB555.
TEST(SampleData, TextureIsAnEightBitPaletteBitmap) {
    const std::string bmp = read_file(kDataDir + "/tes256.bmp");
    const size_t palette = 54, pixels = palette + 256 * 4;
    ASSERT_EQ(bmp.size(), pixels + 256 * 256);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 256u);
    EXPECT_EQ(le32(bmp, 22), 256u);
    EXPECT_EQ(le16(bmp, 28), 8u);
    EXPECT_EQ(le32(bmp, 30), 0u);
    EXPECT_TRUE(le32(bmp, 46) == 0u || le32(bmp, 46) == 256u);
    EXPECT_EQ(le32(bmp, 10), pixels);
    for (size_t i = pixels; i < bmp.size(); ++i) {
        const size_t entry = palette + 4 * byte(bmp, i);
        ASSERT_NE((byte(bmp, entry) | byte(bmp, entry + 1) | byte(bmp, entry + 2)) >> 3, 0u)
            << "texel " << i - pixels;
    }
}

}  // namespace
