// A SPICE netlist (*.cir) of a component set with the op-amp model, for ngspice, LTspice and
// other simulators: only R, C, E and G elements.
#pragma once

#include <string>
#include <string_view>

#include <span>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/circuit/opamp.h"

namespace kestrane {

// Why the netlist's elements cannot hold `opamp` (valid), or "" when they can: a gain beyond the
// double range (an A0 above about 6165 dB) with a finite GBW would need an infinite resistor
// beside the capacitor that sets the pole. The one rule for an infinite open-loop gain: the
// ideal op-amp and an infinite gain without a pole are written as buffers, this one not at all.
std::string_view netlist_refusal_of(const OpAmp& opamp);

// What the design was made from, for the netlist's comments.
struct NetlistDesign {
    double cutoff_hz = 0;     // the cutoff asked for
    double r1_ohm = 0;        // R1 as given
    std::string_view series;  // the preferred-number series of the parts, "" for exact values
    std::string_view method;  // how the values were chosen, "" when not to be said
};

// The AC sweep's density at which the measured -3 dB frequency is within 1e-6 of the model's,
// relative: ngspice interpolates linearly between points, which at 1000 a decade moves the
// crossing of a second-order response by about 1e-9 of it (1.2e-6 at 100 a decade), and
// prints its measurements with seven significant digits, 5e-7 at most.
inline constexpr int kMeasuredPointsPerDecade = 1000;

// The analyses: an AC sweep over the plotted range and a transient of the step.
struct NetlistAnalyses {
    double ac_start_hz = 1;   // > 0, well below the cutoff: the gain there is the DC gain
    double ac_stop_hz = 1e6;  // > ac_start_hz
    int ac_points_per_decade = kMeasuredPointsPerDecade;  // > 0
    double step_span_s = 1e-3;  // > 0: the transient's end (StepFigures::span_s)
    // The transient's largest step: the span / 2000 when 0 (or larger than that).
    double step_max_s = 0;
};

// The analyses for a set whose real cutoff is `cutoff_hz` (any double: 1000 Hz stands in for
// one that is not positive and finite) and whose step settles over `step_span_s` (1 / cutoff
// stands in for one that is not): an AC sweep from a thousandth to a thousand times the
// cutoff, kept within the double range, at kMeasuredPointsPerDecade, and the step's span.
NetlistAnalyses netlist_analyses(double cutoff_hz, double step_span_s);

// The netlist of `parts` (valid) with `opamp` (valid, and netlist_refusal_of it empty):
// - the input node `in`, driven by VIN with AC 1 and a 0 to 1 V step at t = 0 rising in
//   1e-7 of the span; the output node `out`; R1 in-x, R2 x-p, C1 x-out, C2 p-0;
// - the op-amp: GA, a transconductance of 1 S driven by V(p) - V(out), into RA = A0 ohms in
//   parallel with CA = 1/(2 pi GBW) farads, gives A0 / (1 + s A0 / (2 pi GBW)) on node `a`;
//   EB buffers it, RO = Ro connects it to `out` (EB drives `out` itself when Ro = 0; no CA
//   with an infinite GBW; the ideal op-amp is EB from `p`);
// - `.ac dec` over the analyses' range and `.tran` to the step span (at most 2000 steps of the
//   span apart), with tolerances tight enough for 0.1 % of the final value;
// - a `.control` block, ngspice's, so that `ngspice -b FILE` runs both analyses, prints
//   minus_3db_from_dc_gain_hz (the first frequency where the gain is 3 dB below the DC gain,
//   taken as the gain at the sweep's start) and step_overshoot_percent (100 (peak - DC gain) /
//   DC gain of the step, 0 when it never passes the DC gain), and exits with status 0;
// - comments with the program's version, the design's inputs, the op-amp in the page's units
//   and the model's -3 dB cutoff. Values are written with 17 significant digits, so that the
//   simulator sees the same circuit as the model. Lines end in "\n"; the last is ".end".
std::string spice_netlist(const CircuitParts& parts, const OpAmp& opamp,
                          const NetlistDesign& design, const NetlistAnalyses& analyses);

// The netlist of a cascade: `stages` (valid, is_valid_cascade_circuit) of `design` (whose
// response, order, cutoff and stage targets the comments name, with the resistors' `r1_ohm`,
// the parts' `series` and `method`) with `opamp` (valid, netlist_refusal_of it empty) in every
// stage. Stage k's parts are R<k>01, R<k>02, C<k>01, C<k>02 (a first-order stage R<k>01 from
// its input to p<k> and C<k>01 from p<k> to ground), between its input (`in` for the first,
// o<k-1> after) and its output o<k> (`out` for the last), its op-amp GA<k>, RA<k>, CA<k>,
// EB<k> and RO<k> as spice_netlist's; the same source, analyses and options, and ngspice's
// measurements of the cutoff under the design's rule (minus_3db_from_dc_gain_hz,
// minus_6db_from_dc_gain_hz, or ripple_edge_hz: the last frequency where the gain falls
// through its largest value less the ripple) and of the step's overshoot.
std::string cascade_netlist(std::span<const StageCircuit> stages, const OpAmp& opamp,
                            const CascadeDesign& design, double r1_ohm, std::string_view series,
                            std::string_view method, const NetlistAnalyses& analyses);

// A netlist without a circuit, for a design that has none to build: the program's version line,
// "* " and `reason` (one line), and ".end". A simulator reads it as an empty circuit.
std::string empty_netlist(std::string_view reason);

}  // namespace kestrane
