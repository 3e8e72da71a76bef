// The share of builds whose real cutoff (real_cutoff_hz) lands near the target when every
// part is drawn uniformly within its tolerance: a seeded Monte Carlo that gives the same
// counts natively and in the page's WebAssembly module (its own generator, splitmix64;
// uniforms from integer bits; only + - * / and sqrt in the arithmetic).
#pragma once

#include <cstdint>

#include "kestrane/circuit/circuit.h"
#include "kestrane/circuit/tolerance_ranges.h"

namespace kestrane {

inline constexpr int kYieldDraws = 10000;
inline constexpr int kYieldBands = 3;
// The bands around the target, in percent: a build is within band j when
// |fc / target - 1| <= kYieldBandPercent[j] / 100.
inline constexpr double kYieldBandPercent[kYieldBands] = {1, 2, 5};
inline constexpr std::uint64_t kYieldSeed = 0x6b65737472616e65;  // "kestrane"

struct CutoffYield {
    int draws = 0;
    int within[kYieldBands] = {};  // builds within each band

    // The share within band `band` in percent; 0 without draws.
    double percent(int band) const { return draws > 0 ? 100.0 * within[band] / draws : 0; }
};

// `draws` builds of `nominal` (buildable) with `tolerances` (are_tolerances), checked as a
// precondition, against `target_hz` (positive). Build i takes four numbers from splitmix64
// started at `seed`, for R1, R2, C1 and C2 in that order; a number x gives
// u = (x >> 11) / 2^53 in [0, 1) and the part nominal (1 + t (2u - 1)), t its tolerance / 100.
CutoffYield cutoff_yield(const CircuitParts& nominal, const PartTolerances& tolerances,
                         double target_hz, std::uint64_t seed = kYieldSeed,
                         int draws = kYieldDraws);

}  // namespace kestrane
