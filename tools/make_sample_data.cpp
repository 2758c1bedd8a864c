// make_sample_data DIR: writes the viewer's sample data into DIR.
//
// The figure is a small walking robot of 15 bones made of bevelled boxes and
// eight-sided solids of revolution: "mdt.txt" and one object file per bone. "an.txt" is
// its walk cycle and "tes256.bmp" the plated panel that every face shows whole.
// Everything is integer arithmetic and the floats are chosen bit by bit, so every build
// writes the same bytes.

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------
// Geometry, in design units (written kSizePercent larger, see below). Design space: x
// towards the figure's left (the viewer's right), y up, z away from the viewer; the
// figure faces -z. The loader negates y, so a face that turns counter-clockwise here when
// seen from outside is clockwise on screen, which the back-face test keeps.

struct Point {
    int x, y, z;
};

struct Face {
    int count;  // 3 or 4
    int v[4];   // indices into the bone's points
};

struct Mesh {
    std::vector<Point> points;
    std::vector<Face> faces;
};

__attribute__((format(printf, 1, 2))) std::string format(const char* fmt, ...) {
    char line[128];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

Point add(Point a, Point b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point sub(Point a, Point b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// a / b rounded to nearest, halves away from zero (b > 0).
int div_round(int64_t a, int64_t b) {
    return static_cast<int>(a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b));
}

// Cosine of k x 22.5 degrees, scaled by 16384.
int cos_step(int k) {
    static const int quarter[5] = {16384, 15137, 11585, 6270, 0};
    k &= 15;
    if (k <= 4) return quarter[k];
    if (k <= 8) return -quarter[8 - k];
    if (k <= 12) return -quarter[k - 8];
    return quarter[16 - k];
}
int sin_step(int k) { return cos_step(k + 12); }
int scale_step(int r, int trig) { return div_round(static_cast<int64_t>(r) * trig, 16384); }

int add_point(Mesh* mesh, Point p) {
    mesh->points.push_back(p);
    return static_cast<int>(mesh->points.size()) - 1;
}

// Appends a face of a convex solid around `centre`, turned so that it faces outwards.
void add_face(Mesh* mesh, Point centre, int count, int a, int b, int c, int d = -1) {
    const Point p0 = mesh->points[a], p1 = mesh->points[b], p2 = mesh->points[c];
    const Point u = sub(p1, p0), v = sub(p2, p1), out = sub(p0, centre);
    const int64_t nx = int64_t{u.y} * v.z - int64_t{u.z} * v.y;
    const int64_t ny = int64_t{u.z} * v.x - int64_t{u.x} * v.z;
    const int64_t nz = int64_t{u.x} * v.y - int64_t{u.y} * v.x;
    Face face = {count, {a, b, c, d}};
    if (nx * out.x + ny * out.y + nz * out.z < 0) {
        if (count == 3) face = {3, {c, b, a, -1}};
        else face = {4, {d, c, b, a}};
    }
    mesh->faces.push_back(face);
}

// A box with bevelled edges and corners: 6 faces, 12 edge strips, 8 corner triangles.
// The half widths may differ at the bottom and at the top (a tapered box).
struct BevelBox {
    Point centre;
    int hx_bottom, hx_top;
    int hy;
    int hz_bottom, hz_top;
    int bevel;
};

void add_bevel_box(Mesh* mesh, const BevelBox& box) {
    // Three points per corner, one on each face that meets there: [corner][axis].
    int ids[8][3];
    auto corner = [](int sx, int sy, int sz) { return (sx > 0) * 4 + (sy > 0) * 2 + (sz > 0); };
    for (int sx = -1; sx <= 1; sx += 2) {
        for (int sy = -1; sy <= 1; sy += 2) {
            for (int sz = -1; sz <= 1; sz += 2) {
                const int hx = sy > 0 ? box.hx_top : box.hx_bottom;
                const int hz = sy > 0 ? box.hz_top : box.hz_bottom;
                const int b = box.bevel;
                int* id = ids[corner(sx, sy, sz)];
                id[0] = add_point(mesh, add(box.centre, {sx * hx, sy * (box.hy - b), sz * (hz - b)}));
                id[1] = add_point(mesh, add(box.centre, {sx * (hx - b), sy * box.hy, sz * (hz - b)}));
                id[2] = add_point(mesh, add(box.centre, {sx * (hx - b), sy * (box.hy - b), sz * hz}));
            }
        }
    }
    const Point c = box.centre;
    for (int s = -1; s <= 1; s += 2) {
        // The faces across each axis.
        add_face(mesh, c, 4, ids[corner(s, -1, -1)][0], ids[corner(s, 1, -1)][0],
                 ids[corner(s, 1, 1)][0], ids[corner(s, -1, 1)][0]);
        add_face(mesh, c, 4, ids[corner(-1, s, -1)][1], ids[corner(1, s, -1)][1],
                 ids[corner(1, s, 1)][1], ids[corner(-1, s, 1)][1]);
        add_face(mesh, c, 4, ids[corner(-1, -1, s)][2], ids[corner(1, -1, s)][2],
                 ids[corner(1, 1, s)][2], ids[corner(-1, 1, s)][2]);
    }
    for (int s = -1; s <= 1; s += 2) {
        for (int t = -1; t <= 1; t += 2) {
            // The strips along z, y and x.
            add_face(mesh, c, 4, ids[corner(s, t, -1)][0], ids[corner(s, t, 1)][0],
                     ids[corner(s, t, 1)][1], ids[corner(s, t, -1)][1]);
            add_face(mesh, c, 4, ids[corner(s, -1, t)][0], ids[corner(s, 1, t)][0],
                     ids[corner(s, 1, t)][2], ids[corner(s, -1, t)][2]);
            add_face(mesh, c, 4, ids[corner(-1, s, t)][1], ids[corner(1, s, t)][1],
                     ids[corner(1, s, t)][2], ids[corner(-1, s, t)][2]);
        }
    }
    for (int k = 0; k < 8; ++k) add_face(mesh, c, 3, ids[k][0], ids[k][1], ids[k][2]);
}

// One ring of a solid of revolution: its place along the axis and its two radii
// (0 and 0 make a pole).
struct Ring {
    int t, a, b;
};

enum Axis { AXIS_X, AXIS_Y, AXIS_Z };

// A closed eight-sided solid of revolution about an axis through `centre`, with a flat
// side in front (the sides sit at odd multiples of 22.5 degrees). Rings that are not
// poles at either end get a flat cap of three quads.
void add_lathe(Mesh* mesh, Point centre, Axis axis, const std::vector<Ring>& rings) {
    auto place = [&](int t, int u, int w) {
        if (axis == AXIS_X) return add(centre, {t, u, w});
        if (axis == AXIS_Y) return add(centre, {u, t, w});
        return add(centre, {u, w, t});
    };
    std::vector<std::vector<int>> ids;
    for (const Ring& ring : rings) {
        std::vector<int> row;
        if (ring.a == 0 && ring.b == 0) {
            row.assign(8, add_point(mesh, place(ring.t, 0, 0)));
        } else {
            for (int k = 0; k < 8; ++k) {
                const int step = 2 * k + 1;
                row.push_back(add_point(mesh, place(ring.t, scale_step(ring.a, cos_step(step)),
                                                   scale_step(ring.b, sin_step(step)))));
            }
        }
        ids.push_back(row);
    }
    const Point c = place((rings.front().t + rings.back().t) / 2, 0, 0);
    for (size_t r = 0; r + 1 < rings.size(); ++r) {
        const std::vector<int>& p = ids[r];
        const std::vector<int>& q = ids[r + 1];
        for (int k = 0; k < 8; ++k) {
            const int n = (k + 1) & 7;
            if (p[0] == p[1]) add_face(mesh, c, 3, p[k], q[n], q[k]);
            else if (q[0] == q[1]) add_face(mesh, c, 3, p[k], p[n], q[k]);
            else add_face(mesh, c, 4, p[k], p[n], q[n], q[k]);
        }
    }
    for (const std::vector<int>* cap : {&ids.front(), &ids.back()}) {
        const std::vector<int>& e = *cap;
        if (e[0] == e[1]) continue;
        add_face(mesh, c, 4, e[0], e[1], e[2], e[3]);
        add_face(mesh, c, 4, e[0], e[3], e[4], e[7]);
        add_face(mesh, c, 4, e[4], e[5], e[6], e[7]);
    }
}

// Sphere of eight sides and four bands.
void add_ball(Mesh* mesh, Point centre, int r) {
    const int c = scale_step(r, cos_step(2)), s = c;
    add_lathe(mesh, centre, AXIS_Y, {{-r, 0, 0}, {-s, c, c}, {0, r, r}, {s, c, c}, {r, 0, 0}});
}

// ---------------------------------------------------------------------------------------
// The figure. Bones are listed in depth-first pre-order; `joint` is absolute in the rest
// pose, and each bone's mesh is built relative to its own joint.

struct BoneDef {
    const char* name;
    int parent;
    Point joint;
};

enum BoneId {
    PELVIS, TORSO, HEAD, UPPER_ARM_L, FOREARM_L, HAND_L, UPPER_ARM_R, FOREARM_R, HAND_R,
    THIGH_L, SHIN_L, FOOT_L, THIGH_R, SHIN_R, FOOT_R, BONE_COUNT
};

const BoneDef kBones[BONE_COUNT] = {
    {"pelvis", -1, {0, -68, 0}},
    {"torso", PELVIS, {0, -58, 0}},
    {"head", TORSO, {0, 132, 0}},
    {"upper_arm_l", TORSO, {122, 97, 0}},
    {"forearm_l", UPPER_ARM_L, {122, 17, 0}},
    {"hand_l", FOREARM_L, {122, -59, 0}},
    {"upper_arm_r", TORSO, {-122, 97, 0}},
    {"forearm_r", UPPER_ARM_R, {-122, 17, 0}},
    {"hand_r", FOREARM_R, {-122, -59, 0}},
    {"thigh_l", PELVIS, {46, -82, 0}},
    {"shin_l", THIGH_L, {46, -140, 0}},
    {"foot_l", SHIN_L, {46, -198, 0}},
    {"thigh_r", PELVIS, {-46, -82, 0}},
    {"shin_r", THIGH_R, {-46, -140, 0}},
    {"foot_r", SHIN_R, {-46, -198, 0}},
};

// Hinge across a joint: a short round bar along x.
void add_hinge(Mesh* m, int half_width, int r) {
    add_lathe(m, {0, 0, 0}, AXIS_X, {{-half_width, r, r}, {half_width, r, r}});
}

// side: 1 for the figure's left arm (+x), -1 for its right.
void build_upper_arm(Mesh* m, int side) {
    add_ball(m, {0, 0, 0}, 27);
    add_bevel_box(m, {{side * 8, 12, 0}, 30, 28, 16, 34, 32, 8});
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{-12, 21, 21}, {-42, 23, 22}, {-70, 18, 18}});
}

