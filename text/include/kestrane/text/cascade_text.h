// The texts of a cascade: its heading, each stage's block in the console's line format, the
// specification's order and losses, and the messages for what is refused. Pure; numbers are
// written by format_number. Every figure says what it is measured from.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_parts.h"
#include "kestrane/cascade/cascade_response.h"
#include "kestrane/cascade/cascade_step.h"
#include "kestrane/cascade/compensation.h"
#include "kestrane/cascade/order.h"

namespace kestrane {

// "Butterworth", "Bessel", "Chebyshev" or "Linkwitz-Riley": the family as people write it.
std::string_view response_title(Response response);

// What the cutoff of `request` is, in words:
//   "-3 dB from the DC gain" (Butterworth, Bessel, Chebyshev by default; a Bessel's adds
//     ", the magnitude's: phase- and delay-normalised Bessel cutoffs lie elsewhere"),
//   "-6 dB from the DC gain" (Linkwitz-Riley),
//   "the ripple band's edge, where the gain last leaves the 0.5 dB ripple band" (a Chebyshev
//     asked for it).
std::string cutoff_meaning(const CascadeRequest& request);

// "Chebyshev, 0.5 dB ripple, order 5, cutoff 1000 Hz (-3 dB from the DC gain), R1 10000 Ohm:"
// for `design` (with stages) and resistors of `r1_ohm`.
std::string cascade_heading_line(const CascadeDesign& design, double r1_ohm);

// For an even-order Chebyshev, the line that says where its ripple lies: "Every stage has unity
// gain at DC, so the ripple peaks lie 0.5 dB above the DC gain, not below it"; "" otherwise.
std::string ripple_note_line(const CascadeRequest& request);

// "Stage 2 of 3, second order: f0 1000 Hz, Q 1.30656" or "Stage 1 of 3, first order: f0 1000 Hz":
// stage `k` (1 to `count`).
std::string stage_heading_line(int k, int count, const Stage& stage);

// The part lines of a stage in the console's format: "R1, Ohm: ...", "R2, Ohm: ...",
// "C1, nF: ...", "C2, nF: ..." (order 1: R1 and C1 only).
std::vector<std::string> stage_part_lines(const StageCircuit& stage);

// "Peak gain at its output, dB from 1: 1.2 at 850 Hz", or "... dB from 1: 0 at 0 Hz (at DC)".
std::string stage_peak_line(const Peak& peak);

// The lines of the ideal cascade: its heading, the ripple note (when there is one), then for
// each stage its heading, its exact parts and the peak at its output.
std::vector<std::string> cascade_lines(const CascadeDesign& design, const CascadeCircuit& exact,
                                       const Peak* peaks, double r1_ohm);

// "Order from the passband (1000 Hz, at most 1 dB) and the stopband (5000 Hz, at least 40
// dB): 5; loss from the passband's largest gain 1 dB at 1000 Hz, 42.1 dB at 5000 Hz": the
// order `order` a specification chose and the exact design's losses there.
std::string specification_line(const PassStopSpec& spec, int order, double passband_loss_db,
                               double stopband_loss_db);

// Why a cascade was not designed, one line:
//   a request: "A Linkwitz-Riley filter has an even order: 5 is odd." and the like;
//   a specification: "The passband edge must lie below the stopband edge." and the like;
//   an order: "No order up to 10 meets the specification: a Bessel needs order 14." or
//     "... cannot be met by any Bessel order." (OrderChoice's outcome);
std::string request_error_message(RequestError error, const CascadeRequest& request);
std::string spec_error_message(SpecError error);
std::string order_message(Response response, const OrderChoice& choice);

// With compensation: "Compensation for the op-amp: cutoff error with it -0.16 %, without
// -18.9 %" (against the ideal op-amp), or "Compensation for the op-amp: none, no parts reach
// stage 3's f0 and Q with this op-amp".
std::string compensation_line(const CompensationGain& gain, int failed_stage);

// The cascade's op-amp lines, as opamp_figure_lines has them for one stage: the cutoff with
// the op-amp (from the DC gain, first crossing; the rule's level), the needed GBW, the slew
// rate at each stage's output for an input sine of `amplitude_v` volts peak, the lowest gain
// above the cutoff and the gain as the frequency grows without bound (dB from 1), the peak at
// each stage's output with the op-amp, and the step's overshoot, main-edge rise time and
// settling times.
std::vector<std::string> cascade_opamp_lines(const CascadeOpAmpFigures& figures,
                                             const CascadeStepFigures& step,
                                             const CascadeRequest& request, double amplitude_v);

// "Stage 2 of 3: f0 1003.2 Hz (+0.32 %), Q 1.30392 (-0.2 %)" for a built stage (order 1: f0
// only), the errors against what the set aims at.
std::string built_stage_line(int k, int count, const StageFigures& figures);

// "Achieved cutoff (-3 dB from the DC gain, first crossing): 1001.2 Hz (+0.12 %)" of the built
// cascade under `request`'s rule.
std::string built_cutoff_line(const CascadeFigures& figures, const CascadeRequest& request);

// "Ripple reached, dB: 0.523": a Chebyshev's ripple as built over the design's passband.
std::string ripple_reached_line(double ripple_db);

// "Cutoff with 1 % R, 5 % C: 942.9063 to 1065.72 Hz" of a cascade, its ends rounded outward.
std::string cascade_cutoff_range_line(const PartTolerances& tolerances, const ValueRange& range);

// "Stage Q with 1 % R, 5 % C: 1: 0.52 to 0.56; 2: 1.25 to 1.36": each second-order stage's Q
// over its tolerance box (ranges in the order of the second-order stages; `orders` the
// stages' orders, to number them).
std::string stage_q_ranges_line(const PartTolerances& tolerances, std::span<const int> orders,
                                std::span<const ValueRange> ranges);

// One warning about a stage, naming it:
//   "Warning: stage 3 needs C1/C2 = 4Q^2 = 4900, above 100: hard to build well (the
//    capacitors' tolerances and the op-amp's input capacitance move its Q)";
//   "Warning: stage 3 needs C1/C2 = 4Q^2 = 4900, beyond the 1200 its capacitors reach within
//    a factor of 4 of the exact parts: its Q misses";
//   "Warning: stage 2's exact C1 = 0.0023 nF is below 10 pF: impractical for a capacitor" (or
//    "standard" for the standard set's part).
std::string stage_warning_line(const StageWarning& warning);

// The lines of a cascade's standard parts: the heading (parts_heading_line), each stage's
// built line and parts, the achieved cutoff, a Chebyshev's ripple reached, with ranges the
// cutoff range, each stage's Q range and the yield, then the warnings. Without a set to build,
// the one line "No circuit to build: no standard set for every stage".
std::vector<std::string> cascade_parts_lines(const CascadeParts& parts,
                                             const CascadeRequest& request,
                                             std::span<const ValueRange> stage_q_ranges);

}  // namespace kestrane
