#include "kestrane/report/build_report.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrane {
namespace {

using enum PreferredSeries;

const CircuitParts kBest1k{10000, 30100, 15e-9f, 5.6e-9f};
const CircuitParts kReadmeSet{10000, 10200, 22e-9f, 12e-9f};

std::vector<WarningKind> kinds(const std::vector<BuildWarning>& warnings) {
    std::vector<WarningKind> k;
    for (const BuildWarning& w : warnings)
        k.push_back(w.kind);
    return k;
}

TEST(CutoffYield, SameCountsAsAnIndependentImplementation) {
    // python3: splitmix64 on Python integers from seed 0x6b65737472616e65, u from the top 53
    // bits, parts nominal (1 + t (2u - 1)) in R1, R2, C1, C2 order, the cutoff in Python
    // floats (IEEE doubles) by the same form of the root; 10000 builds against 1000 Hz.
    const struct {
        CircuitParts nominal;
        PartTolerances tolerances;
        int within[kYieldBands];
    } expected[] = {
        {kBest1k, {1, 5}, {2050, 4089, 9513}},
        {kBest1k, {5, 20}, {526, 1038, 2559}},
        {kReadmeSet, {1, 5}, {0, 50, 2573}},
    };
    for (const auto& e : expected) {
        const CutoffYield yield = cutoff_yield(e.nominal, e.tolerances, 1000);
        EXPECT_EQ(yield.draws, kYieldDraws);
        for (int band = 0; band < kYieldBands; ++band)
            EXPECT_EQ(yield.within[band], e.within[band]);
    }
    const CutoffYield exact = cutoff_yield(kBest1k, {0, 0}, 1000, kYieldSeed, 10);
    EXPECT_EQ(exact.within[0], 10);
    EXPECT_DOUBLE_EQ(exact.percent(0), 100);
}

TEST(PartsReport, OneKilohertzDesignWithTheBestSet) {
    const Design design = design_filter(1, 10000);
    const PartsReport report = parts_report(design, {{e96, e12}, PartsMethod::best, {1, 5}});
    ASSERT_TRUE(report.buildable);
    EXPECT_EQ(report.shown.R2, 30100.0f);
    EXPECT_TRUE(report.warnings.empty());
    // mpmath (see the circuit tests): 1002.3095866511797939 Hz and Q 0.70809329609909425807.
    EXPECT_NEAR(report.figures.cutoff_error_percent, 0.23095866511797939, 1e-12);
    EXPECT_NEAR(report.figures.q_error_percent, 0.13951427688068985, 1e-12);
    ASSERT_TRUE(report.ranges_made);
    // python3's independent search over the box (see the range tests' method).
    EXPECT_NEAR(report.cutoff_range_hz.low, 942.90629863077602, 942.9 * 2e-9);
    EXPECT_NEAR(report.cutoff_range_hz.high, 1065.7199220108219, 1065.8 * 2e-9);
    EXPECT_NEAR(report.q_range.low, 0.67013834701866373, 1e-9);
    EXPECT_NEAR(report.q_range.high, 0.74814189511039316, 1e-9);
    EXPECT_EQ(report.yield.within[2], 9513);

    const PartsReport nearest = parts_report(design, {{e96, e12}, PartsMethod::nearest, {1, 5}});
    EXPECT_EQ(nearest.shown.R2, 10200.0f);
    const PartsReport no_ranges = parts_report(design, {{e96, e12}, PartsMethod::best, {100, 5}});
    EXPECT_TRUE(no_ranges.buildable);
    EXPECT_FALSE(no_ranges.ranges_made);
    EXPECT_EQ(no_ranges.yield.draws, 0);
}

TEST(PartsReport, LowCutoffsMissOnTheRealCircuit) {
    // The design model evaluates whole hertz: a 5.5 Hz design is fitted at 5 Hz and a 12.5 Hz
    // one at 12 Hz, about 5/5.5 - 1 = -9.09 % and 12/12.5 - 1 = -4 % on the real circuit.
    const struct {
        double fc_khz, low_percent, high_percent;
    } cases[] = {{0.0055, -9.6, -8.6}, {0.0125, -4.5, -3.5}};
    for (const auto& c : cases) {
        const Design design = design_filter(c.fc_khz, 10000);
        const PartsReport report = parts_report(design, {});
        ASSERT_EQ(kinds(report.warnings), std::vector{WarningKind::misses_target});
        const BuildWarning& miss = report.warnings[0];
        EXPECT_GT(miss.cutoff_error_percent, c.low_percent);
        EXPECT_LT(miss.cutoff_error_percent, c.high_percent);
        EXPECT_TRUE(miss.whole_hertz);
        ASSERT_TRUE(design_warning(design));
        EXPECT_EQ(design_warning(design)->kind, WarningKind::misses_target);
        // The best set aims at the real target: within 1 %.
        ASSERT_TRUE(report.buildable);
        EXPECT_LT(std::fabs(report.figures.cutoff_error_percent), 1);
    }
    EXPECT_FALSE(design_warning(design_filter(1, 10000)));
}

TEST(PartsReport, NoCircuitToBuild) {
    // 1.5 Hz with 10 kohm: the search prints C1, nF: -2514.3.
    const Design negative_part = design_filter(0.0015, 10000);
    const PartsReport report = parts_report(negative_part, {});
    EXPECT_FALSE(report.buildable);
    ASSERT_EQ(kinds(report.warnings),
              (std::vector{WarningKind::nonpositive_part, WarningKind::no_circuit}));
    EXPECT_EQ(report.warnings[0].name, DesignValue::C1);
    EXPECT_LT(report.warnings[0].value, 0);
    ASSERT_TRUE(design_warning(negative_part));
    EXPECT_EQ(design_warning(negative_part)->kind, WarningKind::nonpositive_part);

    // A negative cutoff is designed as it stands, but there is nothing to build.
    const Design negative_input = design_filter(-1, 10000);
    const PartsReport negative = parts_report(negative_input, {});
    EXPECT_FALSE(negative.buildable);
    ASSERT_EQ(kinds(negative.warnings), std::vector{WarningKind::no_circuit});
    EXPECT_EQ(negative.warnings[0].name, DesignValue::cutoff);
    EXPECT_EQ(negative.warnings[0].value, -1);
    EXPECT_FALSE(design_warning(negative_input));

    // R1 = 3.4e38 ohm (the largest float, 3.40282e38) has the E48 neighbours 3.32e38 and
    // 3.48e38, the nearer on a log scale beyond the float range: the nearest set has no R1.
    PartsOptions nearest_e48;
    nearest_e48.method = PartsMethod::nearest;
    nearest_e48.series = {e48, e48};
    const PartsReport beyond = parts_report(design_filter(1, 1e40), nearest_e48);
    EXPECT_FALSE(beyond.buildable);
    ASSERT_FALSE(beyond.warnings.empty());
    EXPECT_EQ(beyond.warnings.back().kind, WarningKind::no_circuit);
    EXPECT_EQ(beyond.warnings.back().name, DesignValue::R1);
    EXPECT_EQ(beyond.warnings.back().set, PartSet::shown);
    EXPECT_TRUE(std::isinf(beyond.warnings.back().value));

    const PartsReport refused = parts_report(design_filter(1, 0), {});
    ASSERT_EQ(kinds(refused.warnings), std::vector{WarningKind::no_circuit});
    EXPECT_EQ(refused.warnings[0].name, DesignValue::R1);
}

TEST(PartsReport, PartsOutsidePracticalRanges) {
    // 50 ohm: R1 and the search's R2 (about 51 ohm) below 100 ohm, and the standard set's too.
    const PartsReport low_r = parts_report(design_filter(1, 50), {});
    int search_resistors = 0;
    int shown_resistors = 0;
    for (const BuildWarning& w : low_r.warnings) {
        ASSERT_EQ(w.kind, WarningKind::impractical_part);
        EXPECT_EQ(w.limit, kSmallestResistor);
        (w.set == PartSet::search ? search_resistors : shown_resistors) += 1;
    }
    EXPECT_EQ(search_resistors, 2);
    EXPECT_EQ(shown_resistors, 2);
    // 1 MHz with 100 kohm: capacitors of a few picofarads.
    const PartsReport low_c = parts_report(design_filter(1000, 100000), {});
    ASSERT_FALSE(low_c.warnings.empty());
    for (const BuildWarning& w : low_c.warnings) {
        EXPECT_EQ(w.kind, WarningKind::impractical_part);
        EXPECT_EQ(w.limit, kSmallestCapacitor);
        EXPECT_LT(w.value, 10e-12);
    }
}

}  // namespace
}  // namespace kestrane
