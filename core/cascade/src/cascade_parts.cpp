#include "kestrane/cascade/cascade_parts.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core_arithmetic.h"
#include "kestrane/circuit/practical_parts.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
// Room for the members within a factor of 5 either way: E192 has at most 270.
constexpr std::size_t kMostMembers = 320;
// Two products R C of members within this of each other (relative) are the same decimal.
constexpr double kSameProduct = 1e-12;

// The members of `series` within a factor of `reach` of `nominal`, rising.
struct Members {
    double value[kMostMembers];
    std::size_t count = 0;

    std::span<const double> list() const { return {value, count}; }
};

Members members_around(PreferredSeries series, double nominal, double reach) {
    Members m;
    m.count = preferred_members(series, nominal / reach, nominal * reach, m.value);
    KESTRANE_CHECK(m.count <= kMostMembers);
    return m;
}

double first_order_hz(double r, double c) {
    return 1 / (kExactTwoPi * (r * c));
}

StageCircuit no_parts(int order) {
    return {order, {kNotANumber, kNotANumber, kNotANumber, kNotANumber}};
}

CircuitParts exact_parts_of(const Stage& stage, double r1_ohm) {
    const StageParts p = exact_stage_parts(stage, r1_ohm);
    return {p.R1, p.R2, p.C1, p.C2};
}

double percent_error(double value, double target) {
    return 100 * (value - target) / target;
}

}  // namespace

FirstOrderSet best_first_order_set(double r_ohm, double c_farad, double target_hz,
                                   SeriesPair series) {
    if (!is_positive_finite(r_ohm) || !is_positive_finite(c_farad) ||
        !is_positive_finite(target_hz)) {
        return {};
    }
    const Members resistors = members_around(series.resistors, r_ohm, kFirstOrderResistorReach);
    const Members capacitors = members_around(series.capacitors, c_farad, kCapacitorReach);
    const std::span<const double> c_list = capacitors.list();
    FirstOrderSet best;
    best.error = std::numeric_limits<double>::infinity();
    double best_product = 0;
    for (const double r : resistors.list()) {
        // The C that would be exact, and two members on either side of it (rounding may put a
        // member within a few ulps of it on the wrong side).
        const double exact_c = 1 / (kExactTwoPi * target_hz * r);
        const auto at = std::lower_bound(c_list.begin(), c_list.end(), exact_c);
        const auto from = at - std::min<std::ptrdiff_t>(2, at - c_list.begin());
        const auto to = at + std::min<std::ptrdiff_t>(2, c_list.end() - at);
        for (auto c = from; c != to; ++c) {
            // The error depends on R C alone, and pairs a decade apart (22 k with 1 nF, 220 k
            // with 100 pF) have the same decimal product: a tie, which goes to the smaller R,
            // found first. Products of members have at most six significant digits, so
            // distinct ones differ by 1e-6 or more, relative; a product within 1e-12 of the
            // best one's is the same product, rounded differently.
            const double product = r * *c;
            if (std::fabs(product - best_product) <= kSameProduct * product) continue;
            const double error = std::fabs(first_order_hz(r, *c) / target_hz - 1);
            if (error < best.error) {
                best = {true, r, *c, error};
                best_product = product;
            }
        }
    }
    return best;
}

StageCircuit best_stage_parts(const Stage& stage, double r1_ohm, SeriesPair series) {
    const CircuitParts exact = exact_parts_of(stage, r1_ohm);
    if (stage.order == 1) {
        const FirstOrderSet set = best_first_order_set(exact.R1, exact.C1, stage.f0_hz, series);
        if (!set.found) return no_parts(1);
        return {1, {set.R, kNotANumber, set.C, kNotANumber}};
    }
    const BestSet set = best_stage_set(exact, {stage.f0_hz, stage.q}, series);
    if (!set.found) return no_parts(2);
    return {2, set.parts};
}

StageCircuit nearest_stage_parts(const Stage& stage, double r1_ohm, SeriesPair series) {
    const CircuitParts exact = exact_parts_of(stage, r1_ohm);
    const auto resistor = [&](double r) { return nearest_member(r, series.resistors); };
    const auto capacitor = [&](double c) { return nearest_member(c, series.capacitors); };
    return {stage.order,
            {resistor(exact.R1), resistor(exact.R2), capacitor(exact.C1), capacitor(exact.C2)}};
}

