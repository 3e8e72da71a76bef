#include "kestrane/model/response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "reference_model.h"
#include "response_model.h"

namespace kestrane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(WholeHz, TruncatesTowardZeroAndKeepsLow32Bits) {
    EXPECT_EQ(whole_hz(1.9), 1);
    EXPECT_EQ(whole_hz(-1.9), -1);
    EXPECT_EQ(whole_hz(0.999), 0);
    EXPECT_EQ(whole_hz(2147483647.0), 2147483647);
    EXPECT_EQ(whole_hz(2147483648.0), INT32_MIN);
    EXPECT_EQ(whole_hz(4294967296.0 + 5), 5);
    EXPECT_EQ(whole_hz(-4294967296.0 - 5), -5);
    EXPECT_EQ(whole_hz(9223372036854774784.0), -1024);  // 2^63 - 1024: low bits 0xFFFFFC00
}

TEST(WholeHz, OutOfRangeAndNotFiniteGiveZero) {
    EXPECT_EQ(whole_hz(9223372036854775808.0), 0);  // 2^63
    EXPECT_EQ(whole_hz(-9223372036854775808.0), 0);
    EXPECT_EQ(whole_hz(1e300), 0);
    EXPECT_EQ(whole_hz(kInf), 0);
    EXPECT_EQ(whole_hz(-kInf), 0);
    EXPECT_EQ(whole_hz(kNan), 0);
}

TEST(Single, RoundsAsIeeeWithInfinitiesBeyondTheRange) {
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr double kHalfUlpAboveMax = 0x1.ffffffp+127;  // the tie between kMax and 2^128
    EXPECT_EQ(to_single(0.1), 0.1f);
    EXPECT_EQ(to_single(std::nextafter(kHalfUlpAboveMax, 0.0)), kMax);
    EXPECT_EQ(to_single(kHalfUlpAboveMax), std::numeric_limits<float>::infinity());
    EXPECT_EQ(to_single(-1e300), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(to_single(kNan)));
}

TEST(Single, ClampsKeepTheSignAtTheRangeEnds) {
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr float kMin = std::numeric_limits<float>::min();
    EXPECT_EQ(to_single_clamped(1e40), kMax);
    EXPECT_EQ(to_single_clamped(-1e40), -kMax);
    EXPECT_EQ(to_single_clamped(kInf), kMax);
    EXPECT_EQ(to_single_clamped(-kInf), -kMax);
    EXPECT_EQ(to_single_clamped(1e-40), kMin);
    EXPECT_EQ(to_single_clamped(-1e-40), -kMin);
    EXPECT_EQ(to_single_clamped(1e-300), kMin);
    EXPECT_EQ(to_single_clamped(0.0), 0.0f);
    EXPECT_EQ(to_single_clamped(98730.25), 98730.25f);
    EXPECT_EQ(to_single_clamped(0.1), 0.1f);  // rounds to nearest in between
}

const FilterComponents kStart1k{10000, 10000, 22e-9f, 11e-9f};

TEST(Response, ZeroHertzIsUnityGainAndNoPhase) {
    const FilterComponents sets[] = {kStart1k, {1, 1, 1, -1}, {-5, 3, -2e-9f, 0}, {0, 0, 0, 0}};
    for (const auto& k : sets) {
        EXPECT_EQ(magnitude_at(k, 0), 1.0);
        EXPECT_EQ(phase_at(k, 0), 0.0);
    }
}

TEST(Response, PhaseChangesSignAtTheNaturalFrequency) {
    // Natural frequency 1/(2 pi sqrt(R1 R2 C1 C2)) = 1023.09 Hz for these parts.
    EXPECT_NEAR(magnitude_at(kStart1k, 1000), 0.72306, 1e-5);
    EXPECT_NEAR(phase_at(kStart1k, 1000), 1.53852, 1e-5);
    EXPECT_NEAR(phase_at(kStart1k, 1030), -1.56128, 1e-5);
    EXPECT_GT(phase_at(kStart1k, 1023), 0);
    EXPECT_LT(phase_at(kStart1k, 1024), 0);
}

