// What the parts' tolerances do to a set on the real circuit (circuit.h): the range of the
// cutoff, of Q, and at any frequency of the gain, the phase and the group delay, over the
// whole tolerance box: every part anywhere within its tolerance, not only at its ends.
//
// Every range holds the value of every set in the box and is tight: each end is within 1e-9
// of its magnitude of a value some set in the box reaches (the bisection for the greatest
// cutoff adds 1e-10). That holds while Q stays below 10^5 over the box, where the arithmetic's
// rounding stays below 1e-11, relative; the ends are widened outward by kRangeSlack to cover
// it. How each range is found is argued in tolerance_ranges.cpp.
#pragma once

#include <span>

#include "kestrane/circuit/circuit.h"

namespace kestrane {

// How far each kind of part may stray, in percent of its value.
struct PartTolerances {
    double resistor_percent = 0;
    double capacitor_percent = 0;
};

// The relative widening of every range's ends.
inline constexpr double kRangeSlack = 1e-9;

struct ValueRange {
    double low = 0;
    double high = 0;
};

// True for tolerances the ranges take: each finite, from 0 up to, not including, 100 percent
// (from 100 % on a part could be 0).
bool are_tolerances(const PartTolerances& tolerances);

// Every part from its nominal value times (1 - t/100) to times (1 + t/100), t the resistor or
// capacitor tolerance; each end moved outward by 1e-15 of the part, so that the box holds the
// exact ends despite the rounding of t/100 and of the products.
struct ToleranceBox {
    CircuitParts low;
    CircuitParts high;
};

// The box around `nominal`, which must be buildable, for `tolerances`, which must satisfy
// are_tolerances (checked as a precondition).
ToleranceBox tolerance_box(const CircuitParts& nominal, const PartTolerances& tolerances);

// The range of real_cutoff_hz over the box, in hertz.
ValueRange box_cutoff_range(const ToleranceBox& box);

// The range of quality_factor over the box.
ValueRange box_q_range(const ToleranceBox& box);

// The ranges of circuit_point's three figures over the box at one frequency.
struct ResponseBand {
    ValueRange gain;
    ValueRange phase_deg;
    ValueRange group_delay_s;
};

// The band at `hz` hertz (positive and finite; at 0 Hz gain and phase are exactly 1 and 0).
ResponseBand box_response_band(const ToleranceBox& box, double hz);

// The gain's range over the box at one frequency, as box_response_band gives it, and a set
// of the box at which each end is reached (before the widening by kRangeSlack): the least gain
// at a corner, the greatest at a corner, on an edge or on the fold R1 = R2.
struct GainExtremes {
    ValueRange gain;
    CircuitParts least_at;
    CircuitParts greatest_at;
};

// The gain's extremes at `hz` hertz (positive and finite), the same range as
// box_response_band(box, hz).gain, for a fraction of its work.
GainExtremes box_gain_extremes(const ToleranceBox& box, double hz);

// box_response_band at each frequency of `hz` into the same place of `bands`, which must be
// as long (checked as a precondition). Allocates nothing.
void box_response_bands(const ToleranceBox& box, std::span<const double> hz,
                        std::span<ResponseBand> bands);

}  // namespace kestrane
