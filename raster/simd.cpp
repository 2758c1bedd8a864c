#include "raster/simd.h"

namespace {

bool processor_has_avx2() {
#if RASTER_SIMD
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool processor_has_masked_stores() {
#if RASTER_SIMD
    return processor_has_avx2() && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

}  // namespace

bool simd_kernels_on = processor_has_avx2();
bool masked_stores_on = processor_has_masked_stores();

bool simd_enable(bool on) {
    simd_kernels_on = on && processor_has_avx2();
    return simd_kernels_on;
}

bool simd_enable_masked_stores(bool on) {
    masked_stores_on = on && processor_has_masked_stores();
    return masked_stores_on;
}
