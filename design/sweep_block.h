// The search's inner loop: a block of consecutive candidates of one sweep judged side by
// side, one lane per candidate. search_paths.cpp compiles it once per vector instruction
// set. Internal to the design core.
#pragma once

#include <algorithm>
#include <iterator>

#include "response_model.h"
#include "search.h"

namespace kestrane::block {

// Candidates judged side by side.
inline constexpr int kLanes = 8;

// The component a sweep varies, and the distance between its neighbouring candidates.
inline float FilterComponents::*swept_member(SweepIndex sweep) {
    return sweep == kSweepC1   ? &FilterComponents::C1
           : sweep == kSweepC2 ? &FilterComponents::C2
                               : &FilterComponents::R2;
}

inline double sweep_step(SweepIndex sweep) {
    return sweep == kSweepR2 ? kResistorStep : kCapacitorStep;
}

// Candidate i of a sweep: single((-1)^i * i * step + centre), offsets 0, -1, +2, -3, ... steps.
inline float candidate_value(int i, double step, float centre) {
    const int signed_i = i * (1 - 2 * (i & 1));  // (-1)^i * i, without a branch
    return to_single(static_cast<double>(signed_i) * step + centre);
}

// Candidate values of the sweep over `sweep`'s component, one per lane, each in place of
// that component in `components`.
struct BlockPlan {
    FilterComponents components;
    SweepIndex sweep;
    float candidates[kLanes];
};

struct BlockVerdict {
    double objectives[kLanes];  // meaningful for the lanes in `below`
    unsigned below;             // the lanes whose objective is below the best, lane 0 in bit 0
};

// Judges a block against the sweep's best value. Each lane computes its objective exactly as
// flatness_objective does, but the cutoff term comes first and the flatness terms follow in
// order; once the running total of every lane has reached `best` the block is given up,
// because later terms can only raise it. The verdict is the one the full objectives give.
using BlockJudge = void (*)(const BlockPlan& plan, const ObjectiveFrequencies& frequencies,
                            float best, BlockVerdict& verdict);

// Whether every lane's running total has reached the best.
[[gnu::always_inline]] inline bool every_lane_reaches(const double (&totals)[kLanes], double best) {
    int reaching = 0;
#pragma omp simd reduction(+ : reaching)
    for (int lane = 0; lane < kLanes; ++lane)
        reaching += totals[lane] >= best;
    return reaching == kLanes;
}

// The body of every BlockJudge, inlined into each path's compilation. The lane loops are
// innermost and marked for vector code; every lane holds doubles only (the single-precision
// sums too), so that one vector width serves the whole loop.
[[gnu::always_inline]] inline void judge_block(const BlockPlan& plan,
                                               const ObjectiveFrequencies& frequencies, float best,
                                               BlockVerdict& verdict) {
    // Local copies and arrays, so that the compiler sees no aliasing with the verdict.
    const FilterComponents centre = plan.components;
    const SweepIndex sweep = plan.sweep;
    float candidates[kLanes];
    std::copy(std::begin(plan.candidates), std::end(plan.candidates), candidates);
    double p[kLanes], c2c2ss[kLanes];
#pragma omp simd
    for (int lane = 0; lane < kLanes; ++lane) {
        const float candidate = candidates[lane];
        const ResponseProducts products = response_products(
            centre.R1, sweep == kSweepR2 ? candidate : centre.R2,
            sweep == kSweepC1 ? candidate : centre.C1, sweep == kSweepC2 ? candidate : centre.C2);
        p[lane] = products.p;
        c2c2ss[lane] = products.c2c2ss;
    }

    verdict.below = 0;
    const double cutoff_hz = frequencies.cutoff_hz;
    double cutoff_terms[kLanes];
#pragma omp simd
    for (int lane = 0; lane < kLanes; ++lane) {
        cutoff_terms[lane] = cutoff_term(amplitude(p[lane], c2c2ss[lane], cutoff_hz));
    }
    if (every_lane_reaches(cutoff_terms, best)) return;
    double sums[kLanes] = {}, totals[kLanes];
    for (const double f : frequencies.flatness_hz) {
#pragma omp simd
        for (int lane = 0; lane < kLanes; ++lane) {
            sums[lane] = add_flatness_term(sums[lane], amplitude(p[lane], c2c2ss[lane], f));
            totals[lane] = objective_total(sums[lane], cutoff_terms[lane]);
        }
        if (every_lane_reaches(totals, best)) return;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        verdict.objectives[lane] = objective_total(sums[lane], cutoff_terms[lane]);
        if (verdict.objectives[lane] < best) verdict.below |= 1u << lane;
    }
}

}  // namespace kestrane::block
