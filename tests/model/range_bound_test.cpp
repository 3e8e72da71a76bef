// The search sets aside whole ranges of candidates on the strength of a lower bound of the
// objective over the range: that bound must never exceed the objective of a candidate in the
// range, on any vector path.
#include "range_bound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "every_path.h"
#include "kestrane/model/response.h"
#include "kestrane/model/search.h"
#include "random_designs.h"
#include "search_paths.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

// One side of the centre: the candidates from `from` to `to` steps away (from <= to, both
// of the same sign).
struct Side {
    int from;
    int to;
};

struct BoundCase {
    FilterComponents centre;
    DesignTargets targets;
    SweepIndex sweep;
    Side sides[kRangeLanes];
};

float value_at(const BoundCase& c, int offset) {
    const float centre = c.centre.*block::swept_member(c.sweep);
    return to_single(offset * block::sweep_step(c.sweep) + centre);
}

// Designs spread over the decades, a quarter negative, some searched to their end (where
// the bound is tightest: the objective is near its best beside the centre), and centres
// placed so that a range crosses C2 = 0 or R1 + R2 = 0.
std::vector<BoundCase> cases(int count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::uniform_int_distribution<int> sweep_of(0, 2);
    std::vector<BoundCase> list;
    while (static_cast<int>(list.size()) < count) {
        const test::DesignInput design = test::random_design(random);
        BoundCase c{};
        c.targets = make_targets(design.fc_khz);
        c.centre = starting_point(design.r1, c.targets);
        if (!is_finite_design(c.centre)) continue;
        const double kind = unit(random);
        if (kind < 0.5) search_components(c.centre, c.targets);
        c.sweep = static_cast<SweepIndex>(sweep_of(random));
        if (kind > 0.9) {
            // A centre a few steps from a sign change of C2 or of R1 + R2.
            c.sweep = unit(random) < 0.5 ? kSweepC2 : kSweepR2;
            if (c.sweep == kSweepC2) c.centre.C2 = 3e-12f;
            if (c.sweep == kSweepR2) c.centre.R2 = -c.centre.R1 + 0.3f;
        }
        // Sides from the centre outward: short ones beside it, then longer ones further out.
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            const int inner = 1 + static_cast<int>(std::pow(5000.0, unit(random)));
            const int outer = std::min(5000, inner + static_cast<int>(inner * 3 * unit(random)));
            c.sides[lane] = lane % 2 == 0 ? Side{inner, outer} : Side{-outer, -inner};
        }
        list.push_back(c);
    }
    return list;
}

class EveryPathBound : public test::EveryPathTest {};

// The least objective over the sampled candidates of one side: every candidate when the
// side is short, the ends and a spread between them when it is long.
double least_sampled_objective(const BoundCase& c, Side side, double bound) {
    const int stride = std::max(1, (side.to - side.from) / 200);
    double least = std::numeric_limits<double>::infinity();
    for (int offset = side.from; offset <= side.to; offset += stride) {
        FilterComponents k = c.centre;
        k.*block::swept_member(c.sweep) = value_at(c, offset);
        const double objective = flatness_objective(k, c.targets);
        least = std::min(least, objective);
        EXPECT_GE(objective, bound)
            << "sweep " << c.sweep << " offset " << offset << " of " << side.from << ".." << side.to
            << " R1 " << c.centre.R1 << " R2 " << c.centre.R2 << " C1 " << c.centre.C1 << " C2 "
            << c.centre.C2;
    }
    return least;
}

