// Compensation for the op-amp, off unless asked: parts chosen so that, with the op-amp, each
// stage's own dominant poles lie where the ideal design puts them. A second-order stage's
// dominant pole pair (circuit.h's dominant_q, with its natural frequency sqrt(c) of the same
// monic quadratic s^2 + b s + c) gets the stage's f0 and Q; a first-order stage's least real
// pole gets its f0. Each stage is matched alone (unloaded); the loads and the op-amp's own
// poles still move the cascade's cutoff a little, which compensation_gain shows.
#pragma once

#include <optional>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_opamp.h"

namespace kestrane {

// The parts of one stage of a design with R1 = R2 = `r_ohm` whose dominant poles with `opamp`
// are the stage's f0 and Q to within 1e-12 (relative). Order 2: Newton's method on the design
// point (f0', Q') of exact_stage_parts, in logarithms, with a central-difference Jacobian and
// halved steps whenever a step does not reduce the error, from (f0, Q), at most 60 steps and
// 1e-6 < Q' < 1e6. Order 1: the RC's pole is the op-amp's business only when the op-amp's own
// pole, (1 + 1/A0) 2 pi GBW, is not above it, so the parts are exact_stage_parts' whenever it
// is. No value when no parts achieve the target (the op-amp too slow). Valid stage (f0 and Q
// positive and finite), r_ohm and op-amp.
std::optional<StageCircuit> compensated_stage(const Stage& stage, double r_ohm, const OpAmp& opamp);

struct CompensatedCascade {
    int failed_stage = 0;    // the first stage (1 to n) no parts achieve; 0 when all are met
    CascadeCircuit circuit;  // the compensated parts; no stages unless all are met
};

// Every stage of `design` (with stages) compensated for `opamp`.
CompensatedCascade compensated_cascade(const CascadeDesign& design, double r_ohm,
                                       const OpAmp& opamp);

// What compensation gains: the cutoff (under the design's cutoff_rule) with the op-amp before
// and after compensation, against the ideal op-amp's, as relative errors (cutoff / ideal - 1).
// The compensated figures are not a number when compensation is not achieved.
struct CompensationGain {
    double ideal_cutoff_hz = 0;        // the design's parts, ideal op-amp
    double plain_cutoff_hz = 0;        // the design's parts, this op-amp
    double compensated_cutoff_hz = 0;  // the compensated parts, this op-amp
    double plain_error = 0;
    double compensated_error = 0;
};
CompensationGain compensation_gain(const CascadeDesign& design, double r_ohm, const OpAmp& opamp);

}  // namespace kestrane
