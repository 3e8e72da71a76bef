// Everything about building a design: the set shown (best or nearest standard parts), its
// figures on the real circuit, the ranges its tolerances allow, the yield, and the warnings
// about the design's own parts and the set. The console's and the page's parts report are
// written from this (dialogue/parts_text.h).
#pragma once

#include <string_view>

#include <optional>
#include <vector>

#include "kestrane/circuit/cutoff_yield.h"
#include "kestrane/circuit/practical_parts.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/model/design.h"

namespace kestrane {

// A design's parts miss the target on the real circuit beyond these, in percent.
inline constexpr double kMissCutoffPercent = 1;
inline constexpr double kMissQPercent = 5;
// The practical ranges of parts, kSmallestResistor to kLargestCapacitor, are circuit's
// (practical_parts.h).
// Below this flat band top the design model's 20 flatness points, truncated to whole hertz,
// move by more than their spacing (2.5 % of it).
inline constexpr double kWholeHertzFlatTopHz = 40;

struct PartsOptions {
    SeriesPair series;
    PartsMethod method = PartsMethod::best;
    PartTolerances tolerances{1, 5};
};

// The values a warning can name: the typed cutoff and R1, and the search's R2, C1 and C2.
enum class DesignValue { cutoff, R1, R2, C1, C2 };

// The value's name: "cutoff", "R1", "R2", "C1" or "C2".
inline std::string_view design_value_name(DesignValue value) {
    constexpr std::string_view kNames[] = {"cutoff", "R1", "R2", "C1", "C2"};
    return kNames[static_cast<std::size_t>(value)];
}
// Whose part a warning names.
enum class PartSet { search, shown };

enum class WarningKind {
    no_circuit,        // a value is zero, negative or not finite: nothing to build
    nonpositive_part,  // positive inputs gave a part of zero or below
    misses_target,     // the search's parts miss the target cutoff or Q on the real circuit
    impractical_part,  // a part outside the practical range
};

struct BuildWarning {
    WarningKind kind = WarningKind::no_circuit;
    // no_circuit, nonpositive_part, impractical_part: the value and whose it is; the cutoff
    // in kilohertz as stored, resistors in ohms, capacitors in farads.
    DesignValue name = DesignValue::cutoff;
    double value = 0;
    PartSet set = PartSet::search;
    // impractical_part: the limit passed, kSmallest... or kLargest..., in ohms or farads.
    double limit = 0;
    // misses_target: the search's parts on the real circuit, in percent.
    double cutoff_error_percent = 0;
    double q_error_percent = 0;
    // nonpositive_part, misses_target: the design model's whole hertz is the likely cause:
    // the cutoff is not a whole number of hertz or the flat band top is below
    // kWholeHertzFlatTopHz.
    bool whole_hertz = false;
};

struct PartsReport {
    PartsOptions options;
    bool buildable = false;    // false: no set, figures, ranges or yield (see the warnings)
    CircuitParts shown;        // the set for options.method, each part the double nearest it
    SetFigures figures;        // of the shown set against the design's cutoff_hz
    bool ranges_made = false;  // false when the tolerances fail are_tolerances
    ValueRange cutoff_range_hz;
    ValueRange q_range;
    CutoffYield yield;
    std::vector<BuildWarning> warnings;  // the design's parts first, then the shown set's
};

// The report of `design` (made or refused; any inputs) for `method` and `series`, without
// ranges: the shown set, its figures and the warnings, as parts_report makes them, with
// not-a-number tolerances and ranges_made false.
PartsReport set_report_of(const Design& design, PartsMethod method, SeriesPair series);

// Adds to `report` the ranges and the yield that `tolerances` give its set, against
// `target_hz` (the design's cutoff_hz), and puts the tolerances in its options. Returns the
// tolerance box the ranges were found over; no value, and no ranges, without a set to build or
// for tolerances that fail are_tolerances.
std::optional<ToleranceBox> add_tolerance_ranges(PartsReport& report,
                                                 const PartTolerances& tolerances,
                                                 double target_hz);

// The report of `design` (made or refused; any inputs) with `options`: set_report_of, then
// add_tolerance_ranges. A refused design, an
// input or a search part of zero or below gives a no_circuit warning and nothing else to
// build with; a target cutoff beyond the float range gives no set and no warning of its own.
// The tolerance box is built around the shown set's doubles; tolerances that fail
// are_tolerances give no ranges and no yield.
PartsReport parts_report(const Design& design, const PartsOptions& options);

// The one warning for the console's standard error about a made design from positive inputs:
// a part of zero or below (nonpositive_part), or else parts that miss the target on the real
// circuit (misses_target); no value when neither.
std::optional<BuildWarning> design_warning(const Design& design);

}  // namespace kestrane
