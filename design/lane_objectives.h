// The search's inner loop: the flatness objective of a block of candidates side by side, one
// lane per candidate, compiled once per vector instruction set. Internal to the design core.
#pragma once

#include "response.h"

namespace kestrane::lanes {

// Candidates evaluated side by side. Each lane sums its 21 terms in the same order as
// flatness_objective, so each lane's value equals it bit for bit.
inline constexpr int kLanes = 8;

// The frequency-independent products (see response_products) of each lane's candidate.
struct LaneProducts {
    double p[kLanes];
    double c2c2ss[kLanes];
};

// Writes the objective of each lane's candidate to objectives[0..kLanes).
using LaneKernel = void (*)(const LaneProducts& products, const ObjectiveFrequencies& frequencies,
                            double* objectives);

void objectives_portable(const LaneProducts& products, const ObjectiveFrequencies& frequencies,
                         double* objectives);
#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRANE_X86_PATHS 1
void objectives_avx2(const LaneProducts& products, const ObjectiveFrequencies& frequencies,
                     double* objectives);
void objectives_avx512(const LaneProducts& products, const ObjectiveFrequencies& frequencies,
                       double* objectives);
#endif

}  // namespace kestrane::lanes
