#include "sweep_block.h"

#include <algorithm>

namespace kestrane::block {
namespace {

double sweep_step(SweepIndex sweep) {
    return sweep == kSweepR2 ? kResistorStep : kCapacitorStep;
}

// The lane loops are innermost and marked for vector code; the per-lane arithmetic is the
// shared scalar model, inlined.
[[gnu::always_inline]] inline void judge_body(const BlockPlan& plan,
                                              const ObjectiveFrequencies& frequencies, float best,
                                              BlockVerdict& verdict) {
    // Local copies and arrays, so that the compiler sees no aliasing with the verdict.
    const FilterComponents centre = plan.components;
    const SweepIndex sweep = plan.sweep;
    const int first = plan.first;
    const double step = sweep_step(sweep);
    const float swept_centre = centre.*swept_member(sweep);
    float candidates[kLanes];
    double p[kLanes], c2c2ss[kLanes];
#pragma omp simd
    for (int lane = 0; lane < kLanes; ++lane) {
        const float candidate = candidate_value(first + lane, step, swept_centre);
        candidates[lane] = candidate;
        const ResponseProducts products = response_products(
            centre.R1, sweep == kSweepR2 ? candidate : centre.R2,
            sweep == kSweepC1 ? candidate : centre.C1, sweep == kSweepC2 ? candidate : centre.C2);
        p[lane] = products.p;
        c2c2ss[lane] = products.c2c2ss;
    }
    std::copy(candidates, candidates + kLanes, verdict.candidates);

    verdict.below = 0;
    double cutoff_terms[kLanes];
    int lanes_reaching_best = 0;
#pragma omp simd reduction(+ : lanes_reaching_best)
    for (int lane = 0; lane < kLanes; ++lane) {
        cutoff_terms[lane] = cutoff_term(amplitude(p[lane], c2c2ss[lane], frequencies.cutoff_hz));
        lanes_reaching_best += objective_total(0, cutoff_terms[lane]) >= best;
    }
    if (lanes_reaching_best == kLanes) return;
    float sums[kLanes] = {};
    for (const double f : frequencies.flatness_hz) {
        int lanes_reaching_best = 0;
#pragma omp simd reduction(+ : lanes_reaching_best)
        for (int lane = 0; lane < kLanes; ++lane) {
            sums[lane] = add_flatness_term(sums[lane], amplitude(p[lane], c2c2ss[lane], f));
            lanes_reaching_best += objective_total(sums[lane], cutoff_terms[lane]) >= best;
        }
        if (lanes_reaching_best == kLanes) return;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        verdict.objectives[lane] = objective_total(sums[lane], cutoff_terms[lane]);
        if (verdict.objectives[lane] < best) verdict.below |= 1u << lane;
    }
}

}  // namespace

void judge_portable(const BlockPlan& plan, const ObjectiveFrequencies& frequencies, float best,
                    BlockVerdict& verdict) {
    judge_body(plan, frequencies, best, verdict);
}

#ifdef KESTRANE_X86_PATHS
[[gnu::target("avx2")]] void judge_avx2(const BlockPlan& plan,
                                        const ObjectiveFrequencies& frequencies, float best,
                                        BlockVerdict& verdict) {
    judge_body(plan, frequencies, best, verdict);
}

[[gnu::target("avx512f")]] void judge_avx512(const BlockPlan& plan,
                                             const ObjectiveFrequencies& frequencies, float best,
                                             BlockVerdict& verdict) {
    judge_body(plan, frequencies, best, verdict);
}
#endif

BlockJudge judge_for(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return judge_avx512;
    if (path == SearchPath::avx2) return judge_avx2;
#endif
    (void)path;
    return judge_portable;
}

}  // namespace kestrane::block
