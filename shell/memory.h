// Error boxes and the one allocation routine every module uses.
#pragma once

#include <cstdint>

#include "shell/messages.h"

#define ERROR_BOX_SIZE 100

#if defined(__GNUC__)
#define ICON_LOOK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ICON_LOOK_PRINTF(fmt, args)
#endif

// Formats into a 100-byte buffer and shows it in a modal box captioned "Error".
// Longer texts are cut at 99 bytes, never inside a two-byte character.
void error_box(const char* format, ...) ICON_LOOK_PRINTF(1, 2);

// Zero-filled block of size bytes; on failure shows the allocation message and
// returns null. A negative size is a failure.
void* mem_alloc(int32_t size);

// Releases a block from mem_alloc; null is ignored.
void mem_free(void* block);

// Shrinks a block in place to size bytes (never fails: keeps the block if the
// runtime cannot shrink it).
void* mem_shrink(void* block, int32_t size);

// Test mode: make the k-th call of mem_alloc from now on fail (k >= 1); 0 turns
// the mode off. mem_alloc_calls counts the calls since the last mem_fail_at;
// mem_failed_size is the size the failed call asked for, -1 until it came.
void mem_fail_at(int32_t k);
int32_t mem_alloc_calls();
int32_t mem_failed_size();

// Blocks from mem_alloc not yet released, for leak checks.
int32_t mem_blocks_in_use();
