// The filter's response between whole hertz, for the page's plots: the design core's model
// evaluated at any frequency, with the phase followed through the natural frequency.
#pragma once

#include "filter_records.h"

namespace kestrane {

struct PlotPoint {
    double gain;           // |H|, dimensionless; the core's amplitude at any real frequency
    double phase_deg;      // the phase of H in degrees, 0 at 0 Hz falling towards -180
    double group_delay_s;  // -d(phase)/d(omega) in seconds, omega = 6.28318 x frequency
};

// The response of `components` at `hz` hertz (any real value). The gain is the core's
// amplitude formula with the frequency not truncated, so at a whole number of hertz it equals
// magnitude_at bit for bit. The phase uses the same numerator and denominator as phase_at but
// a two-argument arctangent, so it runs on past the natural frequency instead of jumping from
// +90 to -90 degrees; below the natural frequency it is phase_at in degrees with the sign
// turned to the usual one (a lag is negative). Values that overflow come out infinite or
// not a number; the caller leaves such points out of a plot.
PlotPoint plot_point(const FilterComponents& components, double hz);

// Fills `hz`, `gain`, `phase_deg` and `group_delay_s` with `points` samples spaced evenly in
// log frequency from `low_hz` to `high_hz` (both > 0, low below high, points >= 2), the first
// and last exactly at the ends.
void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, double* gain, double* phase_deg, double* group_delay_s);

}  // namespace kestrane
