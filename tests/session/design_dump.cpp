// Prints what the console's core and texts make of designs read from standard input, in a form
// that the page's WebAssembly module is compared with bit for bit (web/tests/differential.mjs).
//
// Input: one design a line, the cutoff (kHz), R1 (ohms) and band (Hz) texts separated by tabs,
// then any number of settings, ten texts each: the method ("best" or "nearest"), the
// resistors' and the capacitors' series ("E6" to "E192"), their tolerances in percent, the
// op-amp's GBW (MHz), A0 (dB) and Ro (ohms), the output amplitude (V) and the attenuation's
// frequency (Hz). Every number text is read as the page reads its fields (read_field: SI
// prefixes, nothing after the number).
// Output: one line a design, fields separated by tabs:
//   for each of the three texts, its field status (ok, empty, not_a_number, too_long) and the
//   bits of its value (16 hexadecimal digits, 0 unless ok);
//   then, when the cutoff and R1 are numbers, either "refused" and the console's reason, or
//   "designed", the bits of R2, C1, C2 and the passband edge (8 hexadecimal digits each),
//   the R1, R2, C1, C2 and passband lines, and the same five values for people
//   (engineering_text: "10.3 kΩ", "23.1 nF", "664 Hz");
//   then for each setting its parts report (parts_report, dump_parts) and, with a set to build
//   and an op-amp, the set with the op-amp (dump_opamp); and the design's and the set's
//   responses at seven frequencies around the cutoff (dump_curves);
//   and, when the band is a number too, the bits of half the phase deviation and the
//   deviation line.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/preferred_values.h"
#include "kestrane/circuit/step_response.h"
#include "kestrane/model/design.h"
#include "kestrane/report/build_report.h"
#include "kestrane/session/plot_response.h"
#include "kestrane/text/bill_of_materials.h"
#include "kestrane/text/field_read.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/page_text.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"
#include "kestrane/text/spice_netlist.h"

namespace {

using namespace kestrane;

std::string hex_bits(std::uint64_t bits, int digits) {
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, bits >>= 4)
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[bits & 0xF];
    return text;
}

std::string bits_of(float value) {
    return hex_bits(std::bit_cast<std::uint32_t>(value), 8);
}
std::string bits_of(double value) {
    return hex_bits(std::bit_cast<std::uint64_t>(value), 16);
}

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == '\t') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() < 3) fields.resize(3);
    return fields;
}

std::string bits_and_tab(double value) {
    return bits_of(value) + "\t";
}

// The value of `text` read as a field of `kind`, or not-a-number when it holds none.
double value_of(const std::string& text, FieldKind kind) {
    const FieldRead read = read_field(text, kind);
    return read.status == FieldStatus::ok ? read.value : std::numeric_limits<double>::quiet_NaN();
}

std::string bits_list(std::initializer_list<double> values) {
    std::string out;
    for (const double value : values)
        out += bits_and_tab(value);
    return out;
}

