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

// splitmix64 (Steele, Lea and Flood): a 64-bit state stepped by a constant and mixed; the
// generator of every yield, so the cascade's draws are made the same way.
struct SplitMix64 {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // A uniform double in [-1, 1): 2u - 1 with u = (x >> 11) / 2^53 from the top 53 bits of
    // the next number x, exactly.
    double next_symmetric() {
        constexpr double kTwoToMinus53 = 0x1p-53;
        const double u = static_cast<double>(next() >> 11) * kTwoToMinus53;
        return 2 * u - 1;
    }

    // A part drawn within `tolerance` (a fraction, not percent) of `nominal`:
    // nominal (1 + tolerance (2u - 1)).
    double drawn(double nominal, double tolerance) {
        return nominal * (1 + tolerance * next_symmetric());
    }
};

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
