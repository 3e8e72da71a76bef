// The page's interface to the design core and the console's texts, compiled to WebAssembly and
// called from web/src/core.js, the only place that knows the numbers used here.
//
// One name table describes the interface (kestrane_interface): the field kinds, the series,
// the methods, the units, the constants, and every figure, line and array with its name, group
// and unit. A figure, a line or a plotted array is added by adding an entry to its table below;
// the page picks it up by name. Each entry belongs to a group, which says which step makes it:
//   design       kestrane_design            figures, lines
//   deviation    kestrane_deviation         figure, line (needs a design)
//   parts        kestrane_parts             figures, lines: the shown set and the warnings
//   ranges       kestrane_ranges            figures, lines (needs a set to build)
//   opamp        kestrane_opamp_figures     figures, lines (needs a set and kestrane_opamp)
//   attenuation  kestrane_attenuation       figure, line (needs a set and an op-amp)
//   step         kestrane_step              figures, lines, arrays (needs a set and an op-amp)
//   files        (none: read when asked)    lines: the netlist and the bill of materials
//                                           (need samples, the op-amp figures and the step)
//   samples      kestrane_plot_samples      arrays (needs a design); kestrane_plot_at
//   circuit      kestrane_plot_circuit      arrays (needs a set and samples)
//   bands        kestrane_plot_bands        arrays (needs ranges and samples)
//   opamp        kestrane_plot_opamp        arrays (needs a set, an op-amp and samples)
// A step clears what was made from what it replaces (a design everything, a set its ranges,
// op-amp figures, step and curves). A figure or line read before its step, or after a step
// cleared it, holds zero or an empty text.
//
// Texts pass through the module's memory: the page writes a field's UTF-8 text into the field
// buffer before reading it, and every function that makes a text puts it in the text buffer
// (without a terminating zero) and returns its length in bytes; the buffer may move at every
// such call. Numbers pass as arguments and results.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/preferred_values.h"
#include "kestrane/circuit/step_response.h"
#include "kestrane/model/design.h"
#include "kestrane/model/response.h"
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

#define KESTRANE_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace kestrane {
namespace {

constexpr int kMaxPlotPoints = 4096;
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

struct CurrentDesign {
    bool made = false;
    Design design;
    double half_deviation_rad = 0;
    bool deviation_made = false;
};

// The shown set of the current design, its figures, ranges and yield (a parts report made in
// two steps: the set, then what the tolerances do), and the warnings.
struct CurrentParts {
    bool made = false;  // a report was made; report.buildable says whether there is a set
    PartsReport report;
    std::string series_text;  // "E96 R, E12 C", for the netlist
    ToleranceBox box;         // when report.ranges_made
};

// The op-amp, and the shown set's figures with it.
struct CurrentOpAmp {
    bool made = false;
    OpAmp opamp;
    bool figures_made = false;
    double amplitude_v = 1;
    OpAmpFigures figures;
    std::vector<std::string> lines;  // opamp_report_lines of the shown set
    bool attenuation_made = false;
    double attenuation_hz = 0;
    double attenuation_db = 0;
    bool step_made = false;
    StepFigures step;        // with the op-amp
    StepFigures ideal_step;  // with the ideal op-amp
};

// Samples of the current design, and of its shown set at the same frequencies.
struct PlotArrays {
    int count = 0;
    double hz[kMaxPlotPoints];
    double gain[kMaxPlotPoints];
    double phase_deg[kMaxPlotPoints];
    double group_delay_s[kMaxPlotPoints];
    double circuit_gain[kMaxPlotPoints];
    double circuit_phase_deg[kMaxPlotPoints];
    double circuit_group_delay_s[kMaxPlotPoints];
    double gain_lowest[kMaxPlotPoints];
    double gain_highest[kMaxPlotPoints];
    double phase_lowest_deg[kMaxPlotPoints];
    double phase_highest_deg[kMaxPlotPoints];
    double group_delay_lowest_s[kMaxPlotPoints];
    double group_delay_highest_s[kMaxPlotPoints];
    double opamp_gain[kMaxPlotPoints];
    double opamp_phase_deg[kMaxPlotPoints];
    double opamp_group_delay_s[kMaxPlotPoints];
    ResponseBand bands[kMaxPlotPoints];
    int step_count = 0;
    double step_t_s[kMaxPlotPoints];
    double step_ideal[kMaxPlotPoints];
    double step_model[kMaxPlotPoints];
};

std::string text_out;
std::string field_text;
FieldRead field;
CurrentDesign current;
CurrentParts parts;
CurrentOpAmp amp;
PlotArrays plot;

int put_text(std::string_view text) {
    text_out.assign(text);
    return static_cast<int>(text_out.size());
}

const FilterComponents& design_parts() {
    return current.design.components;
}

bool has_set() {
    return parts.made && parts.report.buildable;
}

const CircuitParts& shown() {
    return parts.report.shown;
}

const SetFigures& set_figures_now() {
    return parts.report.figures;
}

bool has_ranges() {
    return has_set() && parts.report.ranges_made;
}

bool has_opamp_figures() {
    return has_set() && amp.made && amp.figures_made;
}

double flag(bool value) {
    return value ? 1.0 : 0.0;
}

// --- The tables ---

constexpr std::string_view kUnits[] = {"",    "Hz",     "s", "\u03A9", "F",        "%",
                                       "rad", "\u00B0", "V", "dB",     "V/\u00B5s"};
constexpr PartsMethod kMethods[] = {PartsMethod::best, PartsMethod::nearest};
constexpr std::string_view kMethodNames[] = {"best", "nearest"};

struct FigureEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;  // one of kUnits
    bool for_people;        // whether the page shows it with kestrane_figure_text
    double (*value)();
};

