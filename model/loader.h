// The model file loader: "mdt.txt" and the object files it names.
#pragma once

#include <cstdint>

constexpr float MODEL_UNIT_SCALE = 300.0f;

// Slot of the new model, or -1 .. -4 (see the loader).
int32_t mdl_load(const char* name, int32_t texture);
int32_t mdl_compute_normals(int32_t slot);
