// What the console and the command line show of a session: the result lines, the lines after
// them, and the JSON object, made from the session's products and the text library's lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kestrane/report/build_report.h"
#include "kestrane/session/session.h"
#include "kestrane/text/json_object.h"

namespace kestrane {

// What a request asks to be shown beyond the design's own lines: the parts report with these
// options, and the op-amp figures with this op-amp.
struct ReportAsks {
    std::optional<PartsOptions> parts;
    std::optional<OpAmpChoice> opamp;
};

// Gives `session` the settings of `asks`: the parts options (or PartsOptions{} without them)
// and the op-amp (or OpAmpChoice{} without one, which the netlist and the bill of materials
// use). The amplitude of the slew rate and the attenuation stay at their defaults.
void apply_asks(Session& session, const ReportAsks& asks);

// The console's result lines of the session's made design, each ended by "\n": R1, R2, C1,
// C2 and the passband edge, then the deviation line when the session has a band.
std::string result_lines(Session& session);

// The JSON object of the made design: r1_ohm, r2_ohm, c1_farad, c2_farad and passband_hz (the
// single-precision results as the doubles they are), and deviation_rad with a band.
JsonObject result_object(Session& session);

// "Op-amp GBW 10 MHz, A0 100 dB, Ro 50 Ohm, with the best set of E96 R and E12 C:": the line
// before the op-amp figures, naming the op-amp's fields as given and the set they are of.
std::string opamp_heading_line(const OpAmpChoice& choice, const PartsOptions& options);

// The lines after a made design's result lines, without line ends: with parts options the
// parts report's lines (parts_report_lines); with an op-amp its heading and its figures
// (opamp_figure_lines), or, when there is no circuit to build, the line that says why. Empty
// when neither is asked for.
std::vector<std::string> extras_lines(Session& session, const ReportAsks& asks);

// Adds "parts" (with parts options) and "opamp" (with an op-amp) to a design's JSON object.
// "parts": the options (method, resistor_series, capacitor_series, resistor_tolerance_percent,
// capacitor_tolerance_percent); with a circuit to build the shown set (r1_ohm, r2_ohm,
// c1_farad, c2_farad), its figures (cutoff_hz, cutoff_error_percent, q, q_error_percent,
// natural_hz), and with usable tolerances the ranges' ends (cutoff_low_hz, cutoff_high_hz,
// q_low, q_high) and "yield" (draws, within_1_percent, within_2_percent, within_5_percent:
// shares in percent); then "warnings", an array of objects (see warning_object).
// "opamp": the fields as given (gbw_mhz, open_loop_gain_db, output_ohm); with its figures
// cutoff_hz, needed_gbw_hz, slew_rate_v_per_us, stopband_floor_db and stopband_rise_hz (null
// where a figure does not exist, as opamp_figure_lines says "none") and needed_gbw_limit
// ("reached", "open_loop_gain" or "output_resistance"); without them "no_circuit", the line
// that says why.
void add_extras_members(JsonObject& object, Session& session, const ReportAsks& asks);

// Why the session's cascade (its filter is one, with a design) was not designed: one line.
std::string cascade_refusal_text(Session& session);

// The lines of the session's made cascade, each ended by "\n": its heading and each stage's
// block (cascade_lines), the specification's order and losses (with one), the phase deviation
// over the band (with one), what compensation gains (when it was asked), and with an op-amp
// asked its heading and figures (cascade_opamp_lines).
std::string cascade_result_lines(Session& session, const ReportAsks& asks);

// The JSON object of the session's made cascade: response, order, cutoff_hz, cutoff_rule
// ("-3db", "-6db" or "ripple-edge"), ripple_db (null unless Chebyshev), r1_ohm, stages (in
// signal order, each with order, f0_hz, q (null for order 1), r1_ohm, c1_farad, and for
// order 2 r2_ohm and c2_farad, peak_gain_db and peak_hz at its output); with a specification
// "specification" (passband_hz, passband_loss_db, stopband_hz, stopband_loss_db) and the exact
// design's passband_loss_db and stopband_loss_db; with a band deviation_rad; with compensation
// "compensation" (cutoff_error_percent, uncompensated_cutoff_error_percent, failed_stage);
// with an op-amp asked "opamp" (the fields as given; cutoff_hz, ideal_cutoff_hz,
// needed_gbw_hz, needed_gbw_limit, slew_input_peak_v, stages (slew_rate_v_per_us,
// peak_gain_db, peak_hz at each output), lowest_gain_db, lowest_gain_hz,
// high_frequency_gain_db and the step's step_overshoot_percent, step_rise_time_s,
// step_settling_1_percent_s, step_settling_01_percent_s).
JsonObject cascade_result_object(Session& session, const ReportAsks& asks);

// One warning as JSON: "kind" (no_circuit, nonpositive_part, misses_target, impractical_part)
// and "text" (warning_line); no_circuit, nonpositive_part and impractical_part add "name"
// (cutoff, R1, R2, C1 or C2) and "value" (the cutoff in kilohertz, resistors in ohms,
// capacitors in farads); impractical_part adds "set" (design or standard) and "limit";
// misses_target adds cutoff_error_percent and q_error_percent; nonpositive_part and
// misses_target add "whole_hertz" (true or false).
JsonObject warning_object(const BuildWarning& warning);

}  // namespace kestrane