void build_forearm(Mesh* m) {
    add_hinge(m, 19, 15);
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{-8, 18, 18}, {-38, 21, 20}, {-68, 16, 16}});
}

void build_hand(Mesh* m) {
    add_bevel_box(m, {{0, -20, -2}, 12, 14, 22, 18, 21, 5});
}

void build_thigh(Mesh* m) {
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{-4, 26, 26}, {-30, 29, 28}, {-52, 23, 23}});
}

void build_shin(Mesh* m) {
    add_hinge(m, 22, 20);
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{-8, 22, 22}, {-30, 24, 23}, {-50, 19, 19}});
    add_bevel_box(m, {{0, -8, -22}, 14, 14, 14, 6, 6, 3});
}

void build_foot(Mesh* m) {
    add_bevel_box(m, {{0, -10, -14}, 26, 24, 15, 42, 36, 7});
}

void build_pelvis(Mesh* m) {
    add_bevel_box(m, {{0, -12, 0}, 62, 64, 24, 40, 42, 10});
}

void build_torso(Mesh* m) {
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{0, 48, 38}, {16, 52, 42}, {32, 48, 38}});
    add_bevel_box(m, {{0, 110, 0}, 80, 104, 80, 52, 58, 20});
    add_lathe(m, {0, 110, 0}, AXIS_Z, {{-68, 24, 24}, {-50, 28, 28}});
    // Backpack with two exhausts.
    add_bevel_box(m, {{0, 112, 62}, 62, 62, 56, 16, 16, 8});
    add_lathe(m, {34, 160, 66}, AXIS_Y, {{0, 10, 10}, {28, 10, 10}});
    add_lathe(m, {-34, 160, 66}, AXIS_Y, {{0, 10, 10}, {28, 10, 10}});
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{186, 22, 22}, {200, 22, 22}});
}

