// The texts of a design's parts report (build_report.h): the set of standard parts in the
// console's line format, its figures on the real circuit, the ranges its tolerances allow,
// the yield and the warnings, each a line without its line end; and the one warning line for
// the console's standard error. Pure; numbers are written by format_number unless said
// otherwise, and every line fits in about 100 columns for the numbers a design produces.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kestrane/model/design.h"
#include "kestrane/report/build_report.h"

namespace kestrane {

// `percent` with two decimals and a sign: "-7.32", "+0.15"; "0.00" without a sign when it
// rounds to zero. From a magnitude of 1e6 on, and for infinities and not-a-numbers, the
// console's format_number text instead.
std::string percent_text(double percent);

// "E96 R and E12 C": the series of the resistors and of the capacitors.
std::string series_pair_text(SeriesPair series);

// "best set" or "nearest": how a set of standard parts was chosen.
std::string_view method_phrase(PartsMethod method);

// "best set of E96 R and E12 C" or "nearest E96 R and E12 C": the set `options` choose.
std::string set_text(const PartsOptions& options);

// "942.9063 to 1065.72": a range's ends with seven significant digits, the low end rounded
// down and the high end up (format_bound), so that the written range holds the computed one
// and lies within 1e-6 of it, relative.
std::string range_text(const ValueRange& range);

// "1 % R, 5 % C": the tolerances in percent.
std::string tolerances_text(const PartTolerances& tolerances);

// "Standard parts, best set of E96 R and E12 C:", or "..., nearest E96 R and E12 C:".
std::string parts_heading_line(const PartsOptions& options);

// "Achieved cutoff: 1002.31 Hz (+0.23 %)": the real -3 dB cutoff and its error.
std::string real_cutoff_line(const SetFigures& figures);

// "Q: 0.708093 (+0.14 %)": Q and its error against 1/sqrt(2).
std::string q_line(const SetFigures& figures);

// "Natural frequency f0: 1000.92 Hz".
std::string natural_frequency_line(const SetFigures& figures);

// "Cutoff with 1 % R, 5 % C: 942.9063 to 1065.72 Hz": the tolerances, then the range's low and
// high ends in hertz as its last two numbers, each with seven significant digits rounded
// outward (format_bound: the low end down, the high end up), so the printed range holds the
// computed one and lies within 1e-6 of it, relative. When the tolerances fail are_tolerances:
// "Cutoff with 150 % R, 5 % C: none, tolerances run from 0 to below 100 %".
std::string cutoff_range_line(const PartTolerances& tolerances, const ValueRange& range_hz,
                              bool made);

// "Q with 1 % R, 5 % C: 0.6701383 to 0.7481420": its ends, rounded outward as above, are the
// last two numbers.
std::string q_range_line(const PartTolerances& tolerances, const ValueRange& range);

// "Yield of 10000 builds: 20.5 % within 1 %, 40.89 % within 2 %, 95.13 % within 5 % of the
// cutoff": the share of builds within each band, in percent.
std::string yield_line(const CutoffYield& yield);

// One warning, stating its reason and threshold, for instance
// "Warning: positive inputs gave C1 = -2514.3 nF, not above 0; the design model evaluates whole
// hertz" or "No circuit to build: the cutoff = -1 kHz is not above 0; no standard parts,
// ranges or yield".
std::string warning_line(const BuildWarning& warning);

// "No circuit to build: the cutoff = -1 kHz is not above 0; `missing`" for a no_circuit
// warning: the line warning_line writes with `missing` "no standard parts, ranges or yield".
std::string no_circuit_line(const BuildWarning& warning, std::string_view missing);

// The line that says why `report` (without a set to build) has no `what` ("op-amp figures",
// "netlist"): its no_circuit warning's line (no_circuit_line with "no " and `what`), or
// "No circuit to build: no standard set was found; no `what`" when it has none.
std::string no_circuit_text(const PartsReport& report, std::string_view what);

// Every line of the report in the order the page shows them: the heading and the set's four
// lines (r1_line to c2_line), its cutoff, Q and f0, the cutoff and Q ranges, the yield, then
// the warnings. Without a circuit to build only the warnings; with tolerances that fail
// are_tolerances the cutoff range line says so and the Q range and yield are left out.
std::vector<std::string> parts_report_lines(const PartsReport& report);

// parts_report_lines of parts_report(design, options).
std::vector<std::string> parts_report_lines(const Design& design, const PartsOptions& options);

// The console's standard-error line for design_warning(design), "kestrane: warning: ...",
// with `where` (such as "line 3: ") after "kestrane: "; empty when there is none.
std::string design_warning_line(const Design& design, std::string_view where = "");

}  // namespace kestrane
