// The session's cascade: the filter of any order a request asks for instead of the search's
// single stage, and what it makes of it.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "kestrane/cascade/cascade_response.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/portable_math.h"
#include "kestrane/session/session.h"
#include "kestrane/text/bill_of_materials.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/spice_netlist.h"
#include "session_internals.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double kHertzPerKilohertz = 1000;

// The loss in dB at `hz` of `stages` from their largest gain `peak`.
double loss_db(std::span<const Stage> stages, double peak, double hz) {
    return decibels(peak / cascade_point(stages, hz).gain);
}

// The design a request and its inputs make, without compensation.
CascadeOutcome design_outcome(const CascadeRequest& request,
                              const std::optional<PassStopSpec>& specification, double fc_khz,
                              double r1_ohm) {
    CascadeOutcome outcome;
    outcome.r1_ohm = r1_ohm;
    outcome.passband_loss_db = outcome.stopband_loss_db = kNotANumber;
    CascadeRequest asked = request;
    double cutoff_hz = fc_khz * kHertzPerKilohertz;
    if (specification) {
        const OrderChoice choice =
            choose_order(request.response, *specification, request.ripple_db, request.edge);
        outcome.order = choice;
        if (choice.error != SpecError::none) {
            outcome.refusal = CascadeRefusal::specification;
            return outcome;
        }
        if (choice.outcome != OrderOutcome::met) {
            outcome.refusal = CascadeRefusal::order;
            return outcome;
        }
        asked = choice.request;
        cutoff_hz = choice.cutoff_hz;
    } else {
        outcome.request_error = validate_request(request);
        if (outcome.request_error != RequestError::none) {
            outcome.refusal = CascadeRefusal::request;
            return outcome;
        }
    }
    outcome.design = design_cascade(asked, cutoff_hz);
    if (outcome.design.stage_count == 0) {
        outcome.refusal = CascadeRefusal::cutoff;
        return outcome;
    }
    outcome.exact = cascade_circuit(outcome.design, r1_ohm);
    outcome.parts_design = outcome.design;
    if (!is_positive_finite(r1_ohm) || !is_valid_cascade_circuit(stages_of(outcome.exact))) {
        outcome.refusal = CascadeRefusal::resistor;
        return outcome;
    }
    for (int k = 0; k < outcome.design.stage_count; ++k)
        outcome.peaks[k] = output_peak(outcome.design, k + 1);
    if (specification) {
        const std::span<const Stage> stages = stages_of(outcome.design);
        const double peak = outcome.peaks[outcome.design.stage_count - 1].gain;
        outcome.passband_loss_db = loss_db(stages, peak, specification->passband_hz);
        outcome.stopband_loss_db = loss_db(stages, peak, specification->stopband_hz);
    }
    return outcome;
}

// The cascade's phase deviation from a straight line over 0 Hz to `band_hz`, as the design
// model's is taken but on the real response at continuous frequency: the line from 0 to the
// phase at the band's edge, compared at 500 points from 0 Hz to 499/500 of the band; half the
// largest deviation, in radians. A band that is 0 or not finite gives 0.
double half_cascade_deviation(std::span<const Stage> stages, double band_hz) {
    constexpr int kPoints = 500;
    constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;
    const double band = std::fabs(band_hz);
    if (!(band > 0 && std::isfinite(band))) return 0;
    const double edge = cascade_point(stages, band).phase_deg * kRadiansPerDegree;
    double largest = 0;
    for (int a = 0; a < kPoints; ++a) {
        const double fraction = static_cast<double>(a) / kPoints;
        const double phase = cascade_point(stages, fraction * band).phase_deg * kRadiansPerDegree;
        largest = std::fmax(largest, std::fabs(fraction * edge - phase));
    }
    return largest / 2;
}

// The response of `stages` with `opamp` at the frequencies `hz`, with its gain in dB.
Curve response_curve(std::span<const StageCircuit> stages, const OpAmp& opamp,
                     const std::vector<double>& hz) {
    std::vector<ResponsePoint> points(hz.size());
    opamp_cascade_points(stages, opamp, hz, points);
    Curve curve = sized_curve(hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i)
        put_point(curve, i, points[i]);
    add_decibels(curve);
    return curve;
}