void build_head(Mesh* m) {
    add_bevel_box(m, {{0, 44, 0}, 58, 58, 42, 50, 50, 15});
    add_bevel_box(m, {{0, 50, -50}, 46, 46, 13, 6, 6, 4});
    for (int x : {-20, 20}) add_lathe(m, {x, 50, 0}, AXIS_Z, {{-61, 8, 8}, {-54, 9, 9}});  // eyes
    add_lathe(m, {0, 44, 0}, AXIS_X, {{56, 18, 18}, {70, 18, 18}});
    add_lathe(m, {0, 44, 0}, AXIS_X, {{-70, 18, 18}, {-56, 18, 18}});
    add_lathe(m, {0, 0, 0}, AXIS_Y, {{84, 4, 4}, {98, 4, 4}});
    add_lathe(m, {0, 104, 0}, AXIS_Y, {{-7, 0, 0}, {0, 7, 7}, {7, 0, 0}});
}

Mesh build_bone(int bone) {
    Mesh m;
    switch (bone) {
    case PELVIS: build_pelvis(&m); break;
    case TORSO: build_torso(&m); break;
    case HEAD: build_head(&m); break;
    case UPPER_ARM_L: build_upper_arm(&m, 1); break;
    case UPPER_ARM_R: build_upper_arm(&m, -1); break;
    case FOREARM_L:
    case FOREARM_R: build_forearm(&m); break;
    case HAND_L:
    case HAND_R: build_hand(&m); break;
    case THIGH_L:
    case THIGH_R: build_thigh(&m); break;
    case SHIN_L:
    case SHIN_R: build_shin(&m); break;
    default: build_foot(&m); break;
    }
    return m;
}

