// What the session's sources share: how settings compare, when a product is fresh, and the
// curves' helpers. Internal to the session library.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "kestrane/numeric/response_point.h"
#include "kestrane/session/plot_response.h"
#include "kestrane/session/session.h"

namespace kestrane {

// Settings compare by their bits, so that a not-a-number equals itself and -0 differs from 0:
// a setting is changed exactly when what it could make differs.
inline bool same(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
inline bool same(int a, int b) {
    return a == b;
}
inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](double x, double y) { return same(x, y); });
}
inline bool same(const PartTolerances& a, const PartTolerances& b) {
    return same(a.resistor_percent, b.resistor_percent) &&
           same(a.capacitor_percent, b.capacitor_percent);
}
inline bool same(const OpAmpChoice& a, const OpAmpChoice& b) {
    return same(a.gbw_mhz, b.gbw_mhz) && same(a.open_loop_gain_db, b.open_loop_gain_db) &&
           same(a.output_ohm, b.output_ohm);
}
inline bool same(const std::pair<PartsMethod, SeriesPair>& a,
                 const std::pair<PartsMethod, SeriesPair>& b) {
    return a.first == b.first && a.second.resistors == b.second.resistors &&
           a.second.capacitors == b.second.capacitors;
}
inline bool same(const std::pair<double, double>& a, const std::pair<double, double>& b) {
    return same(a.first, b.first) && same(a.second, b.second);
}
template <typename T>
inline bool same(const std::optional<T>& a, const std::optional<T>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || same(*a, *b);
}

// True when `made` was made after every one of `inputs` last changed or was made.
template <typename T>
bool fresh(const Made<T>& made, std::initializer_list<std::uint64_t> inputs) {
    if (made.stamp == 0) return false;
    return std::all_of(inputs.begin(), inputs.end(),
                       [&](std::uint64_t at) { return at < made.stamp; });
}

// Forgets a product whose inputs are missing: it is empty, and made again once they are back.
template <typename T>
void forget(Made<T>& made) {
    made.value = T{};
    made.stamp = 0;
}

inline Curve sized_curve(std::size_t points) {
    return {std::vector<double>(points), std::vector<double>(points), std::vector<double>(points),
            std::vector<double>(points)};
}

// The gains of `curve` in dB.
inline void add_decibels(Curve& curve) {
    for (std::size_t i = 0; i < curve.gain.size(); ++i)
        curve.gain_db[i] = decibels(curve.gain[i]);
}

// Where the bands go: the lowest and highest curves' columns (sized).
inline PlotEnvelope envelope_of(BandCurves& bands) {
    return {{bands.lowest.gain.data(), bands.highest.gain.data()},
            {bands.lowest.phase_deg.data(), bands.highest.phase_deg.data()},
            {bands.lowest.group_delay_s.data(), bands.highest.group_delay_s.data()}};
}

inline bool same(const CascadeRequest& a, const CascadeRequest& b) {
    return a.response == b.response && a.order == b.order && same(a.ripple_db, b.ripple_db) &&
           a.edge == b.edge;
}
inline bool same(const PassStopSpec& a, const PassStopSpec& b) {
    return same(a.passband_hz, b.passband_hz) && same(a.passband_loss_db, b.passband_loss_db) &&
           same(a.stopband_hz, b.stopband_hz) && same(a.stopband_loss_db, b.stopband_loss_db);
}

// Point `index` of `curve` (sized) set to `point`; its gain in dB is made by add_decibels.
inline void put_point(Curve& curve, std::size_t index, const ResponsePoint& point) {
    curve.gain[index] = point.gain;
    curve.phase_deg[index] = point.phase_deg;
    curve.group_delay_s[index] = point.group_delay_s;
}

// The step curves of samples with the op-amp and of samples at the same times with the ideal
// op-amp.
inline StepCurves step_curves_of(const std::vector<StepSample>& with_opamp,
                                 const std::vector<StepSample>& ideal) {
    StepCurves curves;
    for (std::size_t i = 0; i < with_opamp.size(); ++i) {
        curves.t_s.push_back(with_opamp[i].t_s);
        curves.with_opamp.push_back(with_opamp[i].value);
        curves.ideal.push_back(ideal[i].value);
    }
    return curves;
}

template <typename T>
void Session::change(Setting<T>& setting, const T& value) {
    if (setting.changed != 0 && same(setting.value, value)) return;
    setting.value = value;
    setting.changed = tick();
}

}  // namespace kestrane
