// The program's search against the straightforward power-function search, bit for bit, over
// a seeded random set of designs; and every vector path against the portable one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "every_path.h"
#include "kestrane/model/response.h"
#include "kestrane/model/search.h"
#include "random_designs.h"
#include "reference_model.h"
#include "search_paths.h"

namespace kestrane {
namespace {

using test::DesignInput;

// The extremes the dialogue lets through, then `count` random designs in all.
std::vector<DesignInput> designs(int count, std::uint64_t seed) {
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr float kMin = std::numeric_limits<float>::min();
    std::vector<DesignInput> list = {{1e36f, 10000}, {1, kMax}, {1, kMin},
                                     {-1, -kMax},    {1e6f, 1}, {0.001f, 1e9f}};
    const auto extremes = static_cast<int>(list.size());
    const std::vector<DesignInput> random = test::random_designs(count - extremes, seed);
    list.insert(list.end(), random.begin(), random.end());
    return list;
}

int count_from_environment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::atoi(text) : fallback;
}

// Runs both searches on every design with a finite start; returns how many that was.
template <class SearchA, class SearchB>
int expect_same_searches(const std::vector<DesignInput>& list, SearchA search_a, SearchB search_b) {
    int compared = 0;
    for (const DesignInput& d : list) {
        const DesignTargets targets = make_targets(d.fc_khz);
        const FilterComponents start = starting_point(d.r1, targets);
        if (!is_finite_design(start)) continue;
        SCOPED_TRACE(test::describe(d));
        FilterComponents a = start, b = start;
        SearchTally tally_a, tally_b;
        search_a(a, targets, &tally_a);
        search_b(b, targets, &tally_b);
        test::expect_same_search(a, tally_a, b, tally_b);
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

class EveryVectorPath : public test::EveryPathTest {};

TEST_P(EveryVectorPath, MatchesThePortablePath) {
    const SearchPath path = GetParam();
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
                         test::path_test_name);

}  // namespace
}  // namespace kestrane
