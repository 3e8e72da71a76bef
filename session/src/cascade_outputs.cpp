// What the console and the command line show of a session's cascade.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kestrane/cascade/cascade_response.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/session/outputs.h"
#include "kestrane/text/cascade_text.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/parts_text.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// Why a cascade without a standard set for every stage has no op-amp figures.
constexpr const char* kNoOpAmpFigures =
    "No circuit to build: no standard set for every stage; no op-amp figures";

std::string_view rule_key(const CutoffRule& rule) {
    switch (rule.level) {
        case CutoffLevel::half_power:
            return "-3db";
        case CutoffLevel::half_amplitude:
            return "-6db";
        case CutoffLevel::ripple_edge:
            break;
    }
    return "ripple-edge";
}

void add_or_null(JsonObject& object, std::string_view key, bool exists, double value) {
    object.add_number(key, exists ? value : kNotANumber);
}

JsonObject stage_object(const Stage& stage, const StageCircuit& parts, const Peak& peak) {
    JsonObject object;
    object.add_number("order", stage.order)
        .add_number("f0_hz", stage.f0_hz)
        .add_number("q", stage.order == 2 ? stage.q : kNotANumber)
        .add_number("r1_ohm", parts.parts.R1)
        .add_number("c1_farad", parts.parts.C1);
    if (stage.order == 2) {
        object.add_number("r2_ohm", parts.parts.R2).add_number("c2_farad", parts.parts.C2);
    }
    return object.add_number("peak_gain_db", decibels(peak.gain)).add_number("peak_hz", peak.hz);
}

JsonObject specification_object(const PassStopSpec& spec) {
    JsonObject object;
    return object.add_number("passband_hz", spec.passband_hz)
        .add_number("passband_loss_db", spec.passband_loss_db)
        .add_number("stopband_hz", spec.stopband_hz)
        .add_number("stopband_loss_db", spec.stopband_loss_db);
}

JsonObject compensation_object(const CascadeOutcome& outcome) {
    const CompensationGain& gain = *outcome.compensation;
    const bool met = outcome.compensation_failed_stage == 0;
    JsonObject object;
    add_or_null(object, "cutoff_error_percent", met, 100 * gain.compensated_error);
    return object.add_number("uncompensated_cutoff_error_percent", 100 * gain.plain_error)
        .add_number("failed_stage", outcome.compensation_failed_stage);
}

JsonObject opamp_object(Session& session, const OpAmpChoice& choice) {
    JsonObject object;
    object.add_number("gbw_mhz", choice.gbw_mhz)
        .add_number("open_loop_gain_db", choice.open_loop_gain_db)
        .add_number("output_ohm", choice.output_ohm);
    if (!session.cascade_opamp()) return object.add_string("no_circuit", kNoOpAmpFigures);
    const CascadeOpAmpFigures& f = *session.cascade_opamp();
    const CascadeStepFigures& step = session.cascade_step()->with_opamp;
    add_or_null(object, "cutoff_hz", std::isfinite(f.cutoff_hz), f.cutoff_hz);
    object.add_number("ideal_cutoff_hz", f.ideal_cutoff_hz);
    add_or_null(object, "needed_gbw_hz", f.needed_gbw.limit == GbwLimit::reached,
                f.needed_gbw.gbw_hz);
    object.add_string("needed_gbw_limit", gbw_limit_key(f.needed_gbw.limit))
        .add_number("slew_input_peak_v", session.amplitude().value_or(1));
    std::vector<JsonObject> stages;
    for (int k = 0; k < f.stage_count; ++k) {
        JsonObject stage;
        add_or_null(stage, "slew_rate_v_per_us", f.slew_rate[k].found, f.slew_rate[k].v_per_us);
        stage.add_number("peak_gain_db", decibels(f.peak[k].gain))
            .add_number("peak_hz", f.peak[k].hz);
        stages.push_back(stage);
    }
    object.add_array("stages", stages);
    const HighFrequencyGain& high = f.high_frequency;
    const bool lowest = std::isfinite(high.lowest_gain_hz);
    add_or_null(object, "lowest_gain_db", lowest, decibels(high.lowest_gain));
    add_or_null(object, "lowest_gain_hz", lowest, high.lowest_gain_hz);
    add_or_null(object, "high_frequency_gain_db", high.limit > 0, decibels(high.limit));
    add_or_null(object, "step_overshoot_percent", step.settles, step.overshoot_percent);
    add_or_null(object, "step_rise_time_s", step.settles, step.rise_time_s);
    add_or_null(object, "step_settling_1_percent_s", step.settles, step.settling_1_percent_s);
    add_or_null(object, "step_settling_01_percent_s", step.settles, step.settling_01_percent_s);
    return object;
}

