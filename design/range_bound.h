// A lower bound of the objective over a whole range of one sweep's candidates, so that the
// search can set aside a range in which no candidate can beat the sweep's best. Internal to
// the design core.
#pragma once

#include "response_model.h"
#include "search.h"

namespace kestrane {

// The values low <= v <= high of the swept component.
struct SweptValues {
    float low;
    float high;
};

// A lower bound of flatness_objective over every component set that equals `centre` but for
// the component `sweep` varies, which takes any value in `values` (finite, low <= high).
//
// The objective is a chain of correctly rounded steps, and rounding never reverses an order:
// each product rises or falls with the swept value, re and im^2 with the products, |H| falls
// as im^2 + re^2 rises, and the single-precision sum rises with each term. So the same steps
// evaluated at the ends of the range, each on the side that lowers the objective, bound every
// value in between, roundings included. Where the range holds a zero of a squared quantity
// (C2, R1 + R2, re) the bound takes the square as 0 there; where the magnitude range holds
// the term's target (1, or 0.7071 at the cutoff) the term's bound is 0.
//
// Terms come in the order the objective sums them, the cutoff term first; once the bound
// reaches `stop_at` the rest are left out and the bound so far (at least `stop_at`) is
// returned. Not a number only if an end of the range gives one.
double objective_lower_bound(const FilterComponents& centre, SweepIndex sweep, SweptValues values,
                             const ObjectiveFrequencies& frequencies, double stop_at);

}  // namespace kestrane
