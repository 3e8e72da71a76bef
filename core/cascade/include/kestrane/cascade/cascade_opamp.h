// The cascade built with a real op-amp: every stage's follower is the single-pole op-amp of
// circuit/opamp.h (A(s) = A0 / (1 + s A0 / (2 pi GBW)) driving the output node through Ro,
// the inverting input tied to that node), each stage with its own parts.
//
// The stages. A second-order stage is circuit.h's unity-gain Sallen-Key stage: R1 from its
// input to node x, R2 from x to p, C1 from x to the output, C2 from p to ground, p the
// op-amp's non-inverting input. A first-order stage is R1 from its input to p and C1 from p to
// ground, p into the same follower. Stage k's output drives stage k + 1's R1 directly.
//
// Alone (unloaded), with e(s) = 1/A(s) = eps + s g, eps = 1/A0, g = 1/(2 pi GBW), a = R1 C1:
//  - second order: circuit's transfer_function, N/D, both cubic;
//  - first order: Vp = Vin / (1 + s a) and Vout (1 + e) + e Ro I = Vp with I the current the
//    output delivers; alone I = 0, so H = 1 / ((1 + e(s)) (1 + s a)): N = 1, D = (1 + eps) +
//    s (g + a (1 + eps)) + s^2 a g. Ro does nothing to a first-order stage with nothing on its
//    output, since the RC sees no current from the output.
// Loaded: stage k + 1 draws I = Y(s) Vout from stage k's output, Y its input admittance, and
// Ro then matters. Nodal analysis of stage k with that load gives exactly
//   second order: H = N / (D + Ro Y e(s) Q(s)), Q = 1 + s (R1 C1 + C2 (R1 + R2)) + s^2 R1 R2 C1 C2,
//                 Y_in = s (P (C1 + C2 + s R2 C1 C2) - C1 N) / (D + Ro Y e Q),
//                 P = 1 + e + s Ro C1 e + Ro Y e;
//   first order:  H = 1 / ((1 + e + Ro Y e) (1 + s a)),  Y_in = s C1 / (1 + s a),
// with N and D as above, Y = 0 for the last stage. So the cascade's transfer function is the
// product of its stages' N / D, each D corrected by its load term Ro Y e Q (or Ro Y e (1 + s a));
// with Ro = 0, or an ideal op-amp, the load terms vanish and it is exactly the product of the
// stages' own N / D. The load terms are tiny where the loop gain is high (about Ro / (A R1)).
//
// Every function takes the stages as a span of StageCircuit (order 1 or 2, the parts; a
// first-order stage uses R1 and C1 only) and an op-amp; `is_valid_cascade_circuit` says which
// are accepted: 1 to kMaxStages stages of order 1 or 2, parts positive and finite, a valid
// op-amp. Functions given anything else return not-a-numbers (KESTRANE_EXPECT where a
// figure record is returned). Everything is built from + - * /, sqrt and the portable
// functions, the same bits natively and in WebAssembly.
#pragma once

#include <span>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_response.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/numeric/response_point.h"