double yield_percent(int band) {
    return has_ranges() ? parts.report.yield.percent(band) : 0;
}

constexpr FigureEntry kFigures[] = {
    {"design", "R1", "\u03A9", true, [] { return double{design_parts().R1}; }},
    {"design", "R2", "\u03A9", true, [] { return double{design_parts().R2}; }},
    {"design", "C1", "F", true, [] { return double{design_parts().C1}; }},
    {"design", "C2", "F", true, [] { return double{design_parts().C2}; }},
    {"design", "cutoff_hz", "Hz", true, [] { return double{current.design.targets.cutoff_hz}; }},
    {"design", "flat_top_hz", "Hz", false,
     [] { return double{current.design.targets.flat_top_hz}; }},
    {"design", "passband_edge_hz", "Hz", true,
     [] { return double{current.design.passband_edge_hz}; }},
    {"deviation", "half_deviation_rad", "rad", false, [] { return current.half_deviation_rad; }},
    {"parts", "buildable", "", false, [] { return flag(has_set()); }},
    {"parts", "R1", "\u03A9", true, [] { return shown().R1; }},
    {"parts", "R2", "\u03A9", true, [] { return shown().R2; }},
    {"parts", "C1", "F", true, [] { return shown().C1; }},
    {"parts", "C2", "F", true, [] { return shown().C2; }},
    {"parts", "cutoff_hz", "Hz", true, [] { return set_figures_now().cutoff_hz; }},
    {"parts", "cutoff_error_percent", "%", false,
     [] { return set_figures_now().cutoff_error_percent; }},
    {"parts", "q", "", false, [] { return set_figures_now().q; }},
    {"parts", "q_error_percent", "%", false, [] { return set_figures_now().q_error_percent; }},
    {"parts", "natural_hz", "Hz", true, [] { return set_figures_now().natural_hz; }},
    {"parts", "warnings", "", false,
     [] { return parts.made ? static_cast<double>(parts.report.warnings.size()) : 0.0; }},
    {"ranges", "made", "", false, [] { return flag(has_ranges()); }},
    {"ranges", "cutoff_low_hz", "Hz", true, [] { return parts.report.cutoff_range_hz.low; }},
    {"ranges", "cutoff_high_hz", "Hz", true, [] { return parts.report.cutoff_range_hz.high; }},
    {"ranges", "q_low", "", false, [] { return parts.report.q_range.low; }},
    {"ranges", "q_high", "", false, [] { return parts.report.q_range.high; }},
    {"ranges", "yield_draws", "", false,
     [] { return has_ranges() ? static_cast<double>(parts.report.yield.draws) : 0.0; }},
    {"ranges", "yield_1_percent", "%", false, [] { return yield_percent(0); }},
    {"ranges", "yield_2_percent", "%", false, [] { return yield_percent(1); }},
    {"ranges", "yield_5_percent", "%", false, [] { return yield_percent(2); }},
    {"opamp", "cutoff_found", "", false, [] { return flag(amp.figures.cutoff.found); }},
    {"opamp", "cutoff_hz", "Hz", true, [] { return amp.figures.cutoff.hz; }},
    {"opamp", "ideal_cutoff_hz", "Hz", false, [] { return amp.figures.ideal_cutoff.hz; }},
    {"opamp", "q", "", false, [] { return amp.figures.q; }},
    {"opamp", "ideal_q", "", false, [] { return amp.figures.ideal_q; }},
    {"opamp", "gbw_reached", "", false,
     [] { return flag(has_opamp_figures() && amp.figures.needed_gbw.limit == GbwLimit::reached); }},
    {"opamp", "needed_gbw_hz", "Hz", true, [] { return amp.figures.needed_gbw.gbw_hz; }},
    {"opamp", "slew_found", "", false, [] { return flag(amp.figures.slew_rate.found); }},
    {"opamp", "slew_v_per_us", "V/\u00B5s", true, [] { return amp.figures.slew_rate.v_per_us; }},
    {"opamp", "slew_at_hz", "Hz", false, [] { return amp.figures.slew_rate.at_hz; }},
    {"opamp", "floor_gain", "", false, [] { return amp.figures.floor.gain; }},
    {"opamp", "floor_rises", "", false, [] { return flag(amp.figures.floor.rises); }},
    {"opamp", "floor_rise_hz", "Hz", true, [] { return amp.figures.floor.rise_hz; }},
    {"attenuation", "attenuation_db", "dB", false, [] { return amp.attenuation_db; }},
    {"step", "final_value", "V", false, [] { return amp.step.final_value; }},
    {"step", "overshoot_percent", "%", false, [] { return amp.step.overshoot_percent; }},
    {"step", "peak_time_s", "s", false, [] { return amp.step.peak_time_s; }},
    {"step", "rise_time_s", "s", true, [] { return amp.step.rise_time_s; }},
    {"step", "settling_1_percent_s", "s", true, [] { return amp.step.settling_1_percent_s; }},
    {"step", "settling_01_percent_s", "s", true, [] { return amp.step.settling_01_percent_s; }},
    {"step", "span_s", "s", false,
     [] { return plot.step_count ? plot.step_t_s[plot.step_count - 1] : 0; }},
    {"step", "ideal_final_value", "V", false, [] { return amp.ideal_step.final_value; }},
    {"step", "ideal_peak_time_s", "s", false, [] { return amp.ideal_step.peak_time_s; }},
    {"step", "ideal_settling_01_percent_s", "s", false,
     [] { return amp.ideal_step.settling_01_percent_s; }},
    {"step", "ideal_overshoot_percent", "%", false,
     [] { return amp.ideal_step.overshoot_percent; }},
    {"step", "ideal_rise_time_s", "s", false, [] { return amp.ideal_step.rise_time_s; }},
    {"step", "ideal_settling_1_percent_s", "s", false,
     [] { return amp.ideal_step.settling_1_percent_s; }},
};

