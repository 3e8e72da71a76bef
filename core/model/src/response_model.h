// The pieces of the response model and the objective that the search's inner loop shares
// with flatness_objective. Internal to the design core, its tests and its benchmark.
#pragma once

#include <cmath>

#include "kestrane/model/response.h"
#include "kestrane/numeric/inverse_square_root.h"

namespace kestrane {

// The frequency-independent products of one component set, each formed left to right from
// the single-precision values: p = ((R1*R2)*C1)*C2, c2c2ss = ((C2*C2)*S)*S and sc2 = S*C2,
// S = R1 + R2.
struct ResponseProducts {
    double p;
    double c2c2ss;
    double sc2;
};

inline ResponseProducts response_products(float r1, float r2, float c1, float c2) {
    const double s = static_cast<double>(r1) + static_cast<double>(r2);
    const double r1r2 = static_cast<double>(r1) * r2;
    const double c2c2 = static_cast<double>(c2) * c2;
    return {r1r2 * c1 * c2, c2c2 * s * s, s * c2};
}

inline ResponseProducts response_products(const FilterComponents& c) {
    return response_products(c.R1, c.R2, c.C1, c.C2);
}

// The real part re = 1 - p*f*f*39.478 and the squared imaginary part
// im^2 = c2c2ss*f*f*39.478 of the denominator at `f` hertz (a whole number of hertz as a
// double). Each is a chain of correctly rounded steps, so each rises or falls with its
// product and never turns back: the range bound relies on that.
inline double real_part(double p, double f) {
    return 1.0 - p * f * f * kModelTwoPiSquared;
}
inline double imaginary_squared(double c2c2ss, double f) {
    return c2c2ss * f * f * kModelTwoPiSquared;
}

// The numerator of the phase, num = sc2*f*6.28318: the imaginary part of the denominator.
inline double phase_numerator(double sc2, double f) {
    return sc2 * f * kModelTwoPi;
}

// The squared magnitude of the denominator, im^2 + re^2, from its two parts.
inline double denominator_square(double re, double im2) {
    return im2 + re * re;
}

// |H| from the squared magnitude of the denominator: (im^2 + re^2)^-1/2, correctly rounded,
// as a power function that rounds correctly gives it. It falls as its argument rises (the
// range bound relies on that). For scalar code; lane loops take the lanes' version below.
//
// The C library's power function, which the test suite's reference search uses, rounds
// almost but not quite correctly: over 10^7 arguments each, uniform in [1, 2), near 1 and
// log-uniform over 2^-20 .. 2^40, and 6.3 * 10^6 that the objective meets around searched
// designs, it differs from this in 0.01 % to 0.09 % of them; 1/sqrt (two roundings) differs in
// 27 % to 35 %. None of those differences reached a single-precision term (1 - |H| or
// 0.7071 - |H|); with 1/sqrt 2783 terms differed (bench/amplitude_agreement.cpp). So the
// search agrees with the power-function reference over every soak, but by measurement, not
// by proof: a term that the power function rounds the other way could tip an acceptance.
inline double amplitude_from_square(double denominator_squared) {
    return inverse_sqrt::correctly_rounded(denominator_squared);
}
inline double amplitude_from_parts(double re, double im2) {
    return amplitude_from_square(denominator_square(re, im2));
}

// amplitude_from_square in a lane loop: the estimate, which is the correctly rounded |H|
// unless it is uncertain (about one argument in 2^36, and arguments beyond 2^-900 .. 2^900).
// Then `unsure` is set to 1, and the lane's result must be settled in scalar code with
// amplitude_from_square; otherwise `unsure` is left as it is.
[[gnu::always_inline]] inline double estimated_amplitude(double denominator_squared,
                                                         double& unsure) {
    const inverse_sqrt::Estimate estimate = inverse_sqrt::estimate(denominator_squared);
    unsure = estimate.certain ? unsure : 1.0;
    return estimate.value;
}

// |H| at `f` hertz from the products above.
inline double amplitude(double p, double c2c2ss, double f) {
    return amplitude_from_parts(real_part(p, f), imaginary_squared(c2c2ss, f));
}

// The whole-hertz frequencies the objective evaluates, fixed for one design: the 20
// flatness points stepping down from flat_top_hz by 2.5 % each, then the cutoff.
inline constexpr int kFlatnessPoints = 20;
struct ObjectiveFrequencies {
    double flatness_hz[kFlatnessPoints];  // in the objective's order
    double cutoff_hz;
    // The flatness points as runs of equal frequencies, in order: run r lies at run_hz[r] and
    // stands for run_length[r] consecutive points. Below a cutoff of 120 Hz the 2.5 % steps
    // are less than a hertz apart and several points fall on one whole hertz; the search
    // computes the amplitude of a run once. Points at 0 Hz are left out: there |H| is exactly
    // 1 for any finite components (re = 1, im^2 = 0), and a term of 0 leaves the sum as it is.
    double run_hz[kFlatnessPoints];
    int run_length[kFlatnessPoints];
    int runs;
};
ObjectiveFrequencies objective_frequencies(const DesignTargets& targets);
// The same for any flatness points and cutoff, each a whole number of hertz.
ObjectiveFrequencies objective_frequencies(const double (&flatness_hz)[kFlatnessPoints],
                                           double cutoff_hz);

// One flatness term, |1 - |H||, and the running single-precision sum it is added to:
// single(sum + term). The sum is passed and returned as a double that holds a
// single-precision value, so that vector code keeps every lane in one width.
inline double flatness_term(double magnitude) {
    return abs_single(1.0 - magnitude);
}
inline double add_term(double sum, double term) {
    return to_single(sum + term);
}
inline double add_flatness_term(double sum, double magnitude) {
    return add_term(sum, flatness_term(magnitude));
}

// The cutoff term of the objective: |0.7071 - |H|| at the cutoff.
inline double cutoff_term(double cutoff_magnitude) {
    return abs_single(kModelCutoffAmplitude - cutoff_magnitude);
}

// The objective from the flatness sum (a single-precision value) and the cutoff term, in
// double precision. Adding a flatness term never lowers the sum, so the total over the first
// terms is a lower bound of the objective.
inline double objective_total(double flatness_sum, double cutoff_term) {
    return flatness_sum + cutoff_term;
}

// flatness_objective with the design's frequencies already worked out.
double objective_at(const FilterComponents& components, const ObjectiveFrequencies& frequencies);

}  // namespace kestrane
