// The span and edge steps of the vector kernels divide in double lanes, by a
// reciprocal shared by all the values of a span: every quotient must be the
// one C's division truncates toward zero.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "raster/simd.h"

#if RASTER_SIMD
namespace {

struct LaneCase {
    int32_t dividend[8];
    int32_t divisor[8];
};

int32_t truncated(int32_t x, int32_t d) {
    return static_cast<int32_t>(static_cast<int64_t>(x) / d);
}

SIMD_AVX2 void divide_case(const LaneCase& c, bool all_eight, int32_t* out) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.dividend));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.divisor));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        simd::divide_by(x, simd::lane_divisors(d, all_eight), all_eight));
}

SIMD_AVX2 void divide_uniform(const int32_t* dividend, int32_t divisor, int32_t* out) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dividend));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), simd::divide_lanes<true>(x, divisor));
}

// Dividends where a quotient off by one would show for divisor d: the
// largest magnitudes, whole quotients, and quotients just below and above a
// whole number.
std::vector<int32_t> telling_dividends(int32_t d, std::mt19937& random) {
    const int64_t magnitude = d < 0 ? -static_cast<int64_t>(d) : d;
    const int64_t whole = INT32_MAX / magnitude * magnitude;
    std::vector<int32_t> x = {INT32_MAX,
                              INT32_MIN + (d == -1 ? 1 : 0),
                              static_cast<int32_t>(whole),
                              static_cast<int32_t>(whole - 1),
                              static_cast<int32_t>(-whole),
                              static_cast<int32_t>(1 - whole),
                              static_cast<int32_t>(magnitude - 1),
                              0};
    for (int i = 0; i < 8; i++) {
        x.push_back(static_cast<int32_t>(random()));
        const int64_t q = static_cast<int32_t>(random()) / (magnitude > 1 ? magnitude : 2);
        x.push_back(static_cast<int32_t>(q * magnitude));  // whole, of any size
    }
    return x;
}

void expect_quotients(const LaneCase& c, bool all_eight) {
    int32_t out[8];
    divide_case(c, all_eight, out);
    for (int lane = 0; lane < (all_eight ? 8 : 4); lane++) {
        ASSERT_EQ(out[lane], truncated(c.dividend[lane], c.divisor[lane]))
            << c.dividend[lane] << " / " << c.divisor[lane];
    }
}

}  // namespace

// Every divisor up to 2^17 and a sample of the larger ones, both signs, in
// every lane position, with the dividends that tell a quotient off by one:
// given lane by lane, as the one divisor of a span or an edge (the table of
// short edges among them), and one quotient alone.
TEST(LaneDivision, DivisorsOfEveryMagnitude) {
    if (!simd_enable(true)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(7);
    std::vector<int32_t> divisors = {INT32_MIN, INT32_MAX, -INT32_MAX};
    for (int32_t d = 1; d <= 1 << 17; d++) divisors.insert(divisors.end(), {d, -d});
    for (int i = 0; i < 100000; i++) {
        const int32_t d = static_cast<int32_t>(random() >> 1) | 1;
        divisors.insert(divisors.end(), {d, -d});
    }
    for (const int32_t d : divisors) {
        const std::vector<int32_t> x = telling_dividends(d, random);
        for (size_t first = 0; first + 8 <= x.size(); first += 8) {
            LaneCase c;
            for (int lane = 0; lane < 8; lane++) {
                c.dividend[lane] = x[first + lane];
                c.divisor[lane] = d;
            }
            expect_quotients(c, true);
            int32_t out[8];
            divide_uniform(c.dividend, d, out);
            for (int lane = 0; lane < 8; lane++) {
                ASSERT_EQ(out[lane], truncated(c.dividend[lane], d))
                    << c.dividend[lane] << " / " << d;
                ASSERT_EQ(simd::divide_one(c.dividend[lane], d), out[lane])
                    << "one quotient: " << c.dividend[lane] << " / " << d;
            }
        }
    }
}

// Lanes of mixed divisors, in each rounding mode a host might leave set; with
// four lanes, what the other four hold does not matter.
TEST(LaneDivision, MixedLanesAndUnusedLanes) {
    if (!simd_enable(true)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(11);
    const int32_t awkward[] = {0, -1, INT32_MIN, INT32_MAX, 1, -7};
    const unsigned int rounding = _MM_GET_ROUNDING_MODE();
    for (int round = 0; round < 200000; round++) {
        _MM_SET_ROUNDING_MODE(round % 4 == 0   ? _MM_ROUND_NEAREST
                              : round % 4 == 1 ? _MM_ROUND_DOWN
                              : round % 4 == 2 ? _MM_ROUND_UP
                                               : _MM_ROUND_TOWARD_ZERO);
        LaneCase c;
        for (int lane = 0; lane < 8; lane++) {
            int32_t d = static_cast<int32_t>(random() % 4001) - 2000;
            if (round % 3 == 0) d = static_cast<int32_t>(random());
            if (d == 0 || d == -1) d = 3;
            c.divisor[lane] = d;
            c.dividend[lane] = static_cast<int32_t>(random());
        }
        expect_quotients(c, true);
        // One quotient by a divisor of the table, in this rounding mode too.
        const int32_t short_edge = 1 + static_cast<int32_t>(random() % 1023);
        ASSERT_EQ(simd::divide_one(c.dividend[0], short_edge),
                  truncated(c.dividend[0], short_edge));
        for (int lane = 4; lane < 8; lane++) c.divisor[lane] = awkward[(round + lane) % 6];
        expect_quotients(c, false);
    }
    _MM_SET_ROUNDING_MODE(rounding);
}
#endif
