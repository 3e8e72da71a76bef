#include "kestrane/model/search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "kestrane/numeric/contract.h"
#include "range_bound.h"
#include "response_model.h"
#include "search_effort.h"
#include "search_paths.h"
#include "search_ranges.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

using block::kLanes;
using ranges::CandidateRange;
using ranges::kRangesPerBatch;
using ranges::RangeBatch;
static_assert(kLanes < 32, "a block's lanes are bits of an unsigned");

// Each sweep judges candidates only against the lowest objective it has reached itself.
constexpr float kInitialBest = 10000;

bool same_bits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// What a sweep knows of the objectives of values it has judged. Within a sweep the other
// components stay as they are, so the objective of a candidate depends on its value alone,
// and candidates often repeat a value: where the step is below the value's last place, and
// on a walk, where each candidate behind the centre is the centre before. An entry holds the
// objective exactly, or, for a value judged not below the best, that best: the best only
// falls, so such a value stays rejected. Direct-mapped: a new entry replaces an old one.
class ObjectiveMemo {
  public:
    struct Entry {
        std::uint32_t bits = kEmpty;
        bool exact = false;
        double objective = 0;  // exactly, or a lower bound
    };

    const Entry* find(float value) const {
        const Entry& entry = entries_[slot(value)];
        return entry.bits == std::bit_cast<std::uint32_t>(value) ? &entry : nullptr;
    }
    void remember(float value, bool exact, double objective) {
        entries_[slot(value)] = {std::bit_cast<std::uint32_t>(value), exact, objective};
    }

  private:
    // 128 entries: the repeats a sweep meets lie within a few candidates of each other (a
    // value and its neighbours one step either side, the centres of a walk), so a small table
    // keeps them while it stays in the first level of the cache (128 x 16 bytes, 2 KiB).
    static constexpr int kSlotBits = 7;
    // Not the bits of a candidate: a not-a-number.
    static constexpr std::uint32_t kEmpty = 0xffffffffu;
    // Fibonacci hashing (Knuth's multiplicative method): 2654435761 is the prime Knuth gives
    // near 2^32 / phi (phi = (1 + sqrt 5) / 2, 2^32 / phi = 2654435769.5); its multiples
    // spread neighbouring bit patterns, such as floats a few last places apart, over the top
    // bits of the 32-bit product, and those top kSlotBits bits are the slot.
    static constexpr std::uint32_t kFibonacciMultiplier = 2654435761u;
    static std::size_t slot(float value) {
        return (std::bit_cast<std::uint32_t>(value) * kFibonacciMultiplier) >> (32 - kSlotBits);
    }
    Entry entries_[std::size_t{1} << kSlotBits];
};

// The sweep in progress: what it varies, around which values, against which best.
struct Sweep {
    PathJudges judges;
    const ObjectiveFrequencies& frequencies;
    SweepIndex index;
    FilterComponents& components;
    float& best;
    SearchEffort& effort;
    int accepted = 0;
    int run_parity = 0;  // the parity of the last candidate accepted
    ObjectiveMemo memo{};

    float& centre() const { return components.*block::swept_member(index); }
    float candidate(int i) const {
        return block::candidate_value(i, block::sweep_step(index), centre());
    }
};

// The values of a range's candidates on each side of the centre. Candidates rise with
// their offset, so the outermost and innermost bound the rest. An empty side repeats the
// other.
struct RangeSides {
    float right_low, right_high, left_low, left_high;
};

RangeSides sides_of(const Sweep& sweep, CandidateRange range) {
    const int last = range.end - 1;
    const int first_even = range.first + (range.first & 1), last_even = last - (last & 1);
    const int first_odd = range.first | 1, last_odd = last - 1 + (last & 1);
    RangeSides s{};
    if (first_even <= last_even) {
        s.right_low = sweep.candidate(first_even);
        s.right_high = sweep.candidate(last_even);
    }
    if (first_odd <= last_odd) {
        s.left_low = sweep.candidate(last_odd);
        s.left_high = sweep.candidate(first_odd);
    }
    if (first_even > last_even) {
        s.right_low = s.left_low;
        s.right_high = s.left_high;
    }
    if (first_odd > last_odd) {
        s.left_low = s.right_low;
        s.left_high = s.right_high;
    }
    return s;
}

// Bounds the batch's ranges and records which of them no candidate can win.
void bound_batch(Sweep& sweep, RangeBatch& batch) {
    RangePlan plan{sweep.components, sweep.index, {}, {}};
    for (int r = 0; r < kRangesPerBatch; ++r) {
        const RangeSides s = sides_of(sweep, batch.ranges[std::min(r, batch.count - 1)]);
        plan.low[2 * r] = s.right_low;
        plan.high[2 * r] = s.right_high;
        plan.low[2 * r + 1] = s.left_low;
        plan.high[2 * r + 1] = s.left_high;
    }
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        KESTRANE_EXPECT(std::isfinite(plan.low[lane]) && plan.low[lane] <= plan.high[lane] &&
                        std::isfinite(plan.high[lane]));
    }
    RangeVerdict verdict;
    sweep.judges.ranges(plan, sweep.frequencies, sweep.best, verdict);
    ++sweep.effort.range_batches;
    for (int r = 0; r < batch.count; ++r) {
        batch.cannot_win[r] =
            verdict.bounds[2 * r] >= sweep.best && verdict.bounds[2 * r + 1] >= sweep.best;
    }
}

