// Exact signed division by a small positive divisor through a multiplication:
// the quotient truncates toward zero exactly as the division does. Spans and
// edges divide several values by the same count of pixels or rows.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

#if defined(__SIZEOF_INT128__)
#define DRAW_DIVIDE_BY_MULTIPLY 1
#else
#define DRAW_DIVIDE_BY_MULTIPLY 0
#endif

// Divisors below this come from the table.
constexpr int32_t DIVIDE_TABLE_SIZE = 1024;

struct Divisor {
    int32_t value;
    uint32_t shift;  // 32 + ceil(log2 value); 0: divide plainly
    uint64_t magic;  // floor(2^shift / value) + 1
};

// floor(2^(32 + l) / d) + 1 with l = ceil(log2 d) for each divisor d below
// DIVIDE_TABLE_SIZE (entry 0 unused): for every dividend below 2^32 the
// product shifted right by 32 + l is the quotient.
struct DivideTable {
    uint64_t magic[DIVIDE_TABLE_SIZE];
    constexpr DivideTable() : magic() {
        for (int32_t d = 1; d < DIVIDE_TABLE_SIZE; d++) {
            uint32_t l = 0;
            while ((int64_t{1} << l) < d) l++;
            magic[d] = (uint64_t{1} << (32 + l)) / static_cast<uint64_t>(d) + 1;
        }
    }
};
inline constexpr DivideTable divide_table;

inline Divisor draw_divisor(int32_t value) {
    Divisor d{value, 0, 0};
#if DRAW_DIVIDE_BY_MULTIPLY
    if (value > 0 && value < DIVIDE_TABLE_SIZE) {
        d.shift = 32 + (value > 1 ? 32 - static_cast<uint32_t>(__builtin_clz(
                                             static_cast<uint32_t>(value - 1)))
                                  : 0);
        d.magic = divide_table.magic[value];
    }
#endif
    return d;
}

// n / d truncated toward zero; wraps like wrap_div.
inline int32_t draw_divide(int32_t n, const Divisor& d) {
#if DRAW_DIVIDE_BY_MULTIPLY
    if (d.shift != 0) {
        // |n| < 2^32 and magic < 2^33: the product needs 65 bits.
        const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
        const uint32_t q = static_cast<uint32_t>(
            (static_cast<unsigned __int128>(magnitude) * d.magic) >> d.shift);
        return static_cast<int32_t>(n < 0 ? 0u - q : q);
    }
#endif
    return wrap_div(n, d.value);
}