// The whole cascade's curve with the ideal op-amp, from its stages' own curves (each of
// `points` points) as response_curve makes them, the same bits as response_curve of the whole.
// With the ideal op-amp no stage loads the one before, so the whole cascade's point is the fold
// of its stages' points p from {1, 0, 0} (gains multiplied, phases and delays added, in signal
// order), and a stage's own curve holds that fold of its p alone: {1 * gain, 0 + phase,
// 0 + delay}. Folding those gives the same bits: 1 * gain is the gain, 0 + x differs from x
// only when x is -0, and adding -0 or +0 to a sum that started from +0 (never -0 itself)
// leaves the same sum.
Curve chained_curve(const std::vector<Curve>& stage_curves, std::size_t points) {
    Curve curve = sized_curve(points);
    for (std::size_t i = 0; i < points; ++i) {
        ResponsePoint sum{1, 0, 0};
        for (const Curve& stage : stage_curves) {
            sum.gain *= stage.gain[i];
            sum.phase_deg += stage.phase_deg[i];
            sum.group_delay_s += stage.group_delay_s[i];
        }
        put_point(curve, i, sum);
    }
    add_decibels(curve);
    return curve;
}

}  // namespace

void Session::set_cascade(std::optional<CascadeRequest> request) {
    change(cascade_request_, request);
}

void Session::set_specification(std::optional<PassStopSpec> specification) {
    change(specification_, specification);
}

void Session::set_compensate(bool compensate) {
    change(compensate_, compensate ? 1 : 0);
}

bool Session::is_cascade() const {
    return cascade_request_.value.has_value();
}

const CascadeRequest* Session::cascade_request() const {
    return cascade_request_.value ? &*cascade_request_.value : nullptr;
}

const PassStopSpec* Session::specification() const {
    return specification_.value ? &*specification_.value : nullptr;
}

std::optional<double> Session::band() const {
    return band_.value;
}

const CascadeOutcome* Session::cascade() {
    if (!is_cascade() || !has_design_) return nullptr;
    if (!fresh(cascade_, {inputs_.changed, cascade_request_.changed, specification_.changed,
                          compensate_.changed, opamp_.changed})) {
        const auto [fc_khz, r1_ohm] = inputs_.value;
        CascadeOutcome outcome =
            design_outcome(*cascade_request_.value, specification_.value, fc_khz, r1_ohm);
        if (outcome.made() && compensate_.value != 0 && opamp_.value) {
            const OpAmp& opamp = opamp_.value->opamp;
            outcome.compensation = compensation_gain(outcome.design, r1_ohm, opamp);
            const CompensatedCascade compensated =
                compensated_cascade(outcome.design, r1_ohm, opamp);
            outcome.compensation_failed_stage = compensated.failed_stage;
            if (compensated.failed_stage == 0) {
                outcome.exact = compensated.circuit;
                for (int k = 0; k < outcome.design.stage_count; ++k)
                    outcome.parts_design.stages[k] = built_stage(outcome.exact.stages[k]);
            }
        }
        cascade_.value = outcome;
        cascade_.stamp = tick();
    }
    return &*cascade_.value;
}

const CascadeReport* Session::cascade_set() {
    const CascadeOutcome* outcome = cascade();
    if (!outcome || !outcome->made()) return nullptr;
    if (!fresh(cascade_set_, {cascade_.stamp, parts_options_.changed})) {
        const auto& [method, series] = parts_options_.value;
        cascade_set_.value =
            CascadeReport{kestrane::cascade_parts(outcome->parts_design, outcome->r1_ohm, method,
                                                  series, std::nullopt),
                          {}};
        cascade_set_.stamp = tick();
    }
    return &*cascade_set_.value;
}

const CascadeReport* Session::cascade_report() {
    const CascadeReport* set = cascade_set();
    if (!set) return nullptr;
    if (!fresh(cascade_report_, {cascade_set_.stamp, tolerances_.changed})) {
        CascadeReport report = *set;
        add_cascade_tolerances(report.parts, cascade_.value->parts_design, tolerances_.value);
        if (report.parts.ranges_made) {
            for (const StageCircuit& stage : stages_of(report.parts.shown)) {
                if (stage.order != 2) continue;
                report.stage_q_range.push_back(
                    box_q_range(kestrane::tolerance_box(stage.parts, report.parts.tolerances)));
            }
        }
        cascade_report_.value = report;
        cascade_report_.stamp = tick();
    }
    return &*cascade_report_.value;
}

const CascadeCircuit* Session::cascade_shown() {
    const CascadeReport* set = cascade_set();
    return set && set->parts.buildable ? &set->parts.shown : nullptr;
}

const CascadeOpAmpFigures* Session::cascade_opamp() {
    const CascadeCircuit* shown = cascade_shown();
    if (!shown || !opamp_.value) return nullptr;
    if (!fresh(cascade_opamp_, {cascade_set_.stamp, opamp_.changed, amplitude_.changed})) {
        cascade_opamp_.value = cascade_opamp_figures(stages_of(*shown), opamp_.value->opamp,
                                                     cutoff_rule(cascade_.value->design.request),
                                                     amplitude().value_or(1));
        cascade_opamp_.stamp = tick();
    }
    return &*cascade_opamp_.value;
}

