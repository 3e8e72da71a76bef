// What the search's tests share: tests on every vector path, skipped where the processor
// lacks one, and the comparison of two searches' results.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kestrane/model/search.h"
#include "search_paths.h"

namespace kestrane::test {

inline constexpr SearchPath kEveryPath[] = {SearchPath::portable, SearchPath::avx2,
                                            SearchPath::avx512};

// Skips the running test (from a fixture's SetUp) when this processor lacks `path`.
void skip_unless_available(SearchPath path);

// A test on each vector path, named after the path.
class EveryPathTest : public testing::TestWithParam<SearchPath> {
  protected:
    void SetUp() override { skip_unless_available(GetParam()); }
};
std::string path_test_name(const testing::TestParamInfo<SearchPath>& path);

// Expects the same acceptances in every pass and sweep.
void expect_same_tally(const SearchTally& actual, const SearchTally& expected);

// Expects the same R2, C1 and C2, bit for bit, and the same acceptances.
void expect_same_search(const FilterComponents& actual, const SearchTally& actual_tally,
                        const FilterComponents& expected, const SearchTally& expected_tally);

}  // namespace kestrane::test
