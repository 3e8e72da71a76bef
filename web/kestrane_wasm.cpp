// The page's module: the assembly (the session and its catalogue) and the texts, compiled to
// WebAssembly and called from web/src/core.js, the only file that knows the numbers used here.
// Exports only: the state, the steps and the rules for what a change makes again live in the
// session (session/), and every figure, line and array is an entry of its catalogue, read here
// by its number in the table that kestrane_interface gives.
//
// Texts pass through the module's memory: the page writes a field's UTF-8 text into the field
// buffer before reading it, and every function that makes a text puts it in the text buffer
// (without a terminating zero) and returns its length in bytes; the buffer may move at every
// such call. Numbers pass as arguments and results; arrays stay in the module's memory, where
// kestrane_array gives their first value.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/circuit/preferred_values.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/model/response.h"
#include "kestrane/session/catalogue.h"
#include "kestrane/session/session.h"
#include "kestrane/text/field_read.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/parts_text.h"

#define KESTRANE_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace kestrane {
namespace {

std::string text_out;
std::string field_text;
FieldRead field;
Session session;
std::vector<double> given_hz;

int put_text(std::string_view text) {
    text_out.assign(text);
    return static_cast<int>(text_out.size());
}

template <typename T>
bool in_table(std::span<const T> table, int which) {
    return which >= 0 && static_cast<std::size_t>(which) < table.size();
}

template <typename T, std::size_t N>
bool in_table(const T (&table)[N], int which) {
    return in_table(std::span<const T>(table), which);
}

std::optional<double> given(int has, double value) {
    return has != 0 ? std::optional(value) : std::nullopt;
}

}  // namespace
}  // namespace kestrane

using namespace kestrane;

// --- The name table and texts ---

