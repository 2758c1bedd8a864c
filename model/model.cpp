#include "model/model.h"

#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "model/shade.h"
#include "render/renderbuf.h"
#include "shell/memory.h"

namespace {

constexpr Vec4 UNIT_SCALE = {FX_ONE, FX_ONE, FX_ONE, 0};
constexpr int32_t VERTEX_POOL = 0;
constexpr int32_t NORMAL_POOL = 3;
constexpr int32_t MAX_INTENSITY = 255;

Model** table = nullptr;     // MODEL_SLOTS references, each empty or owning a model
int32_t building_slot = -1;  // the model mdl_finish completes

// True when entries start .. start + count - 1 lie inside a pool of the
// current render buffer.
bool in_pool(int32_t kind, int32_t start, int32_t count) {
    const RenderBuffer* buffer = rb_current();
    if (buffer == nullptr || start < 0 || count < 0) return false;
    int32_t size = buffer->pool_size[kind];
    return start <= size && count <= size - start;
}

// Entry `start` of a pool's first array, or null outside the pool.
Vec4* pool_start(Vec4* array, int32_t kind, int32_t start) {
    return array != nullptr && in_pool(kind, start, 0) ? array + start : nullptr;
}

Bone* model_bone(int32_t slot, int32_t bone) {
    Model* model = mdl_get(slot);
    if (model == nullptr || bone < 0 || bone >= model->bone_count) return nullptr;
    return &model->bones[bone];
}

// A bone's vertices and normals are read where its pool holds them now, not
// through the pointers kept when it was added: a pool made again since then
// has a new block, and the old one is freed.
void project_bone(const Bone* bone, const Matrix* current) {
    if (bone->vertices == nullptr || bone->vertex_count == 0) return;
    if (!in_pool(VERTEX_POOL, bone->vertex_start, bone->vertex_count)) return;
    cam_project_vertices(bone->vertex_count, rb_screen_vertex(bone->vertex_start),
                         rb_positions() + bone->vertex_start, current);
}

// The normals go through the whole matrix, translation row included.
void light_bone(const Bone* bone, const Matrix* current, const Vec4* light) {
    if (bone->normals == nullptr || bone->normal_count == 0) return;
    if (!in_pool(NORMAL_POOL, bone->normal_start, bone->normal_count)) return;
    Vec4* view = rb_view_normal(bone->normal_start);
    int32_t* intensity = rb_intensity(bone->normal_start);
    mtx_transform_points(bone->normal_count, view, rb_current()->normals + bone->normal_start,
                         current);
    for (int32_t j = 0; j < bone->normal_count; j++) {
        const Vec4& n = view[j];
        int32_t sum = wrap_add(wrap_mul(light->z, n.z) >> 10, wrap_mul(light->y, n.y) >> 10);
        sum = wrap_add(sum, wrap_mul(light->x, n.x) >> 10);
        // Only an upper limit: a normal facing away keeps its negative value.
        int32_t level = sum >> 2;
        intensity[j] = level < MAX_INTENSITY ? level : MAX_INTENSITY;
    }
}

void update_model(Model* model, const Matrix* view, const Vec4* light) {
    Matrix placement;
    mtx_compose_local(&placement, &model->position, &model->rotation, &model->scale);
    mtx_stack_reset();
    Matrix current;
    mtx_multiply(&current, &placement, view);
    for (int32_t b = 0; b < model->bone_count; b++) {
        Bone* bone = &model->bones[b];
        // The parent's matrix is saved; a full stack is passed over and the
        // walk goes on.
        mtx_stack_push(&current);
        mtx_compose_local(&bone->local, &bone->translation, &bone->rotation, &bone->scale);
        mtx_multiply(&bone->world, &bone->local, &current);
        current = bone->world;
        project_bone(bone, &current);
        if ((bone->flags & BONE_LIT) != 0) light_bone(bone, &current, light);
        // The pop count names the ancestor whose child the next bone is; a
        // refused pop leaves current as it is.
        if (bone->pop_count != 0) mtx_stack_pop(&current, bone->pop_count);
    }
}

}  // namespace

int32_t mdl_table_init() {
    mdl_table_release();  // a second start-up must not leak the first table
    cam_reset();
    table = static_cast<Model**>(mem_alloc(MODEL_SLOTS * static_cast<int32_t>(sizeof(Model*))));
    return table != nullptr ? 0 : -1;
}

void mdl_table_release() {
    if (table == nullptr) return;
    for (int32_t slot = 0; slot < MODEL_SLOTS; slot++) mdl_free(slot);
    mem_free(table);
    table = nullptr;
    building_slot = -1;
}

int32_t mdl_create(int32_t bone_count) {
    if (table == nullptr) return -1;
    int32_t slot = 0;
    while (slot < MODEL_SLOTS && table[slot] != nullptr) slot++;
    if (slot == MODEL_SLOTS) return -1;
    if (bone_count < 0 || bone_count > MODEL_MAX_BONES) return -2;
    int32_t bytes = static_cast<int32_t>(sizeof(Model) + sizeof(Bone) * bone_count);
    Model* model = static_cast<Model*>(mem_alloc(bytes));
    if (model == nullptr) return -2;
    const RenderBuffer* buffer = rb_current();
    model->index = slot;
    model->flags = 0;
    model->bone_count = 0;
    model->bone_capacity = bone_count;
    model->bones = reinterpret_cast<Bone*>(model + 1);
    if (buffer != nullptr) {
        model->packet_count = buffer->packet_count;
        model->packets = reinterpret_cast<PrimPacket*>(buffer->next_free);
        model->vertices = buffer->positions;
    }
    model->scale = UNIT_SCALE;
    table[slot] = model;
    building_slot = slot;
    return slot;
}