JsonObject standard_object(const CascadeReport& report) {
    const CascadeParts& parts = report.parts;
    JsonObject object;
    object.add_string("method", method_name(parts.method))
        .add_string("resistor_series", series_name(parts.series.resistors))
        .add_string("capacitor_series", series_name(parts.series.capacitors));
    if (!parts.buildable) return object.add_bool("buildable", false);
    object.add_bool("buildable", true);
    std::vector<JsonObject> stages;
    std::size_t q_ranges = 0;  // the second-order stages' Q ranges taken so far
    for (int k = 0; k < parts.shown.stage_count; ++k) {
        const StageCircuit& stage = parts.shown.stages[k];
        const StageFigures& f = parts.figures.stages[k];
        const bool second = stage.order == 2;
        JsonObject item;
        item.add_number("order", stage.order)
            .add_number("f0_hz", f.f0_hz)
            .add_number("f0_error_percent", f.f0_error_percent)
            .add_number("q", second ? f.q : kNotANumber)
            .add_number("q_error_percent", second ? f.q_error_percent : kNotANumber)
            .add_number("r1_ohm", stage.parts.R1)
            .add_number("c1_farad", stage.parts.C1);
        if (second) {
            item.add_number("r2_ohm", stage.parts.R2).add_number("c2_farad", stage.parts.C2);
        }
        if (second && q_ranges < report.stage_q_range.size()) {
            const ValueRange& q = report.stage_q_range[q_ranges++];
            const double range[] = {q.low, q.high};
            item.add_numbers("q_range", range);
        }
        stages.push_back(item);
    }
    object.add_array("stages", stages)
        .add_number("cutoff_hz", parts.figures.cutoff_hz)
        .add_number("cutoff_error_percent", parts.figures.cutoff_error_percent)
        .add_number("ripple_reached_db", parts.figures.ripple_db);
    if (parts.ranges_made) {
        JsonObject tolerances;
        tolerances.add_number("resistor_percent", parts.tolerances.resistor_percent)
            .add_number("capacitor_percent", parts.tolerances.capacitor_percent);
        const double range[] = {parts.cutoff_range.hz.low, parts.cutoff_range.hz.high};
        object.add_object("tolerances", tolerances).add_numbers("cutoff_range_hz", range);
        JsonObject yield;
        yield.add_number("draws", parts.yield.draws);
        for (int band = 0; band < kYieldBands; ++band) {
            yield.add_number("within_" + format_number(kYieldBandPercent[band]) + "_percent",
                             parts.yield.percent(band));
        }
        object.add_object("yield", yield);
    }
    std::vector<JsonObject> warnings;
    for (const StageWarning& warning : parts.warnings.list()) {
        JsonObject item;
        item.add_string("text", stage_warning_line(warning)).add_number("stage", warning.stage);
        warnings.push_back(item);
    }
    return object.add_array("warnings", warnings);
}

// "Phase deviation from a straight line over 0-150 Hz, half the largest, radian: 0.000979".
std::string cascade_deviation_line(double band_hz, double half_rad) {
    return "Phase deviation from a straight line over 0-" + format_number(std::fabs(band_hz)) +
           " Hz, half the largest, radian: " + format_number(half_rad);
}

}  // namespace