TEST(Targets, OneKilohertz) {
    const DesignTargets t = make_targets(1);
    EXPECT_EQ(t.cutoff_hz, 1000.0f);
    EXPECT_EQ(t.flat_top_hz, 333.3333435058594f);  // single(1000 * 0.33333334f)
    EXPECT_EQ(t.probe_hz, 500000.0f);
}

TEST(Targets, FlatTopIsFormedBeforeTheCutoffIsRounded) {
    // 0.1f * 1000 = 100.0000014901161: the cutoff rounds to 100, but the flat top is taken
    // from the unrounded product, single(33.333334 + 5e-7) = 33.33333587646484.
    const DesignTargets t = make_targets(0.1f);
    EXPECT_EQ(t.cutoff_hz, 100.0f);
    EXPECT_EQ(t.flat_top_hz, 33.33333587646484f);
}

TEST(StartingPoint, OneKilohertzTenKiloohm) {
    const FilterComponents k = starting_point(10000, make_targets(1));
    EXPECT_EQ(k.R1, 10000.0f);
    EXPECT_EQ(k.R2, 10000.0f);
    EXPECT_EQ(k.C1, 2.2e-8f);
    EXPECT_EQ(k.C2, 1.1e-8f);
    EXPECT_TRUE(is_finite_design(k));
}

TEST(StartingPoint, NotFiniteForZeroOrTinyProducts) {
    EXPECT_FALSE(is_finite_design(starting_point(0, make_targets(1))));
    EXPECT_FALSE(is_finite_design(starting_point(10000, make_targets(0))));
    EXPECT_FALSE(is_finite_design(starting_point(1e-30f, make_targets(1e-30f))));
    // An infinite cutoff gives zero capacitors, which are finite.
    EXPECT_TRUE(is_finite_design(starting_point(10000, make_targets(1e36f))));
    EXPECT_TRUE(is_finite_design(starting_point(-10000, make_targets(-1))));
}

TEST(Objective, FrequenciesRunFromTheFlatTopDownToAboveHalfOfIt) {
    const ObjectiveFrequencies f = objective_frequencies(make_targets(1));
    EXPECT_EQ(f.flatness_hz[0], 333);
    EXPECT_EQ(f.flatness_hz[1], 325);  // 0.975 * 333.33334
    EXPECT_EQ(f.flatness_hz[19], 175);
    EXPECT_EQ(f.cutoff_hz, 1000);
}

TEST(Objective, MatchesTheReferenceAndIsNotRoundedAtTheEnd) {
    // The 1 kHz, 10 kohm start: flatness sum 0.045903220772743225 and cutoff term
    // 0.015958568081259727, both single-precision values, whose sum in double precision is no
    // single-precision value (rounded, it would be 0.0618617907166481). Worked out in Python:
    // its floats for the doubles, struct for single precision, mpmath to 200 bits for |H|.
    const DesignTargets t = make_targets(1);
    const FilterComponents k = starting_point(10000, t);
    const double j = flatness_objective(k, t);
    EXPECT_EQ(j, 0.06186178885400295);
    EXPECT_NE(j, static_cast<double>(to_single(j)));
    EXPECT_EQ(j, reference::flatness_objective(k, t));
}

TEST(Objective, BelowOneHertzOnlyTheCutoffTermCounts) {
    // A 0.002 kHz cutoff puts the flat top at 0.67 Hz: every flatness point is at 0 Hz.
    const DesignTargets t = make_targets(0.002f);
    const FilterComponents k{10000, 10000, 1e-5f, 5e-6f};
    const double cutoff_term = std::fabs(static_cast<float>(0.7071 - magnitude_at(k, 2)));
    EXPECT_EQ(flatness_objective(k, t), cutoff_term);
}

}  // namespace
}  // namespace kestrane
