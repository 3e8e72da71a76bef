// What the parts' tolerances do to a built cascade (StageCircuit records, ideal op-amps, exact
// 2 pi): every part of every stage anywhere within its tolerance, not only at its ends. Each
// stage's box is circuit's tolerance_box (resistors +-tr %, capacitors +-tc %, each end moved
// out by 1e-15 of the part); a first-order stage has R1 and C1 only. The stages share no part,
// so a build is any choice of a set in each stage's box, made independently: the cascade's
// gain is the product of its stages' gains (each positive) and its phase and group delay the
// sums of theirs, so the cascade's extremes at a frequency are the products and sums of the
// stages' own extremes, each reached by the build that puts every stage at its own extreme.
//
// Every stage's gain at DC is exactly 1, so levels relative to the DC gain are absolute.
// Everything is built from + - * /, sqrt and the portable functions, the same bits natively
// and in WebAssembly. How each range is found and why it holds is argued in
// cascade_tolerance.cpp.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_response.h"
#include "kestrane/circuit/cutoff_yield.h"
#include "kestrane/circuit/tolerance_ranges.h"

namespace kestrane {

// The tolerance box of every stage of a built cascade.
struct CascadeBox {
    int stage_count = 0;  // 0: no box (see cascade_box)
    int order[kMaxStages] = {};
    ToleranceBox box[kMaxStages] = {};  // order 1: R1 and C1; R2 and C2 copy them, unused
};

// The box of `stages` (is_valid_cascade_circuit) for `tolerances` (are_tolerances): each
// stage's tolerance_box. Anything else gives a box without stages.
CascadeBox cascade_box(std::span<const StageCircuit> stages, const PartTolerances& tolerances);

// The exact band of a first-order stage (|H| = 1/sqrt(1 + (w R C)^2), phase -atan(w R C),
// group delay R C / (1 + (w R C)^2)) over R1 and C1 of `box` at `hz` hertz (positive and
// finite), widened by kRangeSlack as box_response_band is. The gain and the phase fall as RC
// grows, so their ends are at the ends of RC; the delay rises with RC up to RC = 1/w and falls
// beyond (its derivative is (1 - (w RC)^2) / (1 + (w RC)^2)^2), so its greatest value is at
// RC = 1/w when that lies inside and its least at one of the ends.
ResponseBand first_order_band(const ToleranceBox& box, double hz);

// The band of the whole cascade at `hz` hertz (positive and finite): the gain from the product
// of the stages' least gains to the product of their greatest, the phase and the group delay
// from the sums of the stages' ends (box_response_band for a second-order stage,
// first_order_band for a first-order one). Every end is reached by a build, to the widening of
// kRangeSlack per stage. Not-a-number bands for a box without stages or an invalid frequency.
ResponseBand cascade_response_band(const CascadeBox& box, double hz);

// cascade_response_band at each frequency of `hz` into the same place of `bands`, which must be
// as long (checked as a precondition). Each stage's box is prepared once per 64 frequencies;
// allocates nothing.
void cascade_response_bands(const CascadeBox& box, std::span<const double> hz,
                            std::span<ResponseBand> bands);

// Which crossing names a build's cutoff in the tolerance figures, at a level fixed relative to
// the DC gain, held as the loss |1/H|^2 there.
struct BuildCutoff {
    // false: the first frequency, going up, where |H| falls to the level (|1/H|^2 reaches
    // `loss`); true: the last frequency where |H| is at the level or above (the supremum of
    // {f : |1/H(f)|^2 <= loss}, 0 when no frequency has it).
    bool last = false;
    double loss = 2;
};

// The crossing of the design's rule for a cascade built as `shown`: half power and half
// amplitude the first crossing of 1/sqrt(2) (loss 2) and 1/2 (loss 4), as cascade_cutoff_hz
// has them. The ripple edge is the last crossing of the level of `shown`'s own ripple edge,
// (its largest gain, peak_gain) / 10^(ripple/20), held fixed for every build: the passband's
// floor as built. So a build's cutoff follows from its gain alone and the range from the
// stages' bands, and without tolerance both are the shown set's own ripple edge. A build's
// own ripple edge (cascade_cutoff_hz, from its own peak) lies elsewhere by the change of its
// peak in dB over the slope there; a build whose later ripple peaks all sag under the floor
// has its cutoff at the last peak that does not. `shown` must be valid and the rule's ripple
// within 0.01 to 3 dB; otherwise the loss is not a number.
BuildCutoff build_cutoff(std::span<const StageCircuit> shown, CutoffRule rule);

// The cutoff of one build under `cutoff`, in hertz: on a graded grid (relative steps at most
// 5 %, a tenth of every second-order stage's distance from its f0 and a tenth of its 1/Q, from
// 1e-8 of the lowest stage frequency to twice the highest), the first grid point where the
// product of the stages' |1/H|^2 reaches the loss (or, for a last crossing, going down, the
// first at or below it) brackets the crossing; between two points that bracket none, a bound
// on the curvature of its logarithm shows that none lies between them, or halving finds it.
// Regula falsi then finds it to a few ulps. For a first
// crossing of loss 2 or 4 the same frequency as cascade_cutoff_hz on the build's stages. Not a
// number for invalid stages or a loss that is not positive and finite; 0 for a last crossing
// that no frequency has.
double build_cutoff_hz(std::span<const StageCircuit> build, BuildCutoff cutoff);

// The ends of a range that was not made.
inline constexpr double kNoCutoffHz = std::numeric_limits<double>::quiet_NaN();

struct CascadeCutoffRange {
    // Holds the cutoff of every build in the box. Not a number where there is no range.
    ValueRange hz{kNoCutoffHz, kNoCutoffHz};
    // The cutoffs of two builds of the box, low_build and high_build: within `hz`, and equal
    // to its ends to about 1e-9 wherever the argument reaches them, so the gap says how tight
    // the range is.
    ValueRange reached_hz{kNoCutoffHz, kNoCutoffHz};
    CascadeCircuit low_build;
    CascadeCircuit high_build;
};

// The range of the build cutoffs over `box` (with stages) under `cutoff` (a positive finite
// loss). Method and argument in cascade_tolerance.cpp. For a first crossing the low end is the
// first frequency where the product of the stages' least gains reaches the level: the least
// cutoff, reached by the build with every stage at its least gain there. The high end is the
// first where the product of their greatest gains does: an upper bound, reached unless the
// builds that keep the greatest gain there dip to the level earlier (a Chebyshev of large
// ripple). For a last crossing the high end is the last frequency where the product of the
// greatest gains is at the level or above (reached), the low end the same for the least gains:
// a lower bound, reached unless those builds rise to the level again at a later ripple peak.
// Every end holds whatever the gap; reached_hz shows it. Not-a-number ranges for a box
// without stages or an invalid loss. Allocates the grid once.
CascadeCutoffRange cascade_cutoff_range(const CascadeBox& box, BuildCutoff cutoff);

// `draws` builds of `nominal` (is_valid_cascade_circuit) with `tolerances` (are_tolerances)
// against `target_hz` (positive), checked as a precondition: the share whose build cutoff
// lands within each of kYieldBandPercent of the target, |fc / target - 1| <= p/100. Each build
// takes its numbers from one splitmix64 started at `seed`, stage by stage in the cascade's
// order: R1, R2, C1, C2 for a second-order stage, R1, C1 for a first-order one; a number gives
// the part as cutoff_yield does, nominal (1 + t (2u - 1)). A build's cutoff is its
// build_cutoff_hz, placed between two points of the range's grid with the bands' ends among
// them, which decides every band as the refined cutoff would, save for a cutoff within
// rounding of a band's end (see cascade_tolerance.cpp).
CutoffYield cascade_cutoff_yield(std::span<const StageCircuit> nominal,
                                 const PartTolerances& tolerances, BuildCutoff cutoff,
                                 double target_hz, std::uint64_t seed = kYieldSeed,
                                 int draws = kYieldDraws);

// The range and the yield together, sharing the range's grid: what the page asks for when
// only a tolerance changes. Not-a-number range and no draws for invalid input.
struct CascadeTolerances {
    CascadeCutoffRange cutoff_range;
    CutoffYield yield;
};
CascadeTolerances cascade_tolerances(std::span<const StageCircuit> nominal,
                                     const PartTolerances& tolerances, BuildCutoff cutoff,
                                     double target_hz);

}  // namespace kestrane