namespace kestrane {

struct StageCircuit {
    int order = 2;       // 1 or 2
    CircuitParts parts;  // order 1: R1 and C1; R2 and C2 are not used
};

struct CascadeCircuit {
    int stage_count = 0;
    StageCircuit stages[kMaxStages];
};

// The circuit of `design` with every resistor `r_ohm`: exact_stage_parts of each stage. A
// design without stages, or an r_ohm not positive and finite, gives no stages.
CascadeCircuit cascade_circuit(const CascadeDesign& design, double r_ohm);

// The circuit's stages (stage_count of them).
std::span<const StageCircuit> stages_of(const CascadeCircuit& circuit);

// True for 1 to kMaxStages stages, each of order 1 or 2 with its parts positive and finite.
bool is_valid_cascade_circuit(std::span<const StageCircuit> stages);

// One stage's own transfer function with `opamp` (unloaded, see above); order 2 is circuit's
// transfer_function. Stage and op-amp must be valid.
TransferFunction stage_transfer_function(const StageCircuit& stage, const OpAmp& opamp);

// The cascade's gain at 0 Hz: (A0 / (1 + A0))^stages (1 with an infinite A0). A load draws
// nothing at DC, so this holds at every stage's output with its own count.
double cascade_dc_gain(std::span<const StageCircuit> stages, const OpAmp& opamp);

// The response at the output of stage `k` (1 to the number of stages) of the whole, loaded
// cascade at `hz` (0 or above, finite): gain the product of the loaded stages' gains, phase and
// group delay the sums of theirs. A stage's phase is the phase of its own N / D (continuous
// from 0 Hz, as circuit's response_at gives it) plus the principal argument of its load factor
// D / (D + Ro Y e Q), which is continuous wherever that factor stays off the negative real axis
// (it lies within about Ro / R1 of 1 for resistors well above Ro); with Ro = 0 the factor is 1.
ResponsePoint opamp_stage_output_point(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                       int k, double hz);

// The response at the cascade's output (its last stage's).
ResponsePoint opamp_cascade_point(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                  double hz);

// opamp_cascade_point at each of `hz`, written to `out` (as many as `hz`), bit for bit, with
// the stages' polynomials formed once for all of them.
void opamp_cascade_points(std::span<const StageCircuit> stages, const OpAmp& opamp,
                          std::span<const double> hz, std::span<ResponsePoint> out);

// The cutoff with the op-amp under `rule` (cascade_response.h), measured from the DC gain:
// half_power and half_amplitude the first frequency, going up, where |H| / |H(0)| falls to
// 1/sqrt(2) or 1/2; ripple_edge the last frequency below the half-amplitude one where |H|
// falls through (largest gain) / 10^(ripple/20), the largest gain also taken below it (beyond,
// the gain can only rise again through the leak). Bracketed on a graded grid (relative steps at
// most 5 %, a tenth of the distance to every stage's dominant natural frequency and a tenth of
// its 1/Q, from 1e-8 of the lowest of them up to 1e6 times the highest), then regula falsi on
// the product of the loaded stages' |1/H|^2 to a few ulps. Not a number when the gain never
// falls that far, or for an invalid cascade or rule.
double opamp_cutoff_hz(std::span<const StageCircuit> stages, const OpAmp& opamp, CutoffRule rule);

// The least GBW that keeps the cutoff under `rule` within 1 % of that with the ideal op-amp,
// and every second-order stage's dominant Q (circuit's dominant_q of its own transfer
// function) within 1 % of its ideal Q; with the A0 and Ro of `opamp`. The same limits as
// circuit's needed_gbw: the figures with an infinite GBW decide whether any GBW reaches 1 %
// (open_loop_gain when A0 alone fails with Ro = 0, output_resistance otherwise); then steps of
// 2^8 down from 2^40 times the ideal cutoff until a figure leaves 1 %, and a safeguarded
// regula falsi on the figures' margin over 1 % between that step and the one above, which
// keeps a passing and a failing GBW until they lie within 1e-9 (relative): the passing one is
// returned. With the figures moving smoothly in GBW, every GBW above it keeps them within 1 %
// (a wiggle finer than a factor 2^8 above the crossing would go unseen).
NeededGbw opamp_cascade_needed_gbw(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                   CutoffRule rule);

// The slew rate stage k's output needs for an input sine of `amplitude_v` volts, in V/us: the
// largest 2 pi f |H_k(f)| amplitude_v over the frequencies up to the first local minimum of
// 2 pi f |H_k| above the highest dominant natural frequency of stages 1 to k (beyond it the
// rise is the leak through C1 and Ro, as circuit's needed_slew_rate has it for one stage).
// Searched on the cutoff's grid from 1e-3 of the lowest stage frequency to 1e4 times the
// highest (or 1e3 times the largest pole or zero of any stage, if higher), maxima located as
// roots of the slope. When 2 pi f |H_k| rises to the end of the grid (a first-order stage 1
// with an infinite GBW) the supremum is its limit, reported with at_hz infinite. Not found for
// an invalid cascade or k.
SlewRate opamp_stage_slew_rate(std::span<const StageCircuit> stages, const OpAmp& opamp, int k,
                               double amplitude_v);

// The largest gain at stage k's output with the op-amp and its frequency, as peak_gain finds
// it (grid maxima refined on the slope; 0 Hz when nothing exceeds the DC gain by 1e-12), over
// frequencies up to 4 times the highest dominant natural frequency of stages 1 to k.
Peak opamp_stage_peak(std::span<const StageCircuit> stages, const OpAmp& opamp, int k);

// The cascade's gain far above its cutoff.
struct HighFrequencyGain {
    double lowest_gain = 0;     // the least |H| above the half-power cutoff
    double lowest_gain_hz = 0;  // where it lies; infinite when only approached as f grows
    double limit = 0;           // lim |H| as f grows without bound
};

// The limit is exact: with C1 and C2 shorted, the op-amp's source is 0 when its GBW is finite
// (and -A0 Vout with an infinite GBW, which divides Ro by 1 + A0: Rinf = Ro or Ro / (1 + A0)),
// so a second-order stage passes Z / (R1 + Z), Z = R2 || Rinf || (the next stage's input
// resistance R1' + Z'), and a first-order stage passes nothing. With one stage this is
// Ro R2 / (R1 R2 + (R1 + R2) Ro). The lowest gain is the least local minimum of the loaded
// gain on the cutoff's grid from the half-power cutoff to 1e3 times the largest pole or zero of
// any stage, located exactly, when it lies at or below the limit; otherwise the limit itself,
// at an infinite frequency.
HighFrequencyGain opamp_high_frequency_gain(std::span<const StageCircuit> stages,
                                            const OpAmp& opamp);

// The figures of a cascade with an op-amp, for the console and the page.
struct CascadeOpAmpFigures {
    double cutoff_hz = 0;        // with the op-amp, under the rule
    double ideal_cutoff_hz = 0;  // with the ideal op-amp
    NeededGbw needed_gbw;
    HighFrequencyGain high_frequency;
    int stage_count = 0;
    SlewRate slew_rate[kMaxStages];  // at each stage's output, for amplitude_v
    Peak peak[kMaxStages];           // at each stage's output, with the op-amp
};

// All of the above for valid stages and op-amp, under `rule`, for a sine of `amplitude_v`.
CascadeOpAmpFigures cascade_opamp_figures(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                          CutoffRule rule, double amplitude_v);

}  // namespace kestrane
