// What a set of parts that can be bought does: the cutoff it achieves on the design's own
// model, its passband edge and objective, and the spread of the cutoff and of the magnitude
// response when every part may stray by its tolerance.
#pragma once

#include "filter_records.h"
#include "preferred_values.h"

namespace kestrane {

// R1 and R2 rounded to the nearest members of `resistor_series`, C1 and C2 to the nearest
// members of `capacitor_series` (nearest_preferred, in ohms and farads).
FilterComponents standard_parts(const FilterComponents& exact, PreferredSeries resistor_series,
                                PreferredSeries capacitor_series);

// The frequency at which the gain of a component set falls to 0.7071.
struct AchievedCutoff {
    bool found = false;  // false when no frequency has that gain
    double hertz = 0;    // the frequency in hertz; 0 when not found
};

// The frequency f > 0, in hertz and not rounded to whole hertz, at which the model of
// magnitude_at, (im2 + re^2)^-0.5 with re = 1 - P f^2 39.478 and im2 = C2^2 S^2 f^2 39.478,
// equals 0.7071. On f^2 that is a quadratic whose roots have opposite signs, so there is
// exactly one such frequency whenever P = R1 R2 C1 C2 is not 0, zero and negative parts
// included; with P = 0 there is one when C2 (R1 + R2) is not 0. Not found: P and
// C2 (R1 + R2) both 0, where the gain is 1 at every frequency, or a part that is not finite.
// Accurate to a few units in the last place of a double for any finite floats.
AchievedCutoff achieved_cutoff(const FilterComponents& parts);

// The figures of one component set against the design's targets.
struct PartsAnalysis {
    AchievedCutoff cutoff;            // achieved_cutoff of the parts
    double cutoff_error_percent = 0;  // 100 * (cutoff - cutoff_hz) / cutoff_hz; 0 if not found
    float passband_edge_hz = 0;       // passband_edge, as the console reports it
    double objective = 0;             // flatness_objective, the search's figure of merit
};

// The figures above for `parts`. A cutoff_hz of 0 makes the error an infinity or not a
// number; parts that are not finite give no cutoff, an edge and objective of not-a-number.
PartsAnalysis analyse_parts(const FilterComponents& parts, const DesignTargets& targets);

// How far each kind of part may stray, in percent of its value.
struct PartTolerances {
    double resistor_percent = 0;
    double capacitor_percent = 0;
};

// The 16 corners of the tolerance box: corner k has R1, R2, C1, C2 at their nominal value
// times (1 + t/100) where bit 0, 1, 2, 3 of k is set and times (1 - t/100) where it is
// clear, t the resistor or capacitor tolerance; each product is formed in double precision
// and rounded to single precision (beyond the float range: an infinity). A negative
// tolerance gives the same 16 sets in another order; from 100 % on a part's low corner is 0
// or of the other sign, and is computed as it stands.
inline constexpr int kToleranceCorners = 16;
struct ToleranceCorners {
    FilterComponents corner[kToleranceCorners];
};
ToleranceCorners tolerance_corners(const FilterComponents& nominal,
                                   const PartTolerances& tolerances);

// The lowest and highest achieved cutoff, in hertz, over the 16 corners and the nominal set.
struct CutoffRange {
    bool found = false;  // false when any of those sets has no cutoff; both bounds are then 0
    double lowest_hz = 0;
    double highest_hz = 0;
};

// The range of the achieved cutoff over the corners. The cutoff is not monotonic in every
// part (it rises with C1 below the natural frequency of the set and falls above it), so a
// set strictly inside the tolerances can lie a little outside this range.
CutoffRange cutoff_range(const FilterComponents& nominal, const PartTolerances& tolerances);

}  // namespace kestrane
