#include "plot_response.h"

#include <cmath>
#include <numbers>

#include "response.h"

namespace kestrane {

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

void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, double* gain, double* phase_deg, double* group_delay_s) {
    const double log_low = std::log(low_hz);
    const double log_step = (std::log(high_hz) - log_low) / (points - 1);
    for (int i = 0; i < points; ++i) {
        const double f = i == 0            ? low_hz
                         : i == points - 1 ? high_hz
                                           : std::exp(log_low + log_step * i);
        const PlotPoint point = plot_point(components, f);
        hz[i] = f;
        gain[i] = point.gain;
        phase_deg[i] = point.phase_deg;
        group_delay_s[i] = point.group_delay_s;
    }
}

}  // namespace kestrane
