#include "kestrane/circuit/standard_sets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "kestrane/model/design.h"
#include "standard_set_search.h"

namespace kestrane {
namespace {

using enum PreferredSeries;

// The search's parts of the 1 kHz, 10 kohm design (the search's own tests hold them).
const FilterComponents kDesign1k{10000, 10253.1006f, 2.31319959e-08f, 1.11089999e-08f};

// Every set of `n` by `error_of`, in the opposite order to the searches' (C1 outermost, each
// list falling), with the same tie rule: the least error, then the smallest R2, C1, C2.
template <class Error>
BestSet exhaustive(const Neighbourhood& n, const Error& error_of) {
    BestSet best;
    best.error = INFINITY;
    for (std::size_t i = n.c1.count; i-- > 0;) {
        for (std::size_t j = n.c2.count; j-- > 0;) {
            for (std::size_t k = n.r2.count; k-- > 0;) {
                const CircuitParts set{n.r1, n.r2.value[k], n.c1.value[i], n.c2.value[j]};
                const double error = error_of(set);
                if (goes_before(error, set, best.error, best.parts)) {
                    best.error = error;
                    best.parts = set;
                }
            }
        }
    }
    best.found = true;
    return best;
}

BestSet exhaustive_best(const FilterComponents& search, double target_hz, SeriesPair series) {
    return exhaustive(neighbourhood(search, series),
                      [&](const CircuitParts& set) { return set_error(set, target_hz); });
}

void expect_same_set(const BestSet& actual, const BestSet& expected) {
    ASSERT_TRUE(actual.found);
    EXPECT_EQ(actual.error, expected.error);
    EXPECT_EQ(actual.parts.R1, expected.parts.R1);
    EXPECT_EQ(actual.parts.R2, expected.parts.R2);
    EXPECT_EQ(actual.parts.C1, expected.parts.C1);
    EXPECT_EQ(actual.parts.C2, expected.parts.C2);
}

TEST(BestStandardSet, OneKilohertzDesignAgainstAnIndependentExhaustiveSearch) {
    // python3: every set of the neighbourhood, ties by R2, C1, C2; the errors of these sets
    // by mpmath at 40 digits from the exact decimal parts (the quadratic formula for the
    // cutoff). Each part is the double nearest its decimal value: 15 nF, not the float near it.
    const struct {
        SeriesPair series;
        double r2, c1, c2;
        double error;
    } expected[] = {
        {{e96, e12}, 30100, 15e-9, 5.6e-9, 0.0023095900431793282},
        {{e6, e6}, 4700, 33e-9, 15e-9, 0.021731808857276227},
        {{e12, e12}, 18000, 18e-9, 8.2e-9, 0.019705843611452205},
        {{e24, e48}, 20000, 16.9e-9, 7.5e-9, 0.00074046659535134409},
        {{e192, e192}, 21500, 16.5e-9, 7.15e-9, 0.0006478905580550018},
    };
    for (const auto& e : expected) {
        const BestSet best = best_standard_set(kDesign1k, 1000, e.series);
        ASSERT_TRUE(best.found);
        EXPECT_EQ(best.parts.R1, 10000.0);
        EXPECT_EQ(best.parts.R2, e.r2);
        EXPECT_EQ(best.parts.C1, e.c1);
        EXPECT_EQ(best.parts.C2, e.c2);
        EXPECT_NEAR(best.error, e.error, 1e-14);
    }
    // Within 0.5 % on both the cutoff and Q, where nearest rounding misses by 7.3 %.
    const SetFigures figures =
        set_figures(best_standard_set(kDesign1k, 1000, {e96, e12}).parts, 1000);
    EXPECT_LT(std::fabs(figures.cutoff_error_percent), 0.5);
    EXPECT_LT(std::fabs(figures.q_error_percent), 0.5);
}

TEST(BestStandardSet, NoWorseThanEveryOtherSetOfTheNeighbourhood) {
    const SeriesPair pairs[] = {{e6, e6}, {e12, e12}, {e24, e6}, {e96, e12}, {e48, e24}};
    std::mt19937_64 random(0x70617274);
    std::uniform_real_distribution<double> fc_decades(-2, 2), r1_decades(2, 6);
    for (std::size_t i = 0; i < 12; ++i) {
        const Design design =
            design_filter(std::pow(10.0, fc_decades(random)), std::pow(10.0, r1_decades(random)));
        ASSERT_TRUE(design.made());
        const double target = design.targets.cutoff_hz;
        const SeriesPair series = pairs[i % std::size(pairs)];
        SCOPED_TRACE(target);
        expect_same_set(best_standard_set(design.components, target, series),
                        exhaustive_best(design.components, target, series));
    }
}

TEST(BestStandardSet, NoWorseThanEveryOtherSetInE192) {
    // About 14 million sets each.
    for (const double fc_khz : {0.0377, 12.5}) {
        const Design design = design_filter(fc_khz, 4700);
        const double target = design.targets.cutoff_hz;
        expect_same_set(best_standard_set(design.components, target, {e192, e192}),
                        exhaustive_best(design.components, target, {e192, e192}));
    }
}

TEST(BestStandardSet, SearchPartsFarFromTheTargetStillGiveTheOptimum) {
    // The 1 kHz parts against a 20 Hz target: no set of the neighbourhood comes within a
    // factor of 2, so the error is above 1, where the windows hold the whole neighbourhood.
    const BestSet best = best_standard_set(kDesign1k, 20, {e12, e6});
    expect_same_set(best, exhaustive_best(kDesign1k, 20, {e12, e6}));
    EXPECT_GT(best.error, 1);
}

// The exact parts of a stage of natural frequency f0 and quality factor q around resistors r:
// R1 = R2 = r, C1 = 2q / (w0 r), C2 = 1 / (2 q w0 r).
CircuitParts stage_parts(double f0, double q, double r) {
    const double w0r = 2 * std::numbers::pi * f0 * r;
    return {r, r, 2 * q / w0r, 1 / (2 * q * w0r)};
}

// Every set of best_stage_set's neighbourhood.
BestSet exhaustive_stage_set(const CircuitParts& exact, const StageTarget& target,
                             SeriesPair series) {
    return exhaustive(neighbourhood(exact, series),
                      [&](const CircuitParts& set) { return stage_set_error(set, target); });
}

TEST(BestStageSet, NoWorseThanEveryOtherSetOfTheNeighbourhoodFromQHalfTo35) {
    std::mt19937_64 random(0x73746167);
    std::uniform_real_distribution<double> f0_decades(0, 5), r_decades(3, 5.5);
    const SeriesPair pairs[] = {{e12, e12}, {e24, e6}, {e96, e24}, {e48, e12}, {e192, e96}};
    const double qs[] = {0.5, 0.5412, 0.7071, 1.3066, 3.5, 11.1, 35.9};
    for (std::size_t i = 0; i < std::size(qs); ++i) {
        const StageTarget target{std::pow(10.0, f0_decades(random)), qs[i]};
        const CircuitParts exact =
            stage_parts(target.natural_hz, target.q, std::pow(10.0, r_decades(random)));
        const SeriesPair series = pairs[i % std::size(pairs)];
        SCOPED_TRACE(target.q);
        const BestSet best = best_stage_set(exact, target, series);
        expect_same_set(best, exhaustive_stage_set(exact, target, series));
        // R1 is the resistor nearest to the exact one.
        EXPECT_EQ(best.parts.R1, nearest_member(exact.R1, series.resistors));
    }
}

TEST(BestStageSet, NoWorseThanEveryOtherSetInE192) {
    // About 14 million sets each: a low-Q and a high-Q stage.
    for (const StageTarget target : {StageTarget{377, 0.61}, StageTarget{12345, 8.2}}) {
        const CircuitParts exact = stage_parts(target.natural_hz, target.q, 4700);
        expect_same_set(best_stage_set(exact, target, {e192, e192}),
                        exhaustive_stage_set(exact, target, {e192, e192}));
    }
}

TEST(BestStageSet, ErrorIsOnNaturalFrequencyAndQAndNoSetWithoutACircuit) {
    // R1 = R2 = 10k, C1 = 20 nF, C2 = 5 nF has f0 = 1/(2 pi 10k 10n) = 1591.549 Hz and
    // Q = sqrt(R1 R2 C1 C2) / (C2 (R1 + R2)) = 1.
    const CircuitParts set{10000, 10000, 20e-9, 5e-9};
    EXPECT_NEAR(stage_set_error(set, {1591.5494309189535, 1.25}), 0.2, 1e-15);
    EXPECT_NEAR(stage_set_error(set, {1591.5494309189535 * 2, 1}), 0.5, 1e-15);
    EXPECT_FALSE(best_stage_set(set, {0, 1}, {e12, e12}).found);
    EXPECT_FALSE(best_stage_set(set, {1000, NAN}, {e12, e12}).found);
    EXPECT_FALSE(best_stage_set({10000, -1, 1e-9, 1e-9}, {1000, 1}, {e12, e12}).found);
}

TEST(BestStandardSet, NoSetWithoutACircuit) {
    const FilterComponents negative{10000, 10000, -2.5143e-6f, 7.33311e-6f};
    EXPECT_FALSE(best_standard_set(negative, 1.5, {e96, e12}).found);
    EXPECT_FALSE(best_standard_set(kDesign1k, 0, {e96, e12}).found);
    EXPECT_FALSE(best_standard_set(kDesign1k, NAN, {e96, e12}).found);
    EXPECT_FALSE(shown_set(negative, 1.5, PartsMethod::nearest, {e96, e12}));
    EXPECT_FALSE(shown_set(kDesign1k, -1000, PartsMethod::best, {e96, e12}));
}

TEST(ShownSet, EachMethodGivesItsSet) {
    // Nearest on a log scale, each part alone: E96 near 10.25 kohm are 10.2 and 10.5
    // (midpoint sqrt(10.2 * 10.5) = 10.349); E12 near 23.13 nF are 22 and 27 (midpoint
    // 24.372), near 11.109 nF 10 and 12 (midpoint sqrt(120) = 10.954).
    const std::optional<CircuitParts> nearest =
        shown_set(kDesign1k, 1000, PartsMethod::nearest, {e96, e12});
    ASSERT_TRUE(nearest);
    EXPECT_EQ(nearest->R1, 10000.0);
    EXPECT_EQ(nearest->R2, 10200.0);
    EXPECT_EQ(nearest->C1, 22e-9);
    EXPECT_EQ(nearest->C2, 12e-9);
    const std::optional<CircuitParts> best =
        shown_set(kDesign1k, 1000, PartsMethod::best, {e96, e12});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->R2, 30100.0);
}

TEST(PreferredMembers, RangesOfMembersAsTheDoublesNearestThem) {
    double members[32];
    // 1 nF to 10 nF in E12: twelve members and 10 nF itself, the bounds included: each member
    // is the double nearest its decimal value, as the bounds are (the float nearest 1 nF,
    // 9.99999972e-10, lay below the bound).
    ASSERT_EQ(preferred_members(e12, 1e-9, 1e-8, members), 13u);
    EXPECT_EQ(members[0], 1e-9);
    EXPECT_EQ(members[5], 2.7e-9);
    EXPECT_EQ(members[12], 1e-8);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(nearest_preferred(static_cast<float>(members[i]), e12), members[i]);
    // Bounds between members; more members than room.
    ASSERT_EQ(preferred_members(e6, 1.6, 460, members), 14u);
    EXPECT_EQ(members[0], 2.2);
    EXPECT_EQ(members[13], 330.0);
    double few[2];
    EXPECT_EQ(preferred_members(e192, 100, 1000, few), 193u);
    EXPECT_EQ(few[1], 101.0);
    EXPECT_EQ(preferred_members(e6, 0, 10, members), 0u);
    EXPECT_EQ(preferred_members(e6, 10, 1, members), 0u);
    EXPECT_EQ(preferred_members(e6, 1, INFINITY, members), 0u);
}

}  // namespace
}  // namespace kestrane
