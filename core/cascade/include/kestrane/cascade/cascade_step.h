// The response of a cascade with an op-amp (cascade_opamp.h: the same stages, loads and op-amp
// model) to a unit step at its input, exact up to rounding.
//
// Method. Nodal analysis gives the cascade as a linear system x' = A x + B u, y = c x + d u:
// its states are each stage's capacitor voltages (C1, C2) and the op-amp's internal node (the
// single pole, when the GBW is finite); the output nodes, coupled from stage to stage through
// Ro and the next R1, are solved from them by a tridiagonal system. With the unit input as one
// more state (u' = 0) the augmented matrix M (at most 19 x 19) gives the state at t exactly as
// e^{M t} applied to the state at 0. The exponential is formed by scaling and squaring from
// + - * / only, kept as e^{M h} - I so that no digit is lost near the identity, for a ladder of
// steps h = T / 2^i; the response on a grid (steps T, and near 0 steps T/2^i down to the
// fastest time constant) is then exact up to rounding, and any time between grid points is
// reached by binary steps down the ladder. Repeated and nearly repeated poles (identical stages,
// as in a Linkwitz-Riley cascade) need nothing special: no pole is ever computed.
//
// Figures. Extrema are where y' = c (A x + B) changes sign between grid points (the grid has at
// least 8 points a half-period of the fastest oscillation of any stage's own poles), located by
// bisection to 2^-48 of a grid step; between them y is monotonic and every crossing is located
// the same way. The run ends where a Lyapunov bound shows the response within 1e-6 of its final
// value for ever: with P solving A^T P + P A = -I (checked: P positive definite, the residual's
// Frobenius norm below 1/2), V = (x - x_final)^T P (x - x_final) never increases, and
// |y - final| <= sqrt(c P^-1 c^T) sqrt(V). The settling times are the last exact crossings of the
// band's edge before that point: beyond them the response provably stays in the band.
//
// Accuracy, measured against a 50-digit nodal analysis (its poles and residues taken at 150
// digits, and mpmath's Talbot inversion where poles repeat) for eight cascades, realistic and
// slow op-amps, Ro = 0 to 200 ohms: values within 4e-15 of the final value, times within 1e-13
// (relative), overshoot within 4e-13 percentage points. ngspice's transient agrees to 1.1e-4 of
// the final value, its own integration error.
#pragma once

#include <span>
#include <vector>

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/circuit/step_response.h"

namespace kestrane {

// Times in seconds from the step, values in volts for a 1 V step.
struct CascadeStepFigures {
    bool settles = false;          // false when the cascade is unstable: no other figure is set
    double final_value = 0;        // (A0 / (1 + A0))^stages
    double initial_value = 0;      // just after the step: the leak through C1 and Ro (d)
    double overshoot_percent = 0;  // 100 (peak - final) / final; 0 when it never exceeds final
    double peak_time_s = 0;        // the time of that peak; 0 without overshoot
    // The main edge: from the last upward crossing of 10 % of final (t > 0: a jump at the step
    // is not a crossing; 0 when the response never lies below 10 % after the step) before the
    // response first reaches 90 %, to that first 90 % crossing.
    double rise_start_s = 0;
    double rise_time_s = 0;
    double settling_1_percent_s = 0;   // after it |y - final| <= 1 % of final for ever
    double settling_01_percent_s = 0;  // the same for 0.1 %
    double span_s = 0;                 // for a plot: 1.5 x the 0.1 % settling time
};

// The figures of a valid cascade (is_valid_cascade_circuit) with a valid op-amp.
CascadeStepFigures cascade_step_figures(std::span<const StageCircuit> stages, const OpAmp& opamp);

// `count` (>= 2) samples at evenly spaced times from 0 to `span_s` (> 0, finite) inclusive, the
// state carried from each to the next by the exact e^{M span/(count - 1)}; at 0 the value just
// after the step. Valid cascade and op-amp.
std::vector<StepSample> cascade_step_samples(std::span<const StageCircuit> stages,
                                             const OpAmp& opamp, double span_s, int count);

// The response at `t_s` >= 0 (finite), at 0 the value just after the step. Valid cascade and
// op-amp.
double cascade_step_value(std::span<const StageCircuit> stages, const OpAmp& opamp, double t_s);

}  // namespace kestrane
