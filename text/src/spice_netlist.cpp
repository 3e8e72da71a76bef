#include "kestrane/text/spice_netlist.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <numbers>

#include "kestrane/numeric/contract.h"
#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

// 17 significant digits in exponent form: "1.0253100585937500e+04".
std::string exact_text(double value) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16);
    return std::string(text, result.ptr);
}

std::string line(std::string_view name, std::string_view nodes, double value) {
    std::string text(name);
    text += ' ';
    text += nodes;
    text += ' ';
    text += exact_text(value);
    text += '\n';
    return text;
}

std::string comments(const CircuitParts& parts, const OpAmp& opamp, const NetlistDesign& design) {
    std::string text =
        "* Kestrane " KESTRANE_VERSION ": unity-gain Sallen-Key low-pass with an op-amp model\n";
    text += "* Design: cutoff " + format_number(design.cutoff_hz) + " Hz, R1 " +
            format_number(design.r1_ohm) + " ohm";
    if (!design.series.empty()) text += ", parts " + std::string(design.series);
    if (!design.method.empty()) text += ", " + std::string(design.method);
    text += '\n';
    if (std::isinf(opamp.gbw_hz) && std::isinf(opamp.open_loop_gain) &&
        opamp.output_resistance == 0) {
        text += "* Op-amp: ideal\n";
    } else {
        text += "* Op-amp: GBW " + format_number(opamp.gbw_hz / 1e6) + " MHz, A0 " +
                format_number(opamp.open_loop_gain) + " (" +
                format_number(open_loop_gain_db(opamp)) + " dB), Ro " +
                format_number(opamp.output_resistance) +
                " ohm: single-pole gain, output resistance\n";
    }
    const Cutoff cutoff = cutoff_3db(transfer_function(parts, opamp));
    if (cutoff.found) {
        text += "* Model: -3 dB cutoff " + format_number(cutoff.hz) + " Hz\n";
    }
    text += "* Input node in (AC 1; a 1 V step at t = 0), output node out\n";
    return text;
}

std::string opamp_elements(const OpAmp& opamp) {
    const bool ideal = std::isinf(opamp.gbw_hz) && std::isinf(opamp.open_loop_gain) &&
                       opamp.output_resistance == 0;
    if (ideal) return "* Ideal op-amp: a unity buffer of p\nEB out 0 p 0 1\n";
    std::string text =
        "* Op-amp: GA (1 S) into RA || CA gives A0 / (1 + s A0 / (2 pi GBW)) on a;\n"
        "* EB buffers it, RO is the output resistance\n";
    text += "GA 0 a p out 1\n";
    text += line("RA", "a 0", opamp.open_loop_gain);
    if (std::isfinite(opamp.gbw_hz)) {
        text += line("CA", "a 0", 1 / (2 * std::numbers::pi * opamp.gbw_hz));
    }
    if (opamp.output_resistance == 0) return text + "EB out 0 a 0 1\n";
    text += "EB b 0 a 0 1\n";
    return text + line("RO", "b out", opamp.output_resistance);
}

constexpr double kRiseFraction = 1e-7;
constexpr int kTransientSteps = 2000;

// ngspice's commands: the analyses, then the measurements, each printed as "name = value".
constexpr std::string_view kMeasurements =
    "* ngspice runs the analyses and prints the measurements with ngspice -b FILE; other\n"
    "* simulators run the .ac and .tran lines and need no more than these comments.\n"
    "* The -3 dB frequency is measured from the DC gain (the gain at the sweep's start),\n"
    "* at the first crossing; the overshoot is the step's peak against the DC gain.\n"
    ".control\n"
    "run\n"
    "setplot ac1\n"
    "let dc_gain = vm(out)[0]\n"
    "let level = dc_gain / sqrt(2)\n"
    "meas ac minus_3db_from_dc_gain_hz when vm(out)=$&level cross=1\n"
    "setplot tran1\n"
    "meas tran step_peak_v max v(out)\n"
    "let step_overshoot_percent = 100 * (step_peak_v - ac1.dc_gain) / ac1.dc_gain\n"
    "if step_overshoot_percent < 0\n"
    "let step_overshoot_percent = 0\n"
    "end\n"
    "print step_overshoot_percent\n"
    "quit\n"
    ".endc\n";

