// How much work a search did: for the benchmark and the tests. Internal to the design core.
#pragma once

#include "search_paths.h"

namespace kestrane {

struct SearchEffort {
    long long candidates_judged = 0;   // candidates whose objective was computed exactly
    long long candidates_skipped = 0;  // candidates set aside by a range's bound
    long long blocks = 0;              // blocks of candidates judged side by side
    long long range_batches = 0;       // batches of ranges bounded side by side
};

// search_components_on, adding its work to `effort`.
void search_components_counted(SearchPath path, FilterComponents& components,
                               const DesignTargets& targets, SearchTally* tally,
                               SearchEffort& effort);

}  // namespace kestrane
