// Shared by the fuzz targets: files served from memory, the modules a loader
// needs, and checks that end the run so the fuzzer reports them.
//
// Every target defines LLVMFuzzerTestOneInput, so the same code runs under
// libFuzzer and in the plain replay driver of the test suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Ends the run with a report when `condition` is false.
#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : fuzz_fail(#condition, __FILE__, __LINE__))
[[noreturn]] void fuzz_fail(const char* condition, const char* file, int line);

// Values read only so that every byte of a result is touched.
extern volatile uint32_t fuzz_sink;

// Named files the loaders read instead of the disk (see sec_set_memory_files).
struct FuzzFile {
    std::string name;
    std::string bytes;
};
// Serves exactly these files until the next call; the vector must stay alive.
void fuzz_serve(const std::vector<FuzzFile>& files);
// A file of the shipped data directory, read from the disk.
std::string fuzz_shipped_file(const std::string& name);
std::string fuzz_bytes(const uint8_t* data, size_t size);

// Quiet message boxes (shown on stderr, with each model load's result, when
// ICON_LOOK_FUZZ_VERBOSE is set) and the modules every load builds on
// (trigonometry and shade ramps), made once per process.
void fuzz_start_process();

// The render buffer with the start-up pools, the texture, model and
// animation tables and a small guarded drawing surface; all released again by
// fuzz_stop_scene, which also checks that every block was released.
void fuzz_start_scene();
void fuzz_stop_scene();

// Loads a model with the given texture number (negative: the object files'
// own textures) and checks that a failed load left nothing behind. A model
// that loads is made ready as start-up does, with the animation "an.txt" when
// that file is served, and drawn and animated for a few frames. Returns the
// slot or the failure.
int32_t fuzz_load_and_draw(const char* name, int32_t texture);

// The shipped files, every one of them, in the order "mdt.txt" names them.
std::vector<FuzzFile> fuzz_shipped_model_files();
