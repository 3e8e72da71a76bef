#include "figures_report.h"

#include "figures.h"
#include "number_scan.h"
#include "report_text.h"

namespace kestrane {

AnswerStatus report_figures(Console& console, const FilterComponents& components,
                            const DesignTargets& targets) {
    console.out << '\n' << passband_line(passband_edge(components, targets)) << "\n\n";
    const RealAnswer band_hz =
        ask_real(console, "Phase-frequency variation in a band of, Hz: 0-", kBandNumberChars);
    if (band_hz.status != AnswerStatus::ok) return band_hz.status;
    const double half_deviation = 0.5 * phase_deviation(components, band_hz.value);
    console.out << deviation_line(half_deviation) << "\n\n";
    return AnswerStatus::ok;
}

}  // namespace kestrane
