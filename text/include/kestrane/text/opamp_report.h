// The console's lines about a design with a real op-amp, and the same figures as JSON members.
// Every figure says what it is: the cutoff is 3 dB below the DC gain A0/(1+A0) at the first
// crossing, the slew rate is for an input sine of the amplitude given (its peak), gains in dB
// are from 1, and the step's figures are against its final value, the DC gain.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/model/design.h"
#include "kestrane/text/json_object.h"

namespace kestrane {

// The lines printed after a design with `opamp` (valid), without line ends, one figure a
// line, numbers in the console's format (format_number):
//   "Cutoff with op-amp (-3 dB from the DC gain, first crossing), Hz: 999.973"
//   "Needed GBW (cutoff and Q within 1 % of the ideal op-amp's), MHz: 0.069741"
//        or "... none (A0 too low)", "... none (Ro too high for this A0)"
//   "Slew rate for a 1 V peak input sine, V/us: 0.00444452"   (`amplitude_v` volts peak)
//   "Lowest gain above the cutoff, dB from 1: -81.4095 at 139231 Hz"
//        or "... none (the gain falls towards its limit)" when it never rises again
//   "Gain as the frequency grows without bound, dB from 1: -40.1721"
//        or "... none (falls without end)" when that limit is 0 (Ro = 0)
//   overshoot_line, rise_line and settle_line of the 1 V step
// A figure that does not exist reads "none". A design that is refused, or whose parts are not
// all positive, gives the one line "Op-amp figures: none (parts not all positive)".
std::vector<std::string> opamp_report_lines(const Design& design, const OpAmp& opamp,
                                            double amplitude_v = 1);

// The same lines for a set of parts (a standard set), without a design: the one line
// "Op-amp figures: none (parts not all positive)" unless `parts` is buildable.
std::vector<std::string> opamp_report_lines(const CircuitParts& parts, const OpAmp& opamp,
                                            double amplitude_v = 1);

// The needed GBW in MHz as the lines write it, or why there is none: "none (A0 too low)",
// "none (Ro too high for this A0)".
std::string needed_gbw_text(const NeededGbw& needed);

// The JSON name of a needed GBW's limit: "reached", "open_loop_gain" or "output_resistance".
std::string_view gbw_limit_key(GbwLimit limit);

// The figure lines above of `figures`, which opamp_figures made for `amplitude_v` volts.
std::vector<std::string> opamp_figure_lines(const OpAmpFigures& figures, double amplitude_v);

// "Step overshoot, % of final value: 4.32" (100 (peak - final) / final; 0 without overshoot).
std::string overshoot_line(const StepFigures& step);

// "Step rise time, main edge 10-90 % of final value, s: 0.000225": from the last upward
// crossing of 10 % before the first reaching of 90 %, to that crossing.
std::string rise_line(const StepFigures& step);

// "Step settling to 1 % of final value, s: 0.00085; to 0.1 %, s: 0.00124".
std::string settle_line(const StepFigures& step);

// Adds the figures of opamp_figure_lines to `object`, null where a line says "none":
// cutoff_hz (-3 dB from the DC gain, first crossing), needed_gbw_hz and needed_gbw_limit
// ("reached", "open_loop_gain" or "output_resistance"), slew_input_peak_v (`amplitude_v`) and
// slew_rate_v_per_us, lowest_gain_db and lowest_gain_hz (null unless the gain rises beyond
// it), high_frequency_gain_db (the limit as the frequency grows without bound, null when it
// is 0), and the step's step_overshoot_percent, step_rise_time_s (the main edge, 10-90 %),
// step_settling_1_percent_s and step_settling_01_percent_s. Gains in dB are from 1.
void add_opamp_figure_members(JsonObject& object, const OpAmpFigures& figures, double amplitude_v);

}  // namespace kestrane
