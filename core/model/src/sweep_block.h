// The search's inner loop: a block of consecutive candidates of one sweep judged side by
// side, one lane per candidate. search_paths.cpp compiles it once per vector instruction
// set. Internal to the design core.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>

#include "kestrane/model/search.h"
#include "response_model.h"

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

// Whether every lane's running total has reached the best. A lane whose total is not a
// number may count either way: its objective is not below the best either.
[[gnu::always_inline]] inline bool every_lane_reaches(const double (&totals)[kLanes], double best) {
    double least_total = HUGE_VAL;
#pragma omp simd reduction(min : least_total)
    for (int lane = 0; lane < kLanes; ++lane) {
        least_total = totals[lane] < least_total ? totals[lane] : least_total;
    }
    return least_total >= best;
}

// A lane's running total as every_lane_reaches sees it: -infinity, which never reaches the
// best, while an amplitude of the lane is unsure.
inline double total_to_compare(double flatness_sum, double cutoff_term, double unsure) {
    return unsure != 0 ? -HUGE_VAL : objective_total(flatness_sum, cutoff_term);
}

// The body of every BlockJudge, inlined into each path's compilation. The lane loops are
// innermost and marked for vector code; every lane holds doubles only (the single-precision
// sums too), so that one vector width serves the whole loop. The amplitude of a run of equal
// flatness frequencies is computed once, and its term added once for each point of the run.
// A lane whose amplitude estimate is unsure in any term (hardly ever) has its objective
// computed again at the end, one term after another, with each amplitude settled.
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
    double unsure[kLanes] = {}, cutoff_terms[kLanes], totals[kLanes];
#pragma omp simd
    for (int lane = 0; lane < kLanes; ++lane) {
        const double square = denominator_square(real_part(p[lane], cutoff_hz),
                                                 imaginary_squared(c2c2ss[lane], cutoff_hz));
        cutoff_terms[lane] = cutoff_term(estimated_amplitude(square, unsure[lane]));
        totals[lane] = total_to_compare(0.0, cutoff_terms[lane], unsure[lane]);
    }
    if (every_lane_reaches(totals, best)) return;
    double sums[kLanes] = {}, terms[kLanes];
    for (int run = 0; run < frequencies.runs; ++run) {
        const double f = frequencies.run_hz[run];
#pragma omp simd
        for (int lane = 0; lane < kLanes; ++lane) {
            const double square =
                denominator_square(real_part(p[lane], f), imaginary_squared(c2c2ss[lane], f));
            terms[lane] = flatness_term(estimated_amplitude(square, unsure[lane]));
        }
        for (int point = 0; point < frequencies.run_length[run]; ++point) {
#pragma omp simd
            for (int lane = 0; lane < kLanes; ++lane) {
                sums[lane] = add_term(sums[lane], terms[lane]);
            }
        }
#pragma omp simd
        for (int lane = 0; lane < kLanes; ++lane) {
            totals[lane] = total_to_compare(sums[lane], cutoff_terms[lane], unsure[lane]);
        }
        if (every_lane_reaches(totals, best)) return;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        verdict.objectives[lane] = objective_total(sums[lane], cutoff_terms[lane]);
        if (unsure[lane] != 0) {
            FilterComponents k = centre;
            k.*swept_member(sweep) = candidates[lane];
            verdict.objectives[lane] = objective_at(k, frequencies);
        }
        if (verdict.objectives[lane] < best) verdict.below |= 1u << lane;
    }
}

}  // namespace kestrane::block