std::string component_line(const CircuitParts& c, int which) {
    switch (which) {
        case 0:
            return r1_line(c.R1);
        case 1:
            return r2_line(c.R2);
        case 2:
            return c1_line(c.C1);
        default:
            return c2_line(c.C2);
    }
}

std::string design_line(int which) {
    return current.made ? component_line(circuit_parts(design_parts()), which) : "";
}

std::string parts_line(int which) {
    return has_set() ? component_line(shown(), which) : "";
}

// Every warning of the report, one a line, "\n" between them.
std::string warnings_text() {
    if (!parts.made) return "";
    std::string text;
    for (const BuildWarning& warning : parts.report.warnings)
        text += (text.empty() ? "" : "\n") + warning_line(warning);
    return text;
}

std::string opamp_line(std::size_t which) {
    return has_opamp_figures() && which < amp.lines.size() ? amp.lines[which] : "";
}

bool has_step() {
    return has_set() && amp.made && amp.step_made;
}

// The netlist of the shown set with the op-amp over the plotted range and the step's span;
// empty when any of them is missing, or for an op-amp with an infinite A0 but a finite GBW,
// which the netlist's elements cannot hold.
std::string netlist_text() {
    if (!has_step() || plot.count < 2) return "";
    const OpAmp& opamp = amp.opamp;
    if (std::isinf(opamp.open_loop_gain) && std::isfinite(opamp.gbw_hz)) return "";
    const NetlistDesign design{
        current.design.targets.cutoff_hz, design_parts().R1, parts.series_text,
        parts.report.options.method == PartsMethod::best ? "best set" : "nearest values"};
    const NetlistAnalyses analyses{plot.hz[0], plot.hz[plot.count - 1], 100,
                                   plot.step_t_s[plot.step_count - 1]};
    return spice_netlist(shown(), opamp, design, analyses);
}

std::string bom_text() {
    if (!has_set() || !amp.made) return "";
    const PartsOptions& options = parts.report.options;
    const bool stated = parts.report.ranges_made;
    const PartsSource source{series_name(options.series.resistors),
                             series_name(options.series.capacitors),
                             stated ? options.tolerances.resistor_percent : 0,
                             stated ? options.tolerances.capacitor_percent : 0};
    return bill_of_materials_csv(shown(), source, amp.opamp);
}

