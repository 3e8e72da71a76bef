// The component search: a fixed-effort coordinate search over C1, C2 and R2 that lowers the
// flatness objective, 10 passes of three sweeps of 10000 candidates each.
#pragma once

#include "kestrane/numeric/filter_records.h"

namespace kestrane {

inline constexpr int kSearchPasses = 10;
inline constexpr int kCandidatesPerSweep = 10000;

// The sweeps of one pass, in the order they run.
enum SweepIndex { kSweepC1 = 0, kSweepC2 = 1, kSweepR2 = 2 };
inline constexpr int kSweepsPerPass = 3;

// Step between neighbouring candidates: 1 pF for the capacitors, 0.1 ohm for R2.
inline constexpr double kCapacitorStep = 1e-12;
inline constexpr double kResistorStep = 0.1;

// Where a search may report what it accepted: the number of accepted candidates per pass
// and sweep.
struct SearchTally {
    int accepted[kSearchPasses][kSweepsPerPass] = {};
};

// Refines R2, C1 and C2 of `components` in place from the starting point it holds, for the
// design `targets`; R1 is left as it is. Components must be finite (see is_finite_design).
// Sweep C1, then C2, then R2, ten times over; a sweep tries the candidates
// centre + 0, -1, +2, -3, ... steps around a centre that moves to each accepted candidate and
// accepts a candidate whose objective is strictly below the lowest objective this sweep has
// reached in the design (10000 at the start). When `tally` is given, it receives the number
// of acceptances per pass and sweep. Allocates nothing.
void search_components(FilterComponents& components, const DesignTargets& targets,
                       SearchTally* tally = nullptr);

}  // namespace kestrane
