#include "alloc_count.h"

#include <cstddef>
#include <cstdlib>

namespace {

int64_t calls = 0;

}  // namespace

int64_t alloc_calls() {
    return calls;
}

#if defined(__GLIBC__)
// Every allocation of the program, operator new included, passes through
// these; the C library's own entry points do the work.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

void* malloc(size_t size) noexcept {
    calls++;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    calls++;
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) noexcept {
    calls++;
    return __libc_realloc(block, size);
}
}
#endif