struct LineEntry {
    std::string_view group;
    std::string_view name;
    std::string (*text)();
};

constexpr LineEntry kLines[] = {
    {"design", "r1", [] { return design_line(0); }},
    {"design", "r2", [] { return design_line(1); }},
    {"design", "c1", [] { return design_line(2); }},
    {"design", "c2", [] { return design_line(3); }},
    {"design", "passband",
     [] { return current.made ? passband_line(current.design.passband_edge_hz) : ""; }},
    {"deviation", "deviation",
     [] { return current.deviation_made ? deviation_line(current.half_deviation_rad) : ""; }},
    {"parts", "heading",
     [] { return has_set() ? parts_heading_line(parts.report.options) : std::string(); }},
    {"parts", "r1", [] { return parts_line(0); }},
    {"parts", "r2", [] { return parts_line(1); }},
    {"parts", "c1", [] { return parts_line(2); }},
    {"parts", "c2", [] { return parts_line(3); }},
    {"parts", "cutoff",
     [] { return has_set() ? real_cutoff_line(set_figures_now()) : std::string(); }},
    {"parts", "q", [] { return has_set() ? q_line(set_figures_now()) : std::string(); }},
    {"parts", "natural",
     [] { return has_set() ? natural_frequency_line(set_figures_now()) : std::string(); }},
    {"parts", "warnings", warnings_text},
    {"ranges", "cutoff_range",
     [] {
         return has_ranges() ? cutoff_range_line(parts.report.options.tolerances,
                                                 parts.report.cutoff_range_hz, true)
                             : std::string();
     }},
    {"ranges", "q_range",
     [] {
         return has_ranges() ? q_range_line(parts.report.options.tolerances, parts.report.q_range)
                             : std::string();
     }},
    {"ranges", "yield",
     [] { return has_ranges() ? yield_line(parts.report.yield) : std::string(); }},
    {"opamp", "cutoff", [] { return opamp_line(0); }},
    {"opamp", "gbw", [] { return opamp_line(1); }},
    {"opamp", "slew", [] { return opamp_line(2); }},
    {"opamp", "floor", [] { return opamp_line(3); }},
    {"opamp", "rise", [] { return opamp_line(4); }},
    {"attenuation", "attenuation",
     [] {
         return has_opamp_figures() && amp.attenuation_made
                    ? attenuation_line(amp.attenuation_hz, amp.attenuation_db)
                    : std::string();
     }},
    {"step", "overshoot", [] { return has_step() ? overshoot_line(amp.step) : std::string(); }},
    {"step", "rise", [] { return has_step() ? rise_line(amp.step) : std::string(); }},
    {"step", "settle", [] { return has_step() ? settle_line(amp.step) : std::string(); }},
    {"files", "netlist", netlist_text},
    {"files", "bom", bom_text},
};

struct ArrayEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;    // one of kUnits
    std::string_view csv;     // the CSV column's heading; none for arrays not in the CSV
    std::string_view csv_db;  // the heading of its value in decibels after it, or none
    double* data;
};

const ArrayEntry kArrays[] = {
    {"samples", "hz", "Hz", "frequency_hz", "", plot.hz},
    {"samples", "gain", "", "gain", "gain_db", plot.gain},
    {"samples", "phase_deg", "\u00B0", "phase_deg", "", plot.phase_deg},
    {"samples", "group_delay_s", "s", "group_delay_s", "", plot.group_delay_s},
    {"circuit", "gain", "", "parts_gain", "parts_gain_db", plot.circuit_gain},
    {"circuit", "phase_deg", "\u00B0", "parts_phase_deg", "", plot.circuit_phase_deg},
    {"circuit", "group_delay_s", "s", "parts_group_delay_s", "", plot.circuit_group_delay_s},
    {"bands", "gain_lowest", "", "parts_gain_lowest", "", plot.gain_lowest},
    {"bands", "gain_highest", "", "parts_gain_highest", "", plot.gain_highest},
    {"bands", "phase_lowest_deg", "\u00B0", "parts_phase_lowest_deg", "", plot.phase_lowest_deg},
    {"bands", "phase_highest_deg", "\u00B0", "parts_phase_highest_deg", "", plot.phase_highest_deg},
    {"bands", "group_delay_lowest_s", "s", "parts_group_delay_lowest_s", "",
     plot.group_delay_lowest_s},
    {"bands", "group_delay_highest_s", "s", "parts_group_delay_highest_s", "",
     plot.group_delay_highest_s},
    {"opamp", "gain", "", "opamp_gain", "opamp_gain_db", plot.opamp_gain},
    {"opamp", "phase_deg", "\u00B0", "opamp_phase_deg", "", plot.opamp_phase_deg},
    {"opamp", "group_delay_s", "s", "opamp_group_delay_s", "", plot.opamp_group_delay_s},
    {"step", "t_s", "s", "", "", plot.step_t_s},
    {"step", "ideal", "V", "", "", plot.step_ideal},
    {"step", "model", "V", "", "", plot.step_model},
};

