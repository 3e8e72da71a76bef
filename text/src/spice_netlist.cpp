#include "kestrane/text/spice_netlist.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <numbers>

#include "kestrane/cascade/cascade_response.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/portable_math.h"
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

std::string opamp_comment(const OpAmp& opamp) {
    if (std::isinf(opamp.gbw_hz) && std::isinf(opamp.open_loop_gain) &&
        opamp.output_resistance == 0) {
        return "* Op-amp: ideal\n";
    }
    return "* Op-amp: GBW " + format_number(opamp.gbw_hz / 1e6) + " MHz, A0 " +
           format_number(opamp.open_loop_gain) + " (" + format_number(open_loop_gain_db(opamp)) +
           " dB), Ro " + format_number(opamp.output_resistance) +
           " ohm: single-pole gain, output resistance\n";
}

std::string comments(const CircuitParts& parts, const OpAmp& opamp, const NetlistDesign& design) {
    std::string text =
        "* Kestrane " KESTRANE_VERSION ": unity-gain Sallen-Key low-pass with an op-amp model\n";
    text += "* Design: cutoff " + format_number(design.cutoff_hz) + " Hz, R1 " +
            format_number(design.r1_ohm) + " ohm";
    if (!design.series.empty()) text += ", parts " + std::string(design.series);
    if (!design.method.empty()) text += ", " + std::string(design.method);
    text += '\n';
    text += opamp_comment(opamp);
    const Cutoff cutoff = cutoff_3db(transfer_function(parts, opamp));
    if (cutoff.found) {
        text += "* Model: -3 dB cutoff " + format_number(cutoff.hz) + " Hz\n";
    }
    text += "* Input node in (AC 1; a 1 V step at t = 0), output node out\n";
    return text;
}

// The op-amp's elements, their names ending in `tag` ("" for one stage, "1", "2", ... in a
// cascade), between its non-inverting input `p` and its output `out`, with internal nodes
// "a" and "b" followed by `tag`.
std::string opamp_elements(const OpAmp& opamp, std::string_view tag, std::string_view p,
                           std::string_view out) {
    const std::string t(tag);
    const std::string a = "a" + t;
    const std::string b = "b" + t;
    const std::string ps(p);
    const std::string outs(out);
    const bool ideal = std::isinf(opamp.gbw_hz) && std::isinf(opamp.open_loop_gain) &&
                       opamp.output_resistance == 0;
    if (ideal) {
        return "* Ideal op-amp: a unity buffer of " + ps + "\nEB" + t + " " + outs + " 0 " + ps +
               " 0 1\n";
    }
    std::string text = "* Op-amp: GA" + t + " (1 S) into RA" + t + " || CA" + t +
                       " gives A0 / (1 + s A0 / (2 pi GBW)) on " + a + ";\n* EB" + t +
                       " buffers it, RO" + t + " is the output resistance\n";
    text += "GA" + t + " 0 " + a + " " + ps + " " + outs + " 1\n";
    text += line("RA" + t, a + " 0", opamp.open_loop_gain);
    if (std::isfinite(opamp.gbw_hz)) {
        text += line("CA" + t, a + " 0", 1 / (2 * std::numbers::pi * opamp.gbw_hz));
    }
    if (opamp.output_resistance == 0) return text + "EB" + t + " " + outs + " 0 " + a + " 0 1\n";
    text += "EB" + t + " " + b + " 0 " + a + " 0 1\n";
    return text + line("RO" + t, b + " " + outs, opamp.output_resistance);
}

constexpr double kRiseFraction = 1e-7;
constexpr int kTransientSteps = 2000;

// ngspice's commands: the analyses, then the measurements, each printed as "name = value".
constexpr std::string_view kMeasurementsHead =
    "* ngspice runs the analyses and prints the measurements with ngspice -b FILE; other\n"
    "* simulators run the .ac and .tran lines and need no more than these comments.\n";
constexpr std::string_view kOvershootMeasurement =
    "setplot tran1\n"
    "meas tran step_peak_v max v(out)\n"
    "let step_overshoot_percent = 100 * (step_peak_v - ac2.dc_gain) / ac2.dc_gain\n"
    "if step_overshoot_percent < 0\n"
    "let step_overshoot_percent = 0\n"
    "end\n"
    "print step_overshoot_percent\n"
    "quit\n"
    ".endc\n";

// The netlist's AC sweep reaches this factor below and above the set's real cutoff.
constexpr double kSweepReach = 1000;

