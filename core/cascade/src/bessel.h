// The Bessel (Thomson) response from its reverse Bessel polynomial
//   theta_n(s) = sum_k a_k s^k,  a_k = (2n - k)! / (2^(n-k) k! (n - k)!),
// whose roots are the poles normalised for a group delay of 1 s at DC.
#pragma once

#include "core_arithmetic.h"
#include "kestrane/cascade/order.h"

namespace kestrane {

// |theta_n(j w)|^2 / theta_n(0)^2 = 1 + sum_{k=1..n} e_k w^(2k), where
//   |theta_n(j w)|^2 = sum_k c_k w^(2k),  c_k = (2n - k)! (2n - 2k)! / (2^(2n-2k) k! ((n-k)!)^2),
// every c_k positive (a known identity of the Bessel polynomials; the reference script checks it
// in integers up to order 30). e_k = c_k / c_0, from c_k / c_(k+1) =
// (2n - k)(2n - 2k - 1)(k + 1) / (2 (n - k)). With only positive terms the sum keeps its digits
// at every frequency.
struct BesselMagnitude {
    int order = 0;
    double e[kMaxBesselOrderSought + 1] = {};
};

// For 1 <= order <= kMaxBesselOrderSought (the poles below serve 1 to kMaxOrder).
BesselMagnitude bessel_magnitude(int order);

// ln(sum_{k=1..n} e_k w^(2k)) at ln w = `log_w` (any finite value): the log of
// |H(0)/H(j w)|^2 - 1 of the delay-normalised response, without overflow or underflow.
double log_excess(const BesselMagnitude& magnitude, double log_w);

// The one w > 0 where the log excess is `log_target` (any finite value), to a few ulps.
double frequency_of_excess(const BesselMagnitude& magnitude, double log_target);

// The roots of theta_n (1 <= n <= kMaxOrder): the complex ones with positive imaginary part
// in `upper` (n / 2 of them) and, for odd n, the real one. Aberth-Ehrlich iteration from fixed
// points on the circle of the roots' geometric mean, then Newton steps on theta_n itself.
struct BesselRoots {
    int pair_count = 0;
    Complex upper[5];
    double real = 0;  // odd orders only
};
BesselRoots bessel_delay_roots(int order);

}  // namespace kestrane
