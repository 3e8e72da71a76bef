#include "kestrane/session/design_extras.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "kestrane/circuit/step_response.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/spice_netlist.h"

namespace kestrane {
namespace {

// The input sine of the slew-rate figure, in volts.
constexpr double kSlewAmplitudeV = 1;

// "best set of E96 R and E12 C" or "nearest E96 R and E12 C".
std::string set_text(const PartsOptions& options) {
    const std::string method = options.method == PartsMethod::best ? "best set of " : "nearest ";
    return method + std::string(series_name(options.series.resistors)) + " R and " +
           std::string(series_name(options.series.capacitors)) + " C";
}

const BuildWarning* no_circuit_warning(const PartsReport& report) {
    for (const BuildWarning& warning : report.warnings) {
        if (warning.kind == WarningKind::no_circuit) return &warning;
    }
    return nullptr;
}

// The line that says why there are no op-amp figures or netlist (`what`) for the report.
std::string no_circuit_text(const PartsReport& report, std::string_view what) {
    if (const BuildWarning* warning = no_circuit_warning(report)) {
        return no_circuit_line(*warning, "no " + std::string(what));
    }
    return "No circuit to build: no standard set was found; no " + std::string(what);
}

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
    object.add_string("method", options.method == PartsMethod::best ? "best" : "nearest")
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

JsonObject opamp_object(const ExtrasReport& report, const OpAmpChoice& choice) {
    JsonObject object;
    object.add_number("gbw_mhz", choice.gbw_mhz)
        .add_number("open_loop_gain_db", choice.open_loop_gain_db)
        .add_number("output_ohm", choice.output_ohm);
    if (!report.parts.buildable) {
        return object.add_string("no_circuit", no_circuit_text(report.parts, "op-amp figures"));
    }
    add_opamp_figure_members(object, report.opamp, kSlewAmplitudeV);
    return object;
}

}  // namespace

ExtrasReport extras_report(const Design& design, const DesignExtras& extras) {
    ExtrasReport report;
    report.parts = parts_report(design, extras.parts.value_or(PartsOptions{}));
    if (extras.opamp && report.parts.buildable) {
        report.opamp = opamp_figures(report.parts.shown, extras.opamp->opamp, kSlewAmplitudeV);
    }
    return report;
}

std::string opamp_heading_line(const OpAmpChoice& choice, const PartsOptions& options) {
    return "Op-amp GBW " + format_number(choice.gbw_mhz) + " MHz, A0 " +
           format_number(choice.open_loop_gain_db) + " dB, Ro " + format_number(choice.output_ohm) +
           " Ohm, with the " + set_text(options) + ":";
}

std::vector<std::string> extras_lines(const ExtrasReport& report, const DesignExtras& extras) {
    std::vector<std::string> lines;
    if (extras.parts) lines = parts_report_lines(report.parts);
    if (!extras.opamp) return lines;
    if (!report.parts.buildable) {
        lines.push_back(no_circuit_text(report.parts, "op-amp figures"));
        return lines;
    }
    lines.push_back(opamp_heading_line(*extras.opamp, report.parts.options));
    for (std::string& line : opamp_figure_lines(report.opamp, kSlewAmplitudeV))
        lines.push_back(std::move(line));
    return lines;
}

void add_extras_members(JsonObject& object, const ExtrasReport& report,
                        const DesignExtras& extras) {
    if (extras.parts) object.add_object("parts", parts_object(report.parts));
    if (extras.opamp) object.add_object("opamp", opamp_object(report, *extras.opamp));
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

std::string extras_netlist(const Design& design, const ExtrasReport& report,
                           const DesignExtras& extras) {
    if (!report.parts.buildable) return empty_netlist(no_circuit_text(report.parts, "netlist"));
    const CircuitParts& parts = report.parts.shown;
    const OpAmp opamp = extras.opamp ? extras.opamp->opamp : OpAmp{};
    const PartsOptions& options = report.parts.options;
    const std::string series = std::string(series_name(options.series.resistors)) + " R and " +
                               std::string(series_name(options.series.capacitors)) + " C";
    const NetlistDesign source{design.targets.cutoff_hz, design.components.R1, series,
                               options.method == PartsMethod::best ? "best set" : "nearest"};
    const NetlistAnalyses analyses =
        netlist_analyses(report.parts.figures.cutoff_hz, step_figures(parts, opamp).span_s);
    return spice_netlist(parts, opamp, source, analyses);
}

std::string write_text_file(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr;
    if (written) {
        written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        written = std::fclose(file) == 0 && written;
    }
    if (written) return "";
    const int error = errno;
    return "kestrane: cannot write " + quoted_whole(path) + ": " + std::strerror(error);
}

}  // namespace kestrane
