#include "search.h"

#include <algorithm>
#include <bit>

#include "sweep_block.h"
#include "response.h"

namespace kestrane {
namespace {

using block::BlockJudge;
using block::BlockSpec;
using block::BlockVerdict;
using block::kLanes;

// Each sweep judges candidates only against the lowest objective it has reached itself.
constexpr float kInitialBest = 10000;

float& swept_component(FilterComponents& components, SweepIndex sweep) {
    switch (sweep) {
        case kSweepC1: return components.C1;
        case kSweepC2: return components.C2;
        default: return components.R2;
    }
}

// One sweep. Candidates in a block share the centre and the best value until one of them
// is accepted, so the block is judged at once and the first lane below the best wins; the
// next block starts right after it, around the new centre. Returns the acceptances.
int run_sweep(BlockJudge judge, const ObjectiveFrequencies& frequencies, SweepIndex sweep,
              FilterComponents& components, float& best) {
    BlockVerdict verdict;
    int accepted = 0;
    int next = 0;
    while (next < kCandidatesPerSweep) {
        judge(BlockSpec{components, sweep, next}, frequencies, best, verdict);
        const int live = std::min(kLanes, kCandidatesPerSweep - next);
        const int lane = verdict.below == 0 ? kLanes : std::countr_zero(verdict.below);
        if (lane < live) {
            best = static_cast<float>(verdict.objectives[lane]);
            swept_component(components, sweep) = verdict.candidates[lane];
            ++accepted;
            next += lane + 1;
        } else {
            next += live;
        }
    }
    return accepted;
}

BlockJudge judge_for(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return block::judge_avx512;
    if (path == SearchPath::avx2) return block::judge_avx2;
#endif
    (void)path;
    return block::judge_portable;
}

}  // namespace

void search_components_on(SearchPath path, FilterComponents& components,
                          const DesignTargets& targets, SearchTally* tally) {
    const BlockJudge judge = judge_for(path);
    const ObjectiveFrequencies frequencies = objective_frequencies(targets);
    float bests[kSweepsPerPass] = {kInitialBest, kInitialBest, kInitialBest};
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int s = 0; s < kSweepsPerPass; ++s) {
            const auto sweep = static_cast<SweepIndex>(s);
            const int accepted = run_sweep(judge, frequencies, sweep, components, bests[s]);
            if (tally != nullptr) tally->accepted[pass][s] = accepted;
        }
    }
}

void search_components(FilterComponents& components, const DesignTargets& targets,
                       SearchTally* tally) {
    static const SearchPath path = chosen_search_path();
    search_components_on(path, components, targets, tally);
}

bool search_path_available(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return __builtin_cpu_supports("avx512f");
    if (path == SearchPath::avx2) return __builtin_cpu_supports("avx2");
#else
    if (path != SearchPath::portable) return false;
#endif
    return true;
}

SearchPath chosen_search_path() {
    if (search_path_available(SearchPath::avx512)) return SearchPath::avx512;
    if (search_path_available(SearchPath::avx2)) return SearchPath::avx2;
    return SearchPath::portable;
}

const char* search_path_name(SearchPath path) {
    switch (path) {
        case SearchPath::avx512: return "avx512";
        case SearchPath::avx2: return "avx2";
        default: return "portable";
    }
}

int search_path_vector_bits(SearchPath path) {
    switch (path) {
        case SearchPath::avx512: return 512;
        case SearchPath::avx2: return 256;
        default: return 128;
    }
}

}  // namespace kestrane
