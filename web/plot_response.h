// The filter's response between whole hertz, for the page's plots: the design core's model
// evaluated at any frequency, with the phase followed through the natural frequency, and its
// spread over the parts' tolerances.
#pragma once

#include "filter_records.h"
#include "part_analysis.h"
#include "response.h"

namespace kestrane {

// Fills `hz` with `points` frequencies spaced evenly in log frequency from `low_hz` to
// `high_hz` (both > 0, low below high, points >= 2), the first and last exactly at the ends.
void plot_frequencies(double low_hz, double high_hz, int points, double* hz);

// Fills `gain`, `phase_deg` and `group_delay_s` with model_point of `components` at each of the
// `points` frequencies of `hz`.
void plot_responses(const FilterComponents& components, const double* hz, int points, double* gain,
                    double* phase_deg, double* group_delay_s);

// plot_frequencies, then plot_responses at them.
void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, double* gain, double* phase_deg, double* group_delay_s);

// Where the lowest and highest value of one response quantity go, one per frequency.
struct PlotBounds {
    double* lowest;
    double* highest;
};

// The envelope of gain, phase and group delay, each with its own bounds.
struct PlotEnvelope {
    PlotBounds gain;
    PlotBounds phase_deg;
    PlotBounds group_delay_s;
};

// The lowest and highest model_point values over `nominal` and its 16 tolerance corners
// (tolerance_corners) at each of the `points` frequencies of `hz`, taken at those frequencies
// as they stand, like the plotted curves: so plot_responses of `nominal` at the same
// frequencies lies inside, bit for bit. Values that are not a number are left out; where all
// 17 are, both bounds are not a number.
void plot_envelope(const FilterComponents& nominal, const PartTolerances& tolerances,
                   const double* hz, int points, const PlotEnvelope& envelope);

}  // namespace kestrane
