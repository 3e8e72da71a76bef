#include "kestrane/numeric/inverse_square_root.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrane {
namespace {

struct Rounded {
    double x;
    double expected;  // x^-1/2 rounded to the nearest double
};

// x^-1/2 to 300 bits with mpmath, rounded to the nearest double. After the extremes, the
// argument the power function and 1/sqrt disagree on in single precision, then arguments
// near 1 where 1/sqrt (two correctly rounded steps) rounds the other way: 1/sqrt gives
// 0x1.ffd14df27b92fp-1 for the first, and so on, one unit off in each.
constexpr Rounded kRounded[] = {
    {0x1p-1074, 0x1p+537},
    {0x1p-1022, 0x1p+511},
    {0x1.8p-1000, 0x1.a20bd700c2c3ep+499},  // 1/sqrt: ...c3fp+499
    {0x1.4p+950, 0x1.c9f25c5bfedd9p-476},
    {0x1.fffffffffffffp+1023, 0x1p-512},  // 1/sqrt: 0x1.0000000000001p-512
    {0x1p+2, 0x1p-1},
    {1, 1},
    {0x1.00006b0ff7d4cp+0, 0x1.ffff94f029bffp-1},  // 1/sqrt: ...c00p-1
    {0x1.002eb871a5e6ap+0, 0x1.ffd14df27b930p-1},
    {0x1.ffd5ac0ec08c7p-1, 0x1.000a95a453108p+0},
    {0x1.00335d1d69824p+0, 0x1.ffccaa9bf8933p-1},
    {0x1.ffcca87fd5da1p-1, 0x1.000cd6d73eb93p+0},
    {0x1.ffcd14cf1a661p-1, 0x1.000cbbbf5eb96p+0},
    {0x1.003ca42ae7659p+0, 0x1.ffc36698fea6cp-1},
    {0x1.0037beccbf82dp+0, 0x1.ffc84a4c4183ap-1},
    {0x1.002b7d6c6fdfbp+0, 0x1.ffd4881d4f54dp-1},
};

TEST(InverseSquareRoot, RoundsToTheNearestDouble) {
    for (const Rounded& r : kRounded) {
        EXPECT_EQ(inverse_sqrt::correctly_rounded(r.x), r.expected) << std::hexfloat << r.x;
        EXPECT_EQ(inverse_sqrt::decided_exactly(r.x), r.expected) << std::hexfloat << r.x;
    }
}

TEST(InverseSquareRoot, ZeroInfinityAndNegatives) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(inverse_sqrt::correctly_rounded(0.0), kInf);
    EXPECT_EQ(inverse_sqrt::correctly_rounded(-0.0), kInf);
    EXPECT_EQ(inverse_sqrt::correctly_rounded(kInf), 0.0);
    EXPECT_TRUE(std::isnan(inverse_sqrt::correctly_rounded(-1.0)));
    EXPECT_TRUE(std::isnan(inverse_sqrt::correctly_rounded(std::nan(""))));
}

// x = 1 - j 2^-52 puts x^-1/2 just above the midpoint 1 + j 2^-53 (odd j): by 2^-105.4,
// 2^-102.3, 2^-100.8 and 2^-91.4 of it for j = 1, 3, 5, 129, too close for the estimate
// (2^-90), and by 2^-85.4 and 2^-81.4 for j = 1025, 4097 (mpmath, 300 bits). The nearest
// double is 1 + (j + 1) 2^-53.
TEST(InverseSquareRoot, EstimateLeavesArgumentsNearAMidpointToTheExactDecision) {
    for (const int j : {1, 3, 5, 129, 1025, 4097}) {
        const double x = 1 - j * 0x1p-52;
        const double expected = 1 + (j + 1) * 0x1p-53;
        const inverse_sqrt::Estimate estimate = inverse_sqrt::estimate(x);
        EXPECT_EQ(estimate.certain, j > 1000) << "j = " << j;
        if (estimate.certain) {
            EXPECT_EQ(estimate.value, expected) << "j = " << j;
        }
        EXPECT_EQ(inverse_sqrt::correctly_rounded(x), expected) << "j = " << j;
        EXPECT_TRUE(inverse_sqrt::lies_above_midpoint(x, 1 + (j - 1) * 0x1p-53));
        EXPECT_FALSE(inverse_sqrt::lies_above_midpoint(x, expected));
    }
}

// Rounding to the nearest never reverses an order: across the doubles on either side of
// those hard arguments, the results never rise.
TEST(InverseSquareRoot, FallsAsItsArgumentRises) {
    for (const int j : {1, 3, 5, 129}) {
        double x = 1 - j * 0x1p-52 - 64 * 0x1p-53;
        double last = inverse_sqrt::correctly_rounded(x);
        for (int step = 0; step < 128; ++step) {
            x = std::nextafter(x, 2.0);
            const double next = inverse_sqrt::correctly_rounded(x);
            ASSERT_LE(next, last) << std::hexfloat << x;
            last = next;
        }
    }
}

}  // namespace
}  // namespace kestrane
