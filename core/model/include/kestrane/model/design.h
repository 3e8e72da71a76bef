// One design from the two numbers the user gives, made the same way for the console, the page
// and every tool: the numbers stored in single precision, the targets, the starting point,
// the refusal of inputs that give no finite starting point, the search and the passband
// edge; then the phase deviation over a band the user names.
#pragma once

#include "kestrane/numeric/filter_records.h"

namespace kestrane {

// Why a design was refused; `none` when it was made.
enum class Refusal {
    none,
    zero_input,         // a cutoff or R1 of 0: the capacitors would be infinite
    product_too_small,  // 2 x R1 x cutoff so small that a capacitor leaves the float range
};

struct Design {
    Refusal refusal = Refusal::none;
    float fc_khz = 0;             // the cutoff as stored, in kilohertz
    DesignTargets targets;        // formed from fc_khz
    FilterComponents components;  // the search's parts; when refused, the starting point
    float passband_edge_hz = 0;   // the passband edge of the parts; 0 when refused

    bool made() const { return refusal == Refusal::none; }
};

// The design for a cutoff of `fc_khz` kilohertz and an R1 of `r1_ohm` ohms, as read (any
// double, infinities included): each stored in single precision with to_single_clamped, the
// targets made, and the search run from the starting point, or the inputs refused when that
// starting point is not finite. Never fails otherwise; a not-a-number input is refused as a
// product too small. Negative inputs are designed as they stand.
Design design_filter(double fc_khz, double r1_ohm);

// Half the largest deviation of the made design's phase from a straight line over 0 Hz to
// `band_hz` (phase_deviation, as read: any double), in radians: the figure the console
// prints. The design must be made.
double half_phase_deviation(const Design& design, double band_hz);

}  // namespace kestrane
