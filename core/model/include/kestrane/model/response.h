// The filter's response model, the design targets, the starting point and the flatness
// objective that the component search lowers.
//
// The circuit is H(s) = 1 / (1 + s*C2*(R1 + R2) + s^2*R1*R2*C1*C2) at s = j*2*pi*f. Every
// product is evaluated left to right in double precision; the values that a design keeps are
// single precision, and each rounding to single precision below is deliberate.
#pragma once

#include <cmath>
#include <cstdint>

#include "kestrane/numeric/filter_records.h"
#include "kestrane/numeric/response_point.h"

namespace kestrane {

// The design model's stand-ins for 2*pi and (2*pi)^2, used exactly as these decimals: 6.28318
// is 2*pi cut to six digits (2*pi = 6.2831853...), 39.478 its square cut to five (39.4784...).
// They are the model's, not the circuit's: the real circuit uses kExactTwoPi, the double
// nearest 2*pi. The names say so, so that nobody takes them for two pi.
inline constexpr double kModelTwoPi = 6.28318;
inline constexpr double kModelTwoPiSquared = 39.478;
// The amplitude the objective asks for at the cutoff (not 1/sqrt(2)).
inline constexpr double kModelCutoffAmplitude = 0.7071;
// The single-precision constant nearest one third.
inline constexpr float kOneThird = 0.33333334f;

// Whole-hertz frequency: truncates `hz` toward zero to a 64-bit integer and keeps its low 32
// bits as a signed value. A not-a-number, an infinity or a magnitude of 2^63 or more gives 0.
// Never casts an out-of-range double to an integer.
std::int32_t whole_hz(double hz);

// The absolute value of `value` after rounding it to single precision.
inline double abs_single(double value) {
    return std::fabs(static_cast<double>(to_single(value)));
}

// Gain magnitude |H| of `components` at `hertz`; dimensionless, exactly 1 at 0 Hz. Any
// finite components are accepted, zero and negative values included.
double magnitude_at(const FilterComponents& components, std::int32_t hertz);

// Phase of `components` at `hertz` in radians, atan(num/den) with num = S*C2*f*6.28318 and
// den = 1 - p*f*f*39.478: positive below the natural frequency, negative above it, 0 at
// 0 Hz, and not a number where num and den are both 0. The arctangent is the core's portable
// one, so the phase has the same bits in every build.
double phase_at(const FilterComponents& components, std::int32_t hertz);

// The model's response at any real frequency `hz` (not truncated to whole hertz), for the
// plots of a design: the gain is magnitude_at at a whole number of hertz, bit for bit; the
// phase falls from 0 at 0 Hz towards -180 degrees; the group delay is taken with
// omega = 6.28318 x frequency, the model's stand-in. The phase has the numerator and denominator of
// phase_at but a two-argument arctangent, so it runs on past the natural frequency instead of
// jumping from +90 to -90 degrees; below the natural frequency it is phase_at in degrees with
// the sign turned to the usual one (a lag is negative). Values that overflow come out
// infinite or not a number.
ResponsePoint model_point(const FilterComponents& components, double hz);

// The design's targets from the cutoff in kilohertz (single precision, as typed).
DesignTargets make_targets(float fc_khz);

// The search's starting point: R1 as given, R2 = R1, C1 = 0.44/(2*R1*F), C2 = 0.22/(2*R1*F)
// in farads with F = targets.cutoff_hz. Not finite when R1 or the cutoff is 0 or their
// product is so small that a capacitor leaves the single-precision range; the caller checks
// with is_finite_design.
FilterComponents starting_point(float r1, const DesignTargets& targets);

// True when all four components are finite.
bool is_finite_design(const FilterComponents& components);

// The figure of merit: the sum, held in single precision, of |1 - |H|| over the 20 flatness
// points, plus |0.7071 - |H|| at the cutoff; each term rounded to single precision before its
// sign is dropped. Double precision, not rounded at the end. 0 would be a perfect fit.
double flatness_objective(const FilterComponents& components, const DesignTargets& targets);

}  // namespace kestrane
