#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "render/divide.h"

namespace {

// Every divisor of the table and a few past it, against the plain division:
// the edges of the 32-bit range, both sides of multiples, and scattered values.
TEST(Divide, MatchesTruncatingDivisionForEveryTableDivisor) {
    const int32_t edges[] = {0,         1,          -1,           2,          -2,
                             INT32_MAX, INT32_MIN,  INT32_MIN + 1, 1 << 30,    -(1 << 30),
                             255 << 8,  -(255 << 8), 65535,        -65536,     123456789};
    uint32_t scatter = 12345;
    for (int32_t d = 1; d < DIVIDE_TABLE_SIZE + 3; d++) {
        const Divisor divisor = draw_divisor(d);
        auto expect_exact = [&](int64_t wide) {
            const int32_t n = static_cast<int32_t>(wide);
            ASSERT_EQ(draw_divide(n, divisor), static_cast<int32_t>(static_cast<int64_t>(n) / d))
                << n << " / " << d;
        };
        for (int32_t n : edges) expect_exact(n);
        for (int64_t k = -40; k <= 40; k++) {
            for (int64_t near : {k * d - 1, k * d, k * d + 1, k * d + d - 1}) expect_exact(near);
        }
        // The largest quotients, where the multiplier's error would show first.
        for (int64_t q = INT32_MAX / d - 2; q <= INT32_MAX / d; q++) {
            for (int64_t near : {q * d, q * d + d - 1, -q * d, -q * d - d + 1}) {
                if (near >= INT32_MIN && near <= INT32_MAX) expect_exact(near);
            }
        }
        for (int i = 0; i < 500; i++) {
            scatter = scatter * 1664525u + 1013904223u;
            expect_exact(static_cast<int32_t>(scatter));
        }
    }
}

TEST(Divide, OtherDivisorsDividePlainly) {
    for (int32_t d : {-1, -2, -7, DIVIDE_TABLE_SIZE, 5000, INT32_MAX}) {
        const Divisor divisor = draw_divisor(d);
        EXPECT_EQ(draw_divide(1000000, divisor), 1000000 / d);
        EXPECT_EQ(draw_divide(-999, divisor), -999 / d);
    }
    EXPECT_EQ(draw_divide(INT32_MIN, draw_divisor(-1)), INT32_MIN);  // wraps, never traps
}

}  // namespace
