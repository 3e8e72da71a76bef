#include "range_bound.h"

#include <iterator>

namespace kestrane {

double objective_lower_bound(const FilterComponents& centre, SweepIndex sweep, SweptValues values,
                             const ObjectiveFrequencies& frequencies, double stop_at) {
    RangePlan plan{centre, sweep, {}, {}};
    std::fill(std::begin(plan.low), std::end(plan.low), values.low);
    std::fill(std::begin(plan.high), std::end(plan.high), values.high);
    RangeVerdict verdict;
    range::judge_ranges(plan, frequencies, stop_at, verdict);
    return verdict.bounds[0];
}

}  // namespace kestrane