// Puts the name table (catalogue_json) in the text buffer. The position of an entry in its
// list is the number the functions below take for it.
KESTRANE_EXPORT(kestrane_interface) int kestrane_interface() {
    return put_text(catalogue_json());
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

// An error in percent as the console's parts lines write it (percent_text: "+0.07", "-1.22").
KESTRANE_EXPORT(kestrane_percent_text) int kestrane_percent_text(double percent) {
    return put_text(percent_text(percent));
}

// `value` for people, with unit number `unit` of the table (engineering_text: "16.1 µF");
// an empty text for a unit that is not in the table.
KESTRANE_EXPORT(kestrane_engineering_text) int kestrane_engineering_text(double value, int unit) {
    if (!in_table(unit_names(), unit)) return put_text("");
    return put_text(engineering_text(value, unit_names()[static_cast<std::size_t>(unit)]));
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
// The last read's note (FieldRead::note) put in the text buffer; its length in bytes.
KESTRANE_EXPORT(kestrane_field_note) int kestrane_field_note() {
    return put_text(field.note);
}

// --- Settings (Session): each changes what rests on it, and nothing else ---

// The design from a cutoff in kHz and R1 in ohms as read; or none.
KESTRANE_EXPORT(kestrane_set_design) void kestrane_set_design(double fc_khz, double r1_ohm) {
    session.set_design(fc_khz, r1_ohm);
}
KESTRANE_EXPORT(kestrane_clear_design) void kestrane_clear_design() {
    session.clear_design();
}

// The band in hertz as read, when `has` is not 0; no band otherwise.
KESTRANE_EXPORT(kestrane_set_band) void kestrane_set_band(int has, double band_hz) {
    session.set_band(given(has, band_hz));
}

// The method, resistor series and capacitor series by their numbers in the table. Returns 1;
// 0, changing nothing, for a number that is not in its table.
KESTRANE_EXPORT(kestrane_set_parts)
int kestrane_set_parts(int method, int resistor_series, int capacitor_series) {
    if (!in_table(kPartsMethods, method) || !in_table(kPreferredSeries, resistor_series) ||
        !in_table(kPreferredSeries, capacitor_series))
        return 0;
    session.set_parts(kPartsMethods[method],
                      {kPreferredSeries[resistor_series], kPreferredSeries[capacitor_series]});
    return 1;
}

// The tolerances in percent, when `has` is not 0; none otherwise.
KESTRANE_EXPORT(kestrane_set_tolerances)
void kestrane_set_tolerances(int has, double resistor_percent, double capacitor_percent) {
    session.set_tolerances(has != 0
                               ? std::optional(PartTolerances{resistor_percent, capacitor_percent})
                               : std::nullopt);
}

// The op-amp from its fields (opamp_choice), when `has` is not 0. Returns 1 when it was taken;
// 0, with no op-amp, when `has` is 0 or a field is refused.
KESTRANE_EXPORT(kestrane_set_opamp)
int kestrane_set_opamp(int has, double gbw_mhz, double gain_db, double ro_ohm) {
    const std::optional<OpAmpChoice> choice =
        has != 0 ? opamp_choice(gbw_mhz, gain_db, ro_ohm) : std::nullopt;
    session.set_opamp(choice);
    return choice ? 1 : 0;
}

// The peak of the input sine the slew rate is for, in volts, and the attenuation's frequency in
// hertz when `has` is not 0.
KESTRANE_EXPORT(kestrane_set_amplitude) void kestrane_set_amplitude(double amplitude_v) {
    session.set_amplitude(amplitude_v);
}
KESTRANE_EXPORT(kestrane_set_attenuation) void kestrane_set_attenuation(int has, double hz) {
    session.set_attenuation_frequency(given(has, hz));
}

// How many frequencies the curves have, and times the step curves.
KESTRANE_EXPORT(kestrane_set_plot_points) void kestrane_set_plot_points(int points) {
    session.set_plot_points(points);
}
KESTRANE_EXPORT(kestrane_set_step_points) void kestrane_set_step_points(int points) {
    session.set_step_points(points);
}

// Room for `count` frequencies (0 to max_plot_points; none for another count): the caller
// writes them there, then calls kestrane_take_frequencies.
KESTRANE_EXPORT(kestrane_frequency_buffer) double* kestrane_frequency_buffer(int count) {
    given_hz.assign(static_cast<std::size_t>(std::clamp(count, 0, kMostPlotPoints)), 0.0);
    return given_hz.data();
}
// The curves at the frequencies written (Session::set_frequencies; none: the plotted range).
// Returns 1 when taken; 0, changing nothing, when one is not positive and finite.
KESTRANE_EXPORT(kestrane_take_frequencies) int kestrane_take_frequencies() {
    return session.set_frequencies(given_hz) ? 1 : 0;
}

// The filter: a cascade of response number `response` of the table, `order`, `ripple_db` (not
// a number for none) and edge number `edge`, when `has` is not 0; the search otherwise. Returns
// 1; 0, changing nothing, for a number that is not in its table.
KESTRANE_EXPORT(kestrane_set_cascade)
int kestrane_set_cascade(int has, int response, int order, double ripple_db, int edge) {
    if (has == 0) {
        session.set_cascade(std::nullopt);
        return 1;
    }
    if (!in_table(kResponses, response) || !in_table(kChebyshevEdges, edge)) return 0;
    session.set_cascade(
        CascadeRequest{kResponses[response], order, ripple_db, kChebyshevEdges[edge]});
    return 1;
}

// The specification (passband edge in Hz and its loss in dB, stopband edge and its loss), when
// `has` is not 0; none otherwise.
KESTRANE_EXPORT(kestrane_set_specification)
void kestrane_set_specification(int has, double passband_hz, double passband_loss_db,
                                double stopband_hz, double stopband_loss_db) {
    session.set_specification(has != 0 ? std::optional(PassStopSpec{passband_hz, passband_loss_db,
                                                                    stopband_hz, stopband_loss_db})
                                       : std::nullopt);
}

// The specification with its edges in kilohertz, as the page's fields and the command line's
// --passband and --stopband give them: each edge taken as kHz times 1000, as the command line
// takes it; none when `has` is 0.
KESTRANE_EXPORT(kestrane_set_specification_khz)
void kestrane_set_specification_khz(int has, double passband_khz, double passband_loss_db,
                                    double stopband_khz, double stopband_loss_db) {
    constexpr double kHertzPerKilohertz = 1000;
    kestrane_set_specification(has, passband_khz * kHertzPerKilohertz, passband_loss_db,
                               stopband_khz * kHertzPerKilohertz, stopband_loss_db);
}

// Compensation for the op-amp, when `compensate` is not 0.
KESTRANE_EXPORT(kestrane_set_compensate) void kestrane_set_compensate(int compensate) {
    session.set_compensate(compensate != 0);
}

// --- Products, by their numbers in the table ---

// The stamp of group `which` (group_stamp): it changes exactly when the group's entries may
// have changed; 0 when the group's product is missing or for a number not in the table.
KESTRANE_EXPORT(kestrane_group_stamp) double kestrane_group_stamp(int which) {
    if (!in_table(group_entries(), which)) return 0;
    return static_cast<double>(group_entries()[static_cast<std::size_t>(which)].stamp(session));
}

// Figure `which`; 0 for a number that is not in the table.
KESTRANE_EXPORT(kestrane_figure) double kestrane_figure(int which) {
    if (!in_table(figure_entries(), which)) return 0;
    return figure_entries()[static_cast<std::size_t>(which)].value(session);
}

// Figure `which` for people with its unit (engineering_text), put in the buffer; an empty text
// for a number that is not in the table.
KESTRANE_EXPORT(kestrane_figure_text) int kestrane_figure_text(int which) {
    if (!in_table(figure_entries(), which)) return put_text("");
    const FigureEntry& entry = figure_entries()[static_cast<std::size_t>(which)];
    return put_text(engineering_text(entry.value(session), entry.unit));
}

// Line `which` put in the buffer; an empty text for a number that is not in the table.
KESTRANE_EXPORT(kestrane_line) int kestrane_line(int which) {
    if (!in_table(line_entries(), which)) return put_text("");
    return put_text(line_entries()[static_cast<std::size_t>(which)].text(session));
}

// Array `which`: its length, and its first value (null when empty or not in the table). The
// length first: the array is made on the way, and its place may move when it is made again.
KESTRANE_EXPORT(kestrane_array_length) int kestrane_array_length(int which) {
    if (!in_table(array_entries(), which)) return 0;
    return static_cast<int>(
        array_entries()[static_cast<std::size_t>(which)].values(session).size());
}
KESTRANE_EXPORT(kestrane_array) const double* kestrane_array(int which) {
    if (!in_table(array_entries(), which)) return nullptr;
    const std::span<const double> values =
        array_entries()[static_cast<std::size_t>(which)].values(session);
    return values.empty() ? nullptr : values.data();
}

// --- The model, for the tests ---

// The core's amplitude and phase (radians) of the current design at whole hertz; 0 without a
// made design.
KESTRANE_EXPORT(kestrane_magnitude_at) double kestrane_magnitude_at(std::int32_t hertz) {
    return session.made() ? magnitude_at(session.design().components, hertz) : 0;
}
KESTRANE_EXPORT(kestrane_phase_at) double kestrane_phase_at(std::int32_t hertz) {
    return session.made() ? phase_at(session.design().components, hertz) : 0;
}
