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

namespace kestrane {

// The figures of a step response. Times in seconds, from the step.
struct StepFigures {
    double final_value = 0;            // A0 / (1 + A0)
    double initial_value = 0;          // just after the step: the leak N3/D3 through C1 and Ro
    double overshoot_percent = 0;      // 100 (peak - final) / final; 0 when it never exceeds final
    double peak_time_s = 0;            // the time of that peak; 0 without overshoot
    double rise_time_s = 0;            // the main edge from 10 % of final to 90 % (see below)
    double settling_1_percent_s = 0;   // after it, |y - final| <= 1 % of final for ever
    double settling_01_percent_s = 0;  // the same for 0.1 %
    double span_s = 0;                 // the span for a plot: 1.5 x the 0.1 % settling time
};

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
