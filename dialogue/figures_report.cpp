#include "figures_report.h"

#include "figures.h"
#include "number_reader.h"
#include "number_writer.h"

namespace kestrane {

bool report_figures(Console& console, const FilterComponents& components,
                    const DesignTargets& targets) {
    const float edge = passband_edge(components, targets);
    console.out << "\nPassband, Hz: 0-" << format_number(edge)
                << " (amplitude pulsation 0.005dB)\n\n";
    const auto band_hz =
        ask_real(console, "Phase-frequency variation in a band of, Hz: 0-", kBandNumberChars);
    if (!band_hz) return false;
    const double half_deviation = 0.5 * phase_deviation(components, *band_hz);
    console.out << "+/-" << format_number(half_deviation) << " radian.\n\n";
    return true;
}

}  // namespace kestrane
