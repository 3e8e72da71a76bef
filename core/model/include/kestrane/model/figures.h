// The performance figures of a finished design: the passband edge and the phase deviation
// from a straight line over a band.
#pragma once

#include "kestrane/numeric/filter_records.h"

namespace kestrane {

// The threshold amplitude of the passband (the legend calls it 0.005 dB of pulsation).
inline constexpr double kPassbandAmplitude = 0.999;
// The passband probes stop at k = 50, the last one at or above 0 Hz.
inline constexpr int kPassbandProbes = 50;

// The upper edge of the passband in hertz, single precision: probe_hz when the amplitude
// there is at least 0.999, otherwise the first of (1 - k*0.02) * cutoff/2 for k = 1, 2, ...
// at which it is. Components that never reach 0.999 near 0 Hz give the k = 50 probe, a few
// parts in 10^8 of cutoff/2 (without that bound the probes would run below 0 Hz for ever).
// Components must be finite.
float passband_edge(const FilterComponents& components, const DesignTargets& targets);

// The largest deviation, in radians, of the phase from the straight line between 0 Hz and the
// phase at `band_hz`, over 500 points from 0 Hz to 499/500 of the band. The phase is taken
// at whole hertz; the line uses the exact band. Any double is accepted:
// - a negative band gives the same figure as its magnitude (the phase is odd in frequency,
//   and so is the line);
// - a band of 0 gives 0 (the line's slope would be 0/0);
// - any other band of magnitude below 1 Hz gives 0: every point truncates to 0 Hz, where the
//   phase and the line are both 0;
// - an infinite or not-a-number band gives 0, its line being not a number at every point.
double phase_deviation(const FilterComponents& components, double band_hz);

}  // namespace kestrane