// ngspice's measurement of the cutoff under `rule`, on sweeps of its own around the model's
// cutoff `model_hz` (the program's figure that the netlist is checked against): the DC gain on
// a sweep at 1e-7 of it (where the gain differs from the DC gain by about 1e-14), for the
// ripple band's edge the largest gain on a linear sweep of 100001 points up to 1.02 times it
// (a ripple peak sampled within about 1e-10 of its height), and the crossing on a linear sweep
// of 4001 points within 2 % of it, where interpolating between points moves it by less than
// 1e-8. The level is a vector, not a substituted text ($&), which ngspice would cut to six
// digits.
std::string cutoff_measurement(const CutoffRule& rule, double model_hz) {
    constexpr double kDcReach = 1e-7;
    constexpr double kPassbandStart = 1e-3;
    constexpr int kPassbandPoints = 100001;
    constexpr double kFineReach = 0.02;
    constexpr int kFinePoints = 4001;
    std::string text = "* The cutoff is measured ";
    std::string level;
    std::string name;
    std::string crossing = "cross=1";
    if (rule.level == CutoffLevel::ripple_edge) {
        text += "where the gain last falls through its largest value less the ripple,\n";
        const double divisor = portable::exp(rule.ripple_db / 20 * portable::log(10.0));
        level = "ac3.peak_gain / " + exact_text(divisor);
        name = "ripple_edge_hz";
        crossing = "fall=last";
    } else {
        const bool half_power = rule.level == CutoffLevel::half_power;
        text += std::string(half_power ? "-3" : "-6") +
                " dB from the DC gain (the gain at the sweep's start), at the first crossing,\n";
        level = half_power ? "ac2.dc_gain / sqrt(2)" : "ac2.dc_gain / 2";
        name = half_power ? "minus_3db_from_dc_gain_hz" : "minus_6db_from_dc_gain_hz";
    }
    text +=
        "* on a fine sweep around the model's; the overshoot is the step's peak against the\n"
        "* DC gain.\n"
        ".control\n"
        "run\n"
        "ac lin 3 " +
        exact_text(model_hz * kDcReach) + " " + exact_text(model_hz * 2 * kDcReach) + "\n";
    text += "let dc_gain = vm(out)[0]\n";
    if (rule.level == CutoffLevel::ripple_edge) {
        text += "ac lin " + std::to_string(kPassbandPoints) + " " +
                exact_text(model_hz * kPassbandStart) + " " +
                exact_text(model_hz * (1 + kFineReach)) + "\n";
        text += "let peak_gain = vecmax(vm(out))\n";
    }
    text += "ac lin " + std::to_string(kFinePoints) + " " +
            exact_text(model_hz * (1 - kFineReach)) + " " +
            exact_text(model_hz * (1 + kFineReach)) + "\n";
    text += "let level = " + level + "\n";
    return text + "meas ac " + name + " when vm(out)=level " + crossing + "\n";
}

std::string analyses_text(const NetlistAnalyses& analyses) {
    const double span = analyses.step_span_s;
    double step = span / kTransientSteps;
    if (analyses.step_max_s > 0 && analyses.step_max_s < step) step = analyses.step_max_s;
    std::string text = ".ac dec " + std::to_string(analyses.ac_points_per_decade) + " " +
                       exact_text(analyses.ac_start_hz) + " " + exact_text(analyses.ac_stop_hz) +
                       "\n";
    text += ".tran " + exact_text(step) + " " + exact_text(span) + " 0 " + exact_text(step) + "\n";
    return text + ".options reltol=1e-6 abstol=1e-15 vntol=1e-12 chgtol=1e-20 method=gear\n";
}

std::string source_text(double span) {
    const double rise = kRiseFraction * span;
    return "VIN in 0 DC 0 AC 1 PULSE(0 1 0 " + exact_text(rise) + " " + exact_text(rise) + " " +
           exact_text(1e3 * span) + " " + exact_text(2e3 * span) + ")\n";
}

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
    std::string text = comments(parts, opamp, design);
    text += source_text(analyses.step_span_s);
    text += line("R1", "in x", parts.R1);
    text += line("R2", "x p", parts.R2);
    text += line("C1", "x out", parts.C1);
    text += line("C2", "p 0", parts.C2);
    text += opamp_elements(opamp, "", "p", "out");
    text += analyses_text(analyses);
    const Cutoff model = cutoff_3db(transfer_function(parts, opamp));
    text += kMeasurementsHead;
    text += cutoff_measurement(CutoffRule{}, model.found ? model.hz : design.cutoff_hz);
    text += kOvershootMeasurement;
    text += ".end\n";
    return text;
}

