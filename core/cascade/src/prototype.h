// The normalised cascades: the stages of each family with the cutoff at 1 rad/s, and the
// Chebyshev quantities the order search shares with them.
#pragma once

#include "core_arithmetic.h"
#include "kestrane/cascade/request.h"

namespace kestrane {

// One stage at cutoff 1 rad/s: for order 2 the pole with the positive (or zero) imaginary
// part of the stage's pair, w0 = |pole| and q = |pole| / (2 |Re pole|); for order 1 the real
// pole, w0 = -pole and q not a number.
struct PrototypeStage {
    int order = 0;
    Complex pole;
    double w0 = 0;
    double q = 0;
};

// The stages in the cascade's order: the first-order stage (if any) first, then rising Q.
struct Prototype {
    int stage_count = 0;
    PrototypeStage stages[kMaxStages];
};

// For a request that validate_request accepts.
Prototype prototype_of(const CascadeRequest& request);

// eps^2 = 10^(r/10) - 1 of a Chebyshev with `ripple_db` of ripple.
double chebyshev_epsilon_squared(double ripple_db);

// The -3.0103 dB frequency of a Chebyshev normalised to its ripple edge at 1 rad/s, relative
// to its DC gain: cosh(acosh(T)/n) with T = 1/eps for odd n (DC at the top of the ripple) and
// T = sqrt(1/eps^2 + 2) for even n (DC at its bottom, a gain of 1/sqrt(1 + eps^2) of the
// ripple's top), from (1 + eps^2 T_n(0)^2) / (1 + eps^2 T^2) = 1/2. Above 1 for ripples up to
// 3 dB (< 3.0103 dB), so the crossing is the only one and lies beyond the ripple band.
double chebyshev_half_power_over_edge(double ripple_db, int order);

}  // namespace kestrane
