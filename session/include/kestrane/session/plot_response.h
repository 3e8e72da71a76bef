// The filter's responses at the plotted frequencies, for the page's plots: the design core's
// model between whole hertz (with the phase followed through the natural frequency), the
// shown set's real circuit with the ideal op-amp and with the op-amp model, and the band the
// parts' tolerances allow the real circuit over the whole tolerance box.
#pragma once

#include <span>

#include "kestrane/circuit/circuit.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/numeric/filter_records.h"

namespace kestrane {

// Fills `hz` with `points` frequencies spaced evenly in log frequency from `low_hz` to
// `high_hz` (both > 0, low below high, points >= 2), the first and last exactly at the ends.
void plot_frequencies(double low_hz, double high_hz, int points, double* hz);

// Where one curve's values go, one per frequency.
struct PlotCurve {
    double* gain;
    double* phase_deg;
    double* group_delay_s;
};

// model_point of `components` at each of the `points` frequencies of `hz`.
void plot_responses(const FilterComponents& components, const double* hz, int points,
                    const PlotCurve& curve);

// plot_frequencies, then plot_responses at them.
void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, const PlotCurve& curve);

// circuit_point of `parts` (the real circuit with the ideal op-amp) at each frequency of `hz`.
void plot_circuit(const CircuitParts& parts, const double* hz, int points, const PlotCurve& curve);

// response_at of `h` (the circuit with an op-amp) at each frequency of `hz`.
void plot_opamp(const TransferFunction& h, const double* hz, int points, const PlotCurve& curve);

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

// box_response_bands of `box` at the frequencies of `hz` (each positive and finite), through
// `scratch` (as long as `hz`), written into `envelope`.
void plot_bands(const ToleranceBox& box, std::span<const double> hz,
                std::span<ResponseBand> scratch, const PlotEnvelope& envelope);

// Bands already made, one per plotted frequency, written into `envelope` (as long as `bands`).
void put_bands(std::span<const ResponseBand> bands, const PlotEnvelope& envelope);

}  // namespace kestrane
