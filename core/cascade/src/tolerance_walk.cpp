#include "tolerance_walk.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kestrane::tolerance_walk {
namespace {

constexpr double kLargestStep = 0.05;
constexpr double kSmallestStep = 1e-12;
// The grid holds a few thousand points for tolerances of a few percent; the bound only guards
// against a loop without end.
constexpr std::size_t kMostGridPoints = std::size_t{1} << 22;
// Below this Q a second-order stage's real poles part far from f0 (see chord_distance).
constexpr double kSplitPolesQ = 0.3;

// The relative step after `hz` (see grid_points).
double step_after(const Spread& spread, double hz) {
    double step = kLargestStep;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        if (s.order != 2) continue;
        double distance = 0;
        if (hz < s.f0_low) distance = (s.f0_low - hz) / s.f0_low;
        if (hz > s.f0_high) distance = (hz - s.f0_high) / hz;
        step = std::fmin(step, std::fmax(distance, 1 / s.q_high) / 10);
    }
    return std::fmax(step, kSmallestStep);
}

}  // namespace

Build build_of(std::span<const StageCircuit> stages) {
    Build build;
    for (const StageCircuit& s : stages)
        build.add(coefficients_of(s.order, s.parts));
    return build;
}

Spread spread_of(const CascadeBox& box) {
    Spread spread;
    for (int k = 0; k < box.stage_count; ++k) {
        const ToleranceBox& b = box.box[k];
        if (box.order[k] == 1) {
            spread.stage[spread.count++] = {1, first_order_hz(b.high.R1 * b.high.C1),
                                            first_order_hz(b.low.R1 * b.low.C1), 1, 1};
        } else {
            const ValueRange q = box_q_range(b);
            spread.stage[spread.count++] = {2, natural_frequency_hz(b.high),
                                            natural_frequency_hz(b.low), q.low, q.high};
        }
    }
    return spread;
}

Spread spread_of(std::span<const StageCircuit> stages) {
    Spread spread;
    for (const StageCircuit& s : stages) {
        if (s.order == 1) {
            const double f0 = first_order_hz(s.parts.R1 * s.parts.C1);
            spread.stage[spread.count++] = {1, f0, f0, 1, 1};
        } else {
            const double f0 = natural_frequency_hz(s.parts);
            const double q = quality_factor(s.parts);
            spread.stage[spread.count++] = {2, f0, f0, q, q};
        }
    }
    return spread;
}

std::vector<double> grid_points(const Spread& spread) {
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        lowest = std::fmin(lowest, s.f0_low * std::fmin(s.q_low, 1));
        highest = std::fmax(highest, s.f0_high);
    }
    const double top = 2 * highest;
    std::vector<double> points;
    double hz = std::fmax(lowest * 1e-8, std::numeric_limits<double>::min());
    while (points.size() < kMostGridPoints) {
        points.push_back(hz);
        if (hz > top) break;
        hz *= 1 + step_after(spread, hz);
    }
    return points;
}

double chord_distance(const Spread& spread, double lo, double hi) {
    double k_sum = 0;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        const double peak = s.order == 2 ? std::fmax(8 * s.q_high * s.q_high, 4) : 1;
        double d = 0;
        if (s.f0_high < lo) d = (lo - s.f0_high) / lo;
        if (s.f0_low > hi) d = (s.f0_low - hi) / s.f0_low;
        const bool split = s.order == 2 && s.q_low < kSplitPolesQ;
        const double far = d > 0 && !split ? 2 / (d * d) : peak;
        k_sum += far < peak ? far : peak;
    }
    const double delta = hi / lo - 1;
    return k_sum * delta * delta / 8;
}

double clearing_value(double x, double level, bool last) {
    if (!(x < 1)) return last ? std::numeric_limits<double>::infinity() : 0;
    return last ? level / (1 - x) : level * (1 - x);
}

bool clear_between(const Spread& spread, double lo, double d_lo, double hi, double d_hi,
                   double level, bool last) {
    if (!(lo > 0)) return false;
    const double value = clearing_value(chord_distance(spread, lo, hi), level, last);
    return last ? d_lo > value && d_hi > value : d_lo < value && d_hi < value;
}

double stretch_clearing(const std::vector<double>& hz, std::size_t i, std::size_t stride,
                        const Spread& spread, BuildCutoff cutoff) {
    if (i + stride >= hz.size() || !(hz[i] > 0)) {
        return clearing_value(1, cutoff.loss, cutoff.last);
    }
    const double x = chord_distance(spread, hz[i], hz[i + stride]);
    return clearing_value(x, cutoff.loss, cutoff.last);
}

WalkPoints walk_points(std::vector<double> hz, const Spread& spread, BuildCutoff cutoff,
                       bool tabled) {
    WalkPoints p;
    p.hz = std::move(hz);
    for (const double f : p.hz)
        p.w2.push_back(angular_squared(f));
    if (!tabled) return p;
    for (std::size_t s = 0; s < kStrideLevels; ++s) {
        for (std::size_t i = 0; i < p.hz.size(); ++i)
            p.clear[s].push_back(stretch_clearing(p.hz, i, std::size_t{1} << s, spread, cutoff));
    }
    return p;
}

Bracket build_crossing(const WalkPoints& p, const Spread& spread, BuildCutoff cutoff,
                       const Build& build) {
    const auto loss = [&](double hz) { return build.loss(hz); };
    if (cutoff.last) return build_last_down(p, loss, spread, cutoff, build);
    return build_first_up(p, loss, spread, cutoff, build);
}

}  // namespace kestrane::tolerance_walk