std::string cascade_refusal_text(Session& session) {
    const CascadeOutcome& outcome = *session.cascade();
    const CascadeRequest& request = *session.cascade_request();
    switch (outcome.refusal) {
        case CascadeRefusal::none:
            return "";
        case CascadeRefusal::request:
            return request_error_message(outcome.request_error, request);
        case CascadeRefusal::specification:
            return spec_error_message(outcome.order->error);
        case CascadeRefusal::order:
            return order_message(request.response, *outcome.order);
        case CascadeRefusal::cutoff:
            return "The cutoff must be positive and finite, from 1e-280 to 1e280 Hz.";
        case CascadeRefusal::resistor:
            break;
    }
    return "R1 must be positive and finite, with parts inside the double range.";
}

std::string cascade_result_lines(Session& session, const ReportAsks& asks) {
    const CascadeOutcome& outcome = *session.cascade();
    std::vector<std::string> lines =
        cascade_lines(outcome.design, outcome.exact, outcome.peaks, outcome.r1_ohm);
    if (const PassStopSpec* spec = session.specification()) {
        lines.push_back(specification_line(*spec, outcome.design.request.order,
                                           outcome.passband_loss_db, outcome.stopband_loss_db));
    }
    if (const std::optional<double> half = session.half_deviation()) {
        lines.push_back(cascade_deviation_line(*session.band(), *half));
    }
    if (outcome.compensation) {
        lines.push_back(
            compensation_line(*outcome.compensation, outcome.compensation_failed_stage));
    }
    const CascadeReport& report = *session.cascade_report();
    if (asks.parts) {
        for (std::string& line :
             cascade_parts_lines(report.parts, outcome.design.request, report.stage_q_range))
            lines.push_back(std::move(line));
    }
    if (asks.opamp && !session.cascade_opamp()) {
        lines.push_back(kNoOpAmpFigures);
    } else if (asks.opamp) {
        const OpAmpChoice& choice = *asks.opamp;
        lines.push_back("Op-amp GBW " + format_number(choice.gbw_mhz) + " MHz, A0 " +
                        format_number(choice.open_loop_gain_db) + " dB, Ro " +
                        format_number(choice.output_ohm) + " Ohm, in every stage, with the " +
                        set_text(PartsOptions{report.parts.series, report.parts.method, {}}) + ":");
        for (std::string& line :
             cascade_opamp_lines(*session.cascade_opamp(), session.cascade_step()->with_opamp,
                                 outcome.design.request, session.amplitude().value_or(1)))
            lines.push_back(std::move(line));
    }
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(1, '\n');
    return text;
}

JsonObject cascade_result_object(Session& session, const ReportAsks& asks) {
    const CascadeOutcome& outcome = *session.cascade();
    const CascadeDesign& design = outcome.design;
    const CascadeRequest& request = design.request;
    JsonObject object;
    object.add_string("response", response_name(request.response))
        .add_number("order", request.order)
        .add_number("cutoff_hz", design.cutoff_hz)
        .add_string("cutoff_rule", rule_key(cutoff_rule(request)))
        .add_number("ripple_db",
                    request.response == Response::chebyshev ? request.ripple_db : kNotANumber)
        .add_number("r1_ohm", outcome.r1_ohm);
    std::vector<JsonObject> stages;
    for (int k = 0; k < design.stage_count; ++k)
        stages.push_back(stage_object(design.stages[k], outcome.exact.stages[k], outcome.peaks[k]));
    object.add_array("stages", stages);
    if (const PassStopSpec* spec = session.specification()) {
        object.add_object("specification", specification_object(*spec))
            .add_number("passband_loss_db", outcome.passband_loss_db)
            .add_number("stopband_loss_db", outcome.stopband_loss_db);
    }
    if (const std::optional<double> half = session.half_deviation()) {
        object.add_number("deviation_rad", *half);
    }
    if (outcome.compensation) object.add_object("compensation", compensation_object(outcome));
    if (asks.parts) object.add_object("standard", standard_object(*session.cascade_report()));
    if (asks.opamp) object.add_object("opamp", opamp_object(session, *asks.opamp));
    return object;
}

}  // namespace kestrane
