// What the page reads in one of its fields: one number, written as the console writes numbers
// and optionally followed by an SI prefix in the field's own unit ("10k", "4.7n"), and nothing
// after it but white space. Pure; the page's module and the native dump tool both read
// through here, so that they read every field alike. The messages quote the field as the user
// typed it (page_quoted_message), not byte by byte as the console's do.
#pragma once

#include <string>
#include <string_view>

namespace kestrane {

enum class FieldStatus {
    ok,
    empty,         // nothing but white space
    not_a_number,  // no number at the start, or text after the number and its prefix
    too_long,      // the number takes more characters than the field allows
    out_of_range,  // a number the field does not take (tolerances and op-amp settings)
};

// The kinds of field: the cutoff and R1 (the console's 19 number characters), the band (27,
// and finite), a tolerance in percent (19, and from 0 up to, not including, 100), the op-amp
// settings (19 each, and what is_setting_value takes): GBW in MHz, A0 in dB, Ro in ohms, the
// input amplitude in volts and the attenuation's frequency in hertz; and a filter's settings
// (19 each, and what is_filter_value takes): its order, a Chebyshev's ripple in dB, the edges
// of a specification in kHz and their losses in dB.
enum class FieldKind {
    design,
    band,
    tolerance,
    gbw,
    gain_db,
    output_ohm,
    amplitude,
    frequency,
    order,
    ripple_db,
    edge_khz,
    loss_db
};

// Every kind and every status, in the order of their enums.
inline constexpr FieldKind kFieldKinds[] = {
    FieldKind::design,  FieldKind::band,       FieldKind::tolerance, FieldKind::gbw,
    FieldKind::gain_db, FieldKind::output_ohm, FieldKind::amplitude, FieldKind::frequency,
    FieldKind::order,   FieldKind::ripple_db,  FieldKind::edge_khz,  FieldKind::loss_db};
inline constexpr FieldStatus kFieldStatuses[] = {FieldStatus::ok, FieldStatus::empty,
                                                 FieldStatus::not_a_number, FieldStatus::too_long,
                                                 FieldStatus::out_of_range};

// The kind's name, as the page names it: "design", "band", "tolerance", "gbw", "gain_db",
// "output_ohm", "amplitude", "frequency", "order", "ripple_db", "edge_khz", "loss_db".
std::string_view field_kind_name(FieldKind kind);

struct FieldRead {
    FieldStatus status = FieldStatus::empty;
    double value = 0;     // the number when ok; 0 otherwise
    std::string message;  // why the field is not ok; empty for ok and empty
    // For an ok read of 0 from a text that is not 0 (a number below the smallest one read):
    // what happened, as underflow_note says it; empty otherwise.
    std::string note;
};

// The longest number text a field of `kind` takes.
int field_number_chars(FieldKind kind);

// Reads `text` (any length, any bytes) as a field of `kind` with scan_prefixed_real. The
// message is the page's (page_not_a_number_message, page_too_long_message) or, for a number
// the field does not take, tolerance_message, setting_message, band_message or
// filter_setting_message; it names the field's text without the white space around it.
FieldRead read_field(std::string_view text, FieldKind kind);

// "ok", "empty", "not_a_number", "too_long", "out_of_range".
std::string_view field_status_name(FieldStatus status);

}  // namespace kestrane