// True when every candidate of the range is the centre itself, bit for bit: the step
// vanishes beside the centre in single precision. Candidates rise with their offset, so the
// outermost ones decide.
bool every_candidate_is_centre(const Sweep& sweep, CandidateRange range) {
    const float centre = sweep.centre();
    if (centre == 0) return false;  // a zero centre: only candidate 0 rounds to it
    const RangeSides s = sides_of(sweep, range);
    return same_bits(s.right_high, centre) && same_bits(s.left_low, centre);
}

// What judging some candidates did to the sweep.
struct Judged {
    int next;    // the next candidate to consider
    bool moved;  // the centre or the best changed: later verdicts no longer hold
};

// A range of copies of the centre: one objective decides every candidate. The first is
// accepted if it is below the best; once the best is that objective rounded, every later
// copy is accepted too and changes nothing.
Judged judge_copies_of_centre(Sweep& sweep, CandidateRange range) {
    ++sweep.effort.candidates_judged;
    const ObjectiveMemo::Entry* known = sweep.memo.find(sweep.centre());
    if (known != nullptr && !known->exact) return {range.end, false};
    const double objective =
        known != nullptr ? known->objective : objective_at(sweep.components, sweep.frequencies);
    sweep.memo.remember(sweep.centre(), true, objective);
    if (!(objective < sweep.best)) return {range.end, false};
    const float new_best = to_single(objective);
    if (same_bits(new_best, sweep.best)) {
        sweep.accepted += range.size();
        return {range.end, false};
    }
    ++sweep.accepted;
    sweep.best = new_best;
    return {range.first + 1, true};
}

// Candidates planned for one reading: the block that judges some of them, and for each
// candidate its value, the centre it assumes, and its lane, or what the memo knows of it.
constexpr int kMostPlanned = 4 * kLanes;
constexpr int kKnown = -1;
struct RunPlan {
    block::BlockPlan block;
    int lanes = 0;
    int count = 0;
    float assumed_centres[kMostPlanned];
    float values[kMostPlanned];
    int lane_of[kMostPlanned];
    ObjectiveMemo::Entry known[kMostPlanned];
};

// The lane that judges `value`: one already holding it, else a new one; -1 when the block
// is full.
int lane_for(RunPlan& plan, float value) {
    for (int lane = 0; lane < plan.lanes; ++lane) {
        if (same_bits(plan.block.candidates[lane], value)) return lane;
    }
    if (plan.lanes == kLanes) return -1;
    plan.block.candidates[plan.lanes] = value;
    return plan.lanes++;
}

// Plans the candidates from range.first on, up to a block of values the memo does not know
// (see judge_run).
RunPlan plan_run(const Sweep& sweep, CandidateRange range, bool assume_run) {
    const double step = block::sweep_step(sweep.index);
    RunPlan plan;
    plan.block = {sweep.components, sweep.index, {}};
    float assumed = sweep.centre();
    for (int i = range.first; i < range.end && plan.count < kMostPlanned; ++i) {
        const float value = block::candidate_value(i, step, assumed);
        const ObjectiveMemo::Entry* known = sweep.memo.find(value);
        const int lane = known != nullptr ? kKnown : lane_for(plan, value);
        if (lane == -1 && known == nullptr) break;
        plan.assumed_centres[plan.count] = assumed;
        plan.values[plan.count] = value;
        plan.lane_of[plan.count] = lane;
        if (known != nullptr) plan.known[plan.count] = *known;
        ++plan.count;
        if (assume_run && (i & 1) == sweep.run_parity) assumed = value;
    }
    for (int lane = plan.lanes; lane < kLanes; ++lane) {
        plan.block.candidates[lane] = plan.block.candidates[0];
    }
    return plan;
}

// Judges the plan's block, if it has lanes, and tells the memo what it learnt.
block::BlockVerdict judge_planned_block(Sweep& sweep, const RunPlan& plan) {
    block::BlockVerdict verdict{};
    if (plan.lanes == 0) return verdict;
    sweep.judges.block(plan.block, sweep.frequencies, sweep.best, verdict);
    ++sweep.effort.blocks;
    for (int lane = 0; lane < plan.lanes; ++lane) {
        const bool below = (verdict.below >> lane & 1u) != 0;
        sweep.memo.remember(plan.block.candidates[lane], below,
                            below ? verdict.objectives[lane] : sweep.best);
    }
    return verdict;
}

