#include "kestrane/text/cascade_text.h"

#include <cmath>

#include "kestrane/circuit/opamp.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"

namespace kestrane {
namespace {

std::string percent_signed(double ratio_error) {
    return percent_text(100 * ratio_error) + " %";
}

std::string level_text(const CutoffRule& rule) {
    switch (rule.level) {
        case CutoffLevel::half_power:
            return "-3 dB from the DC gain, first crossing";
        case CutoffLevel::half_amplitude:
            return "-6 dB from the DC gain, first crossing";
        case CutoffLevel::ripple_edge:
            break;
    }
    return "the ripple band's edge";
}

}  // namespace

std::string_view response_title(Response response) {
    switch (response) {
        case Response::butterworth:
            return "Butterworth";
        case Response::bessel:
            return "Bessel";
        case Response::chebyshev:
            return "Chebyshev";
        case Response::linkwitz_riley:
            break;
    }
    return "Linkwitz-Riley";
}

std::string cutoff_meaning(const CascadeRequest& request) {
    if (request.response == Response::linkwitz_riley) return "-6 dB from the DC gain";
    if (request.response == Response::chebyshev && request.edge == ChebyshevEdge::ripple_edge) {
        return "the ripple band's edge, where the gain last leaves the " +
               format_number(request.ripple_db) + " dB ripple band";
    }
    if (request.response == Response::bessel) {
        return "-3 dB from the DC gain, the magnitude's: phase- and delay-normalised Bessel "
               "cutoffs lie elsewhere";
    }
    return "-3 dB from the DC gain";
}

std::string cascade_heading_line(const CascadeDesign& design, double r1_ohm) {
    const CascadeRequest& request = design.request;
    std::string text(response_title(request.response));
    if (request.response == Response::chebyshev) {
        text += ", " + format_number(request.ripple_db) + " dB ripple";
    }
    return text + ", order " + std::to_string(request.order) + ", cutoff " +
           format_number(design.cutoff_hz) + " Hz (" + cutoff_meaning(request) + "), R1 " +
           format_number(r1_ohm) + " Ohm:";
}

std::string ripple_note_line(const CascadeRequest& request) {
    if (request.response != Response::chebyshev || request.order % 2 != 0) return "";
    return "Every stage has unity gain at DC, so the ripple peaks lie " +
           format_number(request.ripple_db) + " dB above the DC gain, not below it";
}

std::string stage_heading_line(int k, int count, const Stage& stage) {
    std::string text = "Stage " + std::to_string(k) + " of " + std::to_string(count) + ", ";
    if (stage.order == 1) return text + "first order: f0 " + format_number(stage.f0_hz) + " Hz";
    return text + "second order: f0 " + format_number(stage.f0_hz) + " Hz, Q " +
           format_number(stage.q);
}

std::vector<std::string> stage_part_lines(const StageCircuit& stage) {
    const CircuitParts& p = stage.parts;
    if (stage.order == 1) return {r1_line(p.R1), c1_line(p.C1)};
    return {r1_line(p.R1), r2_line(p.R2), c1_line(p.C1), c2_line(p.C2)};
}

std::string stage_peak_line(const Peak& peak) {
    std::string text = "Peak gain at its output, dB from 1: " + format_number(decibels(peak.gain)) +
                       " at " + format_number(peak.hz) + " Hz";
    return peak.hz == 0 ? text + " (at DC)" : text;
}

std::vector<std::string> cascade_lines(const CascadeDesign& design, const CascadeCircuit& exact,
                                       const Peak* peaks, double r1_ohm) {
    std::vector<std::string> lines{cascade_heading_line(design, r1_ohm)};
    const std::string note = ripple_note_line(design.request);
    if (!note.empty()) lines.push_back(note);
    for (int k = 0; k < design.stage_count; ++k) {
        lines.push_back(stage_heading_line(k + 1, design.stage_count, design.stages[k]));
        for (std::string& line : stage_part_lines(exact.stages[k]))
            lines.push_back(std::move(line));
        lines.push_back(stage_peak_line(peaks[k]));
    }
    return lines;
}

std::string specification_line(const PassStopSpec& spec, int order, double passband_loss_db,
                               double stopband_loss_db) {
    return "Order from the passband (" + format_number(spec.passband_hz) + " Hz, at most " +
           format_number(spec.passband_loss_db) + " dB) and the stopband (" +
           format_number(spec.stopband_hz) + " Hz, at least " +
           format_number(spec.stopband_loss_db) + " dB): " + std::to_string(order) +
           "; loss from the passband's largest gain " + format_number(passband_loss_db) +
           " dB at " + format_number(spec.passband_hz) + " Hz, " + format_number(stopband_loss_db) +
           " dB at " + format_number(spec.stopband_hz) + " Hz";
}

std::string request_error_message(RequestError error, const CascadeRequest& request) {
    switch (error) {
        case RequestError::none:
            return "";
        case RequestError::order_out_of_range:
            return "An order runs from 1 to 10: " + std::to_string(request.order) + " is not.";
        case RequestError::odd_linkwitz_riley:
            return "A Linkwitz-Riley filter is a Butterworth twice, of even order: " +
                   std::to_string(request.order) + " is odd.";
        case RequestError::missing_ripple:
            return "A Chebyshev filter needs its ripple (--ripple DB).";
        case RequestError::ripple_out_of_range:
            return "A Chebyshev's ripple runs from 0.01 to 3 dB: " +
                   format_number(request.ripple_db) + " does not.";
        case RequestError::ripple_without_chebyshev:
            return "Only a Chebyshev filter has a ripple.";
        case RequestError::edge_without_chebyshev:
            break;
    }
    return "Only a Chebyshev filter has a ripple band whose edge could be its cutoff.";
}

std::string spec_error_message(SpecError error) {
    switch (error) {
        case SpecError::none:
            return "";
        case SpecError::frequency_not_positive_finite:
            return "The passband and stopband edges must be positive and finite.";
        case SpecError::passband_not_below_stopband:
            return "The passband edge must lie below the stopband edge.";
        case SpecError::loss_not_positive_finite:
            return "The passband and stopband losses must be positive and finite.";
        case SpecError::passband_loss_not_below_stopband:
            return "The passband's loss must be below the stopband's.";
        case SpecError::ripple_out_of_range:
            return "A Chebyshev's ripple (or, without one, the passband's loss) runs from 0.01 "
                   "to 3 dB.";
        case SpecError::ripple_above_passband_loss:
            return "A Chebyshev's ripple cannot exceed the passband's loss.";
        case SpecError::ripple_without_chebyshev:
            return "Only a Chebyshev filter has a ripple.";
        case SpecError::edge_without_chebyshev:
            break;
    }
    return "Only a Chebyshev filter has a ripple band whose edge could be its cutoff.";
}

std::string order_message(Response response, const OrderChoice& choice) {
    const std::string family(response_title(response));
    if (choice.outcome == OrderOutcome::needs_higher_order) {
        return "No order up to 10 meets the specification: a " + family + " needs order " +
               std::to_string(choice.order) + ".";
    }
    return "No order up to 10 meets the specification, nor can any " + family + " order.";
}

std::string compensation_line(const CompensationGain& gain, int failed_stage) {
    if (failed_stage != 0) {
        return "Compensation for the op-amp: none, no parts reach stage " +
               std::to_string(failed_stage) + "'s f0 and Q with this op-amp";
    }
    return "Compensation for the op-amp: cutoff error with it " +
           percent_signed(gain.compensated_error) + ", without " +
           percent_signed(gain.plain_error) + " (against the ideal op-amp)";
}

std::vector<std::string> cascade_opamp_lines(const CascadeOpAmpFigures& f,
                                             const CascadeStepFigures& step,
                                             const CascadeRequest& request, double amplitude_v) {
    const std::string none = "none";
    const CutoffRule rule = cutoff_rule(request);
    std::vector<std::string> lines{
        "Cutoff with op-amp (" + level_text(rule) +
            "), Hz: " + (std::isfinite(f.cutoff_hz) ? format_number(f.cutoff_hz) : none),
        "Needed GBW (cutoff and every stage's Q within 1 % of the ideal op-amp's), MHz: " +
            needed_gbw_text(f.needed_gbw)};
    for (int k = 0; k < f.stage_count; ++k) {
        const SlewRate& slew = f.slew_rate[k];
        lines.push_back("Stage " + std::to_string(k + 1) + " output: slew rate for a " +
                        format_number(amplitude_v) + " V peak input sine, V/us: " +
                        (slew.found ? format_number(slew.v_per_us) : none) +
                        "; peak gain, dB from 1: " + format_number(decibels(f.peak[k].gain)) +
                        " at " + format_number(f.peak[k].hz) + " Hz");
    }
    const HighFrequencyGain& high = f.high_frequency;
    lines.push_back("Lowest gain above the cutoff, dB from 1: " +
                    (std::isfinite(high.lowest_gain_hz)
                         ? format_number(decibels(high.lowest_gain)) + " at " +
                               format_number(high.lowest_gain_hz) + " Hz"
                         : std::string("none (the gain falls towards its limit)")));
    lines.push_back("Gain as the frequency grows without bound, dB from 1: " +
                    (high.limit > 0 ? format_number(decibels(high.limit))
                                    : std::string("none (falls without end)")));
    if (!step.settles) {
        lines.push_back("Step: none (the cascade does not settle)");
        return lines;
    }
    lines.push_back("Step overshoot, % of final value: " + format_number(step.overshoot_percent));
    lines.push_back("Step rise time, main edge 10-90 % of final value, s: " +
                    format_number(step.rise_time_s));
    lines.push_back(
        "Step settling to 1 % of final value, s: " + format_number(step.settling_1_percent_s) +
        "; to 0.1 %, s: " + format_number(step.settling_01_percent_s));
    return lines;
}

std::string built_stage_line(int k, int count, const StageFigures& f) {
    std::string text = "Stage " + std::to_string(k) + " of " + std::to_string(count) + ": f0 " +
                       format_number(f.f0_hz) + " Hz (" + percent_text(f.f0_error_percent) + " %)";
    if (f.order == 2) {
        text += ", Q " + format_number(f.q) + " (" + percent_text(f.q_error_percent) + " %)";
    }
    return text;
}

std::string built_cutoff_line(const CascadeFigures& figures, const CascadeRequest& request) {
    return "Achieved cutoff (" + level_text(cutoff_rule(request)) +
           "): " + format_number(figures.cutoff_hz) + " Hz (" +
           percent_text(figures.cutoff_error_percent) + " %)";
}

std::string ripple_reached_line(double ripple_db) {
    return "Ripple reached, dB: " + format_number(ripple_db);
}

std::string cascade_cutoff_range_line(const PartTolerances& tolerances, const ValueRange& range) {
    return "Cutoff with " + tolerances_text(tolerances) + ": " + range_text(range) + " Hz";
}

std::string stage_q_ranges_line(const PartTolerances& tolerances, std::span<const int> orders,
                                std::span<const ValueRange> ranges) {
    std::string text = "Stage Q with " + tolerances_text(tolerances) + ":";
    std::size_t next = 0;
    for (std::size_t k = 0; k < orders.size() && next < ranges.size(); ++k) {
        if (orders[k] != 2) continue;
        text += (next == 0 ? " " : "; ") + std::to_string(k + 1) + ": " + range_text(ranges[next]);
        ++next;
    }
    return text;
}

std::string stage_warning_line(const StageWarning& w) {
    const std::string stage = "stage " + std::to_string(w.stage);
    switch (w.kind) {
        case StageWarningKind::ratio_above_limit:
            return "Warning: " + stage + " needs C1/C2 = 4Q^2 = " + format_number(w.value) +
                   ", above " + format_number(w.limit) +
                   ": hard to build well (the capacitors' tolerances and the op-amp's input "
                   "capacitance move its Q)";
        case StageWarningKind::ratio_out_of_reach:
            return "Warning: " + stage + " needs C1/C2 = 4Q^2 = " + format_number(w.value) +
                   ", beyond the " + format_number(w.limit) +
                   " its capacitors reach within a factor of 4 of the exact parts: its Q misses";
        case StageWarningKind::impractical_part:
            break;
    }
    constexpr std::string_view kNames[] = {"R1", "R2", "C1", "C2"};
    const bool resistor = w.part == StagePart::R1 || w.part == StagePart::R2;
    const std::string value =
        resistor ? format_number(w.value) + " Ohm" : format_number(w.value * 1e9) + " nF";
    const std::string limit =
        resistor ? (w.value < w.limit ? "100 Ohm" : "10 MOhm")
                 : (w.value < w.limit ? "10 pF" : "100 uF");
    return "Warning: " + stage + "'s " + (w.set == StagePartSet::exact ? "exact " : "standard ") +
           std::string(kNames[static_cast<std::size_t>(w.part)]) + " = " + value +
           (w.value < w.limit ? " is below " : " is above ") + limit +
           (resistor ? ": impractical for a resistor" : ": impractical for a capacitor");
}

std::vector<std::string> cascade_parts_lines(const CascadeParts& parts,
                                             const CascadeRequest& request,
                                             std::span<const ValueRange> stage_q_ranges) {
    if (!parts.buildable) return {"No circuit to build: no standard set for every stage"};
    std::vector<std::string> lines{
        parts_heading_line(PartsOptions{parts.series, parts.method, {}})};
    const int count = parts.shown.stage_count;
    std::vector<int> orders;
    for (int k = 0; k < count; ++k) {
        orders.push_back(parts.shown.stages[k].order);
        lines.push_back(built_stage_line(k + 1, count, parts.figures.stages[k]));
        for (std::string& line : stage_part_lines(parts.shown.stages[k]))
            lines.push_back(std::move(line));
    }
    lines.push_back(built_cutoff_line(parts.figures, request));
    if (request.response == Response::chebyshev) {
        lines.push_back(ripple_reached_line(parts.figures.ripple_db));
    }
    if (parts.ranges_made) {
        lines.push_back(cascade_cutoff_range_line(parts.tolerances, parts.cutoff_range.hz));
        if (!stage_q_ranges.empty()) {
            lines.push_back(stage_q_ranges_line(parts.tolerances, orders, stage_q_ranges));
        }
        lines.push_back(yield_line(parts.yield));
    }
    for (const StageWarning& warning : parts.warnings.list())
        lines.push_back(stage_warning_line(warning));
    return lines;
}

}  // namespace kestrane
