#include "kestrane/model/search.h"
#include "search_paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "every_path.h"
#include "kestrane/model/response.h"
#include "reference_model.h"
#include "search_ranges.h"

namespace kestrane {
namespace {

using test::expect_same_tally;

// A way to run the search: the power-function reference, or the program's search on one
// vector path.
struct SearchRoute {
    const char* name;
    std::optional<SearchPath> path;
};

const SearchRoute kRoutes[] = {{"reference", std::nullopt},
                               {"portable", SearchPath::portable},
                               {"avx2", SearchPath::avx2},
                               {"avx512", SearchPath::avx512}};

class EveryPath : public testing::TestWithParam<SearchRoute> {
  protected:
    void SetUp() override {
        if (GetParam().path) test::skip_unless_available(*GetParam().path);
    }

    // The design of `fc_khz` and `r1` from its starting point along this route.
    FilterComponents design(float fc_khz, float r1, SearchTally& tally) const {
        const DesignTargets targets = make_targets(fc_khz);
        FilterComponents k = starting_point(r1, targets);
        if (GetParam().path) {
            search_components_on(*GetParam().path, k, targets, &tally);
        } else {
            reference::search_components(k, targets, &tally);
        }
        return k;
    }
};

TEST_P(EveryPath, OneKilohertzTenKiloohm) {
    // Acceptances per pass (C1, C2, R2 sweeps) of this design; none after pass 4.
    const SearchTally expected{{{30, 11, 51}, {17, 2, 6}, {4, 1, 3}, {2, 1, 1}}};
    SearchTally tally;
    const FilterComponents k = design(1, 10000, tally);
    expect_same_tally(tally, expected);
    EXPECT_EQ(k.R1, 10000.0f);
    EXPECT_EQ(k.R2, 10253.1006f);
    EXPECT_EQ(k.C1, 2.31319959e-08f);
    EXPECT_EQ(k.C2, 1.11089999e-08f);
    EXPECT_EQ(flatness_objective(k, make_targets(1)), 0.014785062639468549);
}

// The power-function reference's acceptances for a design.
SearchTally reference_search_tally(float fc_khz, float r1) {
    SearchTally tally;
    const DesignTargets targets = make_targets(fc_khz);
    FilterComponents k = starting_point(r1, targets);
    reference::search_components(k, targets, &tally);
    return tally;
}

// A design whose R2 changes by one unit in the last place when the compiler fuses a
// product and a sum into one rounding (57.3465271 instead of 57.3465233): the guard on the
// build's -ffp-contract=off, on every path, the reference included.
TEST_P(EveryPath, DesignThatFusedMultiplyAddWouldChange) {
    constexpr float kFcKhz = 0.00146611861f, kR1 = 29.2465248f;
    static const SearchTally reference_tally = reference_search_tally(kFcKhz, kR1);
    SearchTally tally;
    const FilterComponents k = design(kFcKhz, kR1, tally);
    EXPECT_EQ(k.R2, 57.3465233f);
    expect_same_tally(tally, reference_tally);
}

// R2 = R1 = 7.53e10 ohm: a unit in the last place of R2 is 8192 ohm, so every R2 candidate
// (at most 1000 ohm out) rounds to the centre itself. The first is accepted (the best starts
// at 10000); this design's objective rounds up to single precision, so every later copy lies
// below the best too and is accepted, changing nothing: 10000 acceptances, which the search
// counts from a single objective.
TEST_P(EveryPath, StepsThatVanishBesideTheCentre) {
    constexpr float kFcKhz = 384.639771f, kR1 = 7.53283564e10f;
    static const SearchTally reference_tally = reference_search_tally(kFcKhz, kR1);
    SearchTally tally;
    design(kFcKhz, kR1, tally);
    EXPECT_EQ(tally.accepted[0][kSweepR2], kCandidatesPerSweep);
    expect_same_tally(tally, reference_tally);
}

INSTANTIATE_TEST_SUITE_P(Search, EveryPath, testing::ValuesIn(kRoutes),
                         [](const testing::TestParamInfo<SearchRoute>& route) {
                             return std::string(route.param.name);
                         });

TEST(Search, FirstCandidateOfEveryDesignIsAccepted) {
    // The starting point's objective is far below the initial best of 10000.
    const DesignTargets t = make_targets(1e36f);  // objective is constant: only i = 0 wins
    FilterComponents k = starting_point(10000, t);
    SearchTally tally;
    search_components(k, t, &tally);
    EXPECT_EQ(tally.accepted[0][kSweepC1], 1);
    EXPECT_EQ(tally.accepted[0][kSweepC2], 1);
    EXPECT_EQ(tally.accepted[0][kSweepR2], 1);
    EXPECT_EQ(tally.accepted[1][kSweepC1], 0);
    EXPECT_EQ(k.R2, 10000.0f);
}

// A path the processor lacks is refused with a message, not run into an illegal instruction:
// a path value no build has, on every processor, and any real path this one lacks.
TEST(Search, PathTheProcessorLacksIsRefused) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are checked in debug and sanitizer builds only";
#endif
    constexpr auto kNoBuildHasIt = static_cast<SearchPath>(99);
    std::vector<SearchPath> missing = {kNoBuildHasIt};
    for (const SearchPath path : {SearchPath::avx2, SearchPath::avx512}) {
        if (!search_path_available(path)) missing.push_back(path);
    }
    const DesignTargets t = make_targets(1);
    for (const SearchPath path : missing) {
        EXPECT_FALSE(search_path_available(path));
        FilterComponents k = starting_point(10000, t);
        EXPECT_DEATH(search_components_on(path, k, t), "search_path_available");
    }
}

// The levels of splits below a range, if no bound ever sets a range aside; each split's parts
// must follow one another from the range's first candidate to its end.
int levels_of_splits(ranges::CandidateRange range) {
    if (range.size() <= ranges::kJudgedWhole) return 0;
    const ranges::RangeBatch parts = ranges::split(range);
    int deepest = 0, next = range.first;
    for (int i = 0; i < parts.count; ++i) {
        EXPECT_EQ(parts.ranges[i].first, next);
        EXPECT_GT(parts.ranges[i].size(), 0);
        next = parts.ranges[i].end;
        deepest = std::max(deepest, levels_of_splits(parts.ranges[i]));
    }
    EXPECT_EQ(next, range.end);
    return 1 + deepest;
}

TEST(SearchRanges, SplitsBelowEveryLadderStayWithinTheNestingLimit) {
    int deepest = 0;
    for (int first = 0; first < kCandidatesPerSweep; ++first) {
        const ranges::RangeBatch ladder = ranges::ladder_from(first);
        ASSERT_GT(ladder.count, 0);
        ASSERT_EQ(ladder.ranges[0].first, first);
        for (int i = 0; i < ladder.count; ++i) {
            ASSERT_LE(ladder.ranges[i].end, kCandidatesPerSweep);
            deepest = std::max(deepest, 1 + levels_of_splits(ladder.ranges[i]));
        }
        if (HasFailure()) return;
    }
    EXPECT_LE(deepest, ranges::kMostLevels);
}

}  // namespace
}  // namespace kestrane
