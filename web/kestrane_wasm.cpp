// The page's interface to the design core and the console's texts, compiled to WebAssembly and
// called from web/src/core.js.
//
// Texts pass through the module's memory: the page writes a field's UTF-8 text into the field
// buffer before reading the field, and every function that makes a text writes it into the
// text buffer (without a terminating zero) and returns its length in bytes. Numbers pass as
// arguments and results. One design is current at a time: kestrane_design replaces it and the other
// design functions read it; the parts functions round the current design to standard parts and
// keep them for the parts' texts and plots. Nothing here allocates except the text functions'
// strings.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "figures.h"
#include "messages.h"
#include "number_scan.h"
#include "number_writer.h"
#include "part_analysis.h"
#include "parts_report.h"
#include "plot_response.h"
#include "preferred_values.h"
#include "report_text.h"
#include "response.h"
#include "search.h"

#define KESTRANE_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace kestrane {
namespace {

constexpr int kTextBufferBytes = 1024;
constexpr int kMaxPlotPoints = 4096;

// What the page reads in a field: one number and nothing after it but white space.
// A tolerance field may also hold a number that is not a tolerance.
enum class FieldStatus : int {
    ok = 0,
    empty = 1,
    not_a_number = 2,
    too_long = 3,
    out_of_range = 4
};

struct FieldRead {
    FieldStatus status;
    double value;  // meaningful when ok
};

struct CurrentDesign {
    bool designed = false;
    DesignTargets targets;
    FilterComponents components;
    float edge_hz = 0;
    double half_deviation_rad = 0;
};

struct PlotArrays {
    double hz[kMaxPlotPoints];
    double gain[kMaxPlotPoints];
    double phase_deg[kMaxPlotPoints];
    double group_delay_s[kMaxPlotPoints];
};

// The current design rounded to standard parts, and what they do.
struct CurrentParts {
    bool made = false;
    FilterComponents components;
    PartsAnalysis analysis;
    CutoffRange range;
};

// The rounded set's response at the plotted frequencies, and the envelope over its
// tolerances: the lowest and highest gain, phase and group delay, in that order.
constexpr int kPartsPlotArrays = 3;
constexpr int kEnvelopeArrays = 6;
struct PartsPlotArrays {
    double response[kPartsPlotArrays][kMaxPlotPoints];
    double envelope[kEnvelopeArrays][kMaxPlotPoints];
};

char text_buffer[kTextBufferBytes];
int text_length = 0;
std::string field_text;
FieldRead field{FieldStatus::empty, 0};
CurrentDesign current;
PlotArrays plot;
int plot_count = 0;  // samples in `plot` since the current design was made
CurrentParts parts;
PartsPlotArrays parts_plot;

// Puts `text` in the buffer, cut to its size, and returns the length kept.
int put_text(std::string_view text) {
    text_length = static_cast<int>(std::min(text.size(), sizeof text_buffer));
    std::memcpy(text_buffer, text.data(), static_cast<std::size_t>(text_length));
    return text_length;
}

// The console's line for component `which` of `c` (0 R1, 1 R2, 2 C1, 3 C2); empty for any
// other.
std::string component_line(const FilterComponents& c, int which) {
    switch (which) {
        case 0:
            return r1_line(c.R1);
        case 1:
            return r2_line(c.R2);
        case 2:
            return c1_line(c.C1);
        case 3:
            return c2_line(c.C2);
        default:
            return "";
    }
}

bool is_space(char c) {
    return is_number_space(static_cast<unsigned char>(c));
}

bool only_number_space(std::string_view text) {
    return std::all_of(text.begin(), text.end(), is_space);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

// The field as the console would read it, except that text after the number makes the whole
// field not a number: a field holds one number. The message names the field without the white
// space around it, as the console names what it drops.
FieldRead read_field(std::string_view text, int max_chars, std::string& message) {
    const RealScan scan = scan_real(text, max_chars);
    const std::string_view shown = trimmed(text);
    if (scan.status == ScanStatus::empty) return {FieldStatus::empty, 0};
    if (scan.status == ScanStatus::too_long) {
        message = too_long_message(shown, max_chars);
        return {FieldStatus::too_long, 0};
    }
    if (scan.status == ScanStatus::ok && only_number_space(text.substr(scan.taken))) {
        return {FieldStatus::ok, scan.value};
    }
    message = not_a_number_message(shown);
    return {FieldStatus::not_a_number, 0};
}

// The series at `index` in kPreferredSeries, if there is one.
bool series_at(int index, PreferredSeries& series) {
    if (index < 0 || index >= static_cast<int>(std::size(kPreferredSeries))) return false;
    series = kPreferredSeries[index];
    return true;
}

}  // namespace
}  // namespace kestrane

