// Counts every call of the C allocator (malloc, calloc, realloc) made in this
// program, on top of the system's own mem_alloc count.
#pragma once

#include <cstdint>

int64_t alloc_calls();
