#include "kestrane/text/page_text.h"

#include <cmath>

#include "kestrane/circuit/opamp.h"
#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

bool is_positive_finite(double value) {
    return value > 0 && std::isfinite(value);
}

std::string quoted_message(std::string_view what, std::string_view shown, std::string_view rule) {
    std::string message = "Not ";
    message.append(what);
    message.append(": \"");
    message.append(shown);
    message.append("\". ");
    message.append(rule);
    return message;
}

}  // namespace

bool is_tolerance_percent(double percent) {
    return percent >= 0 && percent < 100;
}

std::string tolerance_message(std::string_view shown) {
    return quoted_message("a tolerance", shown, "Tolerances run from 0 to below 100 %.");
}

bool is_setting_value(OpAmpSetting setting, double value) {
    switch (setting) {
        case OpAmpSetting::gbw_mhz:
            return opamp_from_fields(value, kDefaultOpenLoopGainDb, kDefaultOutputOhm).refused ==
                   OpAmpField::none;
        case OpAmpSetting::gain_db:
            return opamp_from_fields(kDefaultGbwMhz, value, kDefaultOutputOhm).refused ==
                   OpAmpField::none;
        case OpAmpSetting::output_ohm:
            return opamp_from_fields(kDefaultGbwMhz, kDefaultOpenLoopGainDb, value).refused ==
                   OpAmpField::none;
        default:
            return is_positive_finite(value);
    }
}

std::string setting_message(OpAmpSetting setting, std::string_view shown) {
    switch (setting) {
        case OpAmpSetting::gbw_mhz:
            return quoted_message("a gain-bandwidth product", shown,
                                  "It is above 0 MHz and finite.");
        case OpAmpSetting::gain_db:
            return quoted_message("an open-loop gain", shown, "It is above 0 dB and finite.");
        case OpAmpSetting::output_ohm:
            return quoted_message("an output resistance", shown,
                                  "It is 0 \u03A9 or more and finite.");
        case OpAmpSetting::amplitude_v:
            return quoted_message("an amplitude", shown, "It is above 0 V and finite.");
        default:
            return quoted_message("a frequency", shown, "It is above 0 Hz and finite.");
    }
}

std::string attenuation_line(double hz, double db) {
    return "Attenuation at " + format_number(hz) + " Hz from the DC gain, dB: " + format_number(db);
}

}  // namespace kestrane