using namespace kestrane;

// --- Texts ---

// The buffer the page reads every text from.
KESTRANE_EXPORT(kestrane_text_buffer) char* kestrane_text_buffer() {
    return text_buffer;
}
// The length of the last text put in the buffer.
KESTRANE_EXPORT(kestrane_text_length) int kestrane_text_length() {
    return text_length;
}

// The console's longest number texts: cutoff and R1, and band.
KESTRANE_EXPORT(kestrane_design_number_chars) int kestrane_design_number_chars() {
    return kDesignNumberChars;
}
KESTRANE_EXPORT(kestrane_band_number_chars) int kestrane_band_number_chars() {
    return kBandNumberChars;
}

// `value` as the console prints it; the text goes to the buffer.
KESTRANE_EXPORT(kestrane_format_number) int kestrane_format_number(double value) {
    return put_text(format_number(value));
}

// Room for a field's text of `bytes` bytes (none for a negative count): the page writes the
// text there, then calls kestrane_read_field. The room may move at every call.
KESTRANE_EXPORT(kestrane_field_buffer) char* kestrane_field_buffer(int bytes) {
    field_text.assign(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    return field_text.data();
}

// Reads the field text with at most `max_chars` number characters. Returns 0 for a number
// (kestrane_field_value holds it), 1 for an empty field, 2 for a field that is not one number,
// 3 for a number that is too long; for 2 and 3 the console's message is put in the text
// buffer, otherwise the text buffer holds an empty text.
KESTRANE_EXPORT(kestrane_read_field) int kestrane_read_field(int max_chars) {
    std::string message;
    field = read_field(field_text, max_chars, message);
    put_text(message);
    return static_cast<int>(field.status);
}
KESTRANE_EXPORT(kestrane_field_value) double kestrane_field_value() {
    return field.value;
}

// Reads the field text as a tolerance in percent: as kestrane_read_field, and 4 for a number
// that is not a tolerance (is_tolerance_percent), with its message in the text buffer.
KESTRANE_EXPORT(kestrane_read_tolerance) int kestrane_read_tolerance(int max_chars) {
    std::string message;
    field = read_field(field_text, max_chars, message);
    if (field.status == FieldStatus::ok && !is_tolerance_percent(field.value)) {
        field.status = FieldStatus::out_of_range;
        message = tolerance_message(trimmed(field_text));
    }
    put_text(message);
    return static_cast<int>(field.status);
}

// --- Designs ---

// Designs from a cutoff in kHz and R1 in ohms as read (doubles, stored in single precision with
// the console's clamps), as the console does: targets, starting point, search, passband edge.
// Returns 1 when designed. Returns 0 and puts the console's reason in the buffer when the
// starting point is not finite; the design is then refused and the current one is cleared.
KESTRANE_EXPORT(kestrane_design) int kestrane_design(double fc_khz, double r1_ohm) {
    parts = CurrentParts{};
    plot_count = 0;
    current = CurrentDesign{};
    const Design design = design_filter(fc_khz, r1_ohm);
    if (!design.made()) {
        put_text(refusal_message(design.refusal));
        return 0;
    }
    current.designed = true;
    current.targets = design.targets;
    current.components = design.components;
    current.edge_hz = design.passband_edge_hz;
    put_text("");
    return 1;
}

// The current design's components: 0 R1, 1 R2 (ohms), 2 C1, 3 C2 (farads); 0 for any other.
KESTRANE_EXPORT(kestrane_component) float kestrane_component(int which) {
    switch (which) {
        case 0:
            return current.components.R1;
        case 1:
            return current.components.R2;
        case 2:
            return current.components.C1;
        case 3:
            return current.components.C2;
        default:
            return 0;
    }
}

// The current design's targets and passband edge, in hertz.
KESTRANE_EXPORT(kestrane_cutoff_hz) float kestrane_cutoff_hz() {
    return current.targets.cutoff_hz;
}
KESTRANE_EXPORT(kestrane_flat_top_hz) float kestrane_flat_top_hz() {
    return current.targets.flat_top_hz;
}
KESTRANE_EXPORT(kestrane_passband_edge) float kestrane_passband_edge() {
    return current.edge_hz;
}

// Half the phase deviation of the current design over `band_hz` (as read, double precision),
// the figure the console prints; kept for the deviation line.
KESTRANE_EXPORT(kestrane_half_deviation) double kestrane_half_deviation(double band_hz) {
    current.half_deviation_rad = 0.5 * phase_deviation(current.components, band_hz);
    return current.half_deviation_rad;
}

// The console's result line `which` of the current design, put in the buffer: 0 R1, 1 R2,
// 2 C1, 3 C2, 4 passband, 5 deviation (from the last kestrane_half_deviation); an empty text
// for any other.
KESTRANE_EXPORT(kestrane_result_line) int kestrane_result_line(int which) {
    if (which == 4) return put_text(passband_line(current.edge_hz));
    if (which == 5) return put_text(deviation_line(current.half_deviation_rad));
    return put_text(component_line(current.components, which));
}

// The core's amplitude and phase of the current design at whole hertz.
KESTRANE_EXPORT(kestrane_magnitude_at) double kestrane_magnitude_at(std::int32_t hertz) {
    return magnitude_at(current.components, hertz);
}
KESTRANE_EXPORT(kestrane_phase_at) double kestrane_phase_at(std::int32_t hertz) {
    return phase_at(current.components, hertz);
}

// --- Plots ---

// Samples the current design's response at `points` frequencies spaced evenly in log
// frequency from `low_hz` to `high_hz` into the arrays below (see plot_samples). Returns the
// number of samples: 0 unless 0 < low_hz < high_hz are finite; points are limited to 2 to
// 4096.
KESTRANE_EXPORT(kestrane_plot_samples)
int kestrane_plot_samples(double low_hz, double high_hz, int points) {
    if (!(low_hz > 0 && low_hz < high_hz && high_hz < HUGE_VAL)) return 0;
    const int count = std::clamp(points, 2, kMaxPlotPoints);
    plot_samples(current.components, low_hz, high_hz, count, plot.hz, plot.gain, plot.phase_deg,
                 plot.group_delay_s);
    plot_count = count;
    return count;
}
KESTRANE_EXPORT(kestrane_plot_hz) double* kestrane_plot_hz() {
    return plot.hz;
}
KESTRANE_EXPORT(kestrane_plot_gain) double* kestrane_plot_gain() {
    return plot.gain;
}
KESTRANE_EXPORT(kestrane_plot_phase_deg) double* kestrane_plot_phase_deg() {
    return plot.phase_deg;
}
KESTRANE_EXPORT(kestrane_plot_group_delay_s) double* kestrane_plot_group_delay_s() {
    return plot.group_delay_s;
}

// --- Standard parts ---

// The preferred-number series, smallest first: their count, and the name of series `which`
// (0 for E6 up to 5 for E192) put in the buffer, "E6" to "E192"; an empty text for any other.
KESTRANE_EXPORT(kestrane_series_count) int kestrane_series_count() {
    return static_cast<int>(std::size(kPreferredSeries));
}
KESTRANE_EXPORT(kestrane_series_name) int kestrane_series_name(int which) {
    PreferredSeries series;
    return put_text(series_at(which, series) ? series_name(series) : "");
}

// Rounds the current design's parts, R1 and R2 to the series numbered `resistor_series` and C1
// and C2 to `capacitor_series` (numbered as kestrane_series_name numbers them), and analyses
// the rounded set against the design's targets. Returns 1 when done; 0, with no parts kept,
// when there is no current design or a number names no series.
KESTRANE_EXPORT(kestrane_parts) int kestrane_parts(int resistor_series, int capacitor_series) {
    parts = CurrentParts{};
    PreferredSeries resistors;
    PreferredSeries capacitors;
    if (!current.designed || !series_at(resistor_series, resistors) ||
        !series_at(capacitor_series, capacitors))
        return 0;
    parts.made = true;
    parts.components = standard_parts(current.components, resistors, capacitors);
    parts.analysis = analyse_parts(parts.components, current.targets);
    return 1;
}

// The rounded parts: 0 R1, 1 R2 (ohms), 2 C1, 3 C2 (farads); 0 for any other or without parts.
KESTRANE_EXPORT(kestrane_parts_component) float kestrane_parts_component(int which) {
    const FilterComponents& c = parts.components;
    switch (which) {
        case 0:
            return c.R1;
        case 1:
            return c.R2;
        case 2:
            return c.C1;
        case 3:
            return c.C2;
        default:
            return 0;
    }
}

// Line `which` of the rounded parts, put in the buffer: 0 to 3 the console's R1, R2, C1 and
// C2 lines with the rounded values, 4 the achieved cutoff and its error
// (achieved_cutoff_line); an empty text for any other or without parts.
KESTRANE_EXPORT(kestrane_parts_line) int kestrane_parts_line(int which) {
    if (!parts.made) return put_text("");
    if (which == 4) return put_text(achieved_cutoff_line(parts.analysis));
    return put_text(component_line(parts.components, which));
}

// The rounded set's achieved cutoff: 1 when found, its frequency in hertz (0 when not found)
// and its error against the target in percent (0 when not found).
KESTRANE_EXPORT(kestrane_parts_cutoff_found) int kestrane_parts_cutoff_found() {
    return parts.analysis.cutoff.found ? 1 : 0;
}
KESTRANE_EXPORT(kestrane_parts_cutoff_hz) double kestrane_parts_cutoff_hz() {
    return parts.analysis.cutoff.hertz;
}
KESTRANE_EXPORT(kestrane_parts_cutoff_error) double kestrane_parts_cutoff_error() {
    return parts.analysis.cutoff_error_percent;
}

// The range of the rounded set's achieved cutoff with resistors within `resistor_percent` and
// capacitors within `capacitor_percent` (cutoff_range; the page passes tolerances only), kept
// for the three functions below; its line (cutoff_spread_line) is put in the buffer. Without
// parts: no range and an empty text.
KESTRANE_EXPORT(kestrane_parts_spread)
int kestrane_parts_spread(double resistor_percent, double capacitor_percent) {
    parts.range = CutoffRange{};
    if (!parts.made) return put_text("");
    const PartTolerances tolerances{resistor_percent, capacitor_percent};
    parts.range = cutoff_range(parts.components, tolerances);
    return put_text(cutoff_spread_line(tolerances, parts.range));
}
KESTRANE_EXPORT(kestrane_spread_found) int kestrane_spread_found() {
    return parts.range.found ? 1 : 0;
}
KESTRANE_EXPORT(kestrane_spread_lowest_hz) double kestrane_spread_lowest_hz() {
    return parts.range.lowest_hz;
}
KESTRANE_EXPORT(kestrane_spread_highest_hz) double kestrane_spread_highest_hz() {
    return parts.range.highest_hz;
}

// The rounded set's response at the frequencies of the last kestrane_plot_samples (model_point
// at each), into the arrays of kestrane_parts_plot_array. Returns their count; 0 without parts
// or without samples of the current design.
KESTRANE_EXPORT(kestrane_plot_parts) int kestrane_plot_parts() {
    if (!parts.made) return 0;
    plot_responses(parts.components, plot.hz, plot_count, parts_plot.response[0],
                   parts_plot.response[1], parts_plot.response[2]);
    return plot_count;
}
// 0 gain, 1 phase in degrees, 2 group delay in seconds; null for any other.
KESTRANE_EXPORT(kestrane_parts_plot_array) double* kestrane_parts_plot_array(int which) {
    if (which < 0 || which >= kPartsPlotArrays) return nullptr;
    return parts_plot.response[which];
}

// The envelope of the rounded set's response with resistors within `resistor_percent` and
// capacitors within `capacitor_percent` (plot_envelope), at the same frequencies as
// kestrane_plot_parts, into the arrays of kestrane_envelope_array. Returns their count; 0
// without parts or samples.
KESTRANE_EXPORT(kestrane_plot_envelope)
int kestrane_plot_envelope(double resistor_percent, double capacitor_percent) {
    if (!parts.made) return 0;
    double(&e)[kEnvelopeArrays][kMaxPlotPoints] = parts_plot.envelope;
    plot_envelope(parts.components, {resistor_percent, capacitor_percent}, plot.hz, plot_count,
                  {{e[0], e[1]}, {e[2], e[3]}, {e[4], e[5]}});
    return plot_count;
}
// 0 and 1 the lowest and highest gain, 2 and 3 phase (degrees), 4 and 5 group delay (seconds);
// null for any other.
KESTRANE_EXPORT(kestrane_envelope_array) double* kestrane_envelope_array(int which) {
    if (which < 0 || which >= kEnvelopeArrays) return nullptr;
    return parts_plot.envelope[which];
}
