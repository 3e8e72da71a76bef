// The choice of vector code path: which block judges this build compiles, which of them the
// processor can run (search_path_available in search.h), and the judge of each path. The
// only unit that knows the instruction sets. Internal to the design core.
#pragma once

#include "search.h"
#include "sweep_block.h"

namespace kestrane {

// The block judge compiled for `path`; the path must be available.
block::BlockJudge judge_for(SearchPath path);

}  // namespace kestrane
