// The real circuit's arithmetic that the standard-set search, the tolerance ranges and the
// yield share with circuit.cpp. Internal to the design core, its tests and its benchmark.
#pragma once

#include <cmath>

#include "kestrane/circuit/circuit.h"

namespace kestrane {

// The denominator's coefficients: a = R1 R2 C1 C2 (formed ((R1 R2) C1) C2), b = C2 (R1 + R2).
struct CircuitCoefficients {
    double a;
    double b;
};

inline CircuitCoefficients circuit_coefficients(const CircuitParts& p) {
    return {p.R1 * p.R2 * p.C1 * p.C2, p.C2 * (p.R1 + p.R2)};
}

// cutoff_over_natural for q > 0, from + - * / and sqrt only. With u = Q^2 the root is
// x = 2u / ((1 - 2u) + sqrt((1 - 2u)^2 + 4u^2)) for u <= 1/2, where both terms of the sum are
// at least 0, and x = (e + sqrt(e^2 + 4)) / 2 with e = 2 - 1/u in (0, 2) for u > 1/2: no
// difference of nearly equal terms, no square that overflows (u may underflow to 0, which
// gives the right limit). The two forms meet at x = 1 for Q = 1/sqrt(2).
inline double ratio_of_cutoff(double q) {
    if (q <= kTargetQ) {
        const double u = q * q;
        const double d = 1 - 2 * u;
        return q * std::sqrt(2 / (d + std::sqrt(d * d + 4 * u * u)));
    }
    const double e = 2 - 1 / (q * q);
    return std::sqrt((e + std::sqrt(e * e + 4)) / 2);
}

// Q and the -3 dB cutoff of positive coefficients.
inline double quality_of(CircuitCoefficients c) {
    return std::sqrt(c.a) / c.b;
}
inline double cutoff_of(CircuitCoefficients c) {
    const double root_a = std::sqrt(c.a);
    return ratio_of_cutoff(root_a / c.b) / (kExactTwoPi * root_a);
}

}  // namespace kestrane
