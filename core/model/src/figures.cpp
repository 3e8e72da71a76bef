#include "kestrane/model/figures.h"

#include "kestrane/model/response.h"
#include "kestrane/numeric/contract.h"

namespace kestrane {
namespace {

// The passband probes step down from half the cutoff by this fraction of it, a
// single-precision constant.
constexpr float kProbeStep = 0.02f;
// The phase is compared with the line at this many points, 1/500 of the band apart.
constexpr int kPhasePoints = 500;
constexpr double kPhasePointSpacing = 0.002;

}  // namespace

float passband_edge(const FilterComponents& components, const DesignTargets& targets) {
    KESTRANE_EXPECT(is_finite_design(components));
    float edge = targets.probe_hz;
    if (magnitude_at(components, whole_hz(edge)) >= kPassbandAmplitude) return edge;

    const float half_cutoff = to_single(0.5 * targets.cutoff_hz);
    for (int k = 1; k <= kPassbandProbes; ++k) {
        // k is a single-precision count; every whole number up to 50 is exact in it.
        const double frequency = (1.0 - static_cast<double>(k) * kProbeStep) * half_cutoff;
        edge = to_single(frequency);
        if (magnitude_at(components, whole_hz(frequency)) >= kPassbandAmplitude) break;
    }
    return edge;
}

double phase_deviation(const FilterComponents& components, double band_hz) {
    if (band_hz == 0) return 0;
    const double slope = phase_at(components, whole_hz(band_hz)) / band_hz;
    double largest = 0;
    for (int i = 0; i < kPhasePoints; ++i) {
        // The point is a single-precision count; every whole number below 500 is exact in it.
        const double point = i;
        const double line = point * slope * band_hz * kPhasePointSpacing;
        const double frequency = point * band_hz * kPhasePointSpacing;
        const double deviation = abs_single(line - phase_at(components, whole_hz(frequency)));
        if (deviation > largest) largest = deviation;
    }
    return largest;
}

}  // namespace kestrane