const CascadeSteps* Session::cascade_step() {
    const CascadeCircuit* shown = cascade_shown();
    if (!shown || !opamp_.value) return nullptr;
    if (!fresh(cascade_step_, {cascade_set_.stamp, opamp_.changed})) {
        CascadeSteps steps;
        steps.with_opamp = cascade_step_figures(stages_of(*shown), opamp_.value->opamp);
        steps.ideal = cascade_step_figures(stages_of(*shown), kIdealOpAmp);
        steps.span_s = std::fmax(steps.with_opamp.span_s, steps.ideal.span_s);
        cascade_step_.value = steps;
        cascade_step_.stamp = tick();
    }
    return &*cascade_step_.value;
}

const std::vector<Curve>& Session::stage_curves() {
    const CascadeCircuit* shown = cascade_shown();
    const std::vector<double>& hz = plot_frequencies();
    if (!shown || hz.empty()) {
        forget(stage_curves_);
    } else if (!fresh(stage_curves_, {cascade_set_.stamp, frequencies_.stamp})) {
        std::vector<Curve>& curves = stage_curves_.value;
        curves.assign(static_cast<std::size_t>(shown->stage_count), Curve{});
        for (int k = 0; k < shown->stage_count; ++k) {
            const std::span<const StageCircuit> alone(&shown->stages[k], 1);
            curves[static_cast<std::size_t>(k)] = response_curve(alone, kIdealOpAmp, hz);
        }
        stage_curves_.stamp = tick();
    }
    return stage_curves_.value;
}

const StageColumns& Session::stage_columns() {
    const CascadeReport* set = cascade_set();
    if (!set) {
        forget(stage_columns_);
    } else if (!fresh(stage_columns_, {cascade_.stamp, cascade_set_.stamp})) {
        const CascadeParts& parts_report = set->parts;
        const CascadeOutcome& outcome = *cascade_.value;
        StageColumns& c = stage_columns_.value;
        c = {};
        for (int k = 0; k < outcome.design.stage_count; ++k) {
            const Stage& stage = outcome.design.stages[k];
            const CircuitParts& parts = outcome.exact.stages[k].parts;
            const bool second = stage.order == 2;
            c.order.push_back(stage.order);
            c.f0_hz.push_back(stage.f0_hz);
            c.q.push_back(second ? stage.q : kNotANumber);
            c.r1_ohm.push_back(parts.R1);
            c.r2_ohm.push_back(second ? parts.R2 : kNotANumber);
            c.c1_farad.push_back(parts.C1);
            c.c2_farad.push_back(second ? parts.C2 : kNotANumber);
            c.peak_gain_db.push_back(decibels(outcome.peaks[k].gain));
            c.peak_hz.push_back(outcome.peaks[k].hz);
            const bool built = parts_report.buildable;
            const CircuitParts& std_parts = parts_report.shown.stages[k].parts;
            const StageFigures& f = parts_report.figures.stages[k];
            const auto shown_value = [&](bool exists, double value) {
                return built && exists ? value : kNotANumber;
            };
            c.std_r1_ohm.push_back(shown_value(true, std_parts.R1));
            c.std_r2_ohm.push_back(shown_value(second, std_parts.R2));
            c.std_c1_farad.push_back(shown_value(true, std_parts.C1));
            c.std_c2_farad.push_back(shown_value(second, std_parts.C2));
            c.std_f0_hz.push_back(shown_value(true, f.f0_hz));
            c.std_q.push_back(shown_value(second, f.q));
            c.f0_error_percent.push_back(shown_value(true, f.f0_error_percent));
            c.q_error_percent.push_back(shown_value(second, f.q_error_percent));
        }
        stage_columns_.stamp = tick();
    }
    return stage_columns_.value;
}

const StageOpAmpColumns& Session::stage_opamp_columns() {
    const CascadeOpAmpFigures* figures = cascade_opamp();
    if (!figures) {
        forget(stage_opamp_columns_);
    } else if (!fresh(stage_opamp_columns_, {cascade_opamp_.stamp})) {
        StageOpAmpColumns& c = stage_opamp_columns_.value;
        c = {};
        for (int k = 0; k < figures->stage_count; ++k) {
            const SlewRate& slew = figures->slew_rate[k];
            c.slew_v_per_us.push_back(slew.found ? slew.v_per_us : kNotANumber);
            c.peak_gain_db.push_back(decibels(figures->peak[k].gain));
            c.peak_hz.push_back(figures->peak[k].hz);
        }
        stage_opamp_columns_.stamp = tick();
    }
    return stage_opamp_columns_.value;
}

