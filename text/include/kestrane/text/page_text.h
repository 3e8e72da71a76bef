// The page's own texts, beside the console's: why a setting field is refused, and the line
// of the attenuation. Pure; numbers are written as the console
// writes them (format_number) unless said otherwise. The page's module and the native dump
// tool both write them through here.
#pragma once

#include <string>
#include <string_view>

#include "kestrane/model/design.h"
#include "kestrane/text/opamp_report.h"

namespace kestrane {

// True for a tolerance the page takes, in percent: from 0 up to, not including, 100. From
// 100 % on a part could be zero or of the other sign. Not-a-numbers and infinities are not
// tolerances.
bool is_tolerance_percent(double percent);

// Why a field holding the number text `shown` (number characters only, as a scanned number
// has) is not a tolerance: `Not a tolerance: "150". Tolerances run from 0 to below 100 %.`;
// at most 80 columns for a number text of up to 19 characters.
std::string tolerance_message(std::string_view shown);

// The settings of the op-amp and of its figures, each read from a field of its own.
enum class OpAmpSetting {
    gbw_mhz,        // the gain-bandwidth product in MHz
    gain_db,        // the open-loop gain A0 in dB
    output_ohm,     // the output resistance Ro in ohms
    amplitude_v,    // the input sine's peak amplitude for the slew rate, in volts
    attenuation_hz  // the frequency of the attenuation figure, in hertz
};

// True when `value` is taken for `setting`: the three op-amp fields as opamp_from_fields
// takes them (each judged with the other two at their defaults), the amplitude and the
// attenuation frequency when positive and finite.
bool is_setting_value(OpAmpSetting setting, double value);

// Why a field holding the number text `shown` is refused for `setting`, stating what the field
// takes: `Not a gain-bandwidth product: "0". It is above 0 MHz and at most 1.79769e+302 MHz.`
// (the largest GBW whose hertz a double holds).
std::string setting_message(OpAmpSetting setting, std::string_view shown);

// "Attenuation at 24000 Hz from the DC gain, dB: 56.2103": the attenuation (attenuation_db,
// measured from the DC gain A0/(1+A0), not from 1) at `hz`.
std::string attenuation_line(double hz, double db);

// `prefix`, then `text` between double quotes, then `suffix`, for the page: the characters as
// the user typed them (well-formed UTF-8 stays as it is), with control characters, bytes that
// are not well-formed UTF-8, backslashes and quotes escaped as the console escapes them
// ("\x01", "\xff", "\\", "\""), and cut short with "..." to at most 40 characters (a
// character is one code point) between the quotes.
std::string page_quoted_message(std::string_view prefix, std::string_view text,
                                std::string_view suffix);

// The console's not_a_number_message and too_long_message, quoted for the page.
std::string page_not_a_number_message(std::string_view rejected);
std::string page_too_long_message(std::string_view rejected, int max_chars);

// True for a band the page takes: any finite number of hertz (the deviation takes its
// magnitude). Not-a-numbers and infinities (a number beyond the double range, "1e999") are not.
bool is_band_value(double hz);

// Why a field holding the number text `shown` is not a band, with its limit: `Not a band:
// "1e999". It is finite: at most 1.79769e+308 Hz either way.`
std::string band_message(std::string_view shown);

// The settings of a filter of any order, each read from a field of its own.
enum class FilterSetting {
    order,      // the number of poles: a whole number from 1 to kMaxOrder
    ripple_db,  // a Chebyshev's ripple: kMinRippleDb to kMaxRippleDb dB
    edge_khz,   // a specification's edge in kHz: above 0, and finite in hertz
    loss_db     // a specification's loss in dB: above 0 and finite
};

// True when `value` is taken for `setting`, as above.
bool is_filter_value(FilterSetting setting, double value);

// Why a field holding the number text `shown` is refused for `setting`, stating what the
// field takes: `Not an order: "11". It is a whole number from 1 to 10.`
std::string filter_setting_message(FilterSetting setting, std::string_view shown);

// What happened to a field whose number text `shown` (not 0) reads as 0: `Read as 0: "1e-308"
// is below the smallest number read, 2.22507e-308.`
std::string underflow_note(std::string_view shown);

// What the design keeps of a field: `Stored as 3.40282e+038 kHz: the cutoff is kept in single
// precision, clamped to its range.` for `what` "the cutoff" of `unit` "kHz" read as `read` and
// stored as `stored`; "" when the two write alike (format_number).
std::string stored_note(std::string_view what, std::string_view unit, double read, double stored);

// Why the design refuses a field (`refusal` not none): with a cutoff or R1 of 0, the field
// stored as 0 (`stored`): "Cannot design with a cutoff of 0: C1 and C2 would be infinite." (or
// "an R1 of 0"); with a product too small, either field: "Cannot design: 2 x R1 x cutoff is so
// small that C1 and C2 would be infinite." "" for a field the refusal does not concern.
std::string design_field_refusal(Refusal refusal, bool cutoff, double stored);

// Why a figure that would leave the double range is not shown: `The slew rate for a 1e+308 V
// peak input sine leaves the double range; a smaller amplitude has one.` and `No attenuation
// at 1e+300 Hz: the response there leaves the double range.`
std::string slew_refusal(double amplitude_v);
std::string attenuation_refusal(double hz);

// The step's lines (overshoot_line, rise_line, settle_line) are the console's, in
// opamp_report.h.

}  // namespace kestrane
