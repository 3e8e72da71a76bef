// x^-1/2 correctly rounded: the double nearest the exact value, as a power function that
// rounds correctly would give it. Built from + - * / and sqrt alone (no fused multiply-add,
// which the build keeps off and WebAssembly lacks), so that the native program and the page's
// module give the same bits. Internal to the design core.
//
// Correct rounding makes the function monotone: x^-1/2 falls as x rises, and rounding to the
// nearest double never reverses an order, so x1 <= x2 gives a result at x1 at least the result
// at x2. The search's range bound relies on that.
//
// Two stages:
// - the estimate, cheap and vectorisable, which lane loops run for every argument: a first
//   approximation y = 1/sqrt(x), the exact-to-2^-100 residual of x*y^2 against 1 by
//   error-free products (Dekker's product with Veltkamp's splitting), and the correction it
//   implies. It returns the rounded result together with a flag saying whether that result is
//   certain; it is uncertain only when the exact value lies within 2^-89 (relative) of a
//   midpoint between two doubles (about one argument in 2^36), and for x outside
//   2^-900 .. 2^900, where the error-free products could underflow or overflow;
// - the exact decision, which a scalar loop runs after the lane loop for the uncertain lanes
//   only: whether the exact value lies above a midpoint between two doubles, decided by
//   integer arithmetic.
#pragma once

#include <cmath>
#include <cstdint>

namespace kestrane::inverse_sqrt {

// Arguments the estimate handles; outside them it reports itself uncertain.
inline constexpr double kEstimateLeast = 0x1p-900;
inline constexpr double kEstimateMost = 0x1p900;
// Veltkamp's splitting constant for doubles, 2^27 + 1: a*(2^27 + 1) splits a 53-bit
// significand into two halves of at most 26 bits each (the low half carries the sign).
inline constexpr double kSplitter = 0x1p27 + 1;
// Half the width of the interval the estimate puts around its correction, relative to y.
inline constexpr double kCorrectionMargin = 0x1p-90;

// a = hi + lo exactly, with hi and lo of at most 26 significant bits each, for |a| < 2^995.
struct Halves {
    double hi;
    double lo;
};
inline Halves split(double a) {
    const double scaled = a * kSplitter;
    const double hi = scaled - (scaled - a);
    return {hi, a - hi};
}

// The rounding error of the product p = a*b, so that a*b = p + error exactly (Dekker's
// product, for rounding to nearest): each partial product of halves has at most 52 bits and
// is exact, and the sums are exact too. Holds while the splits do not overflow (|a|, |b| below
// 2^995) and |a*b| lies above 2^-969, so that nothing underflows.
inline double product_error(Halves a, Halves b, double p) {
    return ((a.hi * b.hi - p) + a.hi * b.lo + a.lo * b.hi) + a.lo * b.lo;
}

// The estimate: the correctly rounded x^-1/2 in `value`, and whether that is certain.
//
// Let z = x^-1/2 exactly and u = 2^-53 (half a unit in the last place relative to 1).
// 1. y = 1/sqrt(x): two correctly rounded steps, so y = z(1 + b)/(1 + a) with |a|, |b| <= u.
// 2. The residual e = 1 - x*y^2, exactly -((1 + b)^2/(1 + a)^2 - 1): |e| <= 4.01u < 2^-50.9.
//    Computed from error-free products: x*y = g + k and g*y = c + d exactly, so
//    x*y^2 = c + d + k*y and e = ((1 - c) - d) - k*y. c lies within 7u of 1, so 1 - c is exact
//    (Sterbenz); |d| <= 2^-53 and |k*y| <= 2^-52.9, so each of the three remaining roundings
//    acts on a value below 2^-49.9 and errs by at most 2^-102.9: the computed e is within
//    2^-101.3 of the exact.
// 3. z = y*(1 - e)^-1/2 = y*(1 + e/2 + r) with 0 <= r <= 0.38 e^2 < 2^-103 for |e| < 2^-50.9.
//    The correction h = (y*e)/2 rounds once more, by at most u * y * 2^-51.9 = y * 2^-104.9;
//    so z - y lies within y * (2^-102.3 + 2^-103 + 2^-104.9) < y * 2^-101 of h.
// 4. h -+ m with m = y * 2^-90 round by at most u * y * 2^-51 = y * 2^-104, so the reals
//    y + (h - m) and y + (h + m), as computed before their last rounding, enclose z with room
//    to spare (2^-90 - 2^-104 > 2^-101). Rounding to nearest keeps order: if both ends round to
//    the same double, so does z, and that double is the result. Otherwise z lies within
//    2^-89 * y of a midpoint between two doubles, and only the exact decision can tell.
// For 2^-900 <= x <= 2^900, y and g lie within 2^-451 .. 2^451 and every product within
// 2^-451 .. 2^928: the error-free products hold, and nothing underflows or overflows.
struct Estimate {
    double value;
    bool certain;
};
inline Estimate estimate(double x) {
    const double y = 1.0 / std::sqrt(x);
    const Halves xs = split(x), ys = split(y);
    const double g = x * y;
    const double k = product_error(xs, ys, g);
    const double c = g * y;
    const double d = product_error(split(g), ys, c);
    const double e = ((1.0 - c) - d) - k * y;
    const double h = 0.5 * (y * e);
    const double m = y * kCorrectionMargin;
    const double low = y + (h - m);
    const double high = y + (h + m);
    // Written so that a not-a-number is uncertain too.
    const bool in_range = x >= kEstimateLeast && x <= kEstimateMost;
    return {low, in_range && low == high};
}

// Whether x^-1/2 lies above the midpoint between y and the next double above it, for x > 0
// and y > 0, both finite. Never equal: a midpoint has 54 significant bits, an odd last one,
// and the reciprocal of its square is no double.
bool lies_above_midpoint(double x, double y);

// x^-1/2 correctly rounded, for any double, by exact decisions alone (scalar): +infinity at
// +0 and -0, 0 at +infinity, not a number for negative x and for a not-a-number.
double decided_exactly(double x);

// x^-1/2 correctly rounded, for any double: the estimate, or the exact decision where the
// estimate is uncertain. For scalar code.
inline double correctly_rounded(double x) {
    const Estimate first = estimate(x);
    return first.certain ? first.value : decided_exactly(x);
}

}  // namespace kestrane::inverse_sqrt
