// The straightforward model and search, written directly from the rules with the power
// function and no precomputation: the yardstick the program's fast search is held to.
#pragma once

#include "filter_records.h"
#include "search.h"

namespace kestrane::reference {

double magnitude_at(const FilterComponents& k, int hertz);
double flatness_objective(const FilterComponents& k, const DesignTargets& targets);
void search_components(FilterComponents& k, const DesignTargets& targets,
                       SearchTally* tally = nullptr);

}  // namespace kestrane::reference