constexpr FieldKind kFieldKinds[] = {
    FieldKind::design,  FieldKind::band,       FieldKind::tolerance, FieldKind::gbw,
    FieldKind::gain_db, FieldKind::output_ohm, FieldKind::amplitude, FieldKind::frequency};
constexpr std::string_view kFieldKindNames[] = {"design",  "band",       "tolerance", "gbw",
                                                "gain_db", "output_ohm", "amplitude", "frequency"};
constexpr FieldStatus kFieldStatuses[] = {FieldStatus::ok, FieldStatus::empty,
                                          FieldStatus::not_a_number, FieldStatus::too_long,
                                          FieldStatus::out_of_range};

template <typename T, std::size_t N>
bool in_table(const T (&)[N], int which) {
    return which >= 0 && static_cast<std::size_t>(which) < N;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";  // the tables' texts need no escapes
}

template <typename List>
std::string name_list(const List& list) {
    std::string json = "[";
    for (const auto& name : list)
        json += (json.size() > 1 ? "," : "") + quoted(name);
    return json + "]";
}

std::string entry_json(std::string_view group, std::string_view name) {
    return "{\"group\":" + quoted(group) + ",\"name\":" + quoted(name);
}

std::string constants_json() {
    return "{\"cutoff_gain\":" + shortest_text(kCutoffAmplitude) +
           ",\"max_plot_points\":" + std::to_string(kMaxPlotPoints) +
           ",\"default_gbw_mhz\":" + shortest_text(kDefaultGbwMhz) +
           ",\"default_a0_db\":" + shortest_text(kDefaultOpenLoopGainDb) +
           ",\"default_ro_ohm\":" + shortest_text(kDefaultOutputOhm) + "}";
}

// The name table as JSON; each list's order is its entries' numbers.
std::string interface_json() {
    std::string series = "[";
    for (const PreferredSeries s : kPreferredSeries)
        series += (series.size() > 1 ? "," : "") + quoted(series_name(s));
    std::string status_names[std::size(kFieldStatuses)];
    std::transform(std::begin(kFieldStatuses), std::end(kFieldStatuses), status_names,
                   [](FieldStatus s) { return std::string(field_status_name(s)); });
    std::string figures;
    for (const FigureEntry& f : kFigures)
        figures += (figures.empty() ? "" : ",") + entry_json(f.group, f.name) +
                   ",\"unit\":" + quoted(f.unit) +
                   ",\"for_people\":" + (f.for_people ? "true" : "false") + "}";
    std::string lines;
    for (const LineEntry& l : kLines)
        lines += (lines.empty() ? "" : ",") + entry_json(l.group, l.name) + "}";
    std::string arrays;
    for (const ArrayEntry& a : kArrays)
        arrays += (arrays.empty() ? "" : ",") + entry_json(a.group, a.name) +
                  ",\"unit\":" + quoted(a.unit) + ",\"csv\":" + quoted(a.csv) +
                  ",\"csv_db\":" + quoted(a.csv_db) + "}";
    std::string kinds;
    for (std::size_t i = 0; i < std::size(kFieldKinds); ++i)
        kinds += (kinds.empty() ? "" : ",") + std::string("{\"name\":") +
                 quoted(kFieldKindNames[i]) +
                 ",\"chars\":" + std::to_string(field_number_chars(kFieldKinds[i])) + "}";
    return "{\"field_kinds\":[" + kinds + "],\"field_statuses\":" + name_list(status_names) +
           ",\"series\":" + series + "]" + ",\"methods\":" + name_list(kMethodNames) +
           ",\"units\":" + name_list(kUnits) + ",\"constants\":" + constants_json() +
           ",\"figures\":[" + figures + "],\"lines\":[" + lines + "],\"arrays\":[" + arrays + "]}";
}

void clear_set_work() {
    amp.figures_made = false;
    amp.figures = OpAmpFigures{};
    amp.lines.clear();
    amp.attenuation_made = false;
    amp.attenuation_db = 0;
    amp.step_made = false;
    amp.step = StepFigures{};
    amp.ideal_step = StepFigures{};
    plot.step_count = 0;
}

