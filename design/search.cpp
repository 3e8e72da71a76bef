#include "search.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

#include "contract.h"
#include "range_bound.h"
#include "response_model.h"
#include "search_effort.h"
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

// Candidates first, first + 1, ..., end - 1 of a sweep, in sweep order. The even ones lie
// at or right of the centre, the odd ones left of it.
struct CandidateRange {
    int first;
    int end;
};

// The sweep in progress: what it varies, around which values, against which best.
struct Sweep {
    BlockJudge judge;
    const ObjectiveFrequencies& frequencies;
    SweepIndex index;
    FilterComponents& components;
    float& best;
    SearchEffort& effort;
    int accepted = 0;

    float& centre() const { return components.*block::swept_member(index); }
    float candidate(int i) const {
        return block::candidate_value(i, block::sweep_step(index), centre());
    }
};

// The least and greatest even and odd candidate of a range; an empty side has low > high.
struct RangeSides {
    int first_even, last_even, first_odd, last_odd;
};

RangeSides sides_of(CandidateRange range) {
    const int last = range.end - 1;
    return {range.first + (range.first & 1), last - (last & 1), range.first | 1,
            last - 1 + (last & 1)};
}

bool side_cannot_win(Sweep& sweep, SweptValues values) {
    ++sweep.effort.bounds;
    const double bound =
        objective_lower_bound(sweep.components, sweep.index, values, sweep.frequencies, sweep.best);
    return bound >= sweep.best;
}

// True when a bound shows that no candidate of the range has an objective below the best.
bool range_cannot_win(Sweep& sweep, CandidateRange range) {
    const RangeSides s = sides_of(range);
    if (s.first_even <= s.last_even &&
        !side_cannot_win(sweep, {sweep.candidate(s.first_even), sweep.candidate(s.last_even)})) {
        return false;
    }
    return s.first_odd > s.last_odd ||
           side_cannot_win(sweep, {sweep.candidate(s.last_odd), sweep.candidate(s.first_odd)});
}

// True when every candidate of the range is the centre itself, bit for bit: the step
// vanishes beside the centre in single precision. Candidates rise with their offset, so the
// outermost ones decide.
bool every_candidate_is_centre(const Sweep& sweep, CandidateRange range) {
    const float centre = sweep.centre();
    if (centre == 0) return false;  // a zero centre: only candidate 0 rounds to it
    const RangeSides s = sides_of(range);
    return (s.first_even > s.last_even || same_bits(sweep.candidate(s.last_even), centre)) &&
           (s.first_odd > s.last_odd || same_bits(sweep.candidate(s.last_odd), centre));
}

// A range of copies of the centre: one objective decides every candidate. The first is
// accepted if it is below the best; once the best is the objective rounded, every later copy
// is accepted too and changes nothing. Returns the next candidate to consider.
int judge_copies_of_centre(Sweep& sweep, CandidateRange range) {
    ++sweep.effort.candidates_judged;
    const double objective = objective_at(sweep.components, sweep.frequencies);
    if (!(objective < sweep.best)) return range.end;
    const auto new_best = static_cast<float>(objective);
    if (same_bits(new_best, sweep.best)) {
        sweep.accepted += range.end - range.first;
        return range.end;
    }
    ++sweep.accepted;
    sweep.best = new_best;
    return range.first + 1;
}

// Judges the block of candidates from `first` exactly. Candidates in a block share the
// centre and the best value until one of them is accepted, so the first lane below the best
// wins. An acceptance that leaves the centre and the best as they were (a candidate equal to
// the centre whose objective rounds to the best) leaves the rest of the block's verdict
// standing; any other ends the block after it. Returns the next candidate to consider.
int judge_block(Sweep& sweep, int first) {
    BlockVerdict verdict;
    sweep.judge(BlockPlan{sweep.components, sweep.index, first}, sweep.frequencies, sweep.best,
                verdict);
    const int live = std::min(kLanes, kCandidatesPerSweep - first);
    sweep.effort.candidates_judged += live;
    unsigned below = verdict.below & ((1u << live) - 1);
    while (below != 0) {
        const int lane = std::countr_zero(below);
        const auto new_best = static_cast<float>(verdict.objectives[lane]);
        const float new_centre = verdict.candidates[lane];
        ++sweep.accepted;
        if (!same_bits(new_best, sweep.best) || !same_bits(new_centre, sweep.centre())) {
            sweep.best = new_best;
            sweep.centre() = new_centre;
            return first + lane + 1;
        }
        below &= below - 1;
    }
    return first + live;
}