int32_t mdl_add_bone(int32_t slot, int32_t vertex_start, int32_t vertex_count, int32_t pop_count) {
    Model* model = mdl_get(slot);
    if (model == nullptr || model->bone_count >= model->bone_capacity) return -1;
    Bone* bone = &model->bones[model->bone_count];
    bone->vertex_count = vertex_count;
    bone->vertex_start = vertex_start;
    bone->vertices = pool_start(rb_positions(), VERTEX_POOL, vertex_start);
    bone->pop_count = pop_count;
    mtx_identity(&bone->local);
    bone->scale = UNIT_SCALE;
    return model->bone_count++;
}

int32_t mdl_set_bone(int32_t slot, int32_t bone, int32_t pop_count, const Vec4* translation,
                     const Vec4* rotation) {
    Model* model = mdl_get(slot);
    if (model == nullptr || bone < 0 || bone >= model->bone_capacity) return -1;
    Bone* b = &model->bones[bone];
    b->pop_count = pop_count;
    b->translation = *translation;
    b->rotation = *rotation;
    return 0;
}

void mdl_finish() {
    Model* model = mdl_get(building_slot);
    const RenderBuffer* buffer = rb_current();
    if (model == nullptr || buffer == nullptr) return;
    model->packet_count = buffer->packet_count - model->packet_count;
    rb_row_mark(VERTEX_POOL);
    rb_row_mark(NORMAL_POOL);
}

int32_t mdl_free(int32_t slot) {
    Model* model = mdl_get(slot);
    if (model == nullptr) return -1;
    mem_free(model);
    table[slot] = nullptr;
    if (building_slot == slot) building_slot = -1;
    return slot;
}

int32_t mdl_show(int32_t slot) {
    Model* model = mdl_get(slot);
    if (model == nullptr) return -1;
    if ((model->flags & MODEL_HIDDEN) == 0) return -2;
    model->flags = 0;
    return 0;
}

Model* mdl_get(int32_t slot) {
    if (table == nullptr || slot < 0 || slot >= MODEL_SLOTS) return nullptr;
    return table[slot];
}

namespace {

// A field of the model in a slot; null for an empty slot.
template <class T>
T* model_field(int32_t slot, T Model::*field) {
    Model* model = mdl_get(slot);
    return model != nullptr ? &(model->*field) : nullptr;
}

}  // namespace

uint32_t* mdl_flags(int32_t slot) {
    return model_field(slot, &Model::flags);
}

Vec4* mdl_position(int32_t slot) {
    return model_field(slot, &Model::position);
}

Vec4* mdl_rotation(int32_t slot) {
    return model_field(slot, &Model::rotation);
}

Vec4* mdl_scale(int32_t slot) {
    return model_field(slot, &Model::scale);
}

Vec4* mdl_bone_rotation(int32_t slot, int32_t bone) {
    Bone* b = model_bone(slot, bone);
    return b != nullptr ? &b->rotation : nullptr;
}

int32_t mdl_or_bone_flags(int32_t slot, int32_t bone, uint32_t value) {
    Bone* b = model_bone(slot, bone);
    if (b == nullptr) return -1;
    b->flags |= value;
    return 0;
}

int32_t mdl_set_bone_flags(int32_t slot, uint32_t value) {
    Model* model = mdl_get(slot);
    if (model == nullptr) return -1;
    for (int32_t bone = 0; bone < model->bone_count; bone++) mdl_or_bone_flags(slot, bone, value);
    return 0;
}

int32_t mdl_set_ramp(int32_t slot, int32_t ramp) {
    Model* model = mdl_get(slot);
    if (model == nullptr || ramp < 0 || ramp >= RAMP_TABLE_SIZE) return -1;
    PrimPacket* packet = model->packets;
    for (int32_t i = 0; i < model->packet_count; i++, packet = prim_next(packet)) {
        if (mdl_checked_packet(packet) == nullptr) break;
        packet->ramp = static_cast<int16_t>(ramp);
    }
    return 0;
}

PrimPacket* mdl_checked_packet(PrimPacket* packet) {
    const RenderBuffer* buffer = rb_current();
    if (buffer == nullptr || packet == nullptr) return nullptr;
    uintptr_t at = reinterpret_cast<uintptr_t>(packet);
    uintptr_t first = reinterpret_cast<uintptr_t>(buffer->first_packet);
    uintptr_t end = reinterpret_cast<uintptr_t>(buffer->next_free);
    if (at < first || at >= end || (at - first) % 4 != 0) return nullptr;
    if (end - at < PRIM_TRI_SIZE) return nullptr;
    if (packet->size != PRIM_TRI_SIZE && packet->size != PRIM_QUAD_SIZE) return nullptr;
    return end - at >= packet->size ? packet : nullptr;
}

void mdl_update_all() {
    cam_build_view();
    const Vec4* light = cam_light_vector();
    for (int32_t slot = 0; slot < MODEL_SLOTS; slot++) {
        Model* model = mdl_get(slot);
        if (model != nullptr && (model->flags & MODEL_HIDDEN) == 0) {
            update_model(model, cam_view(), light);
        }
    }
}
