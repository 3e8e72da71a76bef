// The design core's arithmetic that the cascade library builds on: the Complex type and the
// bracketed root finder, the portable elementary functions, double-double sums and products,
// the exact 2 pi and the checks of stated conditions (the one place the library names the
// core's headers), and the golden-section search its peaks are refined by.
#pragma once

#include "kestrane/circuit/circuit.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/double_double.h"
#include "kestrane/numeric/polynomial.h"
#include "kestrane/numeric/portable_math.h"

namespace kestrane {

// Where a golden-section search of [low, high] leaves the greatest value of `gain`: the middle
// of its last bracket, once the bracket is within 4e-16 of its upper end (or after 100 steps,
// each comparing two fresh samples).
template <class Gain>
double golden_maximum(const Gain& gain, double low, double high) {
    constexpr double kGolden = 0.6180339887498949;  // (sqrt(5) - 1) / 2
    double a = low;
    double b = high;
    for (int i = 0; i < 100 && b - a > 4e-16 * b; ++i) {
        const double left = b - kGolden * (b - a);
        const double right = a + kGolden * (b - a);
        if (gain(left) >= gain(right)) {
            b = right;
        } else {
            a = left;
        }
    }
    return a + (b - a) / 2;
}

}  // namespace kestrane
