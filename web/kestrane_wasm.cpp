// The page's interface to the design core and the console's texts, compiled to WebAssembly and
// called from web/src/core.js, the only place that knows the numbers used here.
//
// One name table describes the interface (kestrane_interface): the field kinds, the series,
// the units, the constants, and every figure, line and array with its name, group and unit.
// A figure, a line or a plotted array is added by adding an entry to its table below; the
// page picks it up by name. Each entry belongs to a group, which says which step makes it:
//   design     kestrane_design              figures, lines
//   deviation  kestrane_deviation           figure, line (needs a design)
//   parts      kestrane_parts               figures, lines (standard parts of the design)
//   spread     kestrane_spread              figures, line (needs parts)
//   samples    kestrane_plot_samples        arrays (needs a design)
//   parts      kestrane_plot_parts          arrays (needs parts and samples)
//   envelope   kestrane_plot_envelope       arrays (needs parts and samples)
// A figure or line read before its step, or after a later step cleared it, holds zero or an
// empty text.
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
#include <string>
#include <string_view>

#include "design.h"
#include "field_read.h"
#include "messages.h"
#include "number_writer.h"
#include "part_analysis.h"
#include "parts_report.h"
#include "plot_response.h"
#include "preferred_values.h"
#include "report_text.h"
#include "response.h"

#define KESTRANE_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace kestrane {
namespace {

constexpr int kMaxPlotPoints = 4096;

struct CurrentDesign {
    bool made = false;
    Design design;
    double half_deviation_rad = 0;
    bool deviation_made = false;
};

// The current design rounded to standard parts, and what they do.
struct CurrentParts {
    bool made = false;
    FilterComponents components;
    PartsAnalysis analysis;
    PartTolerances tolerances;
    CutoffRange range;
    bool range_made = false;
};

// Samples of the current design, and of its standard parts at the same frequencies.
struct PlotArrays {
    int count = 0;
    double hz[kMaxPlotPoints];
    double gain[kMaxPlotPoints];
    double phase_deg[kMaxPlotPoints];
    double group_delay_s[kMaxPlotPoints];
    double parts_gain[kMaxPlotPoints];
    double parts_phase_deg[kMaxPlotPoints];
    double parts_group_delay_s[kMaxPlotPoints];
    double gain_lowest[kMaxPlotPoints];
    double gain_highest[kMaxPlotPoints];
    double phase_lowest_deg[kMaxPlotPoints];
    double phase_highest_deg[kMaxPlotPoints];
    double group_delay_lowest_s[kMaxPlotPoints];
    double group_delay_highest_s[kMaxPlotPoints];
};

std::string text_out;
std::string field_text;
FieldRead field;
CurrentDesign current;
CurrentParts parts;
PlotArrays plot;

int put_text(std::string_view text) {
    text_out.assign(text);
    return static_cast<int>(text_out.size());
}

const FilterComponents& design_parts() {
    return current.design.components;
}

// --- The tables ---

constexpr std::string_view kUnits[] = {"", "Hz", "s", "\u03A9", "F", "%", "rad", "\u00B0"};

struct FigureEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;  // one of kUnits
    bool for_people;        // whether the page shows it with kestrane_figure_text
    double (*value)();
};

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
    {"parts", "R1", "\u03A9", true, [] { return double{parts.components.R1}; }},
    {"parts", "R2", "\u03A9", true, [] { return double{parts.components.R2}; }},
    {"parts", "C1", "F", true, [] { return double{parts.components.C1}; }},
    {"parts", "C2", "F", true, [] { return double{parts.components.C2}; }},
    {"parts", "cutoff_found", "", false, [] { return parts.analysis.cutoff.found ? 1.0 : 0.0; }},
    {"parts", "cutoff_hz", "Hz", true, [] { return parts.analysis.cutoff.hertz; }},
    {"parts", "cutoff_error_percent", "%", false,
     [] { return parts.analysis.cutoff_error_percent; }},
    {"spread", "found", "", false, [] { return parts.range.found ? 1.0 : 0.0; }},
    {"spread", "lowest_hz", "Hz", false, [] { return parts.range.lowest_hz; }},
    {"spread", "highest_hz", "Hz", false, [] { return parts.range.highest_hz; }},
};

std::string component_line(const FilterComponents& c, int which) {
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
    return current.made ? component_line(design_parts(), which) : "";
}

std::string parts_line(int which) {
    return parts.made ? component_line(parts.components, which) : "";
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
    {"parts", "r1", [] { return parts_line(0); }},
    {"parts", "r2", [] { return parts_line(1); }},
    {"parts", "c1", [] { return parts_line(2); }},
    {"parts", "c2", [] { return parts_line(3); }},
    {"parts", "cutoff", [] { return parts.made ? achieved_cutoff_line(parts.analysis) : ""; }},
    {"spread", "spread",
     [] { return parts.range_made ? cutoff_spread_line(parts.tolerances, parts.range) : ""; }},
};

struct ArrayEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;    // one of kUnits
    std::string_view csv;     // the CSV column's heading
    std::string_view csv_db;  // the heading of its value in decibels after it, or none
    double* data;
};

