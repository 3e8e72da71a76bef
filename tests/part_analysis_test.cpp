#include "part_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "response.h"

namespace kestrane {
namespace {

// The refined components of the 1 kHz, 10 kohm design, and the same design in E96
// resistors and E12 capacitors.
const FilterComponents kDesign1k{10000, 10253.1006f, 2.31319959e-08f, 1.11089999e-08f};
const FilterComponents kStandard1k{10000, 10200, 22e-9f, 12e-9f};
const PartTolerances kOneAndFivePercent{1, 5};

// The expected cutoffs below come from a python3 (mpmath, 40 digits) bisection to 200
// halvings on the gain ((1 - P f^2 39.478)^2 + C2^2 S^2 f^2 39.478)^-0.5 = 0.7071, with the
// parts taken as the exact values of their floats; the tolerance corners likewise, each part
// rounded to float from its double product with (1 +- t/100).
void expect_cutoff(const FilterComponents& parts, double expected_hz) {
    const AchievedCutoff cutoff = achieved_cutoff(parts);
    ASSERT_TRUE(cutoff.found);
    EXPECT_NEAR(cutoff.hertz, expected_hz, 1e-13 * expected_hz);
}

TEST(StandardParts, OneKilohertzDesignInE96ResistorsAndE12Capacitors) {
    // E96 near 10.25: 10.2 and 10.5 (midpoint 10.349); E12 near 23.13 nF: 22 and 27, and near
    // 11.109 nF: 10 and 12 (midpoint sqrt(120) = 10.954).
    const FilterComponents parts =
        standard_parts(kDesign1k, PreferredSeries::e96, PreferredSeries::e12);
    EXPECT_EQ(parts.R1, 10000.0f);
    EXPECT_EQ(parts.R2, 10200.0f);
    EXPECT_EQ(parts.C1, 22e-9f);
    EXPECT_EQ(parts.C2, 12e-9f);
}

TEST(AchievedCutoff, OneKilohertzDesignExactAndInStandardParts) {
    expect_cutoff(kDesign1k, 999.99992392353118367);
    expect_cutoff(kStandard1k, 926.80468628137978974);
}

TEST(AchievedCutoff, NegativeAndZeroPartsAreComputedAsTheyStand) {
    // The starting point of a -1 kHz design: P > 0, C2 (R1 + R2) < 0.
    expect_cutoff({10000, 10000, -22e-9f, -11e-9f}, 1023.1019435334704145);
    // C1 = 0 leaves a first-order filter: f = sqrt(c / b), c = 1/0.7071^2 - 1,
    // b = (C2 (R1 + R2))^2 * 39.478, about 1e-6 * 39.478.
    expect_cutoff({5000, 5000, 0, 1e-7f}, 159.15883564968897744);
}

TEST(AchievedCutoff, NoneWhereTheGainNeverFallsOrAPartIsNotFinite) {
    const float infinity = std::numeric_limits<float>::infinity();
    const FilterComponents no_cutoff[] = {
        {0, 0, 0, 0},                           // gain 1 everywhere
        {10000, 10000, 22e-9f, 0},              // C2 = 0: P = 0 and C2 S = 0
        {10000, -10000, 22e-9f, 0},             // S = 0 as well
        {10000, 10000, std::nanf(""), 11e-9f},  // not a number
        {infinity, 10000, 22e-9f, 11e-9f},
    };
    for (const FilterComponents& parts : no_cutoff) {
        EXPECT_FALSE(achieved_cutoff(parts).found) << parts.R1 << " " << parts.C1;
    }
}

TEST(AchievedCutoff, HoldsAcrossTheWholeFloatRange) {
    // Multiplying the resistors by 2^r and the capacitors by 2^c multiplies P and C2 S by
    // 2^(2r + 2c) and 2^(r + c) exactly, and divides the cutoff by 2^(r + c).
    const int scalings[][2] = {{114, 150}, {-135, -96}, {114, -96}, {-135, 150}, {0, 0}};
    for (const auto& [r, c] : scalings) {
        const FilterComponents scaled{std::ldexp(kDesign1k.R1, r), std::ldexp(kDesign1k.R2, r),
                                      std::ldexp(kDesign1k.C1, c), std::ldexp(kDesign1k.C2, c)};
        expect_cutoff(scaled, std::ldexp(999.99992392353118367, -(r + c)));
    }
    // All four parts equal to X: the cutoff of unit parts, 0.10243342539688554338 Hz, over X^2.
    const float largest = std::numeric_limits<float>::max();
    const float smallest = std::numeric_limits<float>::denorm_min();
    expect_cutoff({largest, largest, largest, largest}, 8.84632432859596303127691e-79);
    expect_cutoff({smallest, smallest, smallest, smallest}, 5.216514317815762144825931e+88);
}

TEST(AnalyseParts, FiguresOfTheExactAndTheStandardDesign) {
    const DesignTargets targets = make_targets(1);
    const PartsAnalysis exact = analyse_parts(kDesign1k, targets);
    const PartsAnalysis standard = analyse_parts(kStandard1k, targets);
    EXPECT_NEAR(exact.cutoff_error_percent, -7.607646881633e-6, 1e-12);
    EXPECT_NEAR(standard.cutoff_error_percent, -7.3195313718620210264, 1e-12);
    EXPECT_EQ(exact.passband_edge_hz, 300.0f);
    // The search leaves the exact parts at a minimum of the objective; rounding leaves it.
    EXPECT_GT(standard.objective, 10 * exact.objective);
}

TEST(AnalyseParts, PartsThatAreNotFiniteHaveNoFigures) {
    const PartsAnalysis analysis =
        analyse_parts({10000, std::nanf(""), 22e-9f, 11e-9f}, make_targets(1));
    EXPECT_FALSE(analysis.cutoff.found);
    EXPECT_TRUE(std::isnan(analysis.passband_edge_hz));
    EXPECT_TRUE(std::isnan(analysis.objective));
}

TEST(Tolerances, CutoffRangeOverTheCorners) {
    const CutoffRange range = cutoff_range(kStandard1k, kOneAndFivePercent);
    ASSERT_TRUE(range.found);
    EXPECT_NEAR(range.lowest_hz, 868.07153332880386216, 1e-10);
    EXPECT_NEAR(range.highest_hz, 987.26069175207720946, 1e-10);

    const CutoffRange none = cutoff_range(kStandard1k, {0, 0});
    ASSERT_TRUE(none.found);
    EXPECT_EQ(none.lowest_hz, achieved_cutoff(kStandard1k).hertz);
    EXPECT_EQ(none.highest_hz, none.lowest_hz);
    // At 100 % the low corners have capacitors of 0, and some corners no cutoff at all.
    EXPECT_FALSE(cutoff_range(kStandard1k, {0, 100}).found);
}

TEST(Tolerances, CornersBeyondTheFloatRangeAreInfinite) {
    // 1.05 * 3.40282e38 is past the float range; 0.95 times it is not.
    const float largest = std::numeric_limits<float>::max();
    const float infinity = std::numeric_limits<float>::infinity();
    const ToleranceCorners corners = tolerance_corners({largest, -largest, 1e-9f, 1e-9f}, {5, 5});
    EXPECT_EQ(corners.corner[0].R1, static_cast<float>(0.95 * largest));
    EXPECT_EQ(corners.corner[0].R2, static_cast<float>(-0.95 * largest));
    EXPECT_EQ(corners.corner[3].R1, infinity);
    EXPECT_EQ(corners.corner[3].R2, -infinity);
    EXPECT_FALSE(cutoff_range({largest, largest, 1e-9f, 1e-9f}, {5, 5}).found);
}

}  // namespace
}  // namespace kestrane
