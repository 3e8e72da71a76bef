#include "every_path.h"

#include <bit>
#include <cstdint>

namespace kestrane::test {

void skip_unless_available(SearchPath path) {
    if (!search_path_available(path)) {
        GTEST_SKIP() << "this processor lacks the " << search_path_name(path) << " path";
    }
}

std::string path_test_name(const testing::TestParamInfo<SearchPath>& path) {
    return search_path_name(path.param);
}

void expect_same_tally(const SearchTally& actual, const SearchTally& expected) {
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int sweep = 0; sweep < kSweepsPerPass; ++sweep) {
            EXPECT_EQ(actual.accepted[pass][sweep], expected.accepted[pass][sweep])
                << "pass " << pass + 1 << " sweep " << sweep + 1;
        }
    }
}

void expect_same_search(const FilterComponents& actual, const SearchTally& actual_tally,
                        const FilterComponents& expected, const SearchTally& expected_tally) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(actual.R2), std::bit_cast<std::uint32_t>(expected.R2));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(actual.C1), std::bit_cast<std::uint32_t>(expected.C1));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(actual.C2), std::bit_cast<std::uint32_t>(expected.C2));
    expect_same_tally(actual_tally, expected_tally);
}

}  // namespace kestrane::test