int depth_of(int bone) {
    int depth = 0;
    for (int b = kBones[bone].parent; b >= 0; b = kBones[b].parent) ++depth;
    return depth;
}

// Levels the hierarchy walk climbs after a bone so that the next one hangs from its parent.
int pop_count(int bone) {
    if (bone + 1 == BONE_COUNT) return 0;
    return depth_of(bone) - depth_of(bone + 1) + 1;
}

// The figure is modelled above in design units and written this many percent larger: as
// large as it can be while every face stays in front of the viewer's depth 0 at every
// turn (the ordering table drops faces of negative depth). Its pivot, the model origin,
// sits at the middle of its height.
constexpr int kSizePercent = 108;

Point to_model_units(Point p) {
    return {div_round(int64_t{p.x} * kSizePercent, 100), div_round(int64_t{p.y} * kSizePercent, 100),
            div_round(int64_t{p.z} * kSizePercent, 100)};
}

Point joint_offset(int bone) {
    const int parent = kBones[bone].parent;
    return to_model_units(parent < 0 ? kBones[bone].joint : sub(kBones[bone].joint, kBones[parent].joint));
}

// ---------------------------------------------------------------------------------------
// The walk cycle: eight keyframes of eight frames, one pose each, in degrees.

constexpr int kKeyframes = 8;
constexpr int kFramesPerKey = 8;

// Sine of k x 45 degrees, scaled by 1000.
int sin_key(int k) {
    static const int table[8] = {0, 707, 1000, 707, 0, -707, -1000, -707};
    return table[k & 7];
}
int cos_key(int k) { return sin_key(k + 2); }
int amp(int degrees, int scaled) { return div_round(static_cast<int64_t>(degrees) * scaled, 1000); }
int positive(int v) { return v > 0 ? v : 0; }

// The stance, in degrees: arms held a little out, legs a little apart, feet flat. It is
// the loaded rest pose and the base of every keyframe.
constexpr int kArmOut = 22;
constexpr int kLegOut = 4;

