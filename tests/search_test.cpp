#include "search.h"
#include "search_paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "reference_model.h"
#include "response.h"

namespace kestrane {
namespace {

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
        const std::optional<SearchPath> path = GetParam().path;
        if (path && !search_path_available(*path)) {
            GTEST_SKIP() << "this processor lacks the " << search_path_name(*path) << " path";
        }
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

void expect_same_tally(const SearchTally& actual, const SearchTally& expected) {
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int sweep = 0; sweep < kSweepsPerPass; ++sweep) {
            EXPECT_EQ(actual.accepted[pass][sweep], expected.accepted[pass][sweep])
                << "pass " << pass + 1 << " sweep " << sweep + 1;
        }
    }
}

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

TEST(Search, PathTheProcessorLacksIsRefused) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are checked in debug and sanitizer builds only";
#endif
    std::optional<SearchPath> missing;
    for (const SearchPath path : {SearchPath::avx2, SearchPath::avx512}) {
        if (!search_path_available(path)) missing = path;
    }
    if (!missing) GTEST_SKIP() << "this processor has every path";
    const DesignTargets t = make_targets(1);
    FilterComponents k = starting_point(10000, t);
    EXPECT_DEATH(search_components_on(*missing, k, t), "search_path_available");
}

}  // namespace
}  // namespace kestrane
