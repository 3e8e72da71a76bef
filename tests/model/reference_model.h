// An independent implementation of the response model, the objective and the search: a
// straightforward power-function search with no precomputation, no early verdicts and no
// vector code, one candidate after another. The yardstick the program's search is held to.
#pragma once

#include "kestrane/model/search.h"
#include "kestrane/numeric/filter_records.h"

namespace kestrane::reference {

double magnitude_at(const FilterComponents& k, int hertz);
double flatness_objective(const FilterComponents& k, const DesignTargets& targets);
void search_components(FilterComponents& k, const DesignTargets& targets,
                       SearchTally* tally = nullptr);

}  // namespace kestrane::reference
