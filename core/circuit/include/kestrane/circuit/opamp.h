// The filter with a real op-amp, and the figures of a component set with it.
//
// The op-amp has a single-pole open-loop gain A(s) = A0 / (1 + s tau), tau = A0 / (2 pi GBW),
// and an output resistance Ro: its internal source E = A(s) (V+ - V-) drives the output
// node through Ro, and V- is the output node (a follower). Solving the circuit's three nodes
// exactly gives H(s) = N(s) / D(s), both cubic in s (the s^4 terms cancel). With a = R1 C1,
// b = C2 (R1 + R2), m = R1 R2 C1 C2, k = R2 C2, r = Ro C1, and both divided by A0
// (eps = 1/A0, g = 1/(2 pi GBW) = tau/A0):
//   N(s) = 1 + s r (1 + s k)(eps + s g)
//   D(s) = (1 + eps) + s (eps a + b (1 + eps) + g + eps r)
//        + s^2 (m (1 + eps) + a g + b (g + eps r) + g r) + s^3 (m g + b g r).
// The ideal op-amp (infinite A0 and GBW, Ro = 0) is the limit eps = g = r = 0, where N = 1
// and D = 1 + s b + s^2 m, the circuit's own second-order response, evaluated with the
// double nearest 2 pi (not the design model's 6.28318).
//
// Far above the cutoff the input leaks through C1 into the op-amp's output. While the loop
// gain is high the output holds (its impedance is about Ro / |1 + A(s)|) and the gain keeps
// falling; as the op-amp's gain falls with frequency the leak takes over: the gain passes a
// least value and rises again towards its limit as the frequency grows without bound,
// Ro R2 / (R1 R2 + (R1 + R2) Ro) = (Ro||R2) / (R1 + Ro||R2): R1 into R2 in parallel with Ro,
// C1 and C2 being short circuits. (Not Ro / (R1 + Ro): with R1 = R2 = 10 k and Ro = 100 ohm
// that is -40.09 dB against the true -40.17 dB, and with Ro = R1 = R2, -6.02 dB against
// -9.54 dB.)
//
// Everything here is built from + - * /, sqrt and the core's portable functions, so the
// page's module and the native build give the same bits.
#pragma once

#include <limits>

#include "kestrane/circuit/circuit.h"
#include "kestrane/circuit/step_figures.h"
#include "kestrane/numeric/filter_records.h"
#include "kestrane/numeric/polynomial.h"

