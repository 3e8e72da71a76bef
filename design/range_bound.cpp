#include "range_bound.h"

#include <algorithm>
#include <cmath>

#include "sweep_block.h"

namespace kestrane {
namespace {

// The closed interval between two values, in order.
struct Interval {
    double low;
    double high;
};

Interval between(double a, double b) {
    return a <= b ? Interval{a, b} : Interval{b, a};
}

// The products p and c2c2ss over the range.
struct ProductIntervals {
    Interval p;
    Interval c2c2ss;
};

bool holds_zero_inside(double a, double b) {
    return (a < 0 && b > 0) || (a > 0 && b < 0);
}

ProductIntervals product_intervals(const FilterComponents& centre, SweepIndex sweep,
                                   SweptValues values) {
    FilterComponents at_low = centre, at_high = centre;
    at_low.*block::swept_member(sweep) = values.low;
    at_high.*block::swept_member(sweep) = values.high;
    const ResponseProducts low = response_products(at_low);
    const ResponseProducts high = response_products(at_high);
    ProductIntervals products{between(low.p, high.p), between(low.c2c2ss, high.c2c2ss)};
    // c2c2ss = ((C2*C2)*S)*S is smallest, 0, where C2 or S = R1 + R2 is 0.
    const bool c2_crosses_zero = sweep == kSweepC2 && holds_zero_inside(values.low, values.high);
    const bool s_crosses_zero =
        sweep == kSweepR2 && holds_zero_inside(static_cast<double>(centre.R1) + values.low,
                                               static_cast<double>(centre.R1) + values.high);
    if (c2_crosses_zero || s_crosses_zero) products.c2c2ss.low = 0;
    return products;
}

// |H| at `f` over the range.
Interval amplitude_interval(const ProductIntervals& products, double f) {
    const double re_a = real_part(products.p.low, f);
    const double re_b = real_part(products.p.high, f);
    const Interval re2 = between(re_a * re_a, re_b * re_b);
    const double re2_low = holds_zero_inside(re_a, re_b) ? 0.0 : re2.low;
    const Interval im2 = between(imaginary_squared(products.c2c2ss.low, f),
                                 imaginary_squared(products.c2c2ss.high, f));
    return {amplitude_from_square(im2.high + re2.high), amplitude_from_square(im2.low + re2_low)};
}

// The least |single(target - |H|)| over the range of |H|.
double least_deviation(double target, Interval magnitude) {
    const double from_high = target - magnitude.high;  // the lower of the two
    const double from_low = target - magnitude.low;
    if (from_high <= 0 && from_low >= 0) return 0;
    return std::min(abs_single(from_high), abs_single(from_low));
}

}  // namespace

double objective_lower_bound(const FilterComponents& centre, SweepIndex sweep, SweptValues values,
                             const ObjectiveFrequencies& frequencies, double stop_at) {
    const ProductIntervals products = product_intervals(centre, sweep, values);
    const double cutoff_low =
        least_deviation(kCutoffAmplitude, amplitude_interval(products, frequencies.cutoff_hz));
    double total = objective_total(0, cutoff_low);
    double sum = 0;
    for (const double f : frequencies.flatness_hz) {
        if (total >= stop_at) break;
        sum = add_term(sum, least_deviation(1.0, amplitude_interval(products, f)));
        total = objective_total(sum, cutoff_low);
    }
    return total;
}

}  // namespace kestrane
