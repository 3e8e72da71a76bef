#include "search.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "contract.h"
#include "response_model.h"
#include "search_paths.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

using block::BlockJudge;
using block::BlockPlan;
using block::BlockVerdict;
using block::kLanes;
static_assert(kLanes < 32, "a block's lanes are bits of an unsigned");

// Each sweep judges candidates only against the lowest objective it has reached itself.
constexpr float kInitialBest = 10000;

bool same_bits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// One sweep. Candidates in a block share the centre and the best value until one of them
// is accepted, so the block is judged at once and the first lane below the best wins. An
// acceptance that leaves the centre and the best as they were (a candidate equal to the
// centre whose objective rounds to the best) leaves the rest of the block's verdict standing;
// any other moves the next block to the candidate after it. Returns the acceptances.
int run_sweep(BlockJudge judge, const ObjectiveFrequencies& frequencies, SweepIndex sweep,
              FilterComponents& components, float& best) {
    BlockVerdict verdict;
    float& centre = components.*block::swept_member(sweep);
    int accepted = 0;
    int next = 0;
    while (next < kCandidatesPerSweep) {
        judge(BlockPlan{components, sweep, next}, frequencies, best, verdict);
        const int live = std::min(kLanes, kCandidatesPerSweep - next);
        unsigned below = verdict.below & ((1u << live) - 1);
        int judged = live;
        while (below != 0) {
            const int lane = std::countr_zero(below);
            const float new_best = static_cast<float>(verdict.objectives[lane]);
            const float new_centre = verdict.candidates[lane];
            ++accepted;
            if (!same_bits(new_best, best) || !same_bits(new_centre, centre)) {
                best = new_best;
                centre = new_centre;
                judged = lane + 1;
                break;
            }
            below &= below - 1;
        }
        next += judged;
    }
    return accepted;
}

}  // namespace

void search_components_on(SearchPath path, FilterComponents& components,
                          const DesignTargets& targets, SearchTally* tally) {
    KESTRANE_EXPECT(search_path_available(path));
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

}  // namespace kestrane
