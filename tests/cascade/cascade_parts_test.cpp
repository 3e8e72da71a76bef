// Standard parts for a cascade and what its tolerances allow, checked in C++: each stage's best
// set against every set of its neighbourhood, the figures against properties of the families,
// the warnings, the first-order band against a dense sweep and the build cutoffs against the
// cascade's own. cascade_parts_reference.py checks the ranges and bands with drawn and
// cornered builds and an optimiser, and the yield with its own generator and roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "kestrane/cascade/cascade_parts.h"
#include "kestrane/cascade/cascade_tolerance.h"
#include "kestrane/circuit/practical_parts.h"

namespace kestrane {
namespace {

using enum PreferredSeries;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::vector<double> members(PreferredSeries series, double low, double high) {
    std::vector<double> list(400);
    list.resize(preferred_members(series, low, high, list));
    return list;
}

// Every set of a second-order stage's neighbourhood, with the tie order spelled out.
StageCircuit exhaustive_second_order(const Stage& stage, double r, SeriesPair series) {
    const StageParts e = exact_stage_parts(stage, r);
    const double r1 = nearest_member(r, series.resistors);
    double best_error = kInfinity;
    CircuitParts best;
    for (const double r2 : members(series.resistors, e.R2 / 5, e.R2 * 5)) {
        for (const double c1 : members(series.capacitors, e.C1 / 4, e.C1 * 4)) {
            for (const double c2 : members(series.capacitors, e.C2 / 4, e.C2 * 4)) {
                const CircuitParts set{r1, r2, c1, c2};
                const double error = stage_set_error(set, {stage.f0_hz, stage.q});
                const auto key = std::tie(error, r2, c1, c2);
                if (key < std::tie(best_error, best.R2, best.C1, best.C2)) {
                    best_error = error;
                    best = set;
                }
            }
        }
    }
    return {2, best};
}

// Every pair of a first-order stage's neighbourhood. The error depends on R C alone; products
// equal as decimals (22k with 1 nF, 220k with 100 pF) are ties, decided for the smaller R.
FirstOrderSet exhaustive_first_order(double r, double c, double target, SeriesPair series) {
    FirstOrderSet best{true, 0, 0, kInfinity};
    double best_product = 0;
    for (const double rr : members(series.resistors, r / 5, r * 5)) {
        for (const double cc : members(series.capacitors, c / 4, c * 4)) {
            const double product = rr * cc;
            const double error = std::fabs(1 / (2 * std::numbers::pi * product) / target - 1);
            const bool same = std::fabs(product / best_product - 1) < 1e-9;
            if (same ? rr < best.R : error < best.error) {
                best = {true, rr, cc, error};
                best_product = product;
            }
        }
    }
    return best;
}

TEST(CascadeStandardParts, EveryStageIsTheBestOfItsNeighbourhood) {
    // Q from 0.52 (Bessel) to 35.9 (Chebyshev of 3 dB at order 10).
    const struct {
        CascadeRequest request;
        double cutoff_hz, r;
        SeriesPair series;
    } cases[] = {
        {{Response::chebyshev, 10, 3.0}, 1000, 10000, {e12, e12}},
        {{Response::bessel, 5}, 3.3e4, 4700, {e96, e24}},
        {{Response::butterworth, 8}, 47, 22000, {e24, e48}},
        {{Response::chebyshev, 7, 0.5, ChebyshevEdge::ripple_edge}, 250, 1000, {e6, e6}},
    };
    for (const auto& c : cases) {
        const CascadeDesign design = design_cascade(c.request, c.cutoff_hz);
        const CascadeCircuit built = standard_cascade(design, c.r, PartsMethod::best, c.series);
        ASSERT_EQ(built.stage_count, design.stage_count);
        for (int k = 0; k < design.stage_count; ++k) {
            SCOPED_TRACE(design.stages[k].q);
            const StageCircuit& got = built.stages[k];
            if (design.stages[k].order == 1) {
                const StageParts e = exact_stage_parts(design.stages[k], c.r);
                const FirstOrderSet want =
                    exhaustive_first_order(e.R1, e.C1, design.stages[k].f0_hz, c.series);
                EXPECT_EQ(got.parts.R1, want.R);
                EXPECT_EQ(got.parts.C1, want.C);
                continue;
            }
            const StageCircuit want = exhaustive_second_order(design.stages[k], c.r, c.series);
            EXPECT_EQ(got.parts.R1, want.parts.R1);
            EXPECT_EQ(got.parts.R2, want.parts.R2);
            EXPECT_EQ(got.parts.C1, want.parts.C1);
            EXPECT_EQ(got.parts.C2, want.parts.C2);
        }
    }
}

TEST(CascadeStandardParts, FirstOrderSetIsTheBestPairAndNearestRoundsEachPart) {
    std::mt19937_64 random(0x66697273);
    std::uniform_real_distribution<double> decades(0, 5), r_decades(2, 6);
    for (const SeriesPair series : {SeriesPair{e6, e6}, SeriesPair{e24, e12}, {e192, e192}}) {
        for (int i = 0; i < 6; ++i) {
            const double target = std::pow(10.0, decades(random));
            const double r = std::pow(10.0, r_decades(random));
            const double c = 1 / (2 * std::numbers::pi * target * r) * (1 + 0.3 * (i - 3) / 3.0);
            const FirstOrderSet got = best_first_order_set(r, c, target, series);
            const FirstOrderSet want = exhaustive_first_order(r, c, target, series);
            ASSERT_TRUE(got.found);
            EXPECT_EQ(got.R, want.R);
            EXPECT_EQ(got.C, want.C);
        }
    }
    // A 1 kHz Butterworth stage on 10 kohm: C1 = sqrt(2) / (2 pi 1000 10k) = 22.508 nF and
    // C2 = 11.254 nF; nearest in E12 are 22 nF (midpoint with 27: 24.37) and 12 nF (midpoint
    // with 10: 10.95).
    const CascadeDesign design = design_cascade({Response::butterworth, 2}, 1000);
    const StageCircuit nearest = nearest_stage_parts(design.stages[0], 10000, {e96, e12});
    EXPECT_EQ(nearest.parts.R1, 10000.0);
    EXPECT_EQ(nearest.parts.R2, 10000.0);
    EXPECT_EQ(nearest.parts.C1, 22e-9);
    EXPECT_EQ(nearest.parts.C2, 12e-9);
    EXPECT_FALSE(best_first_order_set(1000, -1e-9, 1000, {e12, e12}).found);
    EXPECT_EQ(standard_cascade(design, NAN, PartsMethod::best, {e12, e12}).stage_count, 0);
}

TEST(CascadeFigures, ExactPartsHitTheirTargetsAndAChebyshevItsRipple) {
    for (const double ripple : {0.1, 1.0, 3.0}) {
        for (const int order : {2, 5, 8}) {
            const CascadeDesign design = design_cascade({Response::chebyshev, order, ripple}, 2000);
            const CascadeCircuit exact = cascade_circuit(design, 10000);
            const CascadeFigures f = cascade_figures(design, stages_of(exact));
            ASSERT_EQ(f.stage_count, design.stage_count);
            for (int k = 0; k < f.stage_count; ++k) {
                EXPECT_NEAR(f.stages[k].f0_error_percent, 0, 1e-10);
                if (f.stages[k].order == 2) {
                    EXPECT_NEAR(f.stages[k].q_error_percent, 0, 1e-10);
                }
            }
            EXPECT_NEAR(f.cutoff_error_percent, 0, 1e-9);
            // The gain between 0 Hz and the ripple edge swings by the ripple, by definition.
            EXPECT_NEAR(f.ripple_db, ripple, 1e-9) << order;
        }
    }
    const CascadeDesign bessel = design_cascade({Response::bessel, 4}, 2000);
    EXPECT_TRUE(
        std::isnan(cascade_figures(bessel, stages_of(cascade_circuit(bessel, 1e4))).ripple_db));
}

TEST(CascadeFigures, BuiltRippleIsTheDenseSwingOverThePassband) {
    const CascadeDesign design = design_cascade({Response::chebyshev, 6, 0.5}, 1000);
    const CascadeParts parts = cascade_parts(design, 10000, PartsMethod::nearest, {e24, e6}, {});
    ASSERT_TRUE(parts.buildable);
    Stage stages[kMaxStages];
    for (int k = 0; k < design.stage_count; ++k)
        stages[k] = built_stage(parts.shown.stages[k]);
    const std::span<const Stage> built{stages, static_cast<std::size_t>(design.stage_count)};
    const double edge = cascade_cutoff_hz(stages_of(design), {CutoffLevel::ripple_edge, 0.5});
    double least = 1, greatest = 1;
    for (int i = 0; i <= 200000; ++i) {
        const double hz = edge * i / 200000.0;
        const double gain = cascade_point(built, hz).gain;
        least = std::min(least, gain);
        greatest = std::max(greatest, gain);
    }
    const double dense_db = 20 * std::log10(greatest / least);
    EXPECT_GE(parts.figures.ripple_db, dense_db - 1e-12);
    EXPECT_NEAR(parts.figures.ripple_db, dense_db, 1e-6);
    EXPECT_GT(parts.figures.ripple_db, 0.5);  // nearest E6 capacitors do not keep 0.5 dB
}

TEST(CascadeWarnings, RatiosAboveAHundredAndPartsOutsideTheirRanges) {
    // Chebyshev of 3 dB at order 10: Q 1.03, 2.94, 5.70, 11.1, 35.9 (scipy's cheby1 poles), so
    // 4 Q^2 exceeds 100 at stages 3 to 5.
    const CascadeDesign design = design_cascade({Response::chebyshev, 10, 3.0}, 1000);
    CascadeParts parts = cascade_parts(design, 10000, PartsMethod::best, {e96, e24}, {});
    std::vector<int> ratio_stages;
    for (const StageWarning& w : parts.warnings.list()) {
        ASSERT_EQ(w.kind, StageWarningKind::ratio_above_limit);
        EXPECT_EQ(w.limit, kLargestCapacitorRatio);
        ratio_stages.push_back(w.stage);
    }
    EXPECT_EQ(ratio_stages, (std::vector<int>{3, 4, 5}));
    // 47 ohm at 1 kHz: every resistor is below 100 ohm, exact and standard (E12's 47 ohm);
    // each stage's R1 and R2 then the same for the set, after the ratio warnings.
    const CascadeDesign butterworth = design_cascade({Response::butterworth, 3}, 1000);
    parts = cascade_parts(butterworth, 47, PartsMethod::nearest, {e12, e12}, {});
    std::vector<std::array<int, 3>> named;
    for (const StageWarning& w : parts.warnings.list()) {
        EXPECT_EQ(w.kind, StageWarningKind::impractical_part);
        EXPECT_EQ(w.limit, kSmallestResistor);
        named.push_back({w.stage, static_cast<int>(w.part), static_cast<int>(w.set)});
    }
    const std::vector<std::array<int, 3>> expected{{1, 0, 0}, {2, 0, 0}, {2, 1, 0},
                                                   {1, 0, 1}, {2, 0, 1}, {2, 1, 1}};
    EXPECT_EQ(named, expected);
    // 1 Mohm at 100 kHz: C = 1/(2 pi 100k 1M) = 1.6 pF, below 10 pF.
    parts = cascade_parts(design_cascade({Response::butterworth, 1}, 1e5), 1e6, PartsMethod::best,
                          {e12, e12}, {});
    ASSERT_EQ(parts.warnings.count, 2);
    EXPECT_EQ(parts.warnings.warning[0].part, StagePart::C1);
    EXPECT_EQ(parts.warnings.warning[0].limit, kSmallestCapacitor);
}

TEST(CascadeWarnings, RatioOutOfTheCapacitorsReach) {
    // An exact circuit with C1 = C2 = 10 nF for a stage of Q 5 needs C1/C2 = 100; E12 members
    // from 2.5 nF to 40 nF reach at most 39/2.7 = 14.44.
    const CascadeDesign design = design_cascade({Response::chebyshev, 2, 3.0}, 1000);
    CascadeDesign q5 = design;
    q5.stages[0].q = 5;
    CascadeCircuit exact;
    exact.stage_count = 1;
    exact.stages[0] = {2, {10000, 10000, 10e-9, 10e-9}};
    const StageWarnings w = stage_warnings(q5, exact, {}, {e12, e12});
    ASSERT_EQ(w.count, 1);
    EXPECT_EQ(w.warning[0].kind, StageWarningKind::ratio_out_of_reach);
    EXPECT_EQ(w.warning[0].stage, 1);
    EXPECT_NEAR(w.warning[0].value, 100, 1e-12);
    EXPECT_NEAR(w.warning[0].limit, 39.0 / 2.7, 1e-12);
}

// --- Tolerances ---

// Builds of `nominal` with every part drawn within `t`.
std::vector<CascadeCircuit> random_builds(const CascadeCircuit& nominal, PartTolerances t,
                                          int count) {
    std::mt19937_64 random(0x6275696c);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<CascadeCircuit> builds;
    for (int i = 0; i < count; ++i) {
        CascadeCircuit b = nominal;
        for (int k = 0; k < b.stage_count; ++k) {
            CircuitParts& p = b.stages[k].parts;
            for (double* part : {&p.R1, &p.R2})
                *part *= 1 + u(random) * t.resistor_percent / 100;
            for (double* part : {&p.C1, &p.C2})
                *part *= 1 + u(random) * t.capacitor_percent / 100;
        }
        builds.push_back(b);
    }
    return builds;
}

struct ToleranceCase {
    CascadeRequest request;
    SeriesPair series;
    PartTolerances tolerances;
};

const ToleranceCase kToleranceCases[] = {
    {{Response::butterworth, 4}, {e96, e12}, {1, 5}},
    {{Response::chebyshev, 5, 0.5}, {e96, e24}, {1, 2}},
    {{Response::linkwitz_riley, 4}, {e24, e12}, {2, 5}},
    {{Response::chebyshev, 6, 1.0, ChebyshevEdge::ripple_edge}, {e96, e24}, {0.5, 1}},
    {{Response::bessel, 3}, {e192, e192}, {1, 1}},
};

TEST(CascadeTolerances, FirstOrderBandAgainstADenseSweepOfRC) {
    const ToleranceBox box = tolerance_box({10000, 10000, 15e-9, 15e-9}, {5, 10});
    for (const double hz : {100.0, 1061.0, 1100.0, 1300.0, 1e5}) {
        const ResponseBand band = first_order_band(box, hz);
        const double w = 2 * std::numbers::pi * hz;
        double low[3] = {kInfinity, kInfinity, kInfinity};
        double high[3] = {-kInfinity, -kInfinity, -kInfinity};
        for (int i = 0; i <= 64; ++i) {
            for (int j = 0; j <= 64; ++j) {
                const double r = box.low.R1 + (box.high.R1 - box.low.R1) * i / 64;
                const double c = box.low.C1 + (box.high.C1 - box.low.C1) * j / 64;
                const double x = w * r * c;
                const double v[3] = {1 / std::sqrt(1 + x * x),
                                     -std::atan(x) * 180 / std::numbers::pi, x / w / (1 + x * x)};
                for (int k = 0; k < 3; ++k) {
                    low[k] = std::min(low[k], v[k]);
                    high[k] = std::max(high[k], v[k]);
                }
            }
        }
        const ValueRange* got[3] = {&band.gain, &band.phase_deg, &band.group_delay_s};
        for (int j = 0; j < 3; ++j) {
            EXPECT_LE(got[j]->low, low[j]);
            EXPECT_GE(got[j]->high, high[j]);
            EXPECT_NEAR(got[j]->low, low[j], 1e-5 * std::fabs(low[j])) << hz << " " << j;
            EXPECT_NEAR(got[j]->high, high[j], 1e-5 * std::fabs(high[j])) << hz << " " << j;
        }
    }
}

TEST(CascadeTolerances, NoToleranceGivesTheShownSetsOwnCutoff) {
    for (const ToleranceCase& c : kToleranceCases) {
        const CascadeDesign design = design_cascade(c.request, 1000);
        const CascadeParts parts =
            cascade_parts(design, 10000, PartsMethod::best, c.series, PartTolerances{0, 0});
        const double fc = parts.figures.cutoff_hz;
        EXPECT_NEAR(parts.cutoff_range.hz.low, fc, 3e-9 * fc) << c.request.order;
        EXPECT_NEAR(parts.cutoff_range.hz.high, fc, 3e-9 * fc) << c.request.order;
        const int within = std::abs(parts.figures.cutoff_error_percent) <= 1 ? kYieldDraws : 0;
        EXPECT_EQ(parts.yield.within[0], within);
    }
}

TEST(CascadeTolerances, FirstCrossingsAreTheCascadesCutoff) {
    // build_cutoff_hz walks its own grid; at half power and half amplitude it finds what
    // cascade_cutoff_hz finds on the build's stages.
    const CascadeDesign design = design_cascade({Response::chebyshev, 9, 2.0}, 1000);
    const CascadeCircuit shown = standard_cascade(design, 3300, PartsMethod::best, {e24, e12});
    for (const CascadeCircuit& b : random_builds(shown, {2, 5}, 40)) {
        Stage stages[kMaxStages];
        for (int k = 0; k < b.stage_count; ++k)
            stages[k] = built_stage(b.stages[k]);
        const std::span<const Stage> s{stages, static_cast<std::size_t>(b.stage_count)};
        for (const auto& [level, loss] : {std::pair{CutoffLevel::half_power, 2.0},
                                          std::pair{CutoffLevel::half_amplitude, 4.0}}) {
            const double want = cascade_cutoff_hz(s, {level, 0});
            EXPECT_NEAR(build_cutoff_hz(stages_of(b), {false, loss}), want, 1e-12 * want);
        }
    }
}

}  // namespace
}  // namespace kestrane