namespace kestrane {

// The op-amp. An infinite GBW means no pole, an infinite gain an ideal gain; with both and
// Ro = 0 the op-amp is ideal.
struct OpAmp {
    double gbw_hz = 10e6;           // gain-bandwidth product, Hz
    double open_loop_gain = 1e5;    // A0 at DC, as a ratio (1e5 is 100 dB)
    double output_resistance = 50;  // Ro, ohms
};

inline constexpr OpAmp kIdealOpAmp{std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::infinity(), 0};

// True when GBW > 0, A0 > 1 (above 0 dB) and 0 <= Ro < infinity; GBW and A0 may be
// infinite. Not-a-numbers are not valid.
bool is_valid_opamp(const OpAmp& opamp);

// The op-amp fields of the page and the console, and their defaults.
inline constexpr double kDefaultGbwMhz = 10;
inline constexpr double kDefaultOpenLoopGainDb = 100;
inline constexpr double kDefaultOutputOhm = 50;

// Which field was refused; `none` when all were taken.
enum class OpAmpField { none, gbw, open_loop_gain, output_resistance };

struct OpAmpReading {
    OpAmpField refused = OpAmpField::none;  // the first refused field, in the order of the fields
    OpAmp opamp;                            // the op-amp when none was refused
};

// The op-amp from the fields: GBW in MHz, positive and finite in hertz (up to about 1.8e302
// MHz); A0 in dB, above 0 and finite;
// Ro in ohms, 0 or more and finite. A0 = 10^(dB/20), exact when dB/20 is a whole number up
// to 22 (100 dB is 1e5); a gain beyond the double range (above about 6165 dB) counts as
// infinite. Anything else is refused, naming the field.
OpAmpReading opamp_from_fields(double gbw_mhz, double gain_db, double output_ohm);

// A0 in dB, 20 log10(A0) with the portable log10 (the inverse of opamp_from_fields' gain up to
// rounding); infinite for an infinite gain.
double open_loop_gain_db(const OpAmp& opamp);

// 20 log10(ratio), the gain `ratio` in dB, with the portable log10: the same bits natively
// and in the page's module. -infinity for 0.
double decibels(double ratio);

// H(s) = N(s) / D(s) with both divided by A0, coefficients of s^0 to s^3 (see above).
struct TransferFunction {
    double numerator[4] = {1, 0, 0, 0};
    double denominator[4] = {1, 0, 0, 0};
};

// N(s) and D(s) of a transfer function as polynomials.
Cubic numerator_of(const TransferFunction& h);
Cubic denominator_of(const TransferFunction& h);

// The transfer function of `parts` with `opamp`. Parts and op-amp must be valid; the
// products are formed in the order written above.
TransferFunction transfer_function(const CircuitParts& parts, const OpAmp& opamp);

// The DC gain N(0)/D(0) = A0 / (1 + A0) (1 with an infinite A0).
double dc_gain(const TransferFunction& h);

// The response of `h` at `hz` >= 0 (finite), for the plots: |H(j 2 pi f)|, the phase
// continuous in f (unwrapped), the group delay Re(D'/D) - Re(N'/N) at j omega. The phase follows
// each polynomial's argument continuously from 0 Hz (D's rises to 270 degrees; N's, whose zeros may
// lie in the right half-plane, need not rise), with no unwrapping over a sweep: any frequency alone
// gives the same value.
ResponsePoint response_at(const TransferFunction& h, double hz);

// The attenuation at `hz`, in dB, against the DC gain: -20 log10(|H(f)| / |H(0)|). 0 at
// 0 Hz, positive where the gain is below the DC gain.
double attenuation_db(const TransferFunction& h, double hz);

// The -3 dB cutoff: the lowest frequency at which |H| / |H(0)| = 1/sqrt(2), the first
// crossing going up (the smallest positive root of |D|^2 - 2 |N|^2 |D(0)/N(0)|^2 as a cubic
// in omega^2). Not found when the gain never falls that far (a leak above 0.707).
struct Cutoff {
    bool found = false;
    double hz = 0;
};
Cutoff cutoff_3db(const TransferFunction& h);

// The dominant pole pair: D factored into a real pole and a monic quadratic s^2 + b s + c (in
// rad/s). The quadratic is the complex pair when D has one; with three real poles it is the
// two of least magnitude; with D of degree 2 (no op-amp pole), D itself.
struct DominantPair {
    double b;
    double c;
};
DominantPair dominant_pair(const TransferFunction& h);

// Q of the dominant pole pair, sqrt(c)/b.
double dominant_q(const TransferFunction& h);

// The least GBW that keeps the cutoff and Q within 1 % of those of the ideal op-amp.
// Without a pole (infinite GBW) the op-amp's A0 and Ro still move the figures: A0 through
// 1/A0, Ro through about Ro / (1 + A0), so Ro counts only beside a low A0.
enum class GbwLimit {
    reached,            // gbw_hz holds the least GBW
    open_loop_gain,     // A0 alone moves a figure by more than 1 %, whatever the GBW
    output_resistance,  // A0 alone would not, but Ro with that A0 does
};
struct NeededGbw {
    GbwLimit limit = GbwLimit::reached;
    double gbw_hz = 0;  // 0 unless reached
};

inline constexpr double kFigureTolerance = 0.01;

// The needed GBW for `parts` with the A0 and Ro of `opamp` (its GBW is not used). The
// figures with an infinite GBW decide whether any GBW reaches 1 %; then GBW = f0 2^k
// (f0 the ideal cutoff) steps down from k = 40 until a figure leaves 1 %, and a bisection
// on log GBW between that step and the one above finds the crossing to 1e-9 relative. The
// result is the passing end: with the figures moving smoothly in GBW, every GBW above it
// keeps both within 1 % (a wiggle finer than a factor 2 above the crossing would go unseen).
// Parts and op-amp must be valid.
NeededGbw needed_gbw(const CircuitParts& parts, const OpAmp& opamp);

// The slew rate an output needs for an input sine of amplitude `amplitude_v` volts: the
// largest 2 pi f |H(f)| amplitude_v, in V/us. The maximum is taken over the frequencies up
// to the first local minimum of 2 pi f |H(f)| above its passband peak: beyond it the rise
// is the input leaking through C1 and Ro, which grows without bound (2 pi f times the
// floor) and says nothing about the filter's own output; the op-amp's output stage does not
// slew it. With the ideal op-amp the peak is at the natural frequency and the rate is
// amplitude_v / (C2 (R1 + R2)). Not found when 2 pi f |H| never turns down.
struct SlewRate {
    bool found = false;
    double v_per_us = 0;
    double at_hz = 0;  // where the maximum lies
};
SlewRate needed_slew_rate(const TransferFunction& h, double amplitude_v);

// The stopband: the lowest gain |H| above the cutoff and its frequency, and the limit of the
// gain as the frequency grows without bound (N3/D3 with N and D of one degree, the leak
// (Ro||R2) / (R1 + Ro||R2); 0 when N's degree is lower, as with Ro = 0). Gains are from 1
// (|H|, not against the DC gain). `rises` is false when the gain never turns up again, so the
// lowest gain is only approached as f grows without bound: then `gain` is that limit and
// `rise_hz` is 0. The local minima of |H| are found on a grid of 8 points an octave from the
// cutoff to a thousand times the largest pole or zero magnitude, then located exactly.
struct StopbandFloor {
    bool rises = false;
    double gain = 0;        // the lowest |H| above the cutoff
    double rise_hz = 0;     // where it lies, beyond which the gain rises; 0 unless `rises`
    double limit_gain = 0;  // |H| as f grows without bound
};
StopbandFloor stopband_floor(const TransferFunction& h);

// Every figure of a component set with an op-amp, for the console and the page.
struct OpAmpFigures {
    Cutoff cutoff;        // with the op-amp
    Cutoff ideal_cutoff;  // with the ideal op-amp
    double q = 0;
    double ideal_q = 0;
    NeededGbw needed_gbw;
    SlewRate slew_rate;  // for an input sine of amplitude_v volts peak
    StopbandFloor floor;
    StepFigures step;  // the response to a 1 V step (step_figures)
};

// The figures of `parts` (valid) with `opamp` (valid) for an input sine of `amplitude_v` volts
// peak.
OpAmpFigures opamp_figures(const CircuitParts& parts, const OpAmp& opamp, double amplitude_v);

}  // namespace kestrane
