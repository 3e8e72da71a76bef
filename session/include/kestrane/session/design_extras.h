// What a design reports besides the console's own result lines, as the command line asks: the
// parts report (--series, --tolerance, --method), the op-amp figures (--opamp) and the SPICE
// netlist (--spice). All three are about one set of standard parts, the shown set: the parts
// options' set, or the best set of E96 resistors and E12 capacitors without them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/model/design.h"
#include "kestrane/report/build_report.h"
#include "kestrane/text/json_object.h"

namespace kestrane {

// An op-amp as the console's --opamp names it: the fields as given, and the op-amp they make.
struct OpAmpChoice {
    double gbw_mhz = kDefaultGbwMhz;
    double open_loop_gain_db = kDefaultOpenLoopGainDb;
    double output_ohm = kDefaultOutputOhm;
    OpAmp opamp;  // opamp_from_fields of the three; the defaults make OpAmp{}
};

struct DesignExtras {
    std::optional<PartsOptions> parts;  // the parts report, with these options
    std::optional<OpAmpChoice> opamp;   // the op-amp figures, with this op-amp
    std::string spice_path;             // the netlist's file; empty for none

    bool any() const { return parts || opamp || !spice_path.empty(); }
};

// Everything the extras of one design show, computed once.
struct ExtrasReport {
    // With `extras.parts`, or PartsOptions{} without them. buildable holds only for a shown
    // set of positive and finite parts; otherwise the warnings end with a no_circuit warning.
    PartsReport parts;
    OpAmpFigures opamp;  // with `extras.opamp` and a buildable set: the set's, for 1 V
};

// The report of `design` (made, from any inputs) for `extras`: parts_report, except that a
// shown set whose parts are not all positive and finite (the E48 member nearest to a value
// near the largest float is infinite) is no circuit to build either, with its no_circuit
// warning (PartSet::shown) and no ranges.
ExtrasReport extras_report(const Design& design, const DesignExtras& extras);

// "Op-amp GBW 10 MHz, A0 100 dB, Ro 50 Ohm, with the best set of E96 R and E12 C:": the line
// before the op-amp figures, naming the op-amp's fields as given and the set they are of.
std::string opamp_heading_line(const OpAmpChoice& choice, const PartsOptions& options);

// The lines after a design's result lines, without line ends: with parts options the parts
// report's lines (parts_report_lines); with an op-amp its heading and its figures
// (opamp_figure_lines), or, when there is no circuit to build, the line that says why. Empty
// when neither is asked for.
std::vector<std::string> extras_lines(const ExtrasReport& report, const DesignExtras& extras);

// Adds "parts" (with parts options) and "opamp" (with an op-amp) to a design's JSON object.
// "parts": the options (method, resistor_series, capacitor_series, resistor_tolerance_percent,
// capacitor_tolerance_percent); with a circuit to build the shown set (r1_ohm, r2_ohm,
// c1_farad, c2_farad), its figures (cutoff_hz, cutoff_error_percent, q, q_error_percent,
// natural_hz), and with usable tolerances the ranges' ends (cutoff_low_hz, cutoff_high_hz,
// q_low, q_high) and "yield" (draws, within_1_percent, within_2_percent, within_5_percent:
// shares in percent); then "warnings", an array of objects (see warning_object).
// "opamp": the fields as given (gbw_mhz, open_loop_gain_db, output_ohm); with its figures
// those of add_opamp_figure_members (text/opamp_report.h) for a 1 V peak input; without them
// "no_circuit", the line that says why.
void add_extras_members(JsonObject& object, const ExtrasReport& report, const DesignExtras& extras);

// One warning as JSON: "kind" (no_circuit, nonpositive_part, misses_target, impractical_part)
// and "text" (warning_line); no_circuit, nonpositive_part and impractical_part add "name"
// (cutoff, R1, R2, C1 or C2) and "value" (the cutoff in kilohertz, resistors in ohms,
// capacitors in farads); impractical_part adds "set" (design or standard) and "limit";
// misses_target adds cutoff_error_percent and q_error_percent; nonpositive_part and
// misses_target add "whole_hertz" (true or false).
JsonObject warning_object(const BuildWarning& warning);

// The netlist of the shown set with the op-amp of `extras` (its defaults without one):
// spice_netlist, its comments naming the design's cutoff and R1, the series and the method,
// its AC sweep from a thousandth to a thousand times the set's real cutoff and its transient
// over the step's span; or, without a circuit to build, a netlist of comments and ".end" that
// says why.
std::string extras_netlist(const Design& design, const ExtrasReport& report,
                           const DesignExtras& extras);

// Writes `text` to the file `path`, replacing what it held. Returns "" when done, else the
// message for standard error: "kestrane: cannot write ", the whole path quoted (quoted_whole),
// ": " and the system's reason.
std::string write_text_file(const std::string& path, const std::string& text);

}  // namespace kestrane
