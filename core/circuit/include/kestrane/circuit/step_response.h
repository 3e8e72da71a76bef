// The response of a component set with an op-amp to a unit step at its input, computed
// exactly: the closed form of the second-order system for the ideal op-amp (under-, critically
// and over-damped alike), and for the real one the exact solution of the third-order system
// from its poles (a bracketed real root of the cubic, then deflation) and their residues,
// with divided differences where poles nearly coincide. No numerical integration. Built from
// + - * /, sqrt and the core's portable functions: the same bits natively and in the page's
// module.
#pragma once

#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/step_figures.h"

namespace kestrane {

// The figures of `parts` with `opamp` (both valid). The response's extrema are found where
// its derivative changes sign on a grid (at least 400 points, at least 6 a half-period of the
// fastest oscillation, up to where the tail bound is below 1e-6 of the final value) and
// located exactly; rise and settling times are exact crossings between them. The rise time is
// that of the main edge: from the last upward crossing of 10 % of the final value before the
// response first reaches 90 %, to that first 90 % crossing. With a large Ro the step leaks
// through C1 and Ro straight to the output, which jumps at t = 0 and falls back within
// nanoseconds before the main edge; that jump is not the rise. Settling times
// rest on a bound of the tail by the sum of |residue| e^{t Re p}: beyond the time found, the
// response provably stays within the band.
StepFigures step_figures(const CircuitParts& parts, const OpAmp& opamp);

// One point of a step response.
struct StepSample {
    double t_s = 0;
    double value = 0;
};

// `count` (>= 2) evenly spaced samples from 0 to `span_s` (> 0) inclusive; at 0 the value just
// after the step.
std::vector<StepSample> step_samples(const CircuitParts& parts, const OpAmp& opamp, double span_s,
                                     int count);

// The step response at `t_s` >= 0 (at 0, the value just after the step).
double step_value(const CircuitParts& parts, const OpAmp& opamp, double t_s);

}  // namespace kestrane