TEST_P(EveryPathBound, NoCandidateLiesBelowItsRangesBound) {
    const RangeJudge judge = judges_for(GetParam()).ranges;
    int ranges_checked = 0, within_a_thousandth = 0;
    for (const BoundCase& c : cases(300, 0x626f756e64)) {
        RangePlan plan{c.centre, c.sweep, {}, {}};
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            plan.low[lane] = value_at(c, c.sides[lane].from);
            plan.high[lane] = value_at(c, c.sides[lane].to);
        }
        const ObjectiveFrequencies frequencies = objective_frequencies(c.targets);
        RangeVerdict full;
        judge(plan, frequencies, std::numeric_limits<double>::infinity(), full);
        double least[kRangeLanes];
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            least[lane] = least_sampled_objective(c, c.sides[lane], full.bounds[lane]);
            ++ranges_checked;
            if (full.bounds[lane] >= least[lane] * 0.999) ++within_a_thousandth;
        }
        // Stopped early at a level some lanes reach: a lane whose bound reaches the level has
        // no candidate below it.
        const double level = full.bounds[0];
        RangeVerdict stopped;
        judge(plan, frequencies, level, stopped);
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            if (stopped.bounds[lane] >= level) {
                EXPECT_GE(least[lane], level) << "lane " << lane;
            }
        }
        if (HasFailure()) return;
    }
    // Not a property of a bound, but a guard against one too low to set anything aside: most
    // ranges are bounded within a thousandth of their least sampled objective.
    EXPECT_GT(within_a_thousandth, ranges_checked * 3 / 4);
}

// Ranges across the zeros the bound allows for, each where a single term of the objective
// varies (the others sit at 0 Hz, where |H| is exactly 1) and falls to 0 inside the range.
TEST_P(EveryPathBound, RangesAcrossAZeroOfASquare) {
    struct Crossing {
        const char* what;
        FilterComponents centre;
        SweepIndex sweep;
        int flatness_hz, cutoff_hz;
        int from, to;  // offsets in steps; every one is checked
    };
    const Crossing crossings[] = {
        // re = 0 at the cutoff: R1 = R2 = 1 Mohm and C2 = 97.5 pF put im^2 at 1.5 at 1 kHz,
        // so |H| peaks at 0.816 where C1 = 260 pF, and is 0.684 at 52 pF and 0.632 at 520 pF.
        {"re", {1e6f, 1e6f, 5e-11f, 9.75e-11f}, kSweepC1, 0, 1000, 2, 470},
        // C2 = 0, where im^2 = 0; with C1 tiny, re is 1 throughout, so |H| is 1 there and
        // below 1 a few picofarads away on either side.
        {"C2", {1e4f, 1e4f, 1e-15f, 3e-12f}, kSweepC2, 333, 0, -8, -1},
        // R1 + R2 = 0, likewise.
        {"R1 + R2", {1e4f, -9999.7f, 1e-20f, 1e-6f}, kSweepR2, 333, 0, -8, -1},
    };
    const RangeJudge judge = judges_for(GetParam()).ranges;
    for (const Crossing& c : crossings) {
        SCOPED_TRACE(c.what);
        ObjectiveFrequencies frequencies{};
        frequencies.flatness_hz[0] = c.flatness_hz;
        frequencies.cutoff_hz = c.cutoff_hz;
        const BoundCase range{c.centre, {}, c.sweep, {}};
        RangePlan plan{c.centre, c.sweep, {}, {}};
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            plan.low[lane] = value_at(range, c.from);
            plan.high[lane] = value_at(range, c.to);
        }
        RangeVerdict verdict;
        judge(plan, frequencies, std::numeric_limits<double>::infinity(), verdict);
        for (int offset = c.from; offset <= c.to; ++offset) {
            FilterComponents k = c.centre;
            k.*block::swept_member(c.sweep) = value_at(range, offset);
            ASSERT_GE(objective_at(k, frequencies), verdict.bounds[0]) << "offset " << offset;
        }
    }
}

