// Fixed-point types shared by every subsystem.
#pragma once

#include <cstdint>

struct Vec4 {
    int32_t x, y, z, w;
};

// Row-major, row-vector convention, translation in row 3, 512 = 1.0.
struct Matrix {
    int32_t m[4][4];
};

constexpr int32_t FX_ONE = 512;
constexpr int32_t FX_SHIFT = 9;
constexpr int32_t ANGLE_STEPS = 1024;
constexpr int32_t ANGLE_MASK = 0x3FF;
constexpr int32_t NORMAL_LENGTH = 1024;

// 32-bit two's-complement arithmetic. The system's arithmetic is defined to
// wrap; signed overflow is undefined in C++, so products and sums that may
// overflow go through unsigned arithmetic.
inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t wrap_neg(int32_t a) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}
// Left shift of a possibly negative value (undefined for signed operands).
inline int32_t wrap_shl(int32_t a, int shift) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << shift);
}
// Division truncating toward zero that never traps: the one quotient that
// does not fit (INT32_MIN / -1) wraps, and a zero divisor gives 0.
inline int32_t wrap_div(int32_t a, int32_t b) {
    if (b == -1) return wrap_neg(a);
    if (b == 0) return 0;
    return a / b;
}
