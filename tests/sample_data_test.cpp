// The shipped sample data: the generator reproduces the committed files, and the figure
// they describe is well formed and stays in view, in front of the viewer, in every pose
// of its animation and every turn the mouse can give. The checks read the files with
// their own small readers and redo the start-up transform here, apart from the system.

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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
// Reading the files.

struct FaceRec {
    int count;
    int v[4];  // absolute vertex indices
};

struct BoneRec {
    int pop;
    Vec4 translation;
    Vec4 rotation;
    int start, count;
};

struct Figure {
    std::vector<Vec4> positions;  // as the loader converts them
    std::vector<FaceRec> faces;
    std::vector<BoneRec> bones;
};

struct Keyframe {
    int duration, next, pose;
};

struct Animation {
    int bones = 0;
    std::vector<Keyframe> keys;
    std::vector<std::vector<Vec4>> poses;  // angle units, as converted
};

// Sections as name -> tokens of the records (// comments and field types dropped).
std::map<std::string, std::vector<std::string>> sections(const std::string& text) {
    std::vector<std::string> t;
    std::istringstream lines(text);
    std::string line, token;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find("//")));
        while (words >> token) t.push_back(token);
    }
    std::map<std::string, std::vector<std::string>> out;
    for (size_t i = 0; i + 1 < t.size();) {
        std::vector<std::string>& records = out[t[i]];
        for (i += 2; i < t.size() && t[i] != "END_SEC:"; ++i) records.push_back(t[i]);
        ++i;
    }
    return out;
}

float to_float(const std::string& s) { return std::strtof(s.c_str(), nullptr); }
int to_int(const std::string& s) { return std::atoi(s.c_str()); }

// The loader's conversion: the exact product, truncated.
int32_t convert(float value, float factor) {
    return static_cast<int32_t>(static_cast<double>(value) * static_cast<double>(factor));
}
Vec4 convert3(const std::string* r, float factor) {
    return {convert(to_float(r[0]), factor), convert(to_float(r[1]), factor), convert(to_float(r[2]), factor),
            0};
}

uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
    return v;
}
int le16(const std::string& s, size_t at) {
    return static_cast<int16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}