CascadeCircuit standard_cascade(const CascadeDesign& design, double r1_ohm, PartsMethod method,
                                SeriesPair series) {
    CascadeCircuit circuit;
    if (!is_positive_finite(r1_ohm)) return circuit;
    for (const Stage& stage : stages_of(design)) {
        circuit.stages[circuit.stage_count++] = method == PartsMethod::best
                                                    ? best_stage_parts(stage, r1_ohm, series)
                                                    : nearest_stage_parts(stage, r1_ohm, series);
    }
    if (!is_valid_cascade_circuit(stages_of(circuit))) circuit.stage_count = 0;
    return circuit;
}

Stage built_stage(const StageCircuit& stage) {
    const CircuitParts& p = stage.parts;
    if (stage.order == 1) return {1, first_order_hz(p.R1, p.C1), kNotANumber};
    return {2, natural_frequency_hz(p), quality_factor(p)};
}

double passband_ripple_db(const CascadeDesign& design, std::span<const Stage> built) {
    const CascadeRequest& request = design.request;
    if (request.response != Response::chebyshev || design.stage_count == 0) return kNotANumber;
    const CutoffRule edge_rule{CutoffLevel::ripple_edge, request.ripple_db};
    const double edge_hz = request.edge == ChebyshevEdge::ripple_edge
                               ? design.cutoff_hz
                               : cascade_cutoff_hz(stages_of(design), edge_rule);
    const GainRange range = gain_range_up_to(built, edge_hz);
    const double ratio = range.greatest / range.least;
    return 10 * portable::log10(ratio * ratio);
}

CascadeFigures cascade_figures(const CascadeDesign& design, std::span<const StageCircuit> built) {
    CascadeFigures figures;
    if (static_cast<int>(built.size()) != design.stage_count || !is_valid_cascade_circuit(built)) {
        return figures;
    }
    Stage stages[kMaxStages];
    for (std::size_t k = 0; k < built.size(); ++k) {
        const Stage target = design.stages[k];
        const Stage b = built_stage(built[k]);
        stages[k] = b;
        StageFigures& f = figures.stages[k];
        f.order = b.order;
        f.f0_hz = b.f0_hz;
        f.f0_error_percent = percent_error(b.f0_hz, target.f0_hz);
        f.q = b.q;
        f.q_error_percent = b.order == 2 ? percent_error(b.q, target.q) : kNotANumber;
    }
    figures.stage_count = design.stage_count;
    const std::span<const Stage> built_stages{stages, built.size()};
    figures.cutoff_hz = cascade_cutoff_hz(built_stages, cutoff_rule(design.request));
    figures.cutoff_error_percent = percent_error(figures.cutoff_hz, design.cutoff_hz);
    figures.ripple_db = passband_ripple_db(design, built_stages);
    return figures;
}

