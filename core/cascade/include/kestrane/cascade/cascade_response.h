// What a cascade of stages does: its response at a frequency, the largest gain at each stage's
// output, and its cutoff found from its stages alone (so a built cascade, whose stages are not
// the ideal ones, is measured the same way as the ideal one).
//
// Each stage has unity gain at DC. With v = f / f0, a second-order stage is
// H = 1 / (1 - v^2 + j v / Q) and a first-order one H = 1 / (1 + j v); the cascade's gain is
// the product of its stages' gains, its phase and group delay the sums of theirs, each stage's
// computed analytically (exact 2 pi). Figures are built from + - * /, sqrt and the portable
// functions, so they are the same bits natively and in WebAssembly.
//
// A stage is valid when its order is 1 or 2, f0 lies within 1e-290 to 1e300 Hz and, for
// order 2, Q is positive and finite. Peaks and cutoffs keep their guarantee for Q up to 1e11
// and stage frequencies within a ratio of 1e100 of one another.
// Functions given an invalid stage, an empty span (except cascade_point) or an invalid frequency
// return not-a-numbers.
#pragma once

#include <span>

#include "kestrane/cascade/cascade.h"
#include "kestrane/numeric/response_point.h"

namespace kestrane {

// Responses are ResponsePoints: |H|, 1 at 0 Hz; arg H in degrees, 0 at 0 Hz, falling and
// continuous (not wrapped); the group delay -d(arg H)/d(omega) in seconds.

// One stage's response at `hz` (0 or above, finite).
ResponsePoint stage_point(const Stage& stage, double hz);

// The response of the stages together at `hz`: the output of the last of them. The empty
// cascade is a wire (gain 1, phase 0, delay 0).
ResponsePoint cascade_point(std::span<const Stage> stages, double hz);

// The response at the output of stage `k` (1 to stage_count) of `design`: the cascade of its
// first k stages.
ResponsePoint output_point(const CascadeDesign& design, int k, double hz);

struct Peak {
    double gain;  // the largest |H| over all frequencies, 1 or above
    double hz;    // where it lies; 0 when it is the DC gain
};

// The largest gain of the stages together and its frequency. Method: every local maximum lies
// below the highest f0 (above it every stage's gain falls). A graded logarithmic grid runs
// from 1e-8 of the lowest stage frequency (f0, or Q f0 for Q < 1) to twice the highest f0; its
// relative step is at most 5 %, a tenth of the relative distance to every f0, and a tenth of
// every stage's relative half-power bandwidth 1/Q, so each resonance is sampled at 10 points
// or more across its width. Each grid maximum above the DC gain is refined as the root of the
// derivative of |H|^2 (a sum of the stages' own logarithmic derivatives, so it keeps its digits)
// by bracketed regula falsi, to a few ulps in frequency. Maxima within 1e-12 (relative) of each
// other count as equal and the lowest frequency among them is reported; DC (gain 1, 0 Hz) is
// reported when nothing exceeds it by more than that. The region below the grid changes the
// gain by less than 1e-14.
Peak peak_gain(std::span<const Stage> stages);

// The peak at the output of stage `k` (1 to stage_count) of `design`.
Peak output_peak(const CascadeDesign& design, int k);

// The least and greatest gain over a band of frequencies.
struct GainRange {
    double least;
    double greatest;
};

// The least and greatest |H| of the stages over every frequency from 0 to `hz` (positive and
// finite), the ends included. Method: the DC gain, the gain at `hz`, and every local extremum
// below it: on peak_gain's grid, wherever the logarithmic slope of |H|^2 changes sign between
// two grid points, its root by bracketed regula falsi to a few ulps, and the gain there. Not a
// number for an empty or invalid cascade or an invalid frequency.
GainRange gain_range_up_to(std::span<const Stage> stages, double hz);

// The level that names a cascade's cutoff.
enum class CutoffLevel {
    half_power,      // the first frequency, going up, where |H| / |H(0)| = 1/sqrt(2)
    half_amplitude,  // the first frequency, going up, where |H| / |H(0)| = 1/2
    ripple_edge,     // the last frequency where |H| = (largest gain) / 10^(ripple/20)
};

struct CutoffRule {
    CutoffLevel level = CutoffLevel::half_power;
    double ripple_db = 0;  // ripple_edge only: the ripple in dB, 0.01 to 3
};

// The rule of a request's convention: half_amplitude for Linkwitz-Riley, ripple_edge for a
// Chebyshev asked for its ripple edge (with its ripple), half_power otherwise.
CutoffRule cutoff_rule(const CascadeRequest& request);

// The cutoff of the stages under `rule`, in hertz. Every level is at least 1/2 of the DC gain
// (a ripple of at most 3 dB keeps the ripple-edge level above 0.707 of the largest gain, which
// is at least the DC gain), and from twice the highest f0 upwards the gain stays below 1/2:
// every stage's gain is at most 1 there and the highest one's at most 1/sqrt(5). The crossing
// is bracketed on peak_gain's grid and refined by regula falsi on the product of the stages'
// |1/H|^2 to a few ulps. Not a number for an empty or invalid cascade or a ripple outside
// 0.01 to 3 dB.
double cascade_cutoff_hz(std::span<const Stage> stages, CutoffRule rule);

}  // namespace kestrane
