// Error-free transformations of IEEE doubles (rounding to nearest, no fused multiply-add,
// which the build forbids): a value held as the unevaluated sum hi + lo, for the few places
// that need about 32 digits from plain double operations.
#pragma once

namespace kestrane {

// A value held as an unevaluated sum hi + lo, |lo| at most half an ulp of hi.
struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly, for any a and b (Knuth).
inline DoubleDouble two_sum(double a, double b) {
    const double s = a + b;
    const double b_part = s - a;
    const double a_part = s - b_part;
    return {s, (a - a_part) + (b - b_part)};
}

// a + b exactly when |a| >= |b| or a is 0 (Dekker).
inline DoubleDouble fast_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a as the sum of two halves of 26 significant bits each (Veltkamp), for |a| below 2^996.
inline DoubleDouble split(double a) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double c = kSplitter * a;
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b exactly (Dekker), when neither the product nor the splits overflow or underflow.
inline DoubleDouble two_product(double a, double b) {
    const double p = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    const double error = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {p, error};
}

}  // namespace kestrane
