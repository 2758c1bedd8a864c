#include "raster/simd.h"

namespace {

bool processor_has_avx2() {
#if RASTER_SIMD
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool kernels_on = processor_has_avx2();

}  // namespace

bool simd_enabled() {
    return kernels_on;
}

bool simd_enable(bool on) {
    kernels_on = on && processor_has_avx2();
    return kernels_on;
}
