#include "kestrane/report/build_report.h"
#include "kestrane/numeric/contract.h"

#include <cmath>
#include <initializer_list>

namespace kestrane {
namespace {

double value_of(const Design& design, DesignValue name) {
    switch (name) {
        case DesignValue::cutoff:
            return design.fc_khz;
        case DesignValue::R1:
            return design.components.R1;
        case DesignValue::R2:
            return design.components.R2;
        case DesignValue::C1:
            return design.components.C1;
        default:
            return design.components.C2;
    }
}

// The first of `names` whose value is not positive and finite, if any.
std::optional<DesignValue> first_unbuildable(const Design& design,
                                             std::initializer_list<DesignValue> names) {
    for (const DesignValue name : names) {
        if (!is_positive_finite(value_of(design, name))) return name;
    }
    return std::nullopt;
}

bool whole_hertz_cause(const DesignTargets& targets) {
    const double cutoff = targets.cutoff_hz;
    return cutoff != std::floor(cutoff) || targets.flat_top_hz < kWholeHertzFlatTopHz;
}

BuildWarning value_warning(WarningKind kind, const Design& design, DesignValue name) {
    BuildWarning warning;
    warning.kind = kind;
    warning.name = name;
    warning.value = value_of(design, name);
    warning.whole_hertz = whole_hertz_cause(design.targets);
    return warning;
}

// Positive inputs gave a part of zero or below: the warning, if so.
std::optional<BuildWarning> nonpositive_part(const Design& design) {
    const std::optional<DesignValue> part =
        first_unbuildable(design, {DesignValue::R2, DesignValue::C1, DesignValue::C2});
    if (!part || !(value_of(design, *part) <= 0)) return std::nullopt;
    return value_warning(WarningKind::nonpositive_part, design, *part);
}

// The search's parts (buildable) miss the target on the real circuit: the warning, if so.
std::optional<BuildWarning> missed_target(const Design& design) {
    const SetFigures figures =
        set_figures(circuit_parts(design.components), design.targets.cutoff_hz);
    if (std::fabs(figures.cutoff_error_percent) <= kMissCutoffPercent &&
        std::fabs(figures.q_error_percent) <= kMissQPercent) {
        return std::nullopt;
    }
    BuildWarning warning;
    warning.kind = WarningKind::misses_target;
    warning.cutoff_error_percent = figures.cutoff_error_percent;
    warning.q_error_percent = figures.q_error_percent;
    warning.whole_hertz = whole_hertz_cause(design.targets);
    return warning;
}

void check_range(DesignValue name, double value, double smallest, double largest, PartSet set,
                 std::vector<BuildWarning>& warnings) {
    if (value >= smallest && value <= largest) return;
    BuildWarning warning;
    warning.kind = WarningKind::impractical_part;
    warning.name = name;
    warning.value = value;
    warning.set = set;
    warning.limit = value < smallest ? smallest : largest;
    warnings.push_back(warning);
}

void check_practical(const CircuitParts& parts, PartSet set, std::vector<BuildWarning>& warnings) {
    check_range(DesignValue::R1, parts.R1, kSmallestResistor, kLargestResistor, set, warnings);
    check_range(DesignValue::R2, parts.R2, kSmallestResistor, kLargestResistor, set, warnings);
    check_range(DesignValue::C1, parts.C1, kSmallestCapacitor, kLargestCapacitor, set, warnings);
    check_range(DesignValue::C2, parts.C2, kSmallestCapacitor, kLargestCapacitor, set, warnings);
}

// The warnings about the design's own parts. Returns true when there is a circuit to build.
bool check_design(const Design& design, std::vector<BuildWarning>& warnings) {
    const std::optional<DesignValue> input =
        first_unbuildable(design, {DesignValue::cutoff, DesignValue::R1});
    if (input) {
        warnings.push_back(value_warning(WarningKind::no_circuit, design, *input));
        return false;
    }
    if (const std::optional<BuildWarning> warning = nonpositive_part(design)) {
        warnings.push_back(*warning);
    }
    const std::optional<DesignValue> part =
        first_unbuildable(design, {DesignValue::R2, DesignValue::C1, DesignValue::C2});
    if (part || !design.made()) {
        warnings.push_back(
            value_warning(WarningKind::no_circuit, design, part.value_or(DesignValue::C1)));
        return false;
    }
    if (const std::optional<BuildWarning> warning = missed_target(design)) {
        warnings.push_back(*warning);
    }
    check_practical(circuit_parts(design.components), PartSet::search, warnings);
    return true;
}

}  // namespace

PartsReport set_report_of(const Design& design, PartsMethod method, SeriesPair series) {
    PartsReport report;
    report.options.method = method;
    report.options.series = series;
    report.options.tolerances = {NAN, NAN};
    if (!check_design(design, report.warnings)) return report;
    const double target_hz = design.targets.cutoff_hz;
    const std::optional<CircuitParts> shown =
        shown_set(design.components, target_hz, method, series);
    if (!shown) return report;  // a target beyond the float range: no set to judge
    report.buildable = true;
    report.shown = *shown;
    report.figures = set_figures(*shown, target_hz);
    check_practical(*shown, PartSet::shown, report.warnings);
    return report;
}

std::optional<ToleranceBox> add_tolerance_ranges(PartsReport& report,
                                                 const PartTolerances& tolerances,
                                                 double target_hz) {
    report.options.tolerances = tolerances;
    report.ranges_made = false;
    if (!report.buildable || !are_tolerances(tolerances)) return std::nullopt;
    report.ranges_made = true;
    const CircuitParts& parts = report.shown;
    const ToleranceBox box = tolerance_box(parts, tolerances);
    report.cutoff_range_hz = box_cutoff_range(box);
    report.q_range = box_q_range(box);
    report.yield = cutoff_yield(parts, tolerances, target_hz);
    return box;
}

PartsReport parts_report(const Design& design, const PartsOptions& options) {
    PartsReport report = set_report_of(design, options.method, options.series);
    add_tolerance_ranges(report, options.tolerances, design.targets.cutoff_hz);
    return report;
}

std::optional<BuildWarning> design_warning(const Design& design) {
    if (!design.made() || first_unbuildable(design, {DesignValue::cutoff, DesignValue::R1})) {
        return std::nullopt;
    }
    if (const std::optional<BuildWarning> warning = nonpositive_part(design)) return warning;
    if (first_unbuildable(design, {DesignValue::R2, DesignValue::C1, DesignValue::C2})) {
        return std::nullopt;
    }
    return missed_target(design);
}

}  // namespace kestrane
