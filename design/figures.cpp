#include "figures.h"

#include "response.h"

namespace kestrane {

float passband_edge(const FilterComponents& components, const DesignTargets& targets) {
    float edge = targets.probe_hz;
    if (magnitude_at(components, whole_hz(edge)) >= kPassbandAmplitude) return edge;

    const float half_cutoff = static_cast<float>(0.5 * targets.cutoff_hz);
    constexpr float kProbeStep = 0.02f;
    float k = 0;
    for (int probe = 1; probe <= kPassbandProbes; ++probe) {
        k = k + 1;
        const double frequency = (1.0 - static_cast<double>(k) * kProbeStep) * half_cutoff;
        edge = static_cast<float>(frequency);
        if (magnitude_at(components, whole_hz(frequency)) >= kPassbandAmplitude) break;
    }
    return edge;
}

double phase_deviation(const FilterComponents& components, double band_hz) {
    const double slope = phase_at(components, whole_hz(band_hz)) / band_hz;
    double largest = 0;
    float point = 0;
    for (int i = 0; i < 500; ++i, point = point + 1) {
        const double line = point * slope * band_hz * 0.002;
        const double frequency = point * band_hz * 0.002;
        const double deviation = abs_single(line - phase_at(components, whole_hz(frequency)));
        if (deviation > largest) largest = deviation;
    }
    return largest;
}

}  // namespace kestrane
