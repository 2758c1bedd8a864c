#include "files/anim.h"

#include <cstring>

#include "files/section.h"
#include "model/model.h"
#include "shell/memory.h"

namespace {

constexpr int32_t HEAD_RECORD_SIZE = 16;  // K, field 2, B, P
constexpr int32_t SEEK_RECORD_SIZE = 32;  // four integers, four floats
constexpr int32_t DATA_RECORD_SIZE = 16;  // four angles in degrees
constexpr int32_t HALF_TURN = ANGLE_STEPS / 2;

// The sections in the order they must come; "NULL" ends the list.
const char* const SECTION_NAMES[] = {"SEC_ANIM_HEAD:", "SEC_ANIM_SEEK:", "SEC_ANIM_DAT:", "NULL"};
enum SectionKind { HEAD_SECTION, SEEK_SECTION, DATA_SECTION, OTHER_SECTION };

AnimSet** table = nullptr;

// What a load has read so far.
struct Reader {
    int32_t bone_limit;
    AnimSet* set;
    int32_t pose_count;  // P
    int32_t set_size;    // bytes the finished set takes
    bool no_memory;      // the allocation has shown its own message
};

SectionKind section_kind(const Section* section) {
    int32_t kind = 0;
    while (std::strcmp(SECTION_NAMES[kind], "NULL") != 0 &&
           std::strcmp(SECTION_NAMES[kind], sec_name(section)) != 0) {
        kind++;
    }
    return static_cast<SectionKind>(kind);
}

// The records must be exactly `count` records of `size` bytes.
bool records_are(const Section* section, int32_t size) {
    const int64_t bytes = static_cast<int64_t>(sec_size(section)) - 12 - sec_name_size(section);
    return sec_count(section) >= 1 && bytes == static_cast<int64_t>(sec_count(section)) * size;
}

int32_t word_at(const uint8_t* record, int32_t index) {
    int32_t value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

float float_at(const uint8_t* record, int32_t index) {
    float value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

// Truncation toward zero; NaN and values beyond 32 bits fail both tests.
bool truncate_to_int(double value, int32_t* out) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

bool read_head(Reader* r, const Section* section) {
    if (!records_are(section, HEAD_RECORD_SIZE)) return false;
    const uint8_t* record = sec_records(section);
    const int32_t keys = word_at(record, 0);
    const int32_t bones = word_at(record, 2);
    const int32_t poses = word_at(record, 3);
    if (keys < 1 || bones < 1 || poses < 1 || bones > r->bone_limit) return false;
    const int64_t size =
        static_cast<int64_t>(sizeof(AnimSet)) +
        static_cast<int64_t>(keys) * static_cast<int64_t>(sizeof(AnimKey)) +
        (static_cast<int64_t>(poses) + 2) * bones * static_cast<int64_t>(sizeof(Vec4));
    if (size > ANIM_WORK_SIZE) return false;
    r->set = static_cast<AnimSet*>(mem_alloc(ANIM_WORK_SIZE));
    if (r->set == nullptr) {
        r->no_memory = true;
        return false;
    }
    r->set->head_field2 = word_at(record, 1);
    r->set->bone_count = bones;
    r->set->key_count = keys;
    r->pose_count = poses;
    r->set_size = static_cast<int32_t>(size);
    return true;
}

// Every keyframe names a pose of the file and either no successor or one
// that has a record.
bool read_seek(Reader* r, const Section* section) {
    const int32_t count = sec_count(section);
    if (!records_are(section, SEEK_RECORD_SIZE) || count > r->set->key_count) return false;
    AnimKey* keys = anim_keys(r->set);
    const uint8_t* record = sec_records(section);
    for (int32_t k = 0; k < count; k++, record += SEEK_RECORD_SIZE) {
        AnimKey* key = &keys[k];
        const int32_t next = word_at(record, 2);
        const int32_t pose = word_at(record, 3);
        if (next < -1 || next >= count || pose < 0 || pose >= r->pose_count) return false;
        key->duration = word_at(record, 0);
        key->field2 = word_at(record, 1);
        key->next = next;
        key->pose = pose * r->set->bone_count;
        for (int32_t j = 0; j < 4; j++) {
            if (!truncate_to_int(float_at(record, 4 + j), &key->extra[j])) return false;
        }
    }
    return true;
}

bool read_data(Reader* r, const Section* section) {
    const int32_t count = sec_count(section);
    const int32_t rotations = r->pose_count * r->set->bone_count;  // fits: the set does
    if (!records_are(section, DATA_RECORD_SIZE) || count > rotations) return false;
    Vec4* rotation = anim_rotations(r->set);
    const uint8_t* record = sec_records(section);
    for (int32_t i = 0; i < count; i++, record += DATA_RECORD_SIZE) {
        int32_t angle[4];
        for (int32_t j = 0; j < 4; j++) {
            if (!anim_degrees_to_angle(float_at(record, j), &angle[j])) return false;
        }
        rotation[i] = Vec4{angle[0], angle[1], angle[2], angle[3]};
    }
    return true;
}

bool read_section(Reader* r, SectionKind kind, const Section* section) {
    switch (kind) {
    case HEAD_SECTION: return read_head(r, section);
    case SEEK_SECTION: return read_seek(r, section);
    case DATA_SECTION: return read_data(r, section);
    default: return true;
    }
}

void copy_pose(Vec4* to, const Vec4* from, int32_t bone_count) {
    std::memcpy(to, from, static_cast<size_t>(bone_count) * sizeof(Vec4));
}

// Playback starts towards keyframe 0, which the first step reaches at once.
AnimSet* finish_set(Reader* r) {
    AnimSet* set = r->set;
    const int32_t rotations = r->pose_count * set->bone_count;
    set->frame_counter = ANIM_START_COUNTER;
    set->current = 0;
    set->base_pose = rotations;
    set->deltas = rotations + set->bone_count;
    Vec4* rotation = anim_rotations(set);
    copy_pose(rotation + set->base_pose, rotation + anim_keys(set)[0].pose, set->bone_count);
    // The references are indices, so the block may move.
    return static_cast<AnimSet*>(mem_shrink(set, r->set_size));
}

// A duration of 0 or less takes one step.
int32_t steps_of(const AnimKey* key) {
    return key->duration > 0 ? key->duration : 1;
}

// Folded once: the shorter way round for angles within a turn of each other.
int32_t folded(int32_t from, int32_t to) {
    const int32_t d = wrap_sub(to, from);
    if (d > HALF_TURN) return d - ANGLE_STEPS;
    if (d < -HALF_TURN) return d + ANGLE_STEPS;
    return d;
}

int32_t turned(int32_t delta, int32_t t, int32_t base) {
    return wrap_add(wrap_mul(delta, t) >> 10, base) & ANGLE_MASK;
}

}  // namespace

int32_t anim_init() {
    anim_release();  // a second start-up must not leak the first table
    table = static_cast<AnimSet**>(mem_alloc(ANIM_SLOTS * static_cast<int32_t>(sizeof(AnimSet*))));
    return table != nullptr ? 0 : -1;
}

void anim_release() {
    if (table == nullptr) return;
    for (int32_t slot = 0; slot < ANIM_SLOTS; slot++) anim_free(slot);
    mem_free(table);
    table = nullptr;
}

int32_t anim_load(const char* name, int32_t slot) {
    const bool in_table = anim_free(slot) >= 0;
    // Without its model (its load failed and said why) there are no bones to
    // drive, but the file is still read, so what is wrong with it is told too.
    const Model* model = in_table ? mdl_get(slot) : nullptr;
    AnimSet* set = anim_parse(name, model != nullptr ? model->bone_count : MODEL_MAX_BONES);
    if (set == nullptr) return -1;
    if (model == nullptr) {
        mem_free(set);
        return -1;
    }
    set->slot = slot;
    table[slot] = set;
    *mdl_flags(slot) |= MODEL_HIDDEN;
    return slot;
}

AnimSet* anim_parse(const char* name, int32_t bone_limit) {
    SectionFile* image = sec_load(name);
    if (image == nullptr) return nullptr;
    Reader r = {bone_limit, nullptr, 0, 0, false};
    int32_t expected = HEAD_SECTION;
    bool good = true;
    for (const Section* s = image; good && sec_name_size(s) != -1; s = sec_next(s)) {
        const SectionKind kind = section_kind(s);
        if (kind == OTHER_SECTION) continue;
        good = kind == expected && read_section(&r, kind, s);
        expected++;
    }
    mem_free(image);
    if (good && expected == OTHER_SECTION) return finish_set(&r);
    mem_free(r.set);
    if (!r.no_memory) error_box(MSG_FILE_PARSE_FAILED, name);
    return nullptr;
}

int32_t anim_free(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= ANIM_SLOTS) return -1;
    if (table[slot] == nullptr) return 1;
    mem_free(table[slot]);
    table[slot] = nullptr;
    return 0;
}

void anim_step(int32_t slot) {
    AnimSet* set = anim_get(slot);
    if (set == nullptr) return;
    // The model must still have every bone the set drives.
    const Model* model = mdl_get(slot);
    if (model == nullptr || model->bone_count < set->bone_count) return;
    AnimKey* keys = anim_keys(set);
    Vec4* rotation = anim_rotations(set);
    Vec4* base = rotation + set->base_pose;
    Vec4* deltas = rotation + set->deltas;
    if (set->current >= 0 && set->frame_counter >= steps_of(&keys[set->current])) {
        const AnimKey* reached = &keys[set->current];
        copy_pose(base, rotation + reached->pose, set->bone_count);
        // Without a successor playback ends here and the pose stays.
        set->current = reached->next;
        set->frame_counter = 0;
        if (set->current >= 0) {
            anim_set_deltas(deltas, base, rotation + keys[set->current].pose, set->bone_count);
        }
    }
    int32_t t = 0;
    if (set->current >= 0 && set->frame_counter != 0) {
        t = static_cast<int32_t>(static_cast<double>(set->frame_counter) /
                                 steps_of(&keys[set->current]) * 1024.0);
    }
    for (int32_t i = 0; i < set->bone_count; i++) {
        Vec4* bone = mdl_bone_rotation(slot, i);
        if (bone == nullptr) continue;
        bone->x = turned(deltas[i].x, t, base[i].x);
        bone->y = turned(deltas[i].y, t, base[i].y);
        bone->z = turned(deltas[i].z, t, base[i].z);
    }
    if (set->current >= 0) set->frame_counter++;
}

void anim_set_deltas(Vec4* deltas, const Vec4* from, const Vec4* to, int32_t bone_count) {
    for (int32_t i = 0; i < bone_count; i++) {
        deltas[i].x = folded(from[i].x, to[i].x);
        deltas[i].y = folded(from[i].y, to[i].y);
        deltas[i].z = folded(from[i].z, to[i].z);
    }
}

AnimSet* anim_get(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= ANIM_SLOTS) return nullptr;
    return table[slot];
}

AnimKey* anim_keys(AnimSet* set) {
    return reinterpret_cast<AnimKey*>(set + 1);
}

Vec4* anim_rotations(AnimSet* set) {
    return reinterpret_cast<Vec4*>(anim_keys(set) + set->key_count);
}

bool anim_degrees_to_angle(float degrees, int32_t* angle) {
    // Two floats multiply exactly in double precision.
    return truncate_to_int(static_cast<double>(degrees) * static_cast<double>(ANGLE_PER_DEGREE),
                           angle);
}