// The netlist's AC sweep reaches this factor below and above the set's real cutoff.
constexpr double kSweepReach = 1000;

}  // namespace

std::string_view netlist_refusal_of(const OpAmp& opamp) {
    if (std::isinf(opamp.open_loop_gain) && std::isfinite(opamp.gbw_hz)) {
        return "No netlist: an A0 beyond the double range (above about 6165 dB) with a finite "
               "GBW has no element to hold it";
    }
    return "";
}

std::string spice_netlist(const CircuitParts& parts, const OpAmp& opamp,
                          const NetlistDesign& design, const NetlistAnalyses& analyses) {
    // Always checked: a netlist of parts or analyses that are not numbers would be a file
    // that asks a simulator for an unbounded sweep or an infinite element, written as if it
    // were a circuit.
    KESTRANE_CHECK(is_buildable(parts) && is_valid_opamp(opamp));
    KESTRANE_CHECK(netlist_refusal_of(opamp).empty());
    KESTRANE_CHECK(analyses.ac_start_hz > 0 && analyses.ac_stop_hz > analyses.ac_start_hz &&
                   analyses.ac_points_per_decade > 0 && analyses.step_span_s > 0 &&
                   analyses.step_span_s < HUGE_VAL);
    const double span = analyses.step_span_s;
    const double rise = kRiseFraction * span;
    std::string text = comments(parts, opamp, design);
    text += "VIN in 0 DC 0 AC 1 PULSE(0 1 0 " + exact_text(rise) + " " + exact_text(rise) + " " +
            exact_text(1e3 * span) + " " + exact_text(2e3 * span) + ")\n";
    text += line("R1", "in x", parts.R1);
    text += line("R2", "x p", parts.R2);
    text += line("C1", "x out", parts.C1);
    text += line("C2", "p 0", parts.C2);
    text += opamp_elements(opamp);
    text += ".ac dec " + std::to_string(analyses.ac_points_per_decade) + " " +
            exact_text(analyses.ac_start_hz) + " " + exact_text(analyses.ac_stop_hz) + "\n";
    text += ".tran " + exact_text(span / kTransientSteps) + " " + exact_text(span) + " 0 " +
            exact_text(span / kTransientSteps) + "\n";
    text += ".options reltol=1e-6 abstol=1e-15 vntol=1e-12 chgtol=1e-20 method=gear\n";
    text += kMeasurements;
    text += ".end\n";
    return text;
}

NetlistAnalyses netlist_analyses(double cutoff_hz, double step_span_s) {
    const double centre = cutoff_hz > 0 && std::isfinite(cutoff_hz) ? cutoff_hz : 1000;
    NetlistAnalyses analyses;
    analyses.ac_start_hz = std::max(centre / kSweepReach, DBL_MIN);
    analyses.ac_stop_hz = std::min(centre * kSweepReach, DBL_MAX);
    if (!(analyses.ac_stop_hz > analyses.ac_start_hz)) {
        analyses.ac_stop_hz = analyses.ac_start_hz * kSweepReach;
    }
    double span = step_span_s;
    if (!(span > 0 && std::isfinite(span))) span = 1 / centre;
    analyses.step_span_s = span > 0 && std::isfinite(span) ? span : 1;
    return analyses;
}

std::string empty_netlist(std::string_view reason) {
    std::string text = "* Kestrane " KESTRANE_VERSION ": unity-gain Sallen-Key low-pass\n* ";
    return text.append(reason).append("\n.end\n");
}

}  // namespace kestrane
