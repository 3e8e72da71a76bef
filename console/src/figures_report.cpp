#include "kestrane/console/figures_report.h"

#include "kestrane/text/number_scan.h"
#include "kestrane/text/report_text.h"

namespace kestrane {

AnswerStatus report_figures(Console& console, const Design& design) {
    console.out << '\n' << passband_line(design.passband_edge_hz) << "\n\n";
    const RealAnswer band_hz =
        ask_real(console, "Phase-frequency variation in a band of, Hz: 0-", kBandNumberChars);
    if (band_hz.status != AnswerStatus::ok) return band_hz.status;
    console.out << deviation_line(half_phase_deviation(design, band_hz.value)) << "\n\n";
    return AnswerStatus::ok;
}

}  // namespace kestrane
