#include "plot_response.h"

#include <cmath>

namespace kestrane {
namespace {

// Widens `bounds` at `index` to take in `value`; a not-a-number leaves them as they are, and
// a not-a-number bound takes the value.
void widen(const PlotBounds& bounds, int index, double value) {
    bounds.lowest[index] = std::fmin(bounds.lowest[index], value);
    bounds.highest[index] = std::fmax(bounds.highest[index], value);
}

void start_bounds(const PlotBounds& bounds, int index, double value) {
    bounds.lowest[index] = value;
    bounds.highest[index] = value;
}

}  // namespace

void plot_frequencies(double low_hz, double high_hz, int points, double* hz) {
    const double log_low = std::log(low_hz);
    const double log_step = (std::log(high_hz) - log_low) / (points - 1);
    for (int i = 0; i < points; ++i) {
        hz[i] = i == 0 ? low_hz : i == points - 1 ? high_hz : std::exp(log_low + log_step * i);
    }
}

void plot_responses(const FilterComponents& components, const double* hz, int points, double* gain,
                    double* phase_deg, double* group_delay_s) {
    for (int i = 0; i < points; ++i) {
        const ModelPoint point = model_point(components, hz[i]);
        gain[i] = point.gain;
        phase_deg[i] = point.phase_deg;
        group_delay_s[i] = point.group_delay_s;
    }
}

void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, double* gain, double* phase_deg, double* group_delay_s) {
    plot_frequencies(low_hz, high_hz, points, hz);
    plot_responses(components, hz, points, gain, phase_deg, group_delay_s);
}

void plot_envelope(const FilterComponents& nominal, const PartTolerances& tolerances,
                   const double* hz, int points, const PlotEnvelope& envelope) {
    const ToleranceCorners corners = tolerance_corners(nominal, tolerances);
    for (int i = 0; i < points; ++i) {
        const ModelPoint middle = model_point(nominal, hz[i]);
        start_bounds(envelope.gain, i, middle.gain);
        start_bounds(envelope.phase_deg, i, middle.phase_deg);
        start_bounds(envelope.group_delay_s, i, middle.group_delay_s);
        for (const FilterComponents& corner : corners.corner) {
            const ModelPoint point = model_point(corner, hz[i]);
            widen(envelope.gain, i, point.gain);
            widen(envelope.phase_deg, i, point.phase_deg);
            widen(envelope.group_delay_s, i, point.group_delay_s);
        }
    }
}

}  // namespace kestrane
