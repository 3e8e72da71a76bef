#include "kestrane/text/parts_text.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "kestrane/text/number_writer.h"
#include "kestrane/text/report_text.h"

namespace kestrane {
namespace {

constexpr double kNanofaradsPerFarad = 1e9;

// A range's ends are written with this many significant digits, the low end rounded down and
// the high end up (format_bound): the written end then lies outside the range by less than a
// unit of the 7th digit, 10^-6 of a leading digit of 1 and less of any other, so within 1e-6
// of the end, relative. Six digits rounded to nearest could put an end inside the range.
constexpr int kBoundDigits = 7;

std::string with_percent(double percent) {
    return percent_text(percent) + " %";
}

bool is_resistor(DesignValue name) {
    return name == DesignValue::R1 || name == DesignValue::R2;
}

std::string subject(DesignValue name) {
    return name == DesignValue::cutoff ? "the cutoff" : std::string(design_value_name(name));
}

// "C1 = -2514.3 nF": in the console's units, kilohertz, ohms and nanofarads.
std::string value_text(DesignValue name, double value) {
    std::string text(subject(name));
    text += " = ";
    if (name == DesignValue::cutoff) return text + format_number(value) + " kHz";
    if (is_resistor(name)) return text + format_number(value) + " Ohm";
    return text + format_number(value * kNanofaradsPerFarad) + " nF";
}

// The practical limit `limit` of a part named `name`, as a person writes it.
std::string_view limit_text(DesignValue name, double limit) {
    if (is_resistor(name)) return limit == kSmallestResistor ? "100 Ohm" : "10 MOhm";
    return limit == kSmallestCapacitor ? "10 pF" : "100 uF";
}

std::string_view set_owner(PartSet set) {
    return set == PartSet::search ? "the design's " : "the standard set's ";
}

constexpr std::string_view kWholeHertz = "the design model evaluates whole hertz";

// The warning's text after "Warning: " or the console's "kestrane: warning: ".
std::string warning_body(const BuildWarning& warning) {
    switch (warning.kind) {
        case WarningKind::nonpositive_part: {
            std::string body =
                "positive inputs gave " + value_text(warning.name, warning.value) + ", not above 0";
            if (warning.whole_hertz) body += "; " + std::string(kWholeHertz);
            return body;
        }
        case WarningKind::misses_target: {
            const std::string figures = "cutoff " + with_percent(warning.cutoff_error_percent) +
                                        ", Q " + with_percent(warning.q_error_percent) +
                                        " (limits " + format_number(kMissCutoffPercent) + " %, " +
                                        format_number(kMissQPercent) + " %)";
            if (warning.whole_hertz) return "the whole-hertz design model misses: real " + figures;
            return "on the real circuit the printed parts miss: " + figures;
        }
        case WarningKind::impractical_part: {
            const bool below = warning.value < warning.limit;
            return std::string(set_owner(warning.set)) + value_text(warning.name, warning.value) +
                   (below ? " is below " : " is above ") +
                   std::string(limit_text(warning.name, warning.limit)) +
                   (is_resistor(warning.name) ? ": impractical for a resistor"
                                              : ": impractical for a capacitor");
        }
        default: {
            // The design's own values go unnamed; a standard set's part is named as such.
            const std::string owner(warning.set == PartSet::shown ? set_owner(warning.set) : "");
            return owner + value_text(warning.name, warning.value) +
                   (std::isfinite(warning.value) ? " is not above 0" : " is not finite");
        }
    }
}

}  // namespace

std::string range_text(const ValueRange& range) {
    return format_bound(range.low, kBoundDigits, BoundRounding::down) + " to " +
           format_bound(range.high, kBoundDigits, BoundRounding::up);
}

std::string tolerances_text(const PartTolerances& tolerances) {
    return format_number(tolerances.resistor_percent) + " % R, " +
           format_number(tolerances.capacitor_percent) + " % C";
}

std::string percent_text(double percent) {
    constexpr double kLargestFixed = 1e6;
    if (!(std::fabs(percent) < kLargestFixed)) return format_number(percent);
    char digits[16];
    const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(percent),
                                       std::chars_format::fixed, 2);
    const std::string magnitude(digits, written.ptr);
    if (magnitude == "0.00") return magnitude;
    return (percent < 0 ? "-" : "+") + magnitude;
}

