#include "kestrane/circuit/circuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrane {
namespace {

// The best E96/E12 set of the 1 kHz, 10 kohm design: 10 k, 30.1 k, 15 nF and 5.6 nF, the
// capacitors as the floats nearest to them.
const CircuitParts kBest1k{10000, 30100, 15e-9f, 5.6e-9f};

struct Figures {
    CircuitParts parts;
    double natural_hz;
    double q;
    double cutoff_hz;
};

// Expected figures from python3 with mpmath at 40 digits: f0 = 1/(2 pi sqrt(A)),
// Q = sqrt(A)/B and the cutoff sqrt(w)/(2 pi) with w the positive root of
// A^2 w^2 + (B^2 - 2A) w - 1 = 0 by the plain quadratic formula, A = R1 R2 C1 C2,
// B = C2 (R1 + R2), the parts taken as the exact values of their doubles.
const Figures kFigures[] = {
    {kBest1k, 1000.9151153618308784, 0.70809329609909425807, 1002.3095866511797939},
    // Q far below 1/sqrt(2): the cutoff is nearly 1/(2 pi B).
    {{1000, 1000, 1e-12, 1e-3},
     5032.9212104487035019,
     0.000015811388300841896336,
     0.079577471565842034119},
    // Q far above: the cutoff tends to f0 sqrt(1 + sqrt 2).
    {{1e4, 1e4, 1e-3, 1e-15}, 15915.494309189532793, 499999.99999999998578, 24729.08084142437758},
    // The largest and the smallest positive floats: A = X^4 neither overflows nor underflows.
    {{0x1.fffffep127, 0x1.fffffep127, 0x1.fffffep127, 0x1.fffffep127},
     1.3744890787699339954e-78,
     0.5,
     8.8461327177781817748e-79},
    {{0x1p-149, 0x1p-149, 0x1p-149, 0x1p-149},
     8.1051086222414646753e+88,
     0.5,
     5.216401328450091561e+88},
};

void expect_relative(double actual, double expected, double tolerance) {
    EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected));
}

TEST(Circuit, FiguresAgainstIndependentValues) {
    for (const Figures& f : kFigures) {
        SCOPED_TRACE(f.parts.C1);
        expect_relative(natural_frequency_hz(f.parts), f.natural_hz, 1e-15);
        expect_relative(quality_factor(f.parts), f.q, 1e-15);
        expect_relative(real_cutoff_hz(f.parts), f.cutoff_hz, 2e-15);
    }
}

TEST(Circuit, CutoffOverNaturalFrequencyAcrossQ) {
    // At Q = 1/sqrt(2) the cutoff is f0; the two forms of the root meet there without a step.
    EXPECT_NEAR(cutoff_over_natural(kTargetQ), 1, 1e-15);
    const double below = cutoff_over_natural(std::nextafter(kTargetQ, 0));
    const double above = cutoff_over_natural(std::nextafter(kTargetQ, 1));
    EXPECT_LE(below, above);
    EXPECT_NEAR(above - below, 0, 1e-15);
    // Limits: about Q for small Q (x = Q^2 (1 + 2 Q^2 + ...)); sqrt(1 + sqrt 2) for large Q.
    EXPECT_NEAR(cutoff_over_natural(1e-150), 1e-150, 1e-165);
    EXPECT_NEAR(cutoff_over_natural(1e150), std::sqrt(1 + std::sqrt(2.0)), 1e-15);
    EXPECT_TRUE(std::isnan(cutoff_over_natural(0)));
    EXPECT_TRUE(std::isnan(cutoff_over_natural(-1)));
}

TEST(Circuit, ResponseOfTheBestSet) {
    // mpmath, 40 digits: |H| and arg H of 1/(1 + jwB - w^2 A), the delay as -d(arg H)/dw by
    // mpmath's numerical differentiation.
    const struct {
        double hz, gain, phase_deg, delay_s;
    } expected[] = {
        {300, 0.99623628953400511266, -24.941488580072554273, 0.00024289471685175509551},
        {1000, 0.70874068851393580683, -89.925780139251704526, 0.00022539281256646458529},
        {3000, 0.11066514718854973996, -152.06758913701508828, 0.000027456119250804312168},
    };
    for (const auto& e : expected) {
        const ResponsePoint point = circuit_point(kBest1k, e.hz);
        expect_relative(point.gain, e.gain, 1e-14);
        expect_relative(point.phase_deg, e.phase_deg, 1e-14);
        expect_relative(point.group_delay_s, e.delay_s, 1e-13);
    }
    const ResponsePoint at_zero = circuit_point(kBest1k, 0);
    EXPECT_EQ(at_zero.gain, 1);
    EXPECT_EQ(at_zero.phase_deg, 0);
}

TEST(Circuit, NoFiguresWithoutACircuit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const CircuitParts unbuildable[] = {
        {0, 1e4, 1e-8, 1e-8}, {1e4, -1e4, 1e-8, 1e-8},     {1e4, 1e4, -1e-8, 1e-8},
        {1e4, 1e4, 1e-8, 0},  {infinity, 1e4, 1e-8, 1e-8}, {1e4, 1e4, nan, 1e-8},
    };
    for (const CircuitParts& parts : unbuildable) {
        EXPECT_FALSE(is_buildable(parts));
        EXPECT_TRUE(std::isnan(natural_frequency_hz(parts)));
        EXPECT_TRUE(std::isnan(quality_factor(parts)));
        EXPECT_TRUE(std::isnan(real_cutoff_hz(parts)));
        EXPECT_TRUE(std::isnan(circuit_point(parts, 1000).gain));
    }
    EXPECT_TRUE(is_buildable(kBest1k));
    EXPECT_TRUE(std::isnan(circuit_point(kBest1k, -1).phase_deg));
    EXPECT_TRUE(std::isnan(circuit_point(kBest1k, infinity).group_delay_s));
}

}  // namespace
}  // namespace kestrane
