// The choice of vector code path: which lane loops this build compiles, which of them the
// processor can run (search_path_available in search.h), and the loops of each path. The
// only unit that knows the instruction sets. Internal to the design core.
#pragma once

#include "range_bound.h"
#include "search.h"
#include "sweep_block.h"

namespace kestrane {

// The lane loops compiled for one path.
struct PathJudges {
    block::BlockJudge block;  // exact objectives of a block of candidates
    RangeJudge ranges;        // lower bounds over ranges of candidates
};

// The loops compiled for `path`; the path must be available.
PathJudges judges_for(SearchPath path);

}  // namespace kestrane