void stance(Point pose[BONE_COUNT]) {
    for (int b = 0; b < BONE_COUNT; ++b) pose[b] = {0, 0, 0};
    pose[UPPER_ARM_L] = {0, 0, kArmOut};
    pose[UPPER_ARM_R] = {0, 0, -kArmOut};
    pose[HAND_L] = {0, 0, -kArmOut / 2};
    pose[HAND_R] = {0, 0, kArmOut / 2};
    pose[THIGH_L] = {0, 0, kLegOut};
    pose[THIGH_R] = {0, 0, -kLegOut};
    pose[FOOT_L] = {0, 0, -kLegOut};
    pose[FOOT_R] = {0, 0, kLegOut};
}

// Rotation (x, y, z degrees) of every bone at keyframe k. Positive x swings a hanging
// limb forwards, positive z swings it towards +x, positive y turns +x forwards.
void walk_pose(int k, Point pose[BONE_COUNT]) {
    const int s = sin_key(k), c = cos_key(k);
    Point swing[BONE_COUNT];
    for (int b = 0; b < BONE_COUNT; ++b) swing[b] = {0, 0, 0};
    swing[PELVIS] = {0, amp(-5, s), amp(2, s)};
    swing[TORSO] = {3, amp(10, s), amp(-2, s)};
    swing[HEAD] = {-3, amp(-5, s), 0};
    for (int side = 0; side < 2; ++side) {
        // The left leg leads with +s; the right one is half a cycle behind.
        const int ls = side == 0 ? s : -s, lc = side == 0 ? c : -c;
        const int thigh = amp(24, ls);
        const int shin = -(6 + amp(44, positive(lc)));
        swing[side == 0 ? THIGH_L : THIGH_R].x = thigh;
        swing[side == 0 ? SHIN_L : SHIN_R].x = shin;
        swing[side == 0 ? FOOT_L : FOOT_R].x = -(thigh + shin) + amp(-10, positive(-ls));
        // Arms swing against their own side's leg.
        swing[side == 0 ? UPPER_ARM_L : UPPER_ARM_R].x = amp(-22, ls);
        swing[side == 0 ? FOREARM_L : FOREARM_R].x = 14 + amp(18, positive(-ls));
        swing[side == 0 ? HAND_L : HAND_R].x = 6;
    }
    stance(pose);
    for (int b = 0; b < BONE_COUNT; ++b) pose[b] = add(pose[b], swing[b]);
}

// Degrees to angle units (1024 a turn), wrapped to 0..1023.
int angle_units(int degrees) { return (degrees * 1024 / 360) & 0x3FF; }

// Text for a rotation in the model file, whose value the loader multiplies by 300 and
// truncates: a little above units / 300, so that truncation lands on units.
std::string rotation_text(int units) {
    if (units == 0) return "0.0";
    const int n = (units * 10000 + 299) / 300 + 1;
    return format("%d.%04d", n / 10000, n % 10000);
}

// ---------------------------------------------------------------------------------------
// The texture: a plated panel with a bevelled rim and four brass rivets, 256 x 256 with a
// palette of a blue-grey steel ramp (0..127) and a brass ramp (128..255), used mostly in
// its mid-tones so that the light ramps have room above them.

constexpr int kTexSize = 256;
constexpr int kSteel = 0;
constexpr int kBrass = 128;
constexpr int kRampLength = 128;

struct Rgb {
    int r, g, b;
};

Rgb mix(Rgb a, Rgb b, int t, int range) {
    return {a.r + div_round(static_cast<int64_t>(b.r - a.r) * t, range),
            a.g + div_round(static_cast<int64_t>(b.g - a.g) * t, range),
            a.b + div_round(static_cast<int64_t>(b.b - a.b) * t, range)};
}

// Three-point ramp: dark at 0, mid at 64, light at 127.
Rgb ramp_colour(Rgb dark, Rgb mid, Rgb light, int i) {
    return i <= 64 ? mix(dark, mid, i, 64) : mix(mid, light, i - 64, 63);
}

Rgb palette_entry(int index) {
    if (index < kBrass) return ramp_colour({26, 28, 34}, {84, 90, 102}, {180, 186, 198}, index);
    return ramp_colour({44, 30, 14}, {168, 118, 46}, {240, 212, 140}, index - kBrass);
}

uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

int clamp_shade(int v) { return v < 0 ? 0 : (v >= kRampLength ? kRampLength - 1 : v); }

