// The page's own texts, beside the console's: why a setting field is refused, and the line
// of the attenuation. Pure; numbers are written as the console
// writes them (format_number) unless said otherwise. The page's module and the native dump
// tool both write them through here.
#pragma once

#include <string>
#include <string_view>

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
// takes: `Not a gain-bandwidth product: "0". It is above 0 MHz and finite.`; at most 80
// columns for a number text of up to 19 characters.
std::string setting_message(OpAmpSetting setting, std::string_view shown);

// "Attenuation at 24000 Hz from the DC gain, dB: 56.2103": the attenuation (attenuation_db,
// measured from the DC gain A0/(1+A0), not from 1) at `hz`.
std::string attenuation_line(double hz, double db);

// The step's lines (overshoot_line, rise_line, settle_line) are the console's, in
// opamp_report.h.

}  // namespace kestrane
