#include "plot_response.h"

#include <cmath>
#include <numbers>

// The plots evaluate the core's own model arithmetic at frequencies between whole hertz.
#include "response_model.h"

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

PlotPoint plot_point(const FilterComponents& components, double hz) {
    const ResponseProducts products = response_products(components);
    const double s = static_cast<double>(components.R1) + static_cast<double>(components.R2);
    // H = 1 / (den + j num): num and den as in phase_at, formed in the same order.
    const double num_slope = s * components.C2 * kTwoPi;
    const double num = s * components.C2 * hz * kTwoPi;
    const double den = 1.0 - products.p * hz * hz * kTwoPiSquared;
    const double den_slope = -2.0 * products.p * hz * kTwoPiSquared;
    // The lag atan2(num, den) grows with frequency; its slope per hertz, over 6.28318, is the
    // group delay.
    const double lag = std::atan2(num, den);
    const double lag_slope = (num_slope * den - num * den_slope) / (num * num + den * den);
    constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
    return {amplitude(products.p, products.c2c2ss, hz), -lag * kDegreesPerRadian,
            lag_slope / kTwoPi};
}

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
        const PlotPoint point = plot_point(components, hz[i]);
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
        const PlotPoint middle = plot_point(nominal, hz[i]);
        start_bounds(envelope.gain, i, middle.gain);
        start_bounds(envelope.phase_deg, i, middle.phase_deg);
        start_bounds(envelope.group_delay_s, i, middle.group_delay_s);
        for (const FilterComponents& corner : corners.corner) {
            const PlotPoint point = plot_point(corner, hz[i]);
            widen(envelope.gain, i, point.gain);
            widen(envelope.phase_deg, i, point.phase_deg);
            widen(envelope.group_delay_s, i, point.group_delay_s);
        }
    }
}

}  // namespace kestrane
