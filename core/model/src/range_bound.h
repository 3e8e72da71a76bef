// A lower bound of the objective over a whole range of one sweep's candidates, so that the
// search can set aside a range in which no candidate can beat the sweep's best. Several
// ranges are bounded side by side, one lane each; search_paths.cpp compiles the lanes once
// per vector instruction set. Internal to the design core.
//
// Each lane holds the values low <= v <= high of the swept component (one side of the
// centre) and bounds flatness_objective over every component set that equals the centre but
// for that component, which takes any value in between. The bound is the larger of two:
//
// The interval bound. The objective is a chain of correctly rounded steps, and rounding never
// reverses an order: each product rises or falls with the swept value, re and im^2 with the
// products, |H| (correctly rounded) falls as im^2 + re^2 rises, each term is
// |single(target - |H|)| and the single-precision sum rises with each term. So the same steps
// evaluated at the ends of the range, each on the side that lowers the objective, bound every
// value in between, roundings included; no allowance is needed. Where the range holds a zero of a
// squared quantity (C2, R1 + R2, re) the square's bound is 0; where the range of |H| holds a term's
// target (1, or 0.7071 at the cutoff) the term's bound is 0. Far from the centre this bound is
// close.
//
// The mean-value bound. Near the centre the objective climbs steadily away from it, but its
// terms move in opposite directions, and the least of each term over the range, summed, falls
// far below the objective. In exact arithmetic each term is |target - Q^-1/2| with
// Q = im^2 + re^2 a quadratic in the swept value x (re is linear in x; im^2 is constant or the
// square of a linear function), so its slope is sign * Q'/2 * Q^-3/2 with Q' linear in x. The
// bound is the exact objective at the range's inner end (the end nearest the centre) plus the
// least outward slope over the range times its width, less allowances for the evaluation's
// rounding that lie far above that rounding (see the constants in the body). It needs every
// |H| in the range to be finite and at most 1024; elsewhere only the interval bound counts.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "kestrane/model/search.h"
#include "response_model.h"
#include "sweep_block.h"

