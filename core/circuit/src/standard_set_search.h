// The neighbourhood the best standard set is chosen from and the order that breaks ties,
// shared by best_standard_set and the exhaustive search its tests compare it with. Internal to
// the design core, its tests and its benchmark.
#pragma once

#include <cstddef>
#include <span>

#include "kestrane/circuit/standard_sets.h"

namespace kestrane {

// Room for the members within a factor of 5 either way (E192: at most 270) or 4 (at most 233).
inline constexpr std::size_t kMostNeighbours = 288;

struct MemberList {
    double value[kMostNeighbours];
    std::size_t count = 0;

    std::span<const double> members() const { return {value, count}; }
};

// R1 and the candidates for R2, C1 and C2, each list rising, each the double nearest to its
// member.
struct Neighbourhood {
    double r1 = 0;
    MemberList r2;
    MemberList c1;
    MemberList c2;
};

// The neighbourhood of best_standard_set around `search_parts` (buildable; the search's floats).
Neighbourhood neighbourhood(const FilterComponents& search_parts, SeriesPair series);

// The neighbourhood of best_stage_set around `exact` (buildable doubles).
Neighbourhood neighbourhood(const CircuitParts& exact, SeriesPair series);

// True when a set with error `error` and parts `set` goes before the set `best` with
// `best_error`: a smaller error, or an equal one and a smaller R2, then C1, then C2.
inline bool goes_before(double error, const CircuitParts& set, double best_error,
                        const CircuitParts& best) {
    if (error != best_error) return error < best_error;
    if (set.R2 != best.R2) return set.R2 < best.R2;
    if (set.C1 != best.C1) return set.C1 < best.C1;
    return set.C2 < best.C2;
}

}  // namespace kestrane