void clear_parts() {
    parts = CurrentParts{};
    clear_set_work();
}

}  // namespace
}  // namespace kestrane

using namespace kestrane;

// --- The name table and texts ---

// Puts the name table (JSON, UTF-8) in the text buffer: { field_kinds: [{ name, chars }],
// field_statuses: [names], series: ["E6", ...], methods: ["best", "nearest"], units: [texts],
// constants: { cutoff_gain, max_plot_points, default_gbw_mhz, default_a0_db,
// default_ro_ohm }, figures: [{ group, name, unit, for_people }], lines: [{ group, name }],
// arrays: [{ group, name, unit, csv, csv_db }] }. The position of an entry in its list is the
// number that the functions below take for it.
KESTRANE_EXPORT(kestrane_interface) int kestrane_interface() {
    return put_text(interface_json());
}

// The buffer holding the last text, and its length in bytes.
KESTRANE_EXPORT(kestrane_text_buffer) const char* kestrane_text_buffer() {
    return text_out.data();
}
KESTRANE_EXPORT(kestrane_text_length) int kestrane_text_length() {
    return static_cast<int>(text_out.size());
}

// `value` as the console prints it; the text goes to the buffer.
KESTRANE_EXPORT(kestrane_format_number) int kestrane_format_number(double value) {
    return put_text(format_number(value));
}

// `value` for people, with unit number `unit` of the table (engineering_text: "16.1 µF");
// an empty text for a unit that is not in the table.
KESTRANE_EXPORT(kestrane_engineering_text) int kestrane_engineering_text(double value, int unit) {
    if (!in_table(kUnits, unit)) return put_text("");
    return put_text(engineering_text(value, kUnits[unit]));
}

