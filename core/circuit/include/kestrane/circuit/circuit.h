// The real circuit: what a filter built from four parts does. Beside the design model of
// response.h (6.28318 for 2 pi, whole hertz, 0.7071) and never mixed into it: exact 2 pi,
// continuous frequency, the cutoff where |H| = 1/sqrt(2) (-3.0103 dB), parts as doubles.
//
// H(s) = 1 / (1 + s B + s^2 A) at s = j 2 pi f, with A = R1 R2 C1 C2 (s^2) and
// B = C2 (R1 + R2) (s). Everything here is a function of the natural frequency
// f0 = 1/(2 pi sqrt(A)) and the quality factor Q = sqrt(A)/B: with v = f/f0,
// |H|^-2 = (1 - v^2)^2 + v^2/Q^2.
//
// Every function is meant for buildable parts (is_buildable: all four positive and finite);
// for any other set it returns not-a-number (all fields of a ResponsePoint), never a figure of
// a circuit that does not exist. The figures are accurate to a few units in the last place
// while A and B are normal doubles (for parts that are floats they lie between 1e-180 and
// 1e154), and built only from + - * / and sqrt, so they are the same bits natively and in the
// page's WebAssembly module; the phase also uses the core's portable atan2.
#pragma once

#include <numbers>

#include "kestrane/numeric/filter_records.h"
#include "kestrane/numeric/response_point.h"

namespace kestrane {

inline constexpr double kExactTwoPi = 2 * std::numbers::pi;
// The Q every design aims at, 1/sqrt(2) (Butterworth): there the cutoff equals f0.
inline constexpr double kTargetQ = std::numbers::sqrt2 / 2;

// Four part values: R1 and R2 in ohms, C1 and C2 in farads, in double precision (a set
// within tolerance need not be floats).
struct CircuitParts {
    double R1 = 0;
    double R2 = 0;
    double C1 = 0;
    double C2 = 0;
};

// The components' values as doubles, exactly.
CircuitParts circuit_parts(const FilterComponents& components);

// True when all four parts are positive and finite: a circuit one can build.
bool is_buildable(const CircuitParts& parts);

// f0 = 1/(2 pi sqrt(R1 R2 C1 C2)), in hertz.
double natural_frequency_hz(const CircuitParts& parts);

// Q = sqrt(R1 R2 C1 C2) / (C2 (R1 + R2)), dimensionless.
double quality_factor(const CircuitParts& parts);

// The -3 dB cutoff in hertz: the one frequency where |H| = 1/sqrt(2). With A and B as above,
// omega^2 is the positive root of A^2 w^2 + (B^2 - 2A) w - 1 = 0; computed as f0 times the
// cutoff_over_natural ratio of Q, without cancellation and without forming A^2.
double real_cutoff_hz(const CircuitParts& parts);

// fc / f0 as a function of Q alone (any Q > 0; not-a-number otherwise): the square root of the
// positive root x of x^2 + (1/Q^2 - 2) x - 1 = 0. About Q for small Q, 1 at Q = 1/sqrt(2),
// rising towards sqrt(1 + sqrt(2)) for large Q.
double cutoff_over_natural(double q);

// The response of `parts` at `hz` hertz (0 or above, finite; not-a-number otherwise): the
// phase falls from 0 towards -180 degrees, the group delay is analytic, B (1 + w^2 A) / |D|^2.
ResponsePoint circuit_point(const CircuitParts& parts, double hz);

}  // namespace kestrane