// One sweep. From the next candidate to consider, ranges grow outward while their bound
// sets them aside and shrink while it does not, down to one block, which is judged exactly.
// A range of copies of the centre is judged once. Ranges keep the sweep order, so the first
// candidate below the best is the one accepted; after an acceptance the ranges restart small
// from the candidate after it. Returns the acceptances.
int run_sweep(Sweep& sweep) {
    int next = 0;
    int span = kLanes;
    while (next < kCandidatesPerSweep) {
        const CandidateRange range{next, std::min(kCandidatesPerSweep, next + span)};
        if (span > kLanes && range_cannot_win(sweep, range)) {
            sweep.effort.candidates_skipped += range.end - range.first;
            next = range.end;
            span *= 2;
        } else if (every_candidate_is_centre(sweep, range)) {
            next = judge_copies_of_centre(sweep, range);
            span *= 2;
        } else if (span > kLanes) {
            span /= 2;
        } else {
            const int before = sweep.accepted;
            next = judge_block(sweep, next);
            span = sweep.accepted == before ? 2 * kLanes : kLanes;
        }
    }
    return sweep.accepted;
}

// Everything a pass starts from: the components and each sweep's best.
struct SearchState {
    std::uint32_t bits[4 + kSweepsPerPass];
};

SearchState state_of(const FilterComponents& c, const float (&bests)[kSweepsPerPass]) {
    SearchState state{};
    const float values[] = {c.R1, c.R2, c.C1, c.C2, bests[0], bests[1], bests[2]};
    for (int i = 0; i < 4 + kSweepsPerPass; ++i)
        state.bits[i] = std::bit_cast<std::uint32_t>(values[i]);
    return state;
}

bool same_state(const SearchState& a, const SearchState& b) {
    return std::equal(std::begin(a.bits), std::end(a.bits), std::begin(b.bits));
}

// A pass that ends where it began leaves every later pass the same start, so each of them
// repeats it, acceptances included.
void repeat_pass(SearchTally& counts, int pass) {
    for (int later = pass + 1; later < kSearchPasses; ++later) {
        std::copy(std::begin(counts.accepted[pass]), std::end(counts.accepted[pass]),
                  std::begin(counts.accepted[later]));
    }
}

}  // namespace

void search_components_counted(SearchPath path, FilterComponents& components,
                               const DesignTargets& targets, SearchTally* tally,
                               SearchEffort& effort) {
    KESTRANE_EXPECT(search_path_available(path));
    const BlockJudge judge = judge_for(path);
    const ObjectiveFrequencies frequencies = objective_frequencies(targets);
    float bests[kSweepsPerPass] = {kInitialBest, kInitialBest, kInitialBest};
    SearchTally counts;
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        const SearchState start = state_of(components, bests);
        for (int s = 0; s < kSweepsPerPass; ++s) {
            Sweep sweep{judge,      frequencies, static_cast<SweepIndex>(s),
                        components, bests[s],    effort};
            counts.accepted[pass][s] = run_sweep(sweep);
        }
        if (same_state(start, state_of(components, bests))) {
            repeat_pass(counts, pass);
            break;
        }
    }
    if (tally != nullptr) *tally = counts;
}

void search_components_on(SearchPath path, FilterComponents& components,
                          const DesignTargets& targets, SearchTally* tally) {
    SearchEffort effort;
    search_components_counted(path, components, targets, tally, effort);
}

void search_components(FilterComponents& components, const DesignTargets& targets,
                       SearchTally* tally) {
    static const SearchPath path = chosen_search_path();
    search_components_on(path, components, targets, tally);
}

}  // namespace kestrane
