#include "raster/simd.h"

namespace {

bool processor_has_avx2() {
#if RASTER_SIMD
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

bool simd_kernels_on = processor_has_avx2();

bool simd_enable(bool on) {
    simd_kernels_on = on && processor_has_avx2();
    return simd_kernels_on;
}
