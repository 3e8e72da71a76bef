// The bracketed root finder and the cubic's roots, against roots known in closed form.
#include "kestrane/numeric/polynomial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

}  // namespace
}  // namespace kestrane
