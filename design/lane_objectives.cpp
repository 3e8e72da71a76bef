#include "lane_objectives.h"

namespace kestrane::lanes {
namespace {

// The lane loop is innermost so that the compiler turns it into vector code; the per-lane
// arithmetic is the shared scalar model, inlined.
[[gnu::always_inline]] inline void objectives_body(const LaneProducts& products,
                                                   const ObjectiveFrequencies& frequencies,
                                                   double* objectives) {
    float sums[kLanes] = {};
    for (const double f : frequencies.flatness_hz) {
        for (int lane = 0; lane < kLanes; ++lane) {
            const double magnitude = amplitude(products.p[lane], products.c2c2ss[lane], f);
            sums[lane] = add_flatness_term(sums[lane], magnitude);
        }
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        const double magnitude =
            amplitude(products.p[lane], products.c2c2ss[lane], frequencies.cutoff_hz);
        objectives[lane] = close_objective(sums[lane], magnitude);
    }
}

}  // namespace

void objectives_portable(const LaneProducts& products, const ObjectiveFrequencies& frequencies,
                         double* objectives) {
    objectives_body(products, frequencies, objectives);
}

#ifdef KESTRANE_X86_PATHS
[[gnu::target("avx2")]] void objectives_avx2(const LaneProducts& products,
                                             const ObjectiveFrequencies& frequencies,
                                             double* objectives) {
    objectives_body(products, frequencies, objectives);
}

[[gnu::target("avx512f")]] void objectives_avx512(const LaneProducts& products,
                                                  const ObjectiveFrequencies& frequencies,
                                                  double* objectives) {
    objectives_body(products, frequencies, objectives);
}
#endif

}  // namespace kestrane::lanes
