// The bracketed root finder and the cubic's roots, against roots known in closed form; the
// magnitude's unscaled path against the scaled form it stands in for.
#include "kestrane/numeric/polynomial.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>

namespace kestrane {
namespace {

TEST(BracketedRoot, FindsTheSignChangeAndRefusesEndsThatDoNotBracketOne) {
    const auto f = [](double x) { return x * x - 2; };
    const double root = bracketed_root(f, 0.0, 2.0, f(0), f(2));
    EXPECT_NEAR(root, std::numbers::sqrt2, 4e-16);
    // A jump is found where the sign changes.
    const auto step = [](double x) { return x < 0.3 ? -1.0 : 1.0; };
    EXPECT_NEAR(bracketed_root(step, 0.0, 1.0, -1.0, 1.0), 0.3, 1e-15);
    // Ends of one sign, or a value that is not a number, bracket nothing.
    EXPECT_TRUE(std::isnan(bracketed_root(f, 2.0, 3.0, f(2), f(3))));
    EXPECT_TRUE(std::isnan(bracketed_root(f, 0.0, 2.0, std::nan(""), f(2))));
    EXPECT_EQ(bracketed_root(f, 0.0, 2.0, 0.0, f(2)), 0.0);  // a root at an end is that end
}

TEST(PolynomialRoots, ACubicsRealRootAndComplexPair) {
    // (x + 2)(x^2 + 2x + 5): -2 and -1 +- 2j.
    const PolynomialRoots roots = polynomial_roots(Cubic{{10, 9, 4, 1}});
    ASSERT_EQ(roots.count, 3);
    EXPECT_NEAR(roots.root[0].re, -2, 1e-15);
    EXPECT_NEAR(roots.root[1].re, -1, 1e-15);
    EXPECT_NEAR(roots.root[1].im, 2, 1e-15);
    EXPECT_NEAR(roots.pair_b, 2, 1e-15);
    EXPECT_NEAR(roots.pair_c, 5, 1e-14);
}

// |a| with both parts scaled by the larger one's binary exponent, so that no square
// overflows or underflows beside the larger one.
double scaled_magnitude(Complex a) {
    const double larger = std::fmax(std::fabs(a.re), std::fabs(a.im));
    if (larger == 0 || !std::isfinite(larger)) return larger;
    int exponent = 0;
    std::frexp(larger, &exponent);
    const double re = std::ldexp(a.re, -exponent);
    const double im = std::ldexp(a.im, -exponent);
    return std::ldexp(std::sqrt(re * re + im * im), exponent);
}

TEST(Magnitude, IsTheScaledFormBitForBit) {
    // Random bits over every exponent; parts of like size across and beyond the unscaled
    // range, where a square would underflow or overflow; and parts near its edges (2^-500 and
    // 2^500) beside parts far larger or smaller, where the scaled smaller square underflows.
    std::mt19937_64 random(20261207);
    const auto any_double = [&] {
        for (;;) {
            const double x = std::bit_cast<double>(random());
            if (std::isfinite(x)) return x;
        }
    };
    const auto near = [&](double edge) {
        const int steps = static_cast<int>(random() % 64) - 32;
        double x = edge;
        for (int i = 0; i < std::abs(steps); ++i)
            x = std::nextafter(x, steps < 0 ? 0.0 : 1e300);
        return (random() & 1) != 0 ? -x : x;
    };
    const double edges[] = {0x1p-500, 0x1p500, 0x1p-1000, 0x1p-1022, 1, 0x1p-27, 0x1p27};
    for (int i = 0; i < 200000; ++i) {
        Complex a;
        switch (i % 4) {
            case 0:
                a = {any_double(), any_double()};
                break;
            case 1: {
                // Parts of like size, from far below the unscaled range to far above it.
                const int exponent = static_cast<int>(random() % 1121) - 560;
                const auto part = [&] {
                    const double mantissa = 1 + static_cast<double>(random() >> 11) * 0x1p-53;
                    return std::ldexp(mantissa, exponent - static_cast<int>(random() % 40));
                };
                a = {part(), (random() % 8) == 0 ? 0.0 : -part()};
                break;
            }
            default:
                a = {near(edges[random() % 7]), near(edges[random() % 7])};
                break;
        }
        if (i % 3 == 0) std::swap(a.re, a.im);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(magnitude(a)),
                  std::bit_cast<std::uint64_t>(scaled_magnitude(a)))
            << a.re << " " << a.im;
    }
    // Zeros, infinities and not-a-numbers.
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(magnitude({0.0, -0.0}), 0.0);
    EXPECT_EQ(magnitude({-3, 4}), 5);
    EXPECT_EQ(magnitude({kInf, 1}), kInf);
    EXPECT_TRUE(std::isnan(magnitude({std::nan(""), 1})));
}

}  // namespace
}  // namespace kestrane