// Judges the candidates from range.first on exactly, in one go: a block's worth of values
// the memo does not know, and those it knows between them. When the centre walks in one
// direction, every other candidate is accepted, each from the centre the last one left. So
// after an acceptance (`assume_run`) the plan assumes that each candidate of the parity of
// the sweep's last acceptance (even at the start) is accepted, and takes the values around
// the centre that would follow; otherwise around the current centre. Then the candidates are
// read in sweep order against the sweep's real state, as if judged one by one: the first one
// below the best is accepted; an acceptance that leaves the centre and the best as they were
// changes nothing; the reading stops at the first candidate whose assumed centre is not the
// real one.
Judged judge_run(Sweep& sweep, CandidateRange range, bool assume_run) {
    const RunPlan plan = plan_run(sweep, range, assume_run);
    const block::BlockVerdict verdict = judge_planned_block(sweep, plan);
    bool moved = false;
    for (int k = 0; k < plan.count; ++k) {
        if (!same_bits(plan.assumed_centres[k], sweep.centre())) {
            sweep.effort.candidates_judged += k;
            return {range.first + k, moved};
        }
        const int lane = plan.lane_of[k];
        const bool exact = lane == kKnown ? plan.known[k].exact : (verdict.below >> lane & 1u) != 0;
        const double objective =
            lane == kKnown ? plan.known[k].objective : verdict.objectives[lane];
        if (!exact || !(objective < sweep.best)) continue;
        ++sweep.accepted;
        const float new_best = to_single(objective);
        const float new_centre = plan.values[k];
        if (!same_bits(new_best, sweep.best) || !same_bits(new_centre, sweep.centre())) {
            sweep.best = new_best;
            sweep.centre() = new_centre;
            sweep.run_parity = (range.first + k) & 1;
            moved = true;
        }
    }
    sweep.effort.candidates_judged += plan.count;
    return {range.first + plan.count, moved};
}

// Judges every candidate of a range exactly, or up to the first acceptance that moves the
// centre or the best.
Judged judge_range(Sweep& sweep, CandidateRange range) {
    Judged judged{range.first, false};
    while (judged.next < range.end && !judged.moved) {
        judged = judge_run(sweep, {judged.next, range.end}, false);
    }
    return judged;
}

// One sweep. From the centre, and again from the candidate after each acceptance, the
// first block is judged exactly; a ladder of growing ranges follows. A range whose bound
// reaches the best is set aside whole; a range of copies of the centre is judged once; any
// other is split into smaller ranges, down to at most four blocks, which are judged exactly
// (search_ranges.h). Ranges keep
// the sweep order, so the first candidate below the best is the one accepted; an acceptance
// voids the verdicts ahead. Returns the acceptances.
int run_sweep(Sweep& sweep) {
    RangeBatch levels[ranges::kMostLevels];
    int depth = 0;
    bool judge_first_block = true;
    int next = 0;
    while (next < kCandidatesPerSweep) {
        if (depth == 0) {
            if (judge_first_block) {
                const Judged judged = judge_run(sweep, {next, kCandidatesPerSweep}, true);
                next = judged.next;
                judge_first_block = judged.moved;
            } else {
                levels[depth++] = ranges::ladder_from(next);
                bound_batch(sweep, levels[depth - 1]);
            }
            continue;
        }
        RangeBatch& batch = levels[depth - 1];
        if (batch.at == batch.count) {
            --depth;
            continue;
        }
        const CandidateRange range = batch.ranges[batch.at];
        const bool cannot_win = batch.cannot_win[batch.at];
        ++batch.at;
        Judged judged{range.end, false};
        if (cannot_win) {
            sweep.effort.candidates_skipped += range.size();
        } else if (every_candidate_is_centre(sweep, range)) {
            judged = judge_copies_of_centre(sweep, range);
        } else if (range.size() <= ranges::kJudgedWhole) {
            judged = judge_range(sweep, range);
        } else {
            KESTRANE_CHECK(depth < ranges::kMostLevels);
            levels[depth++] = ranges::split(range);
            bound_batch(sweep, levels[depth - 1]);
            continue;
        }
        next = judged.next;
        if (judged.moved) {
            depth = 0;
            judge_first_block = true;
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
    for (int i = 0; i < 4 + kSweepsPerPass; ++i) {
        state.bits[i] = std::bit_cast<std::uint32_t>(values[i]);
    }
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
    KESTRANE_EXPECT(is_finite_design(components));
    const PathJudges judges = judges_for(path);
    const ObjectiveFrequencies frequencies = objective_frequencies(targets);
    float bests[kSweepsPerPass] = {kInitialBest, kInitialBest, kInitialBest};
    SearchTally counts;
    for (int pass = 0; pass < kSearchPasses; ++pass) {
        const SearchState start = state_of(components, bests);
        for (int s = 0; s < kSweepsPerPass; ++s) {
            Sweep sweep{judges,     frequencies, static_cast<SweepIndex>(s),
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