namespace kestrane {

// Ranges bounded side by side.
inline constexpr int kRangeLanes = 8;

// One side of the centre in each lane: the swept component's values low[lane] to high[lane],
// finite, low <= high, both on the same side of the centre's value or equal to it; the
// centre's components finite. (Then the interval bound meets no infinity minus infinity and
// no zero times infinity: the products stay below 10^155, and only squares and quotients
// overflow. The mean-value bound gives way wherever |H| exceeds 1024 or its slope is not
// finite.)
struct RangePlan {
    FilterComponents centre;
    SweepIndex sweep;
    float low[kRangeLanes];
    float high[kRangeLanes];
};

// A lower bound of the objective in each lane. Once every lane's interval bound has reached
// `stop_at` the rest of the terms are left out, and the bounds so far, each at least
// `stop_at`, are returned. Not a number only if the range's ends give one.
struct RangeVerdict {
    double bounds[kRangeLanes];
};

using RangeJudge = void (*)(const RangePlan& plan, const ObjectiveFrequencies& frequencies,
                            double stop_at, RangeVerdict& verdict);

namespace range {

// Rounding allowances of the mean-value bound. Each lies far above the error it covers,
// counted below step by step in units of u = 2^-53 (half a unit in the last place of a
// double, relative) and of 2^-24 (the same for single precision). Premises:
// - IEEE double and single precision, rounding to nearest: each +, -, *, / and sqrt (and
//   |H|, inverse_square_root.h) is the exact result times (1 + d) with |d| <= u, unless it
//   falls below 2^-1022 (kUnderflowError) or overflows (then the bound does not apply);
//   n such factors compound to at most n u (1 + 2^-40) for n <= 100;
// - a float times a float is exact in double (24 + 24 significant bits <= 53), so R1*R2 and
//   C2*C2 do not round; R1 + R2 rounds at most once; a whole number of hertz is exact;
// - "exact arithmetic" takes the same float components, whole hertz and double constant
//   39.478 (K below) as the objective, without its roundings.
inline constexpr double kUnit = 0x1p-53;
inline constexpr double kSingleUnit = 0x1p-24;
static_assert(std::numeric_limits<double>::digits == 53 &&
                  std::numeric_limits<float>::digits == 24 &&
                  2 * std::numeric_limits<float>::digits <= std::numeric_limits<double>::digits,
              "a float times a float is exact in double");
static_assert(std::numeric_limits<double>::round_style == std::round_to_nearest &&
                  std::numeric_limits<double>::epsilon() == 2 * kUnit &&
                  std::numeric_limits<float>::epsilon() == 2 * kSingleUnit,
              "the units below");
inline constexpr double kLargestAmplitude = 1024;

// kAmplitudeError: the relative error of the computed |H| against exact arithmetic, for
// |H| <= 1024, with P = R1 R2 C1 C2, T = P f^2 K, RE = 1 - T, IM2 = (C2 S f)^2 K and
// Q = IM2 + RE^2 = |H|^-2:
// 1. p = ((R1 R2) C1) C2: 2 roundings (R1 R2 exact); t = p f f K: 3 more, so |t - T| <= 5u |T|.
// 2. re = 1 - t: 1 rounding, so |re - RE| <= 5u |T| + u |RE|.
// 3. re^2: |re^2 - RE^2| <= 2 |RE| |re - RE| + u RE^2 <= 10u |RE| |T| + 3u RE^2. Where re nearly
//    cancels, |RE| |T| far exceeds RE^2; but |RE| <= Q^1/2 = 1/|H| and |T| <= 1 + |RE|, so
//    10u |RE| |T| <= 10u (|H| + 1) Q: at most 10 (|H| + 1) units of Q.
// 4. c2c2ss = ((C2 C2) S) S: 2 roundings and S's one counted twice; im2 = c2c2ss f f K: 3 more;
//    at most 7 units of IM2 <= Q.
// 5. q = im2 + re^2: 1 rounding. Sum: |q - Q| <= (21 + 10 |H|) units of Q.
// 6. |H| = q^-1/2: half the relative error of q, (10.5 + 5 |H|) units, and its own rounding,
//    1 unit, or 2 for 1/sqrt (the inner end's |H| in the mean-value bound): at most
//    (12.5 + 5 |H|) units, and products of the errors, far below 0.5 unit.
// Total: at most (13 + 5 |H|) units, 5133 units at |H| = 1024, below 2^-40.6; 2^-36 is 25
// times that.
inline constexpr double kAmplitudeError = 0x1p-36;
static_assert((13 + 5 * kLargestAmplitude) * kUnit * 16 <= kAmplitudeError);

// kAbsoluteAmplitudeError: the same as an absolute error of a term target - |H|, before its
// rounding to single precision: (13 + 5 |H|) |H| units, within 40 (|H| + |H|^2) units.
inline constexpr double kAbsoluteAmplitudeError = 40 * kUnit;

// kSumError: the relative error of the objective's single-precision steps against the exact
// sum of its 21 terms (none negative, so no partial sum exceeds the total):
// 1. each term: target - |H| rounds in double, 2^-29 units of 2^-24 of the term, then to
//    single precision, 1 unit: 21 terms, at most 21 (1 + 2^-29) units of the total;
// 2. the flatness sum: the first addition, to 0, is exact; 19 more round to single precision,
//    1 unit of a partial sum each: at most 19 units of the total;
// 3. the flatness sum plus the cutoff term in double: 2^-29 units.
// Total: at most 40.01 units of 2^-24; 2^-17 is 128 units.
inline constexpr double kSumError = 0x1p-17;
static_assert((21 * (1 + 0x1p-29) + 19 + 0x1p-29) * kSingleUnit * 3 <= kSumError);

// kUnderflowError: what underflow adds, absolute. A term or partial sum below 2^-126 rounds
// to single precision with an absolute error of up to 2^-150 instead of a relative one: 21
// terms and 19 sums, 40 x 2^-150 < 2^-144.6. Below 2^-1022 in double an error of up to 2^-1075
// stands in for a relative one; with |H| <= 1024 (q >= 2^-20) it moves |H| by far less.
inline constexpr double kUnderflowError = 0x1p-140;
static_assert(40 * 0x1p-150 * 16 <= kUnderflowError);

// kSlopeError: the relative error of the slope arithmetic.
// 1. Q' = f^2 K (dc2c2ss/dx - 2 re dp/dx) at each end (q_low, q_high): f f K, 2 roundings;
//    dp/dx, 1 rounding after a float times a float; dc2c2ss/dx, S's one
//    and 2 more; re, within 6u (1 + |re|) (steps 1 and 2 above, |T| <= 1 + |re|); the
//    product 2 re dp/dx, the difference and the product by f^2 K, 1 each: at most
//    12u f^2 K (|dc2c2ss/dx| + 2 (|re| + 1) |dp/dx|), which q_allowance covers with 2^-40.
// 2. Each term's slope: the widened |H| (1 rounding; kAmplitudeError covers |H| itself), its
//    cube (2), halving (exact) and the product with Q' (1), the product by the run's points
//    (1); the sum over at most 21 runs, 1 rounding each, none above the sum of the
//    magnitudes: at most 26 units of slope_size, which the slack covers with 2^-40.
// 3. The width high - low, 1 rounding, and the last steps of the bound, a few roundings
//    each of the sizes that last_steps counts.
// 2^-40 is 2^13 units: over 300 times the most counted.
inline constexpr double kSlopeError = 0x1p-40;
static_assert(26 * kUnit * 300 <= kSlopeError);

// Whether the open interval between a and b holds 0.
inline bool holds_zero_inside(double a, double b) {
    return (a < 0 && b > 0) || (a > 0 && b < 0);
}

inline double least(double a, double b) {
    return b < a ? b : a;
}
inline double most(double a, double b) {
    return a < b ? b : a;
}

// What the lanes keep from one term to the next, one array element per lane.
struct Lanes {
    // The range's ends: the products at the low and high end of the swept value, and their
    // slopes d p / d x and d c2c2ss / d x (x enters p linearly and c2c2ss through C2 or
    // S = R1 + R2 squared).
    double p_low[kRangeLanes], p_high[kRangeLanes];
    double c2c2ss_low[kRangeLanes], c2c2ss_high[kRangeLanes];
    double dp_low[kRangeLanes], dp_high[kRangeLanes];
    double dc_low[kRangeLanes], dc_high[kRangeLanes];
    double c2c2ss_zero_inside[kRangeLanes];  // 1 where c2c2ss is 0 inside the range, else 0
    double inner_is_low[kRangeLanes];        // 1 where the low end is nearest the centre
    double width[kRangeLanes];
    // The interval bound's single-precision flatness sum and cutoff term.
    double interval_sum[kRangeLanes], interval_cutoff[kRangeLanes];
    // The objective at the inner end, computed as the objective computes it.
    double inner_sum[kRangeLanes], inner_cutoff[kRangeLanes];
    // The slope of the exact objective over the range, the sum of the slope bounds'
    // magnitudes, the amplitude error allowance, and the largest |H| in the range.
    double slope_low[kRangeLanes], slope_high[kRangeLanes], slope_size[kRangeLanes];
    double amplitude_error[kRangeLanes], largest_amplitude[kRangeLanes];
    // The largest magnitudes of the slopes of the products at the two ends.
    double dp_size[kRangeLanes], dc_size[kRangeLanes];
    // 1 where an amplitude estimate was uncertain, else 0.
    double unsure[kRangeLanes];
    // The last flatness term of each bound, which add_to_sums adds to its sum.
    double interval_term[kRangeLanes], inner_term[kRangeLanes];
};

inline double slope_of_product(float r1, float r2, float c1, float c2, SweepIndex sweep) {
    return sweep == kSweepC1   ? static_cast<double>(r1) * r2 * c2
           : sweep == kSweepC2 ? static_cast<double>(r1) * r2 * c1
                               : static_cast<double>(r1) * c1 * c2;
}

inline double slope_of_c2c2ss(float r1, float r2, float c2, SweepIndex sweep) {
    const double s = static_cast<double>(r1) + static_cast<double>(r2);
    return sweep == kSweepC1 ? 0.0 : sweep == kSweepC2 ? 2.0 * c2 * s * s : 2.0 * c2 * c2 * s;
}

[[gnu::always_inline]] inline void set_up_lane(const FilterComponents& k, SweepIndex sweep,
                                               float low, float high, int lane, Lanes& l) {
    const float centre = k.*block::swept_member(sweep);
    const float r2_low = sweep == kSweepR2 ? low : k.R2, r2_high = sweep == kSweepR2 ? high : k.R2;
    const float c1_low = sweep == kSweepC1 ? low : k.C1, c1_high = sweep == kSweepC1 ? high : k.C1;
    const float c2_low = sweep == kSweepC2 ? low : k.C2, c2_high = sweep == kSweepC2 ? high : k.C2;
    const ResponseProducts at_low = response_products(k.R1, r2_low, c1_low, c2_low);
    const ResponseProducts at_high = response_products(k.R1, r2_high, c1_high, c2_high);
    l.p_low[lane] = at_low.p;
    l.p_high[lane] = at_high.p;
    l.c2c2ss_low[lane] = at_low.c2c2ss;
    l.c2c2ss_high[lane] = at_high.c2c2ss;
    l.dp_low[lane] = slope_of_product(k.R1, r2_low, c1_low, c2_low, sweep);
    l.dp_high[lane] = slope_of_product(k.R1, r2_high, c1_high, c2_high, sweep);
    l.dc_low[lane] = slope_of_c2c2ss(k.R1, r2_low, c2_low, sweep);
    l.dc_high[lane] = slope_of_c2c2ss(k.R1, r2_high, c2_high, sweep);
    // c2c2ss = ((C2*C2)*S)*S is smallest, 0, where C2 or S = R1 + R2 is 0.
    const double r1 = k.R1;
    const bool zero_inside = (sweep == kSweepC2 && holds_zero_inside(low, high)) ||
                             (sweep == kSweepR2 && holds_zero_inside(r1 + low, r1 + high));
    l.c2c2ss_zero_inside[lane] = zero_inside ? 1.0 : 0.0;
    l.inner_is_low[lane] = low >= centre ? 1.0 : 0.0;
    l.width[lane] = (static_cast<double>(high) - low) * (1 + kSlopeError);
    l.interval_sum[lane] = l.interval_cutoff[lane] = 0;
    l.inner_sum[lane] = l.inner_cutoff[lane] = 0;
    l.slope_low[lane] = l.slope_high[lane] = l.slope_size[lane] = 0;
    l.amplitude_error[lane] = l.largest_amplitude[lane] = 0;
    l.unsure[lane] = 0;
    l.dp_size[lane] = most(std::fabs(l.dp_low[lane]), std::fabs(l.dp_high[lane]));
    l.dc_size[lane] = most(std::fabs(l.dc_low[lane]), std::fabs(l.dc_high[lane]));
}

// |H| from a squared magnitude of the denominator in a lane: estimated, with the lane marked
// unsure where the estimate is uncertain, or settled (scalar code).
template <bool kSettled>
[[gnu::always_inline]] inline double lane_amplitude(double square, Lanes& l, int lane) {
    if constexpr (kSettled) {
        return amplitude_from_square(square);
    } else {
        return estimated_amplitude(square, l.unsure[lane]);
    }
}

// Adds one term, at `f` hertz with the given target and standing for `points` points of the
// objective, to a lane; a flatness term goes to the sums with add_to_sums.
template <bool kSettled>
[[gnu::always_inline]] inline void add_term_bounds(double f, double target, bool is_cutoff,
                                                   int points, int lane, Lanes& l) {
    const double re_low = real_part(l.p_low[lane], f), re_high = real_part(l.p_high[lane], f);
    const double im2_low = imaginary_squared(l.c2c2ss_low[lane], f);
    const double im2_high = imaginary_squared(l.c2c2ss_high[lane], f);

    // The interval bound's term.
    const double sq_low = re_low * re_low, sq_high = re_high * re_high;
    const double re2_most = most(sq_low, sq_high);
    const double re2_least = holds_zero_inside(re_low, re_high) ? 0.0 : least(sq_low, sq_high);
    const double im2_most = most(im2_low, im2_high);
    const double im2_least = l.c2c2ss_zero_inside[lane] != 0 ? 0.0 : least(im2_low, im2_high);
    const double amplitude_least = lane_amplitude<kSettled>(im2_most + re2_most, l, lane);
    const double amplitude_most = lane_amplitude<kSettled>(im2_least + re2_least, l, lane);
    const double from_most = target - amplitude_most, from_least = target - amplitude_least;
    const double least_term = from_most <= 0 && from_least >= 0
                                  ? 0.0
                                  : least(abs_single(from_most), abs_single(from_least));

    // The mean-value bound's pieces: the term at the inner end, computed as the objective
    // computes it but for |H|, which the allowances let be 1/sqrt (two roundings), and the
    // term's slope over the range in exact arithmetic.
    const bool inner_is_low = l.inner_is_low[lane] != 0;
    const double inner_amplitude =
        1.0 / std::sqrt(denominator_square(inner_is_low ? re_low : re_high,
                                           inner_is_low ? im2_low : im2_high));
    // Q' = f^2 * 39.478 * (dc2c2ss/dx - 2 re dp/dx) at each end, with its rounding allowance.
    const double scale = f * f * kModelTwoPiSquared;
    const double dp_low = l.dp_low[lane], dp_high = l.dp_high[lane];
    const double dc_low = l.dc_low[lane], dc_high = l.dc_high[lane];
    const double q_low = scale * (dc_low - 2.0 * re_low * dp_low);
    const double q_high = scale * (dc_high - 2.0 * re_high * dp_high);
    const double re_size = most(std::fabs(re_low), std::fabs(re_high)) + 1.0;
    const double q_allowance =
        scale * (l.dc_size[lane] + 2.0 * re_size * l.dp_size[lane]) * kSlopeError;
    const double q_least = least(q_low, q_high) - q_allowance;
    const double q_most = most(q_low, q_high) + q_allowance;
    // |H| over the range in exact arithmetic; the cubes' own roundings are left to the slack
    // on the slope's sum.
    const double a_least = amplitude_least * (1 - kAmplitudeError);
    const double a_most = amplitude_most * (1 + kAmplitudeError);
    const double cube_least = a_least * a_least * a_least;
    const double cube_most = a_most * a_most * a_most;
    // d(target - |H|)/dx = Q'/2 * |H|^3 over the range; |target - |H|| turns it round where
    // target - |H| is negative, and can take either sign where the range holds the target.
    const double rise_least = 0.5 * (q_least >= 0 ? cube_least : cube_most) * q_least;
    const double rise_most = 0.5 * (q_most <= 0 ? cube_least : cube_most) * q_most;
    const bool above = target - a_most > 0, below = target - a_least < 0;
    const double steepest = most(std::fabs(rise_least), std::fabs(rise_most));
    const double slope_least = above ? rise_least : below ? -rise_most : -steepest;
    const double slope_most = above ? rise_most : below ? -rise_least : steepest;

    if (is_cutoff) {
        l.interval_cutoff[lane] = least_term;
        l.inner_cutoff[lane] = cutoff_term(inner_amplitude);
    } else {
        l.interval_term[lane] = least_term;
        l.inner_term[lane] = flatness_term(inner_amplitude);
    }
    const double count = points;
    l.slope_low[lane] += count * slope_least;
    l.slope_high[lane] += count * slope_most;
    l.slope_size[lane] += count * (std::fabs(slope_least) + std::fabs(slope_most));
    l.amplitude_error[lane] += count * kAbsoluteAmplitudeError * (a_most + a_most * a_most);
    l.largest_amplitude[lane] = most(l.largest_amplitude[lane], amplitude_most);
}

// Adds the flatness terms of one lane to its sums, once for each point they stand for.
[[gnu::always_inline]] inline void add_to_sums(int lane, Lanes& l) {
    l.interval_sum[lane] = add_term(l.interval_sum[lane], l.interval_term[lane]);
    l.inner_sum[lane] = add_term(l.inner_sum[lane], l.inner_term[lane]);
}

inline double interval_bound(const Lanes& l, int lane) {
    return objective_total(l.interval_sum[lane], l.interval_cutoff[lane]);
}

// The mean-value bound of a lane, or -infinity where it does not apply.
inline double mean_value_bound(const Lanes& l, int lane) {
    // In exact arithmetic: objective(x) >= objective(inner) + least outward slope * width,
    // and the computed objective lies within kSumError and the allowances of the exact one.
    // The slack covers the roundings of the cubes, of each term's slope and of their sum.
    const double slack = l.slope_size[lane] * kSlopeError;
    const double outward =
        l.inner_is_low[lane] != 0 ? l.slope_low[lane] - slack : -(l.slope_high[lane] + slack);
    const double allowance = l.amplitude_error[lane] + kUnderflowError;
    const double inner = objective_total(l.inner_sum[lane], l.inner_cutoff[lane]);
    const double fall = least(0.0, outward) * l.width[lane];
    const double exact_least = (inner - allowance) / (1 + kSumError) + fall;
    // The few roundings of these last steps, far within kSlopeError of their sizes.
    const double last_steps = (inner + std::fabs(fall)) * kSlopeError;
    const double bound = (1 - kSumError) * exact_least - allowance - last_steps;
    // Written so that a not-a-number fails too.
    const bool applies =
        l.largest_amplitude[lane] <= kLargestAmplitude && std::fabs(l.slope_size[lane]) < HUGE_VAL;
    return applies ? bound : -HUGE_VAL;
}

// Sets up a lane and adds every term to it, one after another, each amplitude settled: for a
// lane whose estimates were unsure.
inline void settle_lane(const FilterComponents& centre, SweepIndex sweep, float low, float high,
                        const ObjectiveFrequencies& frequencies, int lane, Lanes& l) {
    set_up_lane(centre, sweep, low, high, lane, l);
    add_term_bounds<true>(frequencies.cutoff_hz, kModelCutoffAmplitude, true, 1, lane, l);
    for (int run = 0; run < frequencies.runs; ++run) {
        add_term_bounds<true>(frequencies.run_hz[run], 1.0, false, frequencies.run_length[run],
                              lane, l);
        for (int point = 0; point < frequencies.run_length[run]; ++point)
            add_to_sums(lane, l);
    }
}

// The body of every RangeJudge, inlined into each path's compilation. A lane whose amplitude
// estimate is unsure in any term (hardly ever) is worked through again at the end, in full,
// with each amplitude settled.
[[gnu::always_inline]] inline void judge_ranges(const RangePlan& plan,
                                                const ObjectiveFrequencies& frequencies,
                                                double stop_at, RangeVerdict& verdict) {
    const FilterComponents centre = plan.centre;
    const SweepIndex sweep = plan.sweep;
    float low[kRangeLanes], high[kRangeLanes];
    std::copy(std::begin(plan.low), std::end(plan.low), low);
    std::copy(std::begin(plan.high), std::end(plan.high), high);
    const double cutoff_hz = frequencies.cutoff_hz;
    Lanes l;
#pragma omp simd
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        set_up_lane(centre, sweep, low[lane], high[lane], lane, l);
        add_term_bounds<false>(cutoff_hz, kModelCutoffAmplitude, true, 1, lane, l);
    }
    for (int run = 0; run < frequencies.runs; ++run) {
        // An unsure lane never counts as having reached the level.
        double least_bound = HUGE_VAL;
#pragma omp simd reduction(min : least_bound)
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            const double bound = l.unsure[lane] != 0 ? -HUGE_VAL : interval_bound(l, lane);
            least_bound = bound < least_bound ? bound : least_bound;
        }
        if (least_bound >= stop_at) break;
        const double f = frequencies.run_hz[run];
        const int points = frequencies.run_length[run];
#pragma omp simd
        for (int lane = 0; lane < kRangeLanes; ++lane) {
            add_term_bounds<false>(f, 1.0, false, points, lane, l);
        }
        for (int point = 0; point < points; ++point) {
#pragma omp simd
            for (int lane = 0; lane < kRangeLanes; ++lane) {
                add_to_sums(lane, l);
            }
        }
    }
    for (int lane = 0; lane < kRangeLanes; ++lane) {
        if (l.unsure[lane] != 0)
            settle_lane(centre, sweep, low[lane], high[lane], frequencies, lane, l);
        const double interval = interval_bound(l, lane);
        verdict.bounds[lane] =
            interval >= stop_at ? interval : most(interval, mean_value_bound(l, lane));
    }
}

}  // namespace range

}  // namespace kestrane
