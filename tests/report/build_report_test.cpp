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
    EXPECT_EQ(report.shown.R2, 30100.0);
    EXPECT_EQ(report.shown.C1, 15e-9);
    EXPECT_TRUE(report.warnings.empty());
    // mpmath of 10 k, 30.1 k, 15 nF, 5.6 nF: 1002.3095900431793 Hz and Q 0.70809330995016.
    EXPECT_NEAR(report.figures.cutoff_error_percent, 0.23095900431793282, 1e-12);
    EXPECT_NEAR(report.figures.q_error_percent, 0.13951623571702164, 1e-12);
    ASSERT_TRUE(report.ranges_made);
    // tests/tools/box_ranges.py 10000 30100 15e-9 5.6e-9 1 5: the ends hold these and are
    // within 2e-9 of them.
    EXPECT_NEAR(report.cutoff_range_hz.low, 942.90630365259727, 942.9 * 2e-9);
    EXPECT_LE(report.cutoff_range_hz.low, 942.90630365259727);
    EXPECT_NEAR(report.cutoff_range_hz.high, 1065.7199256174155, 1065.8 * 2e-9);
    EXPECT_GE(report.cutoff_range_hz.high, 1065.7199256174155);
    EXPECT_NEAR(report.q_range.low, 0.67013836012728849, 1e-9);
    EXPECT_NEAR(report.q_range.high, 0.74814190974485170, 1e-9);
    const PartsReport nearest = parts_report(design, {{e96, e12}, PartsMethod::nearest, {1, 5}});
    EXPECT_EQ(nearest.shown.R2, 10200.0f);
    const PartsReport no_ranges = parts_report(design, {{e96, e12}, PartsMethod::best, {100, 5}});
    EXPECT_TRUE(no_ranges.buildable);
    EXPECT_FALSE(no_ranges.ranges_made);
    EXPECT_EQ(no_ranges.yield.draws, 0);
}

TEST(PartsReport, TheRangeHoldsEverySetOfTrueStandardPartsInTolerance) {
    // The nearest E24/E6 set of 22.63 kHz with 125 kohm is 130 k, 130 k, 68 pF, 33 pF. At
    // 5 % and 10 %, R1 = R2 = 136.5 k, C1 = 61.2 pF, C2 = 36.3 pF is in tolerance; mpmath gives
    // it a cutoff of 22549.649712774125 Hz. A box around the floats nearest the parts (68 pF
    // held as 6.80000012e-11) began above it, at 22549.650791 Hz.
    PartsOptions options;
    options.method = PartsMethod::nearest;
    options.series = {e24, e6};
    options.tolerances = {5, 10};
    const PartsReport report = parts_report(design_filter(22.63, 125000), options);
    ASSERT_TRUE(report.ranges_made);
    EXPECT_EQ(report.shown.C1, 68e-12);
    EXPECT_LE(report.cutoff_range_hz.low, 22549.649712774125);
    EXPECT_GT(report.cutoff_range_hz.low, 22549.649712774125 * (1 - 2e-9));
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
    // 3.48e38, the nearer on a log scale beyond the float range but a double like any other.
    PartsOptions nearest_e48;
    nearest_e48.method = PartsMethod::nearest;
    nearest_e48.series = {e48, e48};
    const PartsReport beyond = parts_report(design_filter(1, 1e40), nearest_e48);
    EXPECT_TRUE(beyond.buildable);
    EXPECT_EQ(beyond.shown.R1, 3.48e38);
    ASSERT_FALSE(beyond.warnings.empty());
    EXPECT_EQ(beyond.warnings.back().kind, WarningKind::impractical_part);
    EXPECT_EQ(beyond.warnings.back().set, PartSet::shown);

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
