#include "parts_report.h"

#include "number_writer.h"
#include "parts_text.h"

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