// Room for a field's text of `bytes` bytes (none for a negative count): the page writes the
// text there, then calls kestrane_read_field. The room may move at every call.
KESTRANE_EXPORT(kestrane_field_buffer) char* kestrane_field_buffer(int bytes) {
    field_text.assign(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    return field_text.data();
}

// Reads the field text as a field of kind number `kind` (read_field). Returns the status's
// number in the table; the value is then in kestrane_field_value and the message in the text
// buffer. A kind that is not in the table reads as empty.
KESTRANE_EXPORT(kestrane_read_field) int kestrane_read_field(int kind) {
    field = in_table(kFieldKinds, kind) ? read_field(field_text, kFieldKinds[kind]) : FieldRead{};
    put_text(field.message);
    const auto* status =
        std::find(std::begin(kFieldStatuses), std::end(kFieldStatuses), field.status);
    return static_cast<int>(status - std::begin(kFieldStatuses));
}
KESTRANE_EXPORT(kestrane_field_value) double kestrane_field_value() {
    return field.value;
}

// --- Steps ---

// Designs from a cutoff in kHz and R1 in ohms as read (design_filter). Returns 1 when made; 0
// when refused, with the console's reason in the text buffer. Clears everything made from the
// last design: the deviation, the set, its figures and every array.
KESTRANE_EXPORT(kestrane_design) int kestrane_design(double fc_khz, double r1_ohm) {
    clear_parts();
    plot.count = 0;
    current = CurrentDesign{};
    current.design = design_filter(fc_khz, r1_ohm);
    if (!current.design.made()) {
        put_text(refusal_message(current.design.refusal));
        return 0;
    }
    current.made = true;
    put_text("");
    return 1;
}

// Half the phase deviation of the current design over 0 Hz to `band_hz` (as read, any
// double), the figure the console prints. Returns 1; 0 without a design.
KESTRANE_EXPORT(kestrane_deviation) int kestrane_deviation(double band_hz) {
    current.deviation_made = current.made;
    if (!current.made) return 0;
    current.half_deviation_rad = half_phase_deviation(current.design, band_hz);
    return 1;
}

// The set of standard parts for the current design by method number `method` of the table
// ("best", "nearest"), resistors from series number `resistor_series`, capacitors from
// `capacitor_series`: parts_report without tolerances, so its set, figures on the real circuit
// and warnings. Returns 1 when a report was made, whether or not it has a set to build (the
// figure buildable says; the warnings say why not); 0, with no report, without a design or
// for a number not in its table. Clears the ranges, the op-amp figures, the step and the set's
// curves.
KESTRANE_EXPORT(kestrane_parts)
int kestrane_parts(int method, int resistor_series, int capacitor_series) {
    clear_parts();
    if (!current.made || !in_table(kMethods, method) ||
        !in_table(kPreferredSeries, resistor_series) ||
        !in_table(kPreferredSeries, capacitor_series))
        return 0;
    PartsOptions options;
    options.method = kMethods[method];
    options.series = {kPreferredSeries[resistor_series], kPreferredSeries[capacitor_series]};
    options.tolerances = {kNotANumber, kNotANumber};
    parts.made = true;
    parts.report = parts_report(current.design, options);
    parts.series_text = std::string(series_name(options.series.resistors)) + " R, " +
                        std::string(series_name(options.series.capacitors)) + " C";
    return 1;
}

// What resistors within `resistor_percent` and capacitors within `capacitor_percent` do to
// the shown set, as parts_report computes it: the ranges of its cutoff and Q over the whole
// tolerance box and the yield. Returns 1; 0, with no ranges, without a set or for tolerances
// that are not (are_tolerances).
KESTRANE_EXPORT(kestrane_ranges)
int kestrane_ranges(double resistor_percent, double capacitor_percent) {
    PartsReport& report = parts.report;
    report.ranges_made = false;
    report.options.tolerances = {resistor_percent, capacitor_percent};
    if (!has_set() || !are_tolerances(report.options.tolerances)) return 0;
    const CircuitParts& nominal = report.shown;
    parts.box = tolerance_box(nominal, report.options.tolerances);
    report.cutoff_range_hz = box_cutoff_range(parts.box);
    report.q_range = box_q_range(parts.box);
    report.yield =
        cutoff_yield(nominal, report.options.tolerances, current.design.targets.cutoff_hz);
    report.ranges_made = true;
    return 1;
}

// The op-amp from its fields: GBW in MHz, A0 in dB, Ro in ohms (opamp_from_fields). Returns 1
// when taken; 0, with no op-amp, when a field is refused. Clears the op-amp figures, the step
// and the op-amp curve.
KESTRANE_EXPORT(kestrane_opamp) int kestrane_opamp(double gbw_mhz, double gain_db, double ro_ohm) {
    clear_set_work();
    const OpAmpReading reading = opamp_from_fields(gbw_mhz, gain_db, ro_ohm);
    amp.made = reading.refused == OpAmpField::none;
    amp.opamp = reading.opamp;
    return amp.made ? 1 : 0;
}

// The shown set's figures with the op-amp (opamp_figures) and the console's op-amp lines
// (opamp_report_lines), the slew rate for an input sine of `amplitude_v` volts peak. Returns 1; 0
// without a set or an op-amp.
KESTRANE_EXPORT(kestrane_opamp_figures) int kestrane_opamp_figures(double amplitude_v) {
    amp.figures_made = false;
    amp.attenuation_made = false;
    if (!has_set() || !amp.made) return 0;
    amp.amplitude_v = amplitude_v;
    amp.figures = opamp_figures(shown(), amp.opamp, amplitude_v);
    amp.lines = opamp_report_lines(shown(), amp.opamp, amplitude_v);
    amp.figures_made = true;
    return 1;
}

// The shown set's attenuation with the op-amp at `hz` hertz (0 or above, finite). Returns 1;
// 0 without op-amp figures or for another frequency.
KESTRANE_EXPORT(kestrane_attenuation) int kestrane_attenuation(double hz) {
    amp.attenuation_made = false;
    if (!has_opamp_figures() || !(hz >= 0 && std::isfinite(hz))) return 0;
    amp.attenuation_hz = hz;
    amp.attenuation_db = attenuation_db(transfer_function(shown(), amp.opamp), hz);
    amp.attenuation_made = true;
    return 1;
}

// The shown set's step response with the op-amp and with the ideal op-amp (step_figures), and
// `points` samples of both (limited to 2 to max_plot_points) from 0 to the longer of their
// spans (step_samples). Returns the number of samples; 0 without a set or an op-amp.
KESTRANE_EXPORT(kestrane_step) int kestrane_step(int points) {
    amp.step_made = false;
    plot.step_count = 0;
    if (!has_set() || !amp.made) return 0;
    const CircuitParts values = shown();
    amp.step = step_figures(values, amp.opamp);
    amp.ideal_step = step_figures(values, kIdealOpAmp);
    const double span = std::max(amp.step.span_s, amp.ideal_step.span_s);
    const int count = std::clamp(points, 2, kMaxPlotPoints);
    const std::vector<StepSample> model = step_samples(values, amp.opamp, span, count);
    const std::vector<StepSample> ideal = step_samples(values, kIdealOpAmp, span, count);
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        plot.step_t_s[i] = model[at].t_s;
        plot.step_model[i] = model[at].value;
        plot.step_ideal[i] = ideal[at].value;
    }
    plot.step_count = count;
    amp.step_made = true;
    return count;
}

// --- Figures and lines, by their number in the table ---