std::string series_pair_text(SeriesPair series) {
    return std::string(series_name(series.resistors)) + " R and " +
           std::string(series_name(series.capacitors)) + " C";
}

std::string_view method_phrase(PartsMethod method) {
    return method == PartsMethod::best ? "best set" : "nearest";
}

std::string set_text(const PartsOptions& options) {
    const std::string_view joint = options.method == PartsMethod::best ? " of " : " ";
    return std::string(method_phrase(options.method)) + std::string(joint) +
           series_pair_text(options.series);
}

std::string parts_heading_line(const PartsOptions& options) {
    return "Standard parts, " + set_text(options) + ":";
}

std::string no_circuit_text(const PartsReport& report, std::string_view what) {
    for (const BuildWarning& warning : report.warnings) {
        if (warning.kind == WarningKind::no_circuit) {
            return no_circuit_line(warning, "no " + std::string(what));
        }
    }
    return "No circuit to build: no standard set was found; no " + std::string(what);
}

std::string real_cutoff_line(const SetFigures& figures) {
    return "Achieved cutoff: " + format_number(figures.cutoff_hz) + " Hz (" +
           with_percent(figures.cutoff_error_percent) + ")";
}

std::string q_line(const SetFigures& figures) {
    return "Q: " + format_number(figures.q) + " (" + with_percent(figures.q_error_percent) + ")";
}

std::string natural_frequency_line(const SetFigures& figures) {
    return "Natural frequency f0: " + format_number(figures.natural_hz) + " Hz";
}

std::string cutoff_range_line(const PartTolerances& tolerances, const ValueRange& range_hz,
                              bool made) {
    const std::string start = "Cutoff with " + tolerances_text(tolerances) + ": ";
    if (!made) return start + "none, tolerances run from 0 to below 100 %";
    return start + range_text(range_hz) + " Hz";
}

std::string q_range_line(const PartTolerances& tolerances, const ValueRange& range) {
    return "Q with " + tolerances_text(tolerances) + ": " + range_text(range);
}

std::string yield_line(const CutoffYield& yield) {
    std::string line = "Yield of " + format_number(yield.draws) + " builds:";
    for (int band = 0; band < kYieldBands; ++band) {
        line += (band == 0 ? " " : ", ") + format_number(yield.percent(band)) + " % within " +
                format_number(kYieldBandPercent[band]) + " %";
    }
    return line + " of the cutoff";
}

std::string warning_line(const BuildWarning& warning) {
    if (warning.kind == WarningKind::no_circuit) {
        return no_circuit_line(warning, "no standard parts, ranges or yield");
    }
    return "Warning: " + warning_body(warning);
}

std::string no_circuit_line(const BuildWarning& warning, std::string_view missing) {
    return "No circuit to build: " + warning_body(warning) + "; " + std::string(missing);
}

std::vector<std::string> parts_report_lines(const PartsReport& report) {
    std::vector<std::string> lines;
    if (report.buildable) {
        const CircuitParts& set = report.shown;
        const PartTolerances& tolerances = report.options.tolerances;
        lines = {parts_heading_line(report.options),
                 r1_line(set.R1),
                 r2_line(set.R2),
                 c1_line(set.C1),
                 c2_line(set.C2),
                 real_cutoff_line(report.figures),
                 q_line(report.figures),
                 natural_frequency_line(report.figures),
                 cutoff_range_line(tolerances, report.cutoff_range_hz, report.ranges_made)};
        if (report.ranges_made) {
            lines.push_back(q_range_line(tolerances, report.q_range));
            lines.push_back(yield_line(report.yield));
        }
    }
    for (const BuildWarning& warning : report.warnings)
        lines.push_back(warning_line(warning));
    return lines;
}

std::vector<std::string> parts_report_lines(const Design& design, const PartsOptions& options) {
    return parts_report_lines(parts_report(design, options));
}

std::string design_warning_line(const Design& design, std::string_view where) {
    const std::optional<BuildWarning> warning = design_warning(design);
    if (!warning) return "";
    return "kestrane: " + std::string(where) + "warning: " + warning_body(*warning);
}

}  // namespace kestrane