// A text with its line ends written as "\n", so that it stays on one line.
std::string one_line(const std::string& text) {
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// The seven frequencies the responses are compared at: the cutoff's magnitude times 2^-10,
// 2^-4, 1/2, 1, 2, 2^4 and 2^10 (exact products), or 1 kHz times those for a cutoff of 0.
std::vector<double> curve_frequencies(const Design& design) {
    double centre = std::fabs(double{design.targets.cutoff_hz});
    if (!(centre > 0 && std::isfinite(centre))) centre = 1000;
    std::vector<double> hz;
    for (const double factor : {0x1p-10, 0x1p-4, 0.5, 1.0, 2.0, 0x1p4, 0x1p10})
        hz.push_back(centre * factor);
    return hz;
}

std::string curve_bits(const std::vector<double>& gain, const std::vector<double>& phase,
                       const std::vector<double>& delay) {
    std::string out;
    for (std::size_t i = 0; i < gain.size(); ++i)
        out += bits_list({gain[i], phase[i], delay[i]});
    return out;
}

struct Curve {
    std::vector<double> gain, phase, delay;
    explicit Curve(std::size_t n) : gain(n), phase(n), delay(n) {}
    PlotCurve plot() { return {gain.data(), phase.data(), delay.data()}; }
    std::string bits() const { return curve_bits(gain, phase, delay); }
};

// The set with the op-amp of `texts` (GBW, A0, Ro, amplitude, attenuation frequency).
std::string dump_opamp(const Design& design, const PartsReport& report, const std::string* texts,
                       const std::vector<double>& hz) {
    const double gbw = value_of(texts[0], FieldKind::gbw);
    const double a0 = value_of(texts[1], FieldKind::gain_db);
    const double ro = value_of(texts[2], FieldKind::output_ohm);
    if (std::isnan(gbw) || std::isnan(a0) || std::isnan(ro)) return "no op-amp\t";
    const OpAmp opamp = opamp_from_fields(gbw, a0, ro).opamp;
    const double amplitude_read = value_of(texts[3], FieldKind::amplitude);
    const double amplitude = std::isnan(amplitude_read) ? 1 : amplitude_read;
    const CircuitParts& values = report.shown;
    const OpAmpFigures f = opamp_figures(values, opamp, amplitude);
    std::string out = "op-amp\t";
    out += bits_list({f.cutoff.found ? 1.0 : 0.0, f.cutoff.hz, f.ideal_cutoff.hz, f.q, f.ideal_q,
                      f.needed_gbw.limit == GbwLimit::reached ? 1.0 : 0.0, f.needed_gbw.gbw_hz,
                      f.slew_rate.found ? 1.0 : 0.0, f.slew_rate.v_per_us, f.slew_rate.at_hz,
                      f.floor.gain, f.floor.rises ? 1.0 : 0.0, f.floor.rise_hz});
    // The five op-amp lines the page shows in its op-amp group; the step's lines follow with
    // the step.
    const std::vector<std::string> lines = opamp_report_lines(values, opamp, amplitude);
    for (std::size_t i = 0; i < lines.size() && i < 5; ++i)
        out += lines[i] + "\t";
    const TransferFunction h = transfer_function(values, opamp);
    const double attenuation_hz = value_of(texts[4], FieldKind::frequency);
    if (!std::isnan(attenuation_hz)) {
        const double db = attenuation_db(h, attenuation_hz);
        out += bits_and_tab(db) + attenuation_line(attenuation_hz, db) + "\t";
    }
    const StepFigures step = step_figures(values, opamp);
    const StepFigures ideal = step_figures(values, kIdealOpAmp);
    for (const StepFigures& s : {step, ideal})
        out += bits_list({s.final_value, s.overshoot_percent, s.peak_time_s, s.rise_time_s,
                          s.settling_1_percent_s, s.settling_01_percent_s});
    out += overshoot_line(step) + "\t" + rise_line(step) + "\t" + settle_line(step) + "\t";
    const double span = std::max(step.span_s, ideal.span_s);
    const std::vector<StepSample> model = step_samples(values, opamp, span, 9);
    const std::vector<StepSample> ideal_samples = step_samples(values, kIdealOpAmp, span, 9);
    for (std::size_t i = 0; i < model.size(); ++i)
        out += bits_list({model[i].t_s, model[i].value, ideal_samples[i].value});
    Curve curve(hz.size());
    plot_opamp(h, hz.data(), static_cast<int>(hz.size()), curve.plot());
    out += curve.bits();
    const bool writable = !(std::isinf(opamp.open_loop_gain) && std::isfinite(opamp.gbw_hz));
    const std::string series = std::string(series_name(report.options.series.resistors)) + " R, " +
                               std::string(series_name(report.options.series.capacitors)) + " C";
    const NetlistDesign netlist_design{
        design.targets.cutoff_hz, design.components.R1, series,
        report.options.method == PartsMethod::best ? "best set" : "nearest values"};
    const NetlistAnalyses analyses{hz.front(), hz.back(), 100, model.back().t_s};
    out +=
        (writable ? one_line(spice_netlist(values, opamp, netlist_design, analyses)) : "") + "\t";
    const PartsSource source{series_name(report.options.series.resistors),
                             series_name(report.options.series.capacitors),
                             report.ranges_made ? report.options.tolerances.resistor_percent : 0,
                             report.ranges_made ? report.options.tolerances.capacitor_percent : 0};
    return out + one_line(bill_of_materials_csv(report.shown, source, opamp)) + "\t";
}

// One setting of a designed design; `setting` holds its ten texts.
std::string dump_setting(const Design& design, const std::string* setting,
                         const std::vector<double>& hz) {
    const auto resistors = series_from_name(setting[1]);
    const auto capacitors = series_from_name(setting[2]);
    if (setting[0] != "best" && setting[0] != "nearest") return "no method\t";
    if (!resistors || !capacitors) return "no series\t";
    PartsOptions options;
    options.method = setting[0] == "best" ? PartsMethod::best : PartsMethod::nearest;
    options.series = {*resistors, *capacitors};
    options.tolerances = {value_of(setting[3], FieldKind::tolerance),
                          value_of(setting[4], FieldKind::tolerance)};
    const PartsReport report = parts_report(design, options);
    std::string out = "parts\t";
    for (const BuildWarning& warning : report.warnings)
        out += warning_line(warning) + "\t";
    if (!report.buildable) return out + "no set\t";
    const CircuitParts& p = report.shown;
    for (const double value : {p.R1, p.R2, p.C1, p.C2})
        out += bits_and_tab(value);
    const SetFigures& f = report.figures;
    out += bits_list({f.cutoff_hz, f.cutoff_error_percent, f.q, f.q_error_percent, f.natural_hz});
    for (const std::string& text :
         {parts_heading_line(options), r1_line(p.R1), r2_line(p.R2), c1_line(p.C1), c2_line(p.C2),
          real_cutoff_line(f), q_line(f), natural_frequency_line(f)})
        out += text + "\t";
    Curve circuit(hz.size());
    plot_circuit(p, hz.data(), static_cast<int>(hz.size()), circuit.plot());
    out += circuit.bits();
    if (report.ranges_made) {
        const CutoffYield& y = report.yield;
        out +=
            bits_list({report.cutoff_range_hz.low, report.cutoff_range_hz.high, report.q_range.low,
                       report.q_range.high, y.percent(0), y.percent(1), y.percent(2)});
        out += cutoff_range_line(options.tolerances, report.cutoff_range_hz, true) + "\t";
        out += q_range_line(options.tolerances, report.q_range) + "\t" + yield_line(y) + "\t";
        std::vector<ResponseBand> bands(hz.size());
        box_response_bands(tolerance_box(p, options.tolerances), hz, bands);
        for (const ResponseBand& band : bands)
            out +=
                bits_list({band.gain.low, band.gain.high, band.phase_deg.low, band.phase_deg.high,
                           band.group_delay_s.low, band.group_delay_s.high});
    }
    return out + dump_opamp(design, report, setting + 5, hz);
}

std::string dump_design(const std::string& line) {
    const std::vector<std::string> texts = split_tabs(line);
    const FieldKind kinds[3] = {FieldKind::design, FieldKind::design, FieldKind::band};
    FieldRead reads[3];
    std::string out;
    for (std::size_t i = 0; i < 3; ++i) {
        reads[i] = read_field(texts[i], kinds[i]);
        out.append(field_status_name(reads[i].status)).append("\t");
        out.append(bits_of(reads[i].value)).append("\t");
    }
    if (reads[0].status != FieldStatus::ok || reads[1].status != FieldStatus::ok) return out;

    const Design design = design_filter(reads[0].value, reads[1].value);
    if (!design.made()) return out.append("refused\t").append(refusal_message(design.refusal));
    const FilterComponents& c = design.components;
    const float edge = design.passband_edge_hz;
    out.append("designed\t");
    for (const float value : {c.R2, c.C1, c.C2, edge})
        out.append(bits_of(value)).append("\t");
    for (const std::string& text :
         {r1_line(c.R1), r2_line(c.R2), c1_line(c.C1), c2_line(c.C2), passband_line(edge)})
        out.append(text).append("\t");
    for (const std::string& text :
         {engineering_text(c.R1, "\u03A9"), engineering_text(c.R2, "\u03A9"),
          engineering_text(c.C1, "F"), engineering_text(c.C2, "F"), engineering_text(edge, "Hz")})
        out.append(text).append("\t");
    const std::vector<double> hz = curve_frequencies(design);
    Curve model(hz.size());
    plot_responses(c, hz.data(), static_cast<int>(hz.size()), model.plot());
    out += model.bits();
    for (std::size_t first = 3; first + 10 <= texts.size(); first += 10)
        out += dump_setting(design, &texts[first], hz);
    if (reads[2].status != FieldStatus::ok) return out;
    const double half_deviation = half_phase_deviation(design, reads[2].value);
    return out.append(bits_of(half_deviation)).append("\t").append(deviation_line(half_deviation));
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line))
        std::cout << dump_design(line) << '\n';
    return std::cout.good() ? 0 : 1;
}
