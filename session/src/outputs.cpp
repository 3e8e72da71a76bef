#include "kestrane/session/outputs.h"

#include <limits>
#include <string_view>
#include <utility>

#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"

namespace kestrane {
namespace {

std::string_view kind_key(WarningKind kind) {
    switch (kind) {
        case WarningKind::no_circuit:
            return "no_circuit";
        case WarningKind::nonpositive_part:
            return "nonpositive_part";
        case WarningKind::misses_target:
            return "misses_target";
        case WarningKind::impractical_part:
            break;
    }
    return "impractical_part";
}

JsonObject parts_object(const PartsReport& report) {
    const PartsOptions& options = report.options;
    JsonObject object;
    object.add_string("method", method_name(options.method))
        .add_string("resistor_series", series_name(options.series.resistors))
        .add_string("capacitor_series", series_name(options.series.capacitors))
        .add_number("resistor_tolerance_percent", options.tolerances.resistor_percent)
        .add_number("capacitor_tolerance_percent", options.tolerances.capacitor_percent);
    if (report.buildable) {
        const CircuitParts& set = report.shown;
        const SetFigures& figures = report.figures;
        object.add_number("r1_ohm", set.R1)
            .add_number("r2_ohm", set.R2)
            .add_number("c1_farad", set.C1)
            .add_number("c2_farad", set.C2)
            .add_number("cutoff_hz", figures.cutoff_hz)
            .add_number("cutoff_error_percent", figures.cutoff_error_percent)
            .add_number("q", figures.q)
            .add_number("q_error_percent", figures.q_error_percent)
            .add_number("natural_hz", figures.natural_hz);
    }
    if (report.buildable && report.ranges_made) {
        object.add_number("cutoff_low_hz", report.cutoff_range_hz.low)
            .add_number("cutoff_high_hz", report.cutoff_range_hz.high)
            .add_number("q_low", report.q_range.low)
            .add_number("q_high", report.q_range.high);
        JsonObject yield;
        yield.add_number("draws", report.yield.draws);
        for (int band = 0; band < kYieldBands; ++band) {
            yield.add_number("within_" + format_number(kYieldBandPercent[band]) + "_percent",
                             report.yield.percent(band));
        }
        object.add_object("yield", yield);
    }
    std::vector<JsonObject> warnings;
    for (const BuildWarning& warning : report.warnings)
        warnings.push_back(warning_object(warning));
    return object.add_array("warnings", warnings);
}

JsonObject opamp_object(Session& session, const OpAmpChoice& choice) {
    JsonObject object;
    object.add_number("gbw_mhz", choice.gbw_mhz)
        .add_number("open_loop_gain_db", choice.open_loop_gain_db)
        .add_number("output_ohm", choice.output_ohm);
    const OpAmpFigures* figures = session.opamp_figures();
    if (!figures) {
        return object.add_string("no_circuit", no_circuit_text(*session.parts(), "op-amp figures"));
    }
    add_opamp_figure_members(object, *figures, session.amplitude().value_or(1));
    return object;
}

}  // namespace

void apply_asks(Session& session, const ReportAsks& asks) {
    const PartsOptions options = asks.parts.value_or(PartsOptions{});
    session.set_parts(options.method, options.series);
    session.set_tolerances(options.tolerances);
    session.set_opamp(asks.opamp.value_or(OpAmpChoice{}));
}

std::string result_lines(Session& session) {
    const Design& design = session.design();
    const FilterComponents& parts = design.components;
    std::string text = r1_line(parts.R1) + "\n" + r2_line(parts.R2) + "\n" + c1_line(parts.C1) +
                       "\n" + c2_line(parts.C2) + "\n" + passband_line(design.passband_edge_hz) +
                       "\n";
    if (const std::optional<double> half = session.half_deviation()) {
        text += deviation_line(*half) + "\n";
    }
    return text;
}

JsonObject result_object(Session& session) {
    const Design& design = session.design();
    const FilterComponents& parts = design.components;
    JsonObject object;
    object.add_number("r1_ohm", parts.R1)
        .add_number("r2_ohm", parts.R2)
        .add_number("c1_farad", parts.C1)
        .add_number("c2_farad", parts.C2)
        .add_number("passband_hz", design.passband_edge_hz);
    if (const std::optional<double> half = session.half_deviation()) {
        object.add_number("deviation_rad", *half);
    }
    return object;
}

std::string opamp_heading_line(const OpAmpChoice& choice, const PartsOptions& options) {
    return "Op-amp GBW " + format_number(choice.gbw_mhz) + " MHz, A0 " +
           format_number(choice.open_loop_gain_db) + " dB, Ro " + format_number(choice.output_ohm) +
           " Ohm, with the " + set_text(options) + ":";
}

std::vector<std::string> extras_lines(Session& session, const ReportAsks& asks) {
    std::vector<std::string> lines;
    const PartsReport& report = *session.parts();
    if (asks.parts) lines = parts_report_lines(report);
    if (!asks.opamp) return lines;
    const OpAmpFigures* figures = session.opamp_figures();
    if (!figures) {
        lines.push_back(no_circuit_text(report, "op-amp figures"));
        return lines;
    }
    lines.push_back(opamp_heading_line(*asks.opamp, report.options));
    for (std::string& line : opamp_figure_lines(*figures, session.amplitude().value_or(1)))
        lines.push_back(std::move(line));
    return lines;
}

void add_extras_members(JsonObject& object, Session& session, const ReportAsks& asks) {
    if (asks.parts) object.add_object("parts", parts_object(*session.parts()));
    if (asks.opamp) object.add_object("opamp", opamp_object(session, *asks.opamp));
}

JsonObject warning_object(const BuildWarning& warning) {
    JsonObject object;
    object.add_string("kind", kind_key(warning.kind)).add_string("text", warning_line(warning));
    switch (warning.kind) {
        case WarningKind::impractical_part:
            object.add_string("set", warning.set == PartSet::search ? "design" : "standard")
                .add_string("name", design_value_name(warning.name))
                .add_number("value", warning.value)
                .add_number("limit", warning.limit);
            break;
        case WarningKind::misses_target:
            object.add_number("cutoff_error_percent", warning.cutoff_error_percent)
                .add_number("q_error_percent", warning.q_error_percent)
                .add_bool("whole_hertz", warning.whole_hertz);
            break;
        case WarningKind::nonpositive_part:
            object.add_string("name", design_value_name(warning.name))
                .add_number("value", warning.value)
                .add_bool("whole_hertz", warning.whole_hertz);
            break;
        case WarningKind::no_circuit:
            object.add_string("name", design_value_name(warning.name))
                .add_number("value", warning.value);
            break;
    }
    return object;
}

}  // namespace kestrane
