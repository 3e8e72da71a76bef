#include "kestrane/text/opamp_report.h"

#include <limits>
#include <string_view>

#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

constexpr double kHertzPerMegahertz = 1e6;
constexpr std::string_view kNone = "none";

std::string lowest_gain_text(const StopbandFloor& floor) {
    if (!floor.rises) return "none (the gain falls towards its limit)";
    return format_number(decibels(floor.gain)) + " at " + format_number(floor.rise_hz) + " Hz";
}

std::string limit_gain_text(const StopbandFloor& floor) {
    return floor.limit_gain > 0 ? format_number(decibels(floor.limit_gain))
                                : "none (falls without end)";
}

void add_number_or_null(JsonObject& object, std::string_view key, bool exists, double value) {
    object.add_number(key, exists ? value : std::numeric_limits<double>::quiet_NaN());
}

}  // namespace

std::string needed_gbw_text(const NeededGbw& needed) {
    switch (needed.limit) {
        case GbwLimit::reached:
            return format_number(needed.gbw_hz / kHertzPerMegahertz);
        case GbwLimit::open_loop_gain:
            return "none (A0 too low)";
        case GbwLimit::output_resistance:
            break;
    }
    return "none (Ro too high for this A0)";
}

std::string_view gbw_limit_key(GbwLimit limit) {
    switch (limit) {
        case GbwLimit::reached:
            return "reached";
        case GbwLimit::open_loop_gain:
            return "open_loop_gain";
        case GbwLimit::output_resistance:
            break;
    }
    return "output_resistance";
}

std::vector<std::string> opamp_report_lines(const Design& design, const OpAmp& opamp,
                                            double amplitude_v) {
    if (!design.made()) return {"Op-amp figures: none (parts not all positive)"};
    return opamp_report_lines(circuit_parts(design.components), opamp, amplitude_v);
}

std::vector<std::string> opamp_report_lines(const CircuitParts& parts, const OpAmp& opamp,
                                            double amplitude_v) {
    if (!is_buildable(parts)) return {"Op-amp figures: none (parts not all positive)"};
    return opamp_figure_lines(opamp_figures(parts, opamp, amplitude_v), amplitude_v);
}

std::vector<std::string> opamp_figure_lines(const OpAmpFigures& f, double amplitude_v) {
    return {
        "Cutoff with op-amp (-3 dB from the DC gain, first crossing), Hz: " +
            (f.cutoff.found ? format_number(f.cutoff.hz) : std::string(kNone)),
        "Needed GBW (cutoff and Q within 1 % of the ideal op-amp's), MHz: " +
            needed_gbw_text(f.needed_gbw),
        "Slew rate for a " + format_number(amplitude_v) + " V peak input sine, V/us: " +
            (f.slew_rate.found ? format_number(f.slew_rate.v_per_us) : std::string(kNone)),
        "Lowest gain above the cutoff, dB from 1: " + lowest_gain_text(f.floor),
        "Gain as the frequency grows without bound, dB from 1: " + limit_gain_text(f.floor),
        overshoot_line(f.step),
        rise_line(f.step),
        settle_line(f.step),
    };
}

std::string overshoot_line(const StepFigures& step) {
    return "Step overshoot, % of final value: " + format_number(step.overshoot_percent);
}

std::string rise_line(const StepFigures& step) {
    return "Step rise time, main edge 10-90 % of final value, s: " +
           format_number(step.rise_time_s);
}

std::string settle_line(const StepFigures& step) {
    return "Step settling to 1 % of final value, s: " + format_number(step.settling_1_percent_s) +
           "; to 0.1 %, s: " + format_number(step.settling_01_percent_s);
}

void add_opamp_figure_members(JsonObject& object, const OpAmpFigures& f, double amplitude_v) {
    add_number_or_null(object, "cutoff_hz", f.cutoff.found, f.cutoff.hz);
    add_number_or_null(object, "needed_gbw_hz", f.needed_gbw.limit == GbwLimit::reached,
                       f.needed_gbw.gbw_hz);
    object.add_string("needed_gbw_limit", gbw_limit_key(f.needed_gbw.limit));
    object.add_number("slew_input_peak_v", amplitude_v);
    add_number_or_null(object, "slew_rate_v_per_us", f.slew_rate.found, f.slew_rate.v_per_us);
    add_number_or_null(object, "lowest_gain_db", f.floor.rises, decibels(f.floor.gain));
    add_number_or_null(object, "lowest_gain_hz", f.floor.rises, f.floor.rise_hz);
    add_number_or_null(object, "high_frequency_gain_db", f.floor.limit_gain > 0,
                       decibels(f.floor.limit_gain));
    object.add_number("step_overshoot_percent", f.step.overshoot_percent)
        .add_number("step_rise_time_s", f.step.rise_time_s)
        .add_number("step_settling_1_percent_s", f.step.settling_1_percent_s)
        .add_number("step_settling_01_percent_s", f.step.settling_01_percent_s);
}

}  // namespace kestrane
