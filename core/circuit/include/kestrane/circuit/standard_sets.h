// Sets of standard parts to build a design with, and what such a set does on the real circuit
// (circuit.h). A standard part is the double nearest to its decimal value (CircuitParts), not
// a float near it; the search's parts that the sets are made from stay floats. Two ways to make the
// set: the best set, chosen together so that the real cutoff and Q come as close to the target as
// the series allow, and each part rounded to its nearest member on its own (standard_parts).
#pragma once

#include <optional>
#include <string_view>

#include "kestrane/circuit/circuit.h"
#include "kestrane/circuit/preferred_values.h"
#include "kestrane/numeric/filter_records.h"

namespace kestrane {

enum class PartsMethod { best, nearest };

// Every method, in the order of the enum.
inline constexpr PartsMethod kPartsMethods[] = {PartsMethod::best, PartsMethod::nearest};

// The method's name as the command line and the page write it: "best" or "nearest".
std::string_view method_name(PartsMethod method);

// The method that `name` names, exactly as method_name writes it; no value for any other text.
std::optional<PartsMethod> method_from_name(std::string_view name);

// R1 and R2 rounded to the nearest members of `resistor_series`, C1 and C2 to the nearest
// members of `capacitor_series` (nearest_preferred, in ohms and farads), each on its own.
CircuitParts standard_parts(const FilterComponents& exact, PreferredSeries resistor_series,
                            PreferredSeries capacitor_series);

// The series the resistors and the capacitors are bought from.
struct SeriesPair {
    PreferredSeries resistors = PreferredSeries::e96;
    PreferredSeries capacitors = PreferredSeries::e12;
};

// How far the best set looks around the search's parts: R2 within a factor of 5 of the
// search's R2, C1 and C2 each within a factor of 4 of the search's.
inline constexpr double kR2Reach = 5;
inline constexpr double kCapacitorReach = 4;

// The figure the best set minimises: the larger of the relative cutoff error
// |fc/target - 1| and the relative Q error |Q/(1/sqrt 2) - 1| on the real circuit, from
// real_cutoff_hz and quality_factor as they compute them. `target_hz` must be positive and
// finite; parts that are not buildable give not-a-number.
double set_error(const CircuitParts& parts, double target_hz);

struct BestSet {
    bool found = false;  // false when there is no circuit to build (see best_standard_set)
    CircuitParts parts;  // the chosen set, each the double nearest to its member
    double error = 0;    // its set_error
    int evaluated = 0;   // how many sets had their error computed on the way
};

// The set of standard parts with the least set_error against `target_hz` (the design's
// cutoff_hz): R1 the member of series.resistors nearest to the search's R1
// (nearest_preferred); R2 any member of series.resistors from R2/5 to 5 R2 of the search's R2;
// C1 and C2 any members of series.capacitors from a quarter to four times the search's C1 and
// C2 (preferred_members). The true optimum over that neighbourhood, not an approximation; of
// sets with equal set_error the one with the smallest R2, then the smallest C1, then the
// smallest C2. Not found when a search part is not positive and finite or the target is not.
// Allocates nothing; a few thousand set evaluations for E192 resistors and capacitors.
BestSet best_standard_set(const FilterComponents& search_parts, double target_hz,
                          SeriesPair series);

// What one stage of a cascade aims at: its natural frequency f0 in hertz and its Q.
struct StageTarget {
    double natural_hz = 0;
    double q = 0;
};

// The figure best_stage_set minimises: the larger of |f0/target.natural_hz - 1| and
// |Q/target.q - 1| on the real circuit (f0 = 1/(2 pi sqrt(R1 R2 C1 C2)), Q as quality_factor).
// A stage of a cascade is judged by f0 rather than by its own -3 dB point: its f0 and Q place
// its pole pair, which is what the cascade's response is made of, while its own -3 dB point
// (away from f0 for any Q but 1/sqrt(2)) is not the cascade's cutoff. So even at
// Q = 1/sqrt(2), where the single stage's set_error uses the cutoff, a stage aims at f0.
// Parts that are not buildable give not-a-number; the target must be positive and finite.
double stage_set_error(const CircuitParts& parts, const StageTarget& target);

// The set of standard parts with the least stage_set_error against `target`, chosen around
// the exact parts `exact` (doubles, all positive and finite) as best_standard_set chooses
// around the search's parts: R1 the member of series.resistors nearest to exact.R1
// (nearest_member); R2 any member of series.resistors from exact.R2/5 to 5 exact.R2; C1 and C2
// any members of series.capacitors from a quarter to four times exact.C1 and exact.C2. The
// true optimum over that neighbourhood, with the same tie order (the smallest R2, then C1,
// then C2), found by the same windowed search. Not found when a part or the target is not
// positive and finite. Allocates nothing.
BestSet best_stage_set(const CircuitParts& exact, const StageTarget& target, SeriesPair series);

// The set a person is shown for `method`: best_standard_set's parts, or standard_parts
// (nearest rounding, unchanged). No value when there is no circuit to build: a search part or
// the target is zero, negative or not finite.
std::optional<CircuitParts> shown_set(const FilterComponents& search_parts, double target_hz,
                                      PartsMethod method, SeriesPair series);

// The figures of a set on the real circuit against the design's target cutoff.
struct SetFigures {
    double cutoff_hz = 0;             // real_cutoff_hz
    double cutoff_error_percent = 0;  // 100 (cutoff - target) / target
    double q = 0;                     // quality_factor
    double q_error_percent = 0;       // 100 (Q - 1/sqrt 2) / (1/sqrt 2)
    double natural_hz = 0;            // natural_frequency_hz
};

// The figures of `parts` against `target_hz`; not-a-number figures for parts that are not
// buildable, and errors that are infinite or not a number for a target of 0.
SetFigures set_figures(const CircuitParts& parts, double target_hz);

}  // namespace kestrane
