#include "parts_report.h"

#include <charconv>
#include <cmath>

#include "number_writer.h"

namespace kestrane {

bool is_tolerance_percent(double percent) {
    return percent >= 0 && percent < 100;
}

std::string tolerance_message(std::string_view shown) {
    std::string message = "Not a tolerance: \"";
    message.append(shown);
    message.append("\". Tolerances run from 0 to below 100 %.");
    return message;
}

std::string percent_text(double percent) {
    constexpr double kLargestFixed = 1e6;
    if (!(std::fabs(percent) < kLargestFixed)) return format_number(percent);
    char digits[16];
    const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(percent),
                                       std::chars_format::fixed, 2);
    const std::string magnitude(digits, written.ptr);
    if (magnitude == "0.00") return magnitude;
    return (percent < 0 ? "-" : "+") + magnitude;
}

std::string achieved_cutoff_line(const PartsAnalysis& analysis) {
    if (!analysis.cutoff.found) return "Achieved cutoff: none, the gain never falls to 0.7071";
    return "Achieved cutoff: " + format_number(analysis.cutoff.hertz) + " Hz (" +
           percent_text(analysis.cutoff_error_percent) + " %)";
}

std::string cutoff_spread_line(const PartTolerances& tolerances, const CutoffRange& range) {
    std::string line = "Cutoff with " + format_number(tolerances.resistor_percent) + " % R, " +
                       format_number(tolerances.capacitor_percent) + " % C: ";
    if (!range.found) return line + "no cutoff at some corner";
    return line + format_number(range.lowest_hz) + " to " + format_number(range.highest_hz) + " Hz";
}

}  // namespace kestrane
