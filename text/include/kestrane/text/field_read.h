// What the page reads in one of its fields: one number, written as the console writes numbers
// and optionally followed by an SI prefix in the field's own unit ("10k", "4.7n"), and nothing
// after it but white space. Pure; the page's module and the native dump tool both read
// through here, so that they read every field alike.
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

// The kinds of field: the cutoff and R1 (the console's 19 number characters), the band (27),
// a tolerance in percent (19, and from 0 up to, not including, 100), and the op-amp settings
// (19 each, and what is_setting_value takes): GBW in MHz, A0 in dB, Ro in ohms, the output
// amplitude in volts and the attenuation's frequency in hertz.
enum class FieldKind { design, band, tolerance, gbw, gain_db, output_ohm, amplitude, frequency };

// Every kind and every status, in the order of their enums.
inline constexpr FieldKind kFieldKinds[] = {
    FieldKind::design,  FieldKind::band,       FieldKind::tolerance, FieldKind::gbw,
    FieldKind::gain_db, FieldKind::output_ohm, FieldKind::amplitude, FieldKind::frequency};
inline constexpr FieldStatus kFieldStatuses[] = {FieldStatus::ok, FieldStatus::empty,
                                                 FieldStatus::not_a_number, FieldStatus::too_long,
                                                 FieldStatus::out_of_range};

// The kind's name, as the page names it: "design", "band", "tolerance", "gbw", "gain_db",
// "output_ohm", "amplitude", "frequency".
std::string_view field_kind_name(FieldKind kind);

struct FieldRead {
    FieldStatus status = FieldStatus::empty;
    double value = 0;     // meaningful when ok
    std::string message;  // why the field is not ok; empty for ok and empty
};

// The longest number text a field of `kind` takes.
int field_number_chars(FieldKind kind);

// Reads `text` (any length, any bytes) as a field of `kind` with scan_prefixed_real. The
// message is the console's (not_a_number_message, too_long_message) or, for a number the
// field does not take, tolerance_message or setting_message; it names the field's text
// without the white space around it.
FieldRead read_field(std::string_view text, FieldKind kind);

// "ok", "empty", "not_a_number", "too_long", "out_of_range".
std::string_view field_status_name(FieldStatus status);

}  // namespace kestrane