namespace {

void add(StageWarnings& warnings, const StageWarning& warning) {
    KESTRANE_CHECK(warnings.count < kMostStageWarnings);
    warnings.warning[warnings.count++] = warning;
}

// The ratios C1/C2 the capacitor series gives with C1 and C2 each within a factor of 4 of
// the exact parts: from the least C1 over the greatest C2 to the greatest C1 over the least C2.
ValueRange reachable_ratios(const CircuitParts& exact, PreferredSeries capacitors) {
    const Members c1 = members_around(capacitors, exact.C1, kCapacitorReach);
    const Members c2 = members_around(capacitors, exact.C2, kCapacitorReach);
    if (c1.count == 0 || c2.count == 0) return {kNotANumber, kNotANumber};
    return {c1.value[0] / c2.value[c2.count - 1], c1.value[c1.count - 1] / c2.value[0]};
}

void add_ratio_warnings(const CascadeDesign& design, const CascadeCircuit& exact, SeriesPair series,
                        StageWarnings& warnings) {
    for (int k = 0; k < design.stage_count; ++k) {
        const Stage& stage = design.stages[k];
        if (stage.order != 2) continue;
        const double needed = 4 * stage.q * stage.q;
        const ValueRange reachable = reachable_ratios(exact.stages[k].parts, series.capacitors);
        StageWarning w;
        w.stage = k + 1;
        w.value = needed;
        if (!(needed >= reachable.low && needed <= reachable.high)) {
            w.kind = StageWarningKind::ratio_out_of_reach;
            w.limit = needed < reachable.low ? reachable.low : reachable.high;
            add(warnings, w);
        }
        if (needed > kLargestCapacitorRatio) {
            w.kind = StageWarningKind::ratio_above_limit;
            w.limit = kLargestCapacitorRatio;
            add(warnings, w);
        }
    }
}

void check_part(int stage, StagePart part, StagePartSet set, double value, double smallest,
                double largest, StageWarnings& warnings) {
    if (value >= smallest && value <= largest) return;
    add(warnings, {StageWarningKind::impractical_part, stage, part, set, value,
                   value < smallest ? smallest : largest});
}

void add_part_warnings(const CascadeCircuit& circuit, StagePartSet set, StageWarnings& warnings) {
    for (int k = 0; k < circuit.stage_count; ++k) {
        const StageCircuit& s = circuit.stages[k];
        const CircuitParts& p = s.parts;
        const int stage = k + 1;
        check_part(stage, StagePart::R1, set, p.R1, kSmallestResistor, kLargestResistor, warnings);
        if (s.order == 2) {
            check_part(stage, StagePart::R2, set, p.R2, kSmallestResistor, kLargestResistor,
                       warnings);
        }
        check_part(stage, StagePart::C1, set, p.C1, kSmallestCapacitor, kLargestCapacitor,
                   warnings);
        if (s.order == 2) {
            check_part(stage, StagePart::C2, set, p.C2, kSmallestCapacitor, kLargestCapacitor,
                       warnings);
        }
    }
}

}  // namespace

StageWarnings stage_warnings(const CascadeDesign& design, const CascadeCircuit& exact,
                             const CascadeCircuit& standard, SeriesPair series) {
    StageWarnings warnings;
    if (exact.stage_count != design.stage_count) return warnings;
    add_ratio_warnings(design, exact, series, warnings);
    add_part_warnings(exact, StagePartSet::exact, warnings);
    add_part_warnings(standard, StagePartSet::standard, warnings);
    return warnings;
}

CascadeParts cascade_parts(const CascadeDesign& design, double r1_ohm, PartsMethod method,
                           SeriesPair series, std::optional<PartTolerances> tolerances) {
    CascadeParts parts;
    parts.method = method;
    parts.series = series;
    parts.exact = cascade_circuit(design, r1_ohm);
    if (parts.exact.stage_count == 0) return parts;
    parts.shown = standard_cascade(design, r1_ohm, method, series);
    if (parts.shown.stage_count == 0) return parts;
    parts.buildable = true;
    const std::span<const StageCircuit> shown = stages_of(parts.shown);
    parts.figures = cascade_figures(design, shown);
    parts.warnings = stage_warnings(design, parts.exact, parts.shown, series);
    add_cascade_tolerances(parts, design, tolerances);
    return parts;
}

void add_cascade_tolerances(CascadeParts& parts, const CascadeDesign& design,
                            std::optional<PartTolerances> tolerances) {
    parts.ranges_made = false;
    if (!parts.buildable || !tolerances || !are_tolerances(*tolerances)) return;
    parts.ranges_made = true;
    parts.tolerances = *tolerances;
    const std::span<const StageCircuit> shown = stages_of(parts.shown);
    parts.build_cutoff = build_cutoff(shown, cutoff_rule(design.request));
    const CascadeTolerances t =
        cascade_tolerances(shown, *tolerances, parts.build_cutoff, design.cutoff_hz);
    parts.cutoff_range = t.cutoff_range;
    parts.yield = t.yield;
}

void cascade_response_bands(const CascadeParts& parts, std::span<const double> hz,
                            std::span<ResponseBand> bands) {
    const CascadeBox box =
        parts.ranges_made ? cascade_box(stages_of(parts.shown), parts.tolerances) : CascadeBox{};
    cascade_response_bands(box, hz, bands);
}

}  // namespace kestrane
