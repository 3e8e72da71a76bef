// The pieces of the op-amp model that the step response, the tests and the benchmark share.
// Internal to the design core.
#pragma once

#include "kestrane/circuit/opamp.h"
#include "kestrane/numeric/polynomial.h"

namespace kestrane {

// The power of two within a factor 2 of `value` (> 0, finite): scaling by it is exact.
double nearest_power_of_two(double value);

// sqrt(D0/D2), the natural angular frequency of the ideal circuit in rad/s, near that of the
// model; the scale the root finders work at.
double natural_angular_frequency(const TransferFunction& h);

// The poles of D in rad/s (roots, and the monic quadratic of its complex pair, as
// polynomial_roots gives them), found at the scale of the natural frequency.
PolynomialRoots poles_of(const TransferFunction& h);

// |H(j w)| and d ln|H(j w)| / dw at an angular frequency w in rad/s.
double gain_at_angular(const TransferFunction& h, double w);
double log_gain_slope(const TransferFunction& h, double w);

}  // namespace kestrane