// Figure `which`; 0 for a number that is not in the table.
KESTRANE_EXPORT(kestrane_figure) double kestrane_figure(int which) {
    return in_table(kFigures, which) ? kFigures[which].value() : 0;
}

// Figure `which` for people with its unit (engineering_text), put in the buffer; an empty text
// for a number that is not in the table.
KESTRANE_EXPORT(kestrane_figure_text) int kestrane_figure_text(int which) {
    if (!in_table(kFigures, which)) return put_text("");
    return put_text(engineering_text(kFigures[which].value(), kFigures[which].unit));
}

// Line `which` put in the buffer; an empty text for a number that is not in the table.
KESTRANE_EXPORT(kestrane_line) int kestrane_line(int which) {
    return put_text(in_table(kLines, which) ? kLines[which].text() : "");
}

// --- Plots ---

// Samples the current design's response at `points` frequencies spaced evenly in log
// frequency from `low_hz` to `high_hz` (plot_samples). Returns the number of samples: 0
// without a design or unless 0 < low_hz < high_hz are finite; points are limited to 2 to
// max_plot_points. The set's curves are then to be made again at these frequencies.
KESTRANE_EXPORT(kestrane_plot_samples)
int kestrane_plot_samples(double low_hz, double high_hz, int points) {
    plot.count = 0;
    if (!current.made || !(low_hz > 0 && low_hz < high_hz && high_hz < HUGE_VAL)) return 0;
    plot.count = std::clamp(points, 2, kMaxPlotPoints);
    plot_samples(design_parts(), low_hz, high_hz, plot.count, plot.hz,
                 {plot.gain, plot.phase_deg, plot.group_delay_s});
    return plot.count;
}

// The current design's response at the first `points` frequencies of array hz, which the
// caller wrote there (each positive and finite). Returns the number of samples: 0 without a
// design or for a count outside 1 to max_plot_points.
KESTRANE_EXPORT(kestrane_plot_at) int kestrane_plot_at(int points) {
    plot.count = 0;
    if (!current.made || points < 1 || points > kMaxPlotPoints) return 0;
    plot.count = points;
    plot_responses(design_parts(), plot.hz, plot.count,
                   {plot.gain, plot.phase_deg, plot.group_delay_s});
    return plot.count;
}

// The shown set's real circuit with the ideal op-amp at the frequencies of the last samples
// (plot_circuit). Returns the count of values; 0 without a set or samples.
KESTRANE_EXPORT(kestrane_plot_circuit) int kestrane_plot_circuit() {
    if (!has_set()) return 0;
    plot_circuit(shown(), plot.hz, plot.count,
                 {plot.circuit_gain, plot.circuit_phase_deg, plot.circuit_group_delay_s});
    return plot.count;
}

// The band of the shown set's gain, phase and group delay over the whole tolerance box of the
// last ranges at the frequencies of the last samples (plot_bands). Returns the count of
// values; 0 without ranges or samples.
KESTRANE_EXPORT(kestrane_plot_bands) int kestrane_plot_bands() {
    if (!has_ranges()) return 0;
    const auto count = static_cast<std::size_t>(plot.count);
    plot_bands(parts.box, std::span<const double>(plot.hz, count),
               std::span<ResponseBand>(plot.bands, count),
               {{plot.gain_lowest, plot.gain_highest},
                {plot.phase_lowest_deg, plot.phase_highest_deg},
                {plot.group_delay_lowest_s, plot.group_delay_highest_s}});
    return plot.count;
}

// The shown set with the op-amp at the frequencies of the last samples (plot_opamp). Returns
// the count of values; 0 without a set, an op-amp or samples.
KESTRANE_EXPORT(kestrane_plot_opamp) int kestrane_plot_opamp() {
    if (!has_set() || !amp.made) return 0;
    plot_opamp(transfer_function(shown(), amp.opamp), plot.hz, plot.count,
               {plot.opamp_gain, plot.opamp_phase_deg, plot.opamp_group_delay_s});
    return plot.count;
}

// Array `which` of the table (its first value); null for a number that is not in the table.
KESTRANE_EXPORT(kestrane_array) double* kestrane_array(int which) {
    return in_table(kArrays, which) ? kArrays[which].data : nullptr;
}

// --- The model, for the tests ---

// The core's amplitude and phase (radians) of the current design at whole hertz.
KESTRANE_EXPORT(kestrane_magnitude_at) double kestrane_magnitude_at(std::int32_t hertz) {
    return magnitude_at(design_parts(), hertz);
}
KESTRANE_EXPORT(kestrane_phase_at) double kestrane_phase_at(std::int32_t hertz) {
    return phase_at(design_parts(), hertz);
}