const ArrayEntry kArrays[] = {
    {"samples", "hz", "Hz", "frequency_hz", "", plot.hz},
    {"samples", "gain", "", "gain", "gain_db", plot.gain},
    {"samples", "phase_deg", "\u00B0", "phase_deg", "", plot.phase_deg},
    {"samples", "group_delay_s", "s", "group_delay_s", "", plot.group_delay_s},
    {"parts", "gain", "", "parts_gain", "parts_gain_db", plot.parts_gain},
    {"parts", "phase_deg", "\u00B0", "parts_phase_deg", "", plot.parts_phase_deg},
    {"parts", "group_delay_s", "s", "parts_group_delay_s", "", plot.parts_group_delay_s},
    {"envelope", "gain_lowest", "", "parts_gain_lowest", "", plot.gain_lowest},
    {"envelope", "gain_highest", "", "parts_gain_highest", "", plot.gain_highest},
    {"envelope", "phase_lowest_deg", "\u00B0", "parts_phase_lowest_deg", "", plot.phase_lowest_deg},
    {"envelope", "phase_highest_deg", "\u00B0", "parts_phase_highest_deg", "",
     plot.phase_highest_deg},
    {"envelope", "group_delay_lowest_s", "s", "parts_group_delay_lowest_s", "",
     plot.group_delay_lowest_s},
    {"envelope", "group_delay_highest_s", "s", "parts_group_delay_highest_s", "",
     plot.group_delay_highest_s},
};

constexpr FieldKind kFieldKinds[] = {FieldKind::design, FieldKind::band, FieldKind::tolerance};
constexpr std::string_view kFieldKindNames[] = {"design", "band", "tolerance"};
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
           ",\"series\":" + series + "]" + ",\"units\":" + name_list(kUnits) +
           ",\"constants\":{\"cutoff_gain\":" + shortest_text(kCutoffAmplitude) +
           ",\"max_plot_points\":" + std::to_string(kMaxPlotPoints) + "}" + ",\"figures\":[" +
           figures + "],\"lines\":[" + lines + "],\"arrays\":[" + arrays + "]}";
}

void clear_parts() {
    parts = CurrentParts{};
}

}  // namespace
}  // namespace kestrane

using namespace kestrane;

// --- The name table and texts ---

// Puts the name table (JSON, UTF-8) in the text buffer: { field_kinds: [{ name, chars }],
// field_statuses: [names], series: ["E6", ...], units: [texts], constants: { cutoff_gain,
// max_plot_points }, figures: [{ group, name, unit, for_people }], lines: [{ group, name }],
// arrays:
// [{ group, name, unit, csv, csv_db }] }. The position of an entry in its list is the number
// that the functions below take for it.
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
// when refused, with the console's reason in the text buffer. Clears the deviation, the parts
// and the samples.
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

// Rounds the current design's R1 and R2 to series number `resistor_series` and C1 and C2 to
// `capacitor_series`, and analyses the rounded set against the design's targets. Returns 1
// when done; 0, with no parts, without a design or for a number that is not a series.
KESTRANE_EXPORT(kestrane_parts) int kestrane_parts(int resistor_series, int capacitor_series) {
    clear_parts();
    if (!current.made || !in_table(kPreferredSeries, resistor_series) ||
        !in_table(kPreferredSeries, capacitor_series))
        return 0;
    parts.made = true;
    parts.components = standard_parts(design_parts(), kPreferredSeries[resistor_series],
                                      kPreferredSeries[capacitor_series]);
    parts.analysis = analyse_parts(parts.components, current.design.targets);
    return 1;
}

// The range of the parts' achieved cutoff with resistors within `resistor_percent` and
// capacitors within `capacitor_percent` (cutoff_range; tolerances as a tolerance field takes
// them). Returns 1; 0 without parts.
KESTRANE_EXPORT(kestrane_spread)
int kestrane_spread(double resistor_percent, double capacitor_percent) {
    parts.range_made = parts.made;
    if (!parts.made) return 0;
    parts.tolerances = {resistor_percent, capacitor_percent};
    parts.range = cutoff_range(parts.components, parts.tolerances);
    return 1;
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
// max_plot_points. Clears the parts' arrays.
KESTRANE_EXPORT(kestrane_plot_samples)
int kestrane_plot_samples(double low_hz, double high_hz, int points) {
    plot.count = 0;
    if (!current.made || !(low_hz > 0 && low_hz < high_hz && high_hz < HUGE_VAL)) return 0;
    plot.count = std::clamp(points, 2, kMaxPlotPoints);
    plot_samples(design_parts(), low_hz, high_hz, plot.count, plot.hz, plot.gain, plot.phase_deg,
                 plot.group_delay_s);
    return plot.count;
}

// The parts' response at the frequencies of the last samples (plot_responses). Returns the
// count of values; 0 without parts or samples.
KESTRANE_EXPORT(kestrane_plot_parts) int kestrane_plot_parts() {
    if (!parts.made) return 0;
    plot_responses(parts.components, plot.hz, plot.count, plot.parts_gain, plot.parts_phase_deg,
                   plot.parts_group_delay_s);
    return plot.count;
}

// The envelope of the parts' response with resistors within `resistor_percent` and capacitors
// within `capacitor_percent` (plot_envelope) at the frequencies of the last samples. Returns
// the count of values; 0 without parts or samples.
KESTRANE_EXPORT(kestrane_plot_envelope)
int kestrane_plot_envelope(double resistor_percent, double capacitor_percent) {
    if (!parts.made) return 0;
    plot_envelope(parts.components, {resistor_percent, capacitor_percent}, plot.hz, plot.count,
                  {{plot.gain_lowest, plot.gain_highest},
                   {plot.phase_lowest_deg, plot.phase_highest_deg},
                   {plot.group_delay_lowest_s, plot.group_delay_highest_s}});
    return plot.count;
}

// Array `which` of the table (its first value); null for a number that is not in the table.
KESTRANE_EXPORT(kestrane_array) const double* kestrane_array(int which) {
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
