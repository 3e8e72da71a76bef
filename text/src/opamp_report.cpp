#include "kestrane/text/opamp_report.h"

#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

std::string gbw_text(const NeededGbw& needed) {
    switch (needed.limit) {
        case GbwLimit::reached:
            return format_number(needed.gbw_hz / 1e6);
        case GbwLimit::open_loop_gain:
            return "none (A0 too low)";
        case GbwLimit::output_resistance:
            break;
    }
    return "none (Ro too high for this A0)";
}

}  // namespace

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
    const std::string none = "none";
    return {
        "Cutoff with op-amp, Hz: " + (f.cutoff.found ? format_number(f.cutoff.hz) : none),
        "Needed GBW, MHz: " + gbw_text(f.needed_gbw),
        "Slew rate for " + format_number(amplitude_v) +
            " V, V/us: " + (f.slew_rate.found ? format_number(f.slew_rate.v_per_us) : none),
        "Stopband floor, dB: " + (f.floor.gain > 0 ? format_number(decibels(f.floor.gain)) : none),
        "Stopband rises from, Hz: " + (f.floor.rises ? format_number(f.floor.rise_hz) : none),
    };
}

}  // namespace kestrane