// Palette index of texel (u, v), v = 0 at the top. The relief is the same on all four
// sides, so that the light of the scene, not the picture, decides which faces look lit,
// whichever way a face turns its texture.
int texel(int u, int v) {
    const int far_u = kTexSize - 1 - u, far_v = kTexSize - 1 - v;
    const int edge = std::min(std::min(u, v), std::min(far_u, far_v));
    if (edge < 2) return kSteel + 24;  // dark seam between neighbouring faces

    // Rounded rim, brightest along its ridge.
    static const int kRim = 20, kRidge = 8;
    if (edge < kRim) return kSteel + clamp_shade(100 - 4 * std::abs(edge - kRidge));
    if (edge < kRim + 3) return kSteel + 30;  // groove inside the rim

    // Domed brass rivets in the four corners of the plate, with a dark ring.
    static const int kRivet = 38, kRivetRadius = 10;
    for (int cu : {kRivet, kTexSize - 1 - kRivet}) {
        for (int cv : {kRivet, kTexSize - 1 - kRivet}) {
            const int d2 = (u - cu) * (u - cu) + (v - cv) * (v - cv);
            if (d2 <= kRivetRadius * kRivetRadius) return kBrass + clamp_shade(100 - d2 / 2);
            if (d2 <= (kRivetRadius + 2) * (kRivetRadius + 2)) return kSteel + 30;
        }
    }

    // The plate: a faint dome, lightest in the middle, with brushed streaks.
    const int du = u - 128, dv = v - 128;
    const int dome = (du * du + dv * dv) / 1024;
    const int streak = static_cast<int>(hash(static_cast<uint32_t>(v) * 7919u + 17u) % 3u) - 1;
    return kSteel + clamp_shade(76 - dome + streak);
}

// ---------------------------------------------------------------------------------------
// Writing.

void put16(std::string* out, int v) {
    const uint16_t u = static_cast<uint16_t>(v);
    out->push_back(static_cast<char>(u & 0xFF));
    out->push_back(static_cast<char>(u >> 8));
}

void put32(std::string* out, int64_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>((u >> shift) & 0xFF));
}

void set32(std::string* out, size_t offset, int64_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) (*out)[offset + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

// The float closest to zero whose product with 300 (exact in double precision) reaches
// units: the first float at or beyond units / 300, so the loader's truncation gives back
// units. It does not depend on how the starting guess was rounded.
float model_float(int units) {
    if (units == 0) return 0.0f;
    auto reaches = [units](uint32_t bits) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return std::fabs(static_cast<double>(f) * 300.0) >= std::abs(units);
    };
    const float guess = static_cast<float>(units) / 300.0f;
    uint32_t bits;
    std::memcpy(&bits, &guess, sizeof bits);
    // Adding one to the bits of a float moves it away from zero.
    while (!reaches(bits)) ++bits;
    while (reaches(bits - 1)) --bits;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void put_float(std::string* out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, bits);
}

