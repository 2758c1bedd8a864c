// The model file loader: "mdt.txt" and the object files it names.
#pragma once

#include <cstdint>

constexpr float MODEL_UNIT_SCALE = 300.0f;

// Chunk codes of an object file.
constexpr int32_t OBJ_CHUNK_VERTICES = 100;
constexpr int32_t OBJ_CHUNK_TRIANGLES = 101;
constexpr int32_t OBJ_CHUNK_QUADS = 102;
constexpr int32_t OBJ_CHUNK_TEXCOORDS = 103;
constexpr int32_t OBJ_CHUNK_TEX_TRIANGLES = 104;
constexpr int32_t OBJ_CHUNK_TEX_QUADS = 105;
constexpr int32_t OBJ_CHUNK_TEXTURE_NAMES = 106;
constexpr int32_t OBJ_CHUNK_SELECT_TEXTURE = 107;

// Corner entries one face chunk may use (1365 triangles or 1024 quads).
constexpr int32_t MDL_SCRATCH_ENTRIES = 4096;
// Texture names one object file may list, and their length.
constexpr int32_t MDL_TEXTURE_NAMES_MAX = 64;
constexpr int32_t MDL_TEXTURE_NAME_MAX = 51;

// Loads a model file and the object files it names into a new model; a
// negative texture number reads the object files' own textures. Returns the
// model's slot, or:
//   -1 the scratch list cannot be allocated, or the file has no "SEC_M_HEAD:";
//   -2 the model file cannot be read or parsed, or its sections are malformed;
//   -3 an object file cannot be read, is malformed or does not fit the render
//      buffer;
//   -4 no free model slot, or the model cannot be allocated.
// A failed load leaves the model table and the render buffer as it found them.
int32_t mdl_load(const char* name, int32_t texture);
// Vertex normals and lit packets for a loaded model: 0, or -1 for an empty slot.
int32_t mdl_compute_normals(int32_t slot);