std::optional<double> Session::cascade_deviation() {
    if (!made()) return std::nullopt;
    if (!fresh(deviation_, {cascade_.stamp, band_.changed})) {
        const std::span<const Stage> stages = stages_of(cascade_.value->design);
        deviation_.value = band_.value ? std::optional(half_cascade_deviation(stages, *band_.value))
                                       : std::nullopt;
        deviation_.stamp = tick();
    }
    return deviation_.value;
}

const BandCurves& Session::cascade_band_curves(const std::vector<double>& hz) {
    const CascadeReport* report = cascade_report();
    if (hz.empty() || !report || !report->parts.ranges_made) {
        forget(band_curves_);
    } else if (!fresh(band_curves_, {frequencies_.stamp, cascade_report_.stamp})) {
        BandCurves& bands = band_curves_.value;
        bands = {sized_curve(hz.size()), sized_curve(hz.size())};
        std::vector<ResponseBand> scratch(hz.size());
        cascade_response_bands(report->parts, hz, scratch);
        put_bands(scratch, envelope_of(bands));
        add_decibels(bands.lowest);
        add_decibels(bands.highest);
        band_curves_.stamp = tick();
    }
    return band_curves_.value;
}

const Curve& Session::cascade_curve(Made<Curve>& made, const std::vector<double>& hz,
                                    const OpAmpChoice* opamp) {
    const CascadeCircuit* shown = cascade_shown();
    const bool wants_opamp = &made == &opamp_curve_;
    if (!shown || hz.empty() || (wants_opamp && !opamp)) {
        forget(made);
        return made.value;
    }
    if (!fresh(made, {cascade_set_.stamp, frequencies_.stamp, wants_opamp ? opamp_.changed : 0})) {
        if (opamp) {
            made.value = response_curve(stages_of(*shown), opamp->opamp, hz);
        } else {
            made.value = chained_curve(stage_curves(), hz.size());
        }
        made.stamp = tick();
    }
    return made.value;
}

const StepCurves& Session::cascade_step_curves() {
    const CascadeSteps* steps = cascade_step();
    if (!steps) {
        forget(step_curves_);
    } else if (!fresh(step_curves_, {cascade_step_.stamp, step_points_.changed})) {
        const std::span<const StageCircuit> stages = stages_of(*cascade_shown());
        const int count = step_points_.value;
        const double span = steps->span_s > 0 && std::isfinite(steps->span_s) ? steps->span_s : 1;
        const std::vector<StepSample> model =
            cascade_step_samples(stages, opamp_.value->opamp, span, count);
        const std::vector<StepSample> ideal =
            cascade_step_samples(stages, kIdealOpAmp, span, count);
        step_curves_.value = step_curves_of(model, ideal);
        step_curves_.stamp = tick();
    }
    return step_curves_.value;
}

std::string Session::cascade_netlist_text() {
    const CascadeCircuit* shown = cascade_shown();
    if (!shown || !opamp_.value) return "";
    const std::string refusal = netlist_refusal();
    if (!refusal.empty()) return empty_netlist(refusal);
    const CascadeOpAmpFigures& figures = *cascade_opamp();
    const CascadeOutcome& outcome = *cascade_.value;
    NetlistAnalyses analyses =
        netlist_analyses(figures.cutoff_hz, cascade_step()->with_opamp.span_s);
    // A simulator's transient follows the fastest ringing with 200 steps a period: a
    // high-Q stage rings for many periods before the cascade settles.
    constexpr double kStepsPerPeriod = 200;
    double highest_hz = 0;
    for (const Stage& stage : stages_of(outcome.design))
        highest_hz = std::fmax(highest_hz, stage.f0_hz);
    analyses.step_max_s = 1 / (kStepsPerPeriod * highest_hz);
    const CascadeParts& parts = cascade_set_.value->parts;
    return cascade_netlist(stages_of(*shown), opamp_.value->opamp, outcome.design, outcome.r1_ohm,
                           series_pair_text(parts.series), method_phrase(parts.method), analyses);
}

std::string Session::cascade_bill_of_materials_text() {
    const CascadeReport* report = cascade_report();
    if (!report || !report->parts.buildable || !opamp_.value) return "";
    const CascadeParts& parts = report->parts;
    const bool stated = parts.ranges_made;
    const PartsSource source{series_name(parts.series.resistors),
                             series_name(parts.series.capacitors),
                             stated ? parts.tolerances.resistor_percent : 0,
                             stated ? parts.tolerances.capacitor_percent : 0};
    return cascade_bill_of_materials_csv(stages_of(parts.shown), source, opamp_.value->opamp);
}

double Session::plot_centre_hz() {
    if (is_cascade()) return made() ? cascade_.value->design.cutoff_hz : 0;
    return made_design() ? design_.value.targets.cutoff_hz : 0;
}

}  // namespace kestrane