// Ranges where |H| at the cutoff comes within 0.4 % of the largest the mean-value bound
// takes (1024) and re nearly cancels: the case the amplitude allowance is widest for. With
// R1 = R2 = 10 kohm, C1 = 3.17993271e-3 F and C2 = 7.95778916e-14 F at 1 kHz,
// p f^2 39.478 = 0.99900003, so re = 1.0e-3 keeps only the last 43 bits, and im^2 = 1.0e-10.
// R2 is swept; each 0.1 ohm step moves re by 1e-5. |H| is 1000 at the centre, 1020 two steps
// right; to the left it falls to 990, 909, 667, 250, 91 and 32 at 1, 10, 50, 300, 1000 and
// 3000 steps (worked out with Python's floats). Only the cutoff term varies (the flatness
// points are at 0 Hz).
TEST_P(EveryPathBound, RangesNearTheLargestAmplitudeWhereReNearlyCancels) {
    const FilterComponents centre{1e4f, 1e4f, 3.17993271e-3f, 7.95778916e-14f};
    const BoundCase c{centre,
                      {},
                      kSweepR2,
                      {{1, 1},
                       {1, 2},
                       {-1, -1},
                       {-10, -1},
                       {-50, -10},
                       {-300, -50},
                       {-1000, -300},
                       {-3000, -1000}}};
    const double flatness_hz[kFlatnessPoints] = {};
    const ObjectiveFrequencies frequencies = objective_frequencies(flatness_hz, 1000);
    RangePlan plan{centre, kSweepR2, {}, {}};
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        plan.low[lane] = value_at(c, c.sides[lane].from);
        plan.high[lane] = value_at(c, c.sides[lane].to);
    }
    RangeVerdict verdict;
    judges_for(GetParam())
        .ranges(plan, frequencies, std::numeric_limits<double>::infinity(), verdict);
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        SCOPED_TRACE(testing::Message() << "lane " << lane);
        // The mean-value bound alone, the one with the allowances: it applies (|H| <= 1024).
        range::Lanes l;
        range::settle_lane(centre, kSweepR2, plan.low[lane], plan.high[lane], frequencies, 0, l);
        const double mean_value = range::mean_value_bound(l, 0);
        EXPECT_GT(mean_value, -HUGE_VAL);
        for (int offset = c.sides[lane].from; offset <= c.sides[lane].to; ++offset) {
            FilterComponents k = centre;
            k.R2 = value_at(c, offset);
            const double objective = objective_at(k, frequencies);
            ASSERT_GE(objective, verdict.bounds[lane]) << "offset " << offset;
            ASSERT_GE(objective, mean_value) << "offset " << offset;
        }
    }
}

// Components so large that |H|'s argument leaves the range the lanes' estimate takes
// (2^-900 .. 2^900), or even the range its error-free products work in, or overflows: the
// lanes are settled one by one after the vector code. Both judges agree with the scalar
// objective there: the block judge exactly, the range judge's bounds from below. At 2e9 Hz,
// with R1 = R2 = C2 = 1e35, re^2 is about 2^964 for C1 = 1e20, 2^1010 for C1 = 1e27 and
// beyond the double range for C1 = 1e35.
TEST_P(EveryPathBound, LanesBeyondTheEstimateAreSettled) {
    const FilterComponents centre{1e35f, 1e35f, 1e35f, 1e35f};
    double flatness_hz[kFlatnessPoints] = {};
    for (int i = 0; i < kFlatnessPoints; ++i)
        flatness_hz[i] = 2e9 - 1e8 * i;
    const ObjectiveFrequencies frequencies = objective_frequencies(flatness_hz, 1000);
    const float values[] = {1e35f, 1e27f, 1e20f, 1e-30f, 0, -1e27f, 3e38f, 1e10f};
    block::BlockPlan plan{centre, kSweepC1, {}};
    std::copy(std::begin(values), std::end(values), plan.candidates);
    block::BlockVerdict verdict;
    judges_for(GetParam()).block(plan, frequencies, 1e30f, verdict);
    EXPECT_EQ(verdict.below, 0xffu);
    RangePlan ranges{centre, kSweepC1, {}, {}};
    for (int lane = 0; lane < block::kLanes; ++lane) {
        FilterComponents k = centre;
        k.C1 = values[lane];
        EXPECT_EQ(verdict.objectives[lane], objective_at(k, frequencies)) << "lane " << lane;
        ranges.low[lane] = std::min(values[lane], centre.C1);
        ranges.high[lane] = std::max(values[lane], centre.C1);
    }
    RangeVerdict bounds;
    judges_for(GetParam())
        .ranges(ranges, frequencies, std::numeric_limits<double>::infinity(), bounds);
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        for (const float c1 : {ranges.low[lane], ranges.high[lane]}) {
            FilterComponents k = centre;
            k.C1 = c1;
            EXPECT_GE(objective_at(k, frequencies), bounds.bounds[lane]) << "lane " << lane;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Search, EveryPathBound, testing::ValuesIn(test::kEveryPath),
                         test::path_test_name);

}  // namespace
}  // namespace kestrane
