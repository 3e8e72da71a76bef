// The program's search against the straightforward power-function search, bit for bit, over
// a seeded random set of designs; and every vector path against the portable one.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "reference_model.h"
#include "response.h"
#include "search.h"
#include "search_paths.h"

namespace kestrane {
namespace {

struct DesignInput {
    float fc_khz;
    float r1;
};

std::string describe(const DesignInput& d) {
    return "fc_khz " + std::to_string(d.fc_khz) + " R1 " + std::to_string(d.r1);
}

// Cutoffs from 0.001 to 10^6 kHz and R1 from 1 ohm to 10^9 ohm, spread evenly over the
// decades, a quarter of each negative, after the extremes the dialogue lets through.
std::vector<DesignInput> designs(int count, std::uint64_t seed) {
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr float kMin = std::numeric_limits<float>::min();
    std::vector<DesignInput> list = {{1e36f, 10000}, {1, kMax}, {1, kMin},
                                     {-1, -kMax},    {1e6f, 1}, {0.001f, 1e9f}};
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> fc_decades(-3, 6), r1_decades(0, 9), unit(0, 1);
    while (std::ssize(list) < count) {
        float fc = static_cast<float>(std::pow(10.0, fc_decades(random)));
        float r1 = static_cast<float>(std::pow(10.0, r1_decades(random)));
        if (unit(random) < 0.25) fc = -fc;
        if (unit(random) < 0.25) r1 = -r1;
        list.push_back({fc, r1});
    }
    return list;
}

int count_from_environment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::atoi(text) : fallback;
}

void expect_same_result(const FilterComponents& a, const SearchTally& tally_a,
                        const FilterComponents& b, const SearchTally& tally_b) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.R2), std::bit_cast<std::uint32_t>(b.R2));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.C1), std::bit_cast<std::uint32_t>(b.C1));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.C2), std::bit_cast<std::uint32_t>(b.C2));
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int sweep = 0; sweep < kSweepsPerPass; ++sweep) {
            EXPECT_EQ(tally_a.accepted[pass][sweep], tally_b.accepted[pass][sweep])
                << "pass " << pass + 1 << " sweep " << sweep + 1;
        }
    }
}

// Runs both searches on every design with a finite start; returns how many that was.
template <class SearchA, class SearchB>
int expect_same_searches(const std::vector<DesignInput>& list, SearchA search_a, SearchB search_b) {
    int compared = 0;
    for (const DesignInput& d : list) {
        const DesignTargets targets = make_targets(d.fc_khz);
        const FilterComponents start = starting_point(d.r1, targets);
        if (!is_finite_design(start)) continue;
        SCOPED_TRACE(describe(d));
        FilterComponents a = start, b = start;
        SearchTally tally_a, tally_b;
        search_a(a, targets, &tally_a);
        search_b(b, targets, &tally_b);
        expect_same_result(a, tally_a, b, tally_b);
        ++compared;
    }
    return compared;
}

// KESTRANE_DIFFERENTIAL_DESIGNS sets the number of designs in each test (a soak runs
// thousands), KESTRANE_DIFFERENTIAL_SEED another set of them.
TEST(Differential, FastSearchMatchesThePowerFunctionReference) {
    const int count = count_from_environment("KESTRANE_DIFFERENTIAL_DESIGNS", 40);
    const auto seed =
        static_cast<std::uint64_t>(count_from_environment("KESTRANE_DIFFERENTIAL_SEED", 0));
    const int compared = expect_same_searches(designs(count, 0x6b657374 + seed), search_components,
                                              reference::search_components);
    EXPECT_GE(compared, count * 9 / 10);
}

class EveryVectorPath : public testing::TestWithParam<SearchPath> {};

TEST_P(EveryVectorPath, MatchesThePortablePath) {
    const SearchPath path = GetParam();
    if (!search_path_available(path)) {
        GTEST_SKIP() << "this processor lacks the " << search_path_name(path) << " path";
    }
    auto on_path = [path](FilterComponents& k, const DesignTargets& t, SearchTally* tally) {
        search_components_on(path, k, t, tally);
    };
    auto portable = [](FilterComponents& k, const DesignTargets& t, SearchTally* tally) {
        search_components_on(SearchPath::portable, k, t, tally);
    };
    const int count = count_from_environment("KESTRANE_DIFFERENTIAL_DESIGNS", 60);
    expect_same_searches(designs(count, 0x70617468), on_path, portable);
}

INSTANTIATE_TEST_SUITE_P(Differential, EveryVectorPath,
                         testing::Values(SearchPath::avx2, SearchPath::avx512),
                         [](const testing::TestParamInfo<SearchPath>& path) {
                             return std::string(search_path_name(path.param));
                         });

}  // namespace
}  // namespace kestrane