bool write_file(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make_sample_data: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string object_file_name(int bone) { return std::string(kBones[bone].name) + ".obj"; }

// Chunks: vertices (100), textured quads (105), textured triangles (104, padded to a
// multiple of four bytes).
std::string object_file(const Mesh& mesh) {
    std::string out;
    put32(&out, 0);
    put32(&out, 0);  // total size, set below

    put16(&out, 100);
    put16(&out, static_cast<int>(mesh.points.size()));
    put32(&out, 8 + 12 * static_cast<int64_t>(mesh.points.size()));
    for (const Point& design : mesh.points) {
        // The loader negates y, so the file keeps it pointing up.
        const Point p = to_model_units(design);
        put_float(&out, model_float(p.x));
        put_float(&out, model_float(p.y));
        put_float(&out, model_float(p.z));
    }
    for (int count : {4, 3}) {
        int faces = 0;
        for (const Face& f : mesh.faces) faces += f.count == count;
        if (faces == 0) continue;
        const int data = faces * count * 2;
        const int padded = (data + 3) & ~3;
        put16(&out, count == 4 ? 105 : 104);
        put16(&out, faces);
        put32(&out, 8 + padded);
        for (const Face& f : mesh.faces) {
            if (f.count != count) continue;
            for (int k = 0; k < count; ++k) put16(&out, f.v[k]);
        }
        out.append(static_cast<size_t>(padded - data), '\0');
    }
    set32(&out, 4, static_cast<int64_t>(out.size()));
    return out;
}

std::string model_text() {
    std::string t =
        "// Sample model: a walking robot of 15 bones, written by tools/make_sample_data.\n"
        "// One object file per bone, in depth-first order; each bone record gives the\n"
        "// pop count, an unused integer, the joint offset from the parent (y down), the\n"
        "// rotation (times 300: angle units, 1024 a turn) and two unused vectors.\n"
        "SEC_M_HEAD:\nIVVV\n";
    t += format("%d  0.0 0.0 0.0 0.0  0.0 0.0 0.0 0.0  512.0 512.0 512.0 0.0\n", BONE_COUNT);
    t += "END_SEC:\nSEC_M_OBJ:\nS\n";
    for (int b = 0; b < BONE_COUNT; ++b) t += object_file_name(b) + "\n";
    t += "END_SEC:\nSEC_M_BORN:\nIIVVVV\n";
    Point rest[BONE_COUNT];
    stance(rest);
    for (int b = 0; b < BONE_COUNT; ++b) {
        const Point j = joint_offset(b);
        t += format("%d 0  %d.0 %d.0 %d.0 0.0  ", pop_count(b), j.x, -j.y, j.z);
        t += rotation_text(angle_units(rest[b].x)) + " " + rotation_text(angle_units(rest[b].y)) + " " +
             rotation_text(angle_units(rest[b].z)) + " 0.0  0.0 0.0 0.0 0.0  0.0 0.0 0.0 0.0\n";
    }
    t += "END_SEC:\n";
    return t;
}

std::string animation_text() {
    std::string t =
        "// Walk cycle of the sample robot, written by tools/make_sample_data: eight\n"
        "// keyframes of eight frames, looping; one pose of x, y, z degrees per bone each.\n"
        "SEC_ANIM_HEAD:\nIIII\n";
    t += format("%d 0 %d %d\n", kKeyframes, BONE_COUNT, kKeyframes);
    t += "END_SEC:\nSEC_ANIM_SEEK:\nIIIIV\n";
    for (int k = 0; k < kKeyframes; ++k) {
        t += format("%d 0 %d %d  0.0 0.0 0.0 0.0\n", kFramesPerKey, (k + 1) % kKeyframes, k);
    }
    t += "END_SEC:\nSEC_ANIM_DAT:\nV\n";
    for (int k = 0; k < kKeyframes; ++k) {
        Point pose[BONE_COUNT];
        walk_pose(k, pose);
        for (int b = 0; b < BONE_COUNT; ++b) {
            t += format("%d.0 %d.0 %d.0 0.0\n", pose[b].x, pose[b].y, pose[b].z);
        }
    }
    t += "END_SEC:\n";
    return t;
}

// 8-bit bottom-up BMP with a full palette and rows of exactly 256 bytes.
std::string texture_file() {
    const int palette_bytes = 256 * 4, pixel_bytes = kTexSize * kTexSize;
    std::string out;
    out += "BM";
    put32(&out, 14 + 40 + palette_bytes + pixel_bytes);
    put32(&out, 0);
    put32(&out, 14 + 40 + palette_bytes);
    put32(&out, 40);
    put32(&out, kTexSize);
    put32(&out, kTexSize);
    put16(&out, 1);
    put16(&out, 8);
    put32(&out, 0);  // BI_RGB
    put32(&out, pixel_bytes);
    put32(&out, 2835);
    put32(&out, 2835);
    put32(&out, 256);
    put32(&out, 0);
    for (int i = 0; i < 256; ++i) {
        const Rgb c = palette_entry(i);
        out.push_back(static_cast<char>(c.b));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.r));
        out.push_back('\0');
    }
    for (int row = kTexSize - 1; row >= 0; --row) {
        for (int u = 0; u < kTexSize; ++u) out.push_back(static_cast<char>(texel(u, row)));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_data DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = write_file(dir + "mdt.txt", model_text());
    for (int b = 0; b < BONE_COUNT; ++b) {
        ok = ok && write_file(dir + object_file_name(b), object_file(build_bone(b)));
    }
    ok = ok && write_file(dir + "an.txt", animation_text());
    ok = ok && write_file(dir + "tes256.bmp", texture_file());
    return ok ? 0 : 1;
}
