#include "search.h"

#include <gtest/gtest.h>

#include "reference_model.h"
#include "response.h"

namespace kestrane {
namespace {

// Acceptances per pass (C1, C2, R2 sweeps) of the 1 kHz, 10 kohm design; none after pass 4.
constexpr int kExpectedTally[kSearchPasses][kSweepsPerPass] = {
    {30, 11, 51}, {17, 2, 6}, {4, 1, 3}, {2, 1, 1}};

void expect_one_kilohertz_design(const FilterComponents& k, const SearchTally& tally) {
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int sweep = 0; sweep < kSweepsPerPass; ++sweep) {
            EXPECT_EQ(tally.accepted[pass][sweep], kExpectedTally[pass][sweep])
                << "pass " << pass + 1 << " sweep " << sweep + 1;
        }
    }
    EXPECT_EQ(k.R1, 10000.0f);
    EXPECT_EQ(k.R2, 10253.1006f);
    EXPECT_EQ(k.C1, 2.31319959e-08f);
    EXPECT_EQ(k.C2, 1.11089999e-08f);
    EXPECT_EQ(flatness_objective(k, make_targets(1)), 0.014785062639468549);
}

TEST(Search, OneKilohertzTenKiloohm) {
    const DesignTargets t = make_targets(1);
    FilterComponents k = starting_point(10000, t);
    SearchTally tally;
    search_components(k, t, &tally);
    expect_one_kilohertz_design(k, tally);
}

TEST(Search, EveryAvailableVectorPathGivesTheSameDesign) {
    for (const SearchPath path : {SearchPath::portable, SearchPath::avx2, SearchPath::avx512}) {
        if (!search_path_available(path)) continue;
        SCOPED_TRACE(search_path_name(path));
        const DesignTargets t = make_targets(1);
        FilterComponents k = starting_point(10000, t);
        SearchTally tally;
        search_components_on(path, k, t, &tally);
        expect_one_kilohertz_design(k, tally);
    }
}

TEST(Search, ReferenceSearchGivesTheSameDesign) {
    const DesignTargets t = make_targets(1);
    FilterComponents k = starting_point(10000, t);
    SearchTally tally;
    reference::search_components(k, t, &tally);
    expect_one_kilohertz_design(k, tally);
}

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

}  // namespace
}  // namespace kestrane