float lefloat(const std::string& s, size_t at) {
    const uint32_t bits = le32(s, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Appends one object file's vertices and faces as the single-texture reader does.
void read_object(const std::string& bytes, Figure* fig, BoneRec* bone) {
    ASSERT_GE(bytes.size(), 8u);
    const size_t total = le32(bytes, 4);
    ASSERT_EQ(total, bytes.size());
    int base = -1, count = 0;
    for (size_t at = 8; at < total;) {
        ASSERT_LE(at + 8, total);
        const int code = le16(bytes, at), n = le16(bytes, at + 2);
        const size_t size = le32(bytes, at + 4);
        ASSERT_GE(size, 8u);
        ASSERT_LE(at + size, total);
        if (code == 100) {
            ASSERT_LE(8 + 12 * static_cast<size_t>(n), size);
            base = static_cast<int>(fig->positions.size());
            count = n;
            for (int k = 0; k < n; ++k) {
                const size_t p = at + 8 + 12 * k;
                fig->positions.push_back({convert(lefloat(bytes, p), 300.0f),
                                          convert(lefloat(bytes, p + 4), -300.0f),
                                          convert(lefloat(bytes, p + 8), 300.0f), 0});
            }
        } else if (code == 101 || code == 102 || code == 104 || code == 105) {
            const int corners = (code == 101 || code == 104) ? 3 : 4;
            ASSERT_GE(base, 0) << "faces before vertices";
            ASSERT_LE(8 + 2 * corners * static_cast<size_t>(n), size);
            for (int k = 0; k < n; ++k) {
                FaceRec f = {corners, {0, 0, 0, 0}};
                for (int c = 0; c < corners; ++c) {
                    const int rel = le16(bytes, at + 8 + 2 * (corners * k + c));
                    ASSERT_GE(rel, 0);
                    ASSERT_LT(rel, count);
                    f.v[c] = base + rel;
                }
                fig->faces.push_back(f);
            }
        }
        at += size;
    }
    bone->start = base;
    bone->count = count;
}

void read_figure(Figure* fig) {
    auto sec = sections(read_file(kDataDir + "/mdt.txt"));
    ASSERT_EQ(sec["SEC_M_HEAD:"].size(), 13u);
    const int bone_count = to_int(sec["SEC_M_HEAD:"][0]);
    const std::vector<std::string>& objects = sec["SEC_M_OBJ:"];
    const std::vector<std::string>& born = sec["SEC_M_BORN:"];
    ASSERT_EQ(objects.size(), static_cast<size_t>(bone_count));
    ASSERT_EQ(born.size(), 18u * bone_count);
    for (int b = 0; b < bone_count; ++b) {
        EXPECT_LE(objects[b].size(), 31u);
        BoneRec bone = {};
        const std::string* r = &born[18 * b];
        bone.pop = to_int(r[0]);
        bone.translation = convert3(r + 2, 1.0f);
        bone.rotation = convert3(r + 6, 300.0f);
        read_object(read_file(kDataDir + "/" + objects[b]), fig, &bone);
        fig->bones.push_back(bone);
    }
}

void read_animation(Animation* anim) {
    auto sec = sections(read_file(kDataDir + "/an.txt"));
    const std::vector<std::string>& head = sec["SEC_ANIM_HEAD:"];
    ASSERT_EQ(head.size(), 4u);
    const int keys = to_int(head[0]), poses = to_int(head[3]);
    anim->bones = to_int(head[2]);
    const std::vector<std::string>& seek = sec["SEC_ANIM_SEEK:"];
    const std::vector<std::string>& dat = sec["SEC_ANIM_DAT:"];
    ASSERT_EQ(seek.size(), 8u * keys);
    ASSERT_EQ(dat.size(), 4u * poses * anim->bones);
    for (int k = 0; k < keys; ++k) {
        const Keyframe key = {to_int(seek[8 * k]), to_int(seek[8 * k + 2]), to_int(seek[8 * k + 3])};
        ASSERT_GE(key.next, 0);
        ASSERT_LT(key.next, keys);
        ASSERT_GE(key.pose, 0);
        ASSERT_LT(key.pose, poses);
        anim->keys.push_back(key);
    }
    const float per_degree = 2.8444445f;
    for (int p = 0; p < poses; ++p) {
        std::vector<Vec4> pose;
        for (int b = 0; b < anim->bones; ++b) {
            pose.push_back(convert3(&dat[4 * (p * anim->bones + b)], per_degree));
        }
        anim->poses.push_back(pose);
    }
}

// Bone rotations the playback writes over one whole loop, after the loaded rest pose.
std::vector<std::vector<Vec4>> playback(const Figure& fig, const Animation& anim) {
    std::vector<std::vector<Vec4>> frames;
    std::vector<Vec4> current;
    for (const BoneRec& b : fig.bones) current.push_back(b.rotation);
    frames.push_back(current);

    int loop = 0;
    for (const Keyframe& k : anim.keys) loop += k.duration;
    int key = 0, counter = 9999;
    std::vector<Vec4> base = anim.poses[anim.keys[0].pose], delta(anim.bones);
    auto fold = [](int d) { return d > 512 ? d - 1024 : (d < -512 ? d + 1024 : d); };
    for (int step = 0; step <= loop; ++step) {
        if (counter >= anim.keys[key].duration) {
            base = anim.poses[anim.keys[key].pose];
            key = anim.keys[key].next;
            counter = 0;
            const std::vector<Vec4>& to = anim.poses[anim.keys[key].pose];
            for (int b = 0; b < anim.bones; ++b) {
                delta[b] = {fold(to[b].x - base[b].x), fold(to[b].y - base[b].y),
                            fold(to[b].z - base[b].z), 0};
            }
        }
        const int t = counter == 0 ? 0
                                   : static_cast<int>(static_cast<double>(counter) /
                                                      anim.keys[key].duration * 1024.0);
        for (int b = 0; b < anim.bones; ++b) {
            current[b] = {(((delta[b].x * t) >> 10) + base[b].x) & 0x3FF,
                          (((delta[b].y * t) >> 10) + base[b].y) & 0x3FF,
                          (((delta[b].z * t) >> 10) + base[b].z) & 0x3FF, 0};
        }
        frames.push_back(current);
        ++counter;
    }
    return frames;
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
Matrix local(const Vec4& t, const Vec4& a) { return ref_product(ref_rotation(a), ref_translation(t)); }

constexpr int kWidth = 504, kHeight = 468, kCentreX = kWidth / 2, kCentreY = kHeight / 2;

// Model at (0, 0, 200) turned by (rx, ry, 0); camera at (0, 0, 75).
View project(const Figure& fig, const std::vector<Vec4>& pose, int rx, int ry) {
    View v = {1 << 30, 1 << 30, -(1 << 30), -(1 << 30), 1 << 30, 0, true};
    std::vector<ScreenPoint> screen(fig.positions.size());
    Matrix current = ref_product(local({0, 0, 200, 0}, {rx, ry, 0, 0}), ref_translation({0, 0, 75, 0}));
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
    static void SetUpTestSuite() {
        read_figure(&fig_);
        read_animation(&anim_);
    }
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
        for (int32_t t : {b.translation.x, b.translation.y, b.translation.z}) EXPECT_LT(std::abs(t), 8192);
        for (int32_t r : {b.rotation.x, b.rotation.y, b.rotation.z}) {
            EXPECT_GE(r, 0);
            EXPECT_LE(r, 1023);
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
        const Vec4 p0 = fig_.positions[f.v[0]], p1 = fig_.positions[f.v[1]], p2 = fig_.positions[f.v[2]];
        const int64_t ux = p1.x - p0.x, uy = p1.y - p0.y, uz = p1.z - p0.z;
        const int64_t vx = p2.x - p1.x, vy = p2.y - p1.y, vz = p2.z - p1.z;
        const int64_t nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        EXPECT_LT(nx * nx + ny * ny + nz * nz, int64_t{1} << 31);
        const std::pair<Vec4, int>& s = sums[root(f.v[0])];
        const int64_t cx = s.first.x - int64_t{p0.x} * s.second, cy = s.first.y - int64_t{p0.y} * s.second,
                      cz = s.first.z - int64_t{p0.z} * s.second;
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
    const std::vector<std::vector<Vec4>> frames = playback(fig_, anim_);
    const int kStep = 64;
    double least = 1.0;
    int margin = 1 << 30;
    for (const std::vector<Vec4>& pose : frames) {
        for (int rx = 0; rx < 1024; rx += kStep) {
            for (int ry = 0; ry < 1024; ry += kStep) {
                const View v = project(fig_, pose, rx, ry);
                ASSERT_TRUE(v.fits_32_bits);
                ASSERT_GT(v.nearest, -256);
                ASSERT_EQ(v.dropped, 0) << "turn " << rx << ", " << ry;
                margin = std::min({margin, v.left, v.top, kWidth - 1 - v.right, kHeight - 1 - v.bottom});
                const double w = (v.right - v.left + 1.0) / kWidth, h = (v.bottom - v.top + 1.0) / kHeight;
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
    EXPECT_EQ(le16(bmp, 28), 8);
    EXPECT_EQ(le32(bmp, 30), 0u);
    EXPECT_TRUE(le32(bmp, 46) == 0u || le32(bmp, 46) == 256u);
    EXPECT_EQ(le32(bmp, 10), pixels);
    for (size_t i = pixels; i < bmp.size(); ++i) {
        const size_t entry = palette + 4 * static_cast<uint8_t>(bmp[i]);
        const int blue = static_cast<uint8_t>(bmp[entry]), green = static_cast<uint8_t>(bmp[entry + 1]),
                  red = static_cast<uint8_t>(bmp[entry + 2]);
        ASSERT_NE((red >> 3) | (green >> 3) | (blue >> 3), 0) << "texel " << i - pixels;
    }
}

}  // namespace