namespace {

// "R101" and the like: part `part` of stage `k`.
std::string designator(char kind, int k, int part) {
    return std::string(1, kind) + std::to_string(k) + "0" + std::to_string(part);
}

std::string stage_elements(const StageCircuit& stage, const OpAmp& opamp, int k,
                           const std::string& input, const std::string& output) {
    const std::string tag = std::to_string(k);
    const std::string x = "x" + tag;
    const std::string p = "p" + tag;
    const CircuitParts& c = stage.parts;
    std::string text = "* Stage " + tag + "\n";
    if (stage.order == 1) {
        text += line(designator('R', k, 1), input + " " + p, c.R1);
        text += line(designator('C', k, 1), p + " 0", c.C1);
    } else {
        text += line(designator('R', k, 1), input + " " + x, c.R1);
        text += line(designator('R', k, 2), x + " " + p, c.R2);
        text += line(designator('C', k, 1), x + " " + output, c.C1);
        text += line(designator('C', k, 2), p + " 0", c.C2);
    }
    return text + opamp_elements(opamp, tag, p, output);
}

std::string cascade_comments(std::span<const StageCircuit> stages, const OpAmp& opamp,
                             const CascadeDesign& design, double r1_ohm, std::string_view series,
                             std::string_view method) {
    const CascadeRequest& request = design.request;
    std::string text = "* Kestrane " KESTRANE_VERSION ": " +
                       std::string(response_name(request.response)) + " low-pass of order " +
                       std::to_string(request.order) + ", " + std::to_string(stages.size()) +
                       " unity-gain stages, with an op-amp model in each\n";
    text += "* Design: cutoff " + format_number(design.cutoff_hz) + " Hz, R1 " +
            format_number(r1_ohm) + " ohm";
    if (request.response == Response::chebyshev) {
        text += ", ripple " + format_number(request.ripple_db) + " dB";
    }
    if (!series.empty()) text += ", parts " + std::string(series);
    if (!method.empty()) text += ", " + std::string(method);
    text += '\n';
    text += opamp_comment(opamp);
    const double cutoff = opamp_cutoff_hz(stages, opamp, cutoff_rule(request));
    if (std::isfinite(cutoff))
        text += "* Model: cutoff with the op-amp " + format_number(cutoff) + " Hz\n";
    for (int k = 0; k < design.stage_count; ++k) {
        const Stage& stage = design.stages[k];
        text += "* Stage " + std::to_string(k + 1) + " aims at f0 " + format_number(stage.f0_hz) +
                " Hz" + (stage.order == 2 ? ", Q " + format_number(stage.q) : "") + "\n";
    }
    return text + "* Input node in (AC 1; a 1 V step at t = 0), output node out\n";
}

}  // namespace

std::string cascade_netlist(std::span<const StageCircuit> stages, const OpAmp& opamp,
                            const CascadeDesign& design, double r1_ohm, std::string_view series,
                            std::string_view method, const NetlistAnalyses& analyses) {
    KESTRANE_CHECK(is_valid_cascade_circuit(stages) && is_valid_opamp(opamp));
    KESTRANE_CHECK(netlist_refusal_of(opamp).empty());
    KESTRANE_CHECK(analyses.ac_start_hz > 0 && analyses.ac_stop_hz > analyses.ac_start_hz &&
                   analyses.ac_points_per_decade > 0 && analyses.step_span_s > 0 &&
                   analyses.step_span_s < HUGE_VAL);
    std::string text = cascade_comments(stages, opamp, design, r1_ohm, series, method);
    text += source_text(analyses.step_span_s);
    const int count = static_cast<int>(stages.size());
    std::string input = "in";
    for (int k = 1; k <= count; ++k) {
        std::string output = "out";
        if (k < count) output = std::string(1, 'o').append(std::to_string(k));
        text += stage_elements(stages[static_cast<std::size_t>(k - 1)], opamp, k, input, output);
        input = output;
    }
    text += analyses_text(analyses);
    text += kMeasurementsHead;
    const double model_hz = opamp_cutoff_hz(stages, opamp, cutoff_rule(design.request));
    text += cutoff_measurement(cutoff_rule(design.request),
                               std::isfinite(model_hz) ? model_hz : design.cutoff_hz);
    text += kOvershootMeasurement;
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
