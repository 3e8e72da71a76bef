#include "search.h"

#include <algorithm>

#include "lane_objectives.h"
#include "response.h"

namespace kestrane {
namespace {

using lanes::kLanes;
using lanes::LaneKernel;
using lanes::LaneProducts;

// Each sweep judges candidates only against the lowest objective it has reached itself.
constexpr float kInitialBest = 10000;

float& swept_component(FilterComponents& components, SweepIndex sweep) {
    switch (sweep) {
        case kSweepC1: return components.C1;
        case kSweepC2: return components.C2;
        default: return components.R2;
    }
}

double sweep_step(SweepIndex sweep) { return sweep == kSweepR2 ? kResistorStep : kCapacitorStep; }

// Candidate i of a sweep: single((-1)^i * i * step + centre), offsets 0, -1, +2, -3, ... steps.
float candidate_value(int i, double step, float centre) {
    const double signed_i = (i % 2 == 0) ? i : -i;
    return static_cast<float>(signed_i * step + centre);
}

struct SweepBlock {
    float candidates[kLanes];
    LaneProducts products;
    double objectives[kLanes];
};

// Fills the block with candidates first, first + 1, ... around the current centre.
void fill_block(const FilterComponents& components, SweepIndex sweep, int first,
                SweepBlock& block) {
    const double step = sweep_step(sweep);
    FilterComponents trial = components;
    float& swept = swept_component(trial, sweep);
    const float centre = swept;
    for (int lane = 0; lane < kLanes; ++lane) {
        block.candidates[lane] = candidate_value(first + lane, step, centre);
        swept = block.candidates[lane];
        const ResponseProducts products = response_products(trial);
        block.products.p[lane] = products.p;
        block.products.c2c2ss[lane] = products.c2c2ss;
    }
}

// One sweep. Candidates in a block share the centre and the best value until one of them
// is accepted, so the block is evaluated at once and the first lane below the best wins;
// the next block starts right after it, around the new centre. Returns the acceptances.
int run_sweep(LaneKernel kernel, const ObjectiveFrequencies& frequencies, SweepIndex sweep,
              FilterComponents& components, float& best) {
    SweepBlock block;
    int accepted = 0;
    int next = 0;
    while (next < kCandidatesPerSweep) {
        fill_block(components, sweep, next, block);
        kernel(block.products, frequencies, block.objectives);
        const int live = std::min(kLanes, kCandidatesPerSweep - next);
        int used = live;
        for (int lane = 0; lane < live; ++lane) {
            if (block.objectives[lane] < best) {
                best = static_cast<float>(block.objectives[lane]);
                swept_component(components, sweep) = block.candidates[lane];
                ++accepted;
                used = lane + 1;
                break;
            }
        }
        next += used;
    }
    return accepted;
}

LaneKernel kernel_for(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return lanes::objectives_avx512;
    if (path == SearchPath::avx2) return lanes::objectives_avx2;
#endif
    (void)path;
    return lanes::objectives_portable;
}

}  // namespace

void search_components_on(SearchPath path, FilterComponents& components,
                          const DesignTargets& targets, SearchTally* tally) {
    const LaneKernel kernel = kernel_for(path);
    const ObjectiveFrequencies frequencies = objective_frequencies(targets);
    float bests[kSweepsPerPass] = {kInitialBest, kInitialBest, kInitialBest};
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        for (int s = 0; s < kSweepsPerPass; ++s) {
            const auto sweep = static_cast<SweepIndex>(s);
            const int accepted = run_sweep(kernel, frequencies, sweep, components, bests[s]);
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
