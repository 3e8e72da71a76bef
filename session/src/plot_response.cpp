#include "kestrane/session/plot_response.h"

#include <cmath>
#include <cstddef>

#include "kestrane/model/response.h"
#include "kestrane/numeric/portable_math.h"

namespace kestrane {
namespace {

template <typename Point>
void put(const PlotCurve& curve, int index, const Point& point) {
    curve.gain[index] = point.gain;
    curve.phase_deg[index] = point.phase_deg;
    curve.group_delay_s[index] = point.group_delay_s;
}

void put_range(const PlotBounds& bounds, std::size_t index, const ValueRange& range) {
    bounds.lowest[index] = range.low;
    bounds.highest[index] = range.high;
}

}  // namespace

void plot_frequencies(double low_hz, double high_hz, int points, double* hz) {
    const double log_low = portable::log(low_hz);
    const double log_step = (portable::log(high_hz) - log_low) / (points - 1);
    for (int i = 0; i < points; ++i) {
        hz[i] = i == 0 ? low_hz : i == points - 1 ? high_hz : portable::exp(log_low + log_step * i);
    }
}

void plot_responses(const FilterComponents& components, const double* hz, int points,
                    const PlotCurve& curve) {
    for (int i = 0; i < points; ++i)
        put(curve, i, model_point(components, hz[i]));
}

void plot_samples(const FilterComponents& components, double low_hz, double high_hz, int points,
                  double* hz, const PlotCurve& curve) {
    plot_frequencies(low_hz, high_hz, points, hz);
    plot_responses(components, hz, points, curve);
}

void plot_circuit(const CircuitParts& parts, const double* hz, int points, const PlotCurve& curve) {
    for (int i = 0; i < points; ++i)
        put(curve, i, circuit_point(parts, hz[i]));
}

void plot_opamp(const TransferFunction& h, const double* hz, int points, const PlotCurve& curve) {
    for (int i = 0; i < points; ++i)
        put(curve, i, response_at(h, hz[i]));
}

void plot_bands(const ToleranceBox& box, std::span<const double> hz,
                std::span<ResponseBand> scratch, const PlotEnvelope& envelope) {
    box_response_bands(box, hz, scratch);
    put_bands(scratch, envelope);
}

void put_bands(std::span<const ResponseBand> bands, const PlotEnvelope& envelope) {
    for (std::size_t i = 0; i < bands.size(); ++i) {
        put_range(envelope.gain, i, bands[i].gain);
        put_range(envelope.phase_deg, i, bands[i].phase_deg);
        put_range(envelope.group_delay_s, i, bands[i].group_delay_s);
    }
}

}  // namespace kestrane
