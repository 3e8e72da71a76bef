// The vector code paths of the search: which lane loops this build compiles, which of them the
// processor can run, and the loops of each path; the only unit that knows the instruction
// sets. Internal to the design core; its tests and benchmark run the search on each path.
#pragma once

#include "kestrane/model/search.h"
#include "range_bound.h"
#include "sweep_block.h"

namespace kestrane {

// The vector code paths the search can run on. They give identical results; the program
// uses the widest one the processor has.
enum class SearchPath { portable, avx2, avx512 };

// The same search as search_components on a given code path. The path must be available on
// this processor (search_path_available): a path it lacks would stop the program on an
// illegal instruction, so debug and sanitizer builds check this and abort with a message
// instead.
void search_components_on(SearchPath path, FilterComponents& components,
                          const DesignTargets& targets, SearchTally* tally = nullptr);

// Whether this build has `path` and this processor can run it. The portable path always can.
bool search_path_available(SearchPath path);

// The path search_components uses on this processor: the widest available one.
SearchPath chosen_search_path();

// The path's name: "avx512", "avx2" or "portable".
const char* search_path_name(SearchPath path);

// The width in bits of the vector registers the path's inner loop is compiled for: 512,
// 256, and for the portable path 128 where the build's baseline has 128-bit vectors of
// doubles (x86-64, AArch64), else 0 (scalar code).
int search_path_vector_bits(SearchPath path);

// The lane loops compiled for one path.
struct PathJudges {
    block::BlockJudge block;  // exact objectives of a block of candidates
    RangeJudge ranges;        // lower bounds over ranges of candidates
};

// The loops compiled for `path`; the path must be available.
PathJudges judges_for(SearchPath path);

}  // namespace kestrane
