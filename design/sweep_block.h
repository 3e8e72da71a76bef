// The search's inner loop: a block of consecutive candidates of one sweep judged side by
// side, one lane per candidate, compiled once per vector instruction set. Internal to the
// design core.
#pragma once

#include "response.h"
#include "search.h"

namespace kestrane::block {

// Candidates judged side by side.
inline constexpr int kLanes = 16;

// The component a sweep varies.
inline float FilterComponents::*swept_member(SweepIndex sweep) {
    return sweep == kSweepC1   ? &FilterComponents::C1
           : sweep == kSweepC2 ? &FilterComponents::C2
                               : &FilterComponents::R2;
}

// Candidate i of a sweep: single((-1)^i * i * step + centre), offsets 0, -1, +2, -3, ... steps.
inline float candidate_value(int i, double step, float centre) {
    const int signed_i = i * (1 - 2 * (i & 1));  // (-1)^i * i, without a branch
    return static_cast<float>(static_cast<double>(signed_i) * step + centre);
}

// Candidates first, first + 1, ..., first + kLanes - 1 of the sweep over `sweep`'s component,
// around the values in `components`.
struct BlockPlan {
    FilterComponents components;
    SweepIndex sweep;
    int first;
};

struct BlockVerdict {
    float candidates[kLanes];
    double objectives[kLanes];  // meaningful for the lanes in `below`
    unsigned below;             // the lanes whose objective is below the best, lane 0 in bit 0
};

// Judges a block against the sweep's best value. Each lane computes its objective exactly as
// flatness_objective does, but the cutoff term comes first and the flatness terms follow in
// order; once the running total of every lane has reached `best` the block is given up,
// because later terms can only raise it. The verdict is the one the full objectives give.
using BlockJudge = void (*)(const BlockPlan& plan, const ObjectiveFrequencies& frequencies,
                            float best, BlockVerdict& verdict);

void judge_portable(const BlockPlan& plan, const ObjectiveFrequencies& frequencies, float best,
                    BlockVerdict& verdict);
#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRANE_X86_PATHS 1
void judge_avx2(const BlockPlan& plan, const ObjectiveFrequencies& frequencies, float best,
                BlockVerdict& verdict);
void judge_avx512(const BlockPlan& plan, const ObjectiveFrequencies& frequencies, float best,
                  BlockVerdict& verdict);
#endif

// The judge compiled for `path`.
BlockJudge judge_for(SearchPath path);

}  // namespace kestrane::block
