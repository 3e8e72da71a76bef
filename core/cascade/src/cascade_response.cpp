#include "kestrane/cascade/cascade_response.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "core_arithmetic.h"
#include "real_functions.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr ResponsePoint kNoPoint{kNotANumber, kNotANumber, kNotANumber};
constexpr Peak kNoPeak{kNotANumber, kNotANumber};
constexpr double kDegreesPerRadian = 180 / std::numbers::pi;

// Maxima closer than this (relative) count as equal: well above the few ulps to which each is
// found, well below any difference that matters in a filter (1e-11 dB).
constexpr double kEqualPeaks = 1e-12;
constexpr double kSmallestStep = 1e-12;
// The stage frequencies the grid serves: 1e-8 of the lowest and twice the highest stay normal
// and finite.
constexpr double kLowestF0Hz = 1e-290;
constexpr double kHighestF0Hz = 1e300;

bool is_valid_stage(const Stage& stage) {
    if (!(stage.f0_hz >= kLowestF0Hz && stage.f0_hz <= kHighestF0Hz)) return false;
    return stage.order == 1 || (stage.order == 2 && is_positive_finite(stage.q));
}

bool is_valid_cascade(std::span<const Stage> stages) {
    for (const Stage& stage : stages) {
        if (!is_valid_stage(stage)) return false;
    }
    return true;
}

bool is_valid_frequency(double hz) {
    return hz >= 0 && std::isfinite(hz);
}

// One stage at v = f/f0 with w0 = 2 pi f0: D = 1/H = (1 - v^2) + j v/Q or 1 + j v; gain
// 1/|D|, phase -arg D, group delay B (1 + w^2 A) / |D|^2 with A = 1/w0^2, B = 1/(Q w0) (or
// 1/w0 / |D|^2). Above v = 1, D is divided by v^2 (or v) first, which keeps its angle, so
// that nothing overflows at any finite frequency.
ResponsePoint second_order_point(double v, double q, double w0) {
    if (v <= 1) {
        const double re = (1 - v) * (1 + v);
        const double im = v / q;
        const double squared = re * re + im * im;
        return {1 / std::sqrt(squared), -portable::atan2(im, re) * kDegreesPerRadian,
                (1 + v * v) / (w0 * q * squared)};
    }
    // D / v^2 = (t^2 - 1) + j t / Q with t = 1/v: the same angle, |D| = |D / v^2| / t^2, and
    // (1 + v^2) / |D|^2 = (t^2 + 1) t^2 / |D / v^2|^2.
    const double t = 1 / v;
    const double re = (t - 1) * (t + 1);
    const double im = t / q;
    const double squared = re * re + im * im;
    return {t * t / std::sqrt(squared), -portable::atan2(im, re) * kDegreesPerRadian,
            (t * t + 1) * t * t / (w0 * q * squared)};
}

ResponsePoint first_order_point(double v, double w0) {
    if (v <= 1) {
        const double squared = 1 + v * v;
        return {1 / std::sqrt(squared), -portable::atan2(v, 1) * kDegreesPerRadian,
                1 / (w0 * squared)};
    }
    const double t = 1 / v;
    const double squared = 1 + t * t;
    return {t / std::sqrt(squared), -portable::atan2(1, t) * kDegreesPerRadian,
            t * t / (w0 * squared)};
}

// |D|^2 = |1/H|^2 of a stage at u = (f/f0)^2 and its logarithmic slope u d(ln |D|^2)/du:
// (1 - u)^2 + u/Q^2 with slope u (2 (u - 1) + 1/Q^2) / |D|^2, or 1 + u with u / (1 + u).
struct Denominator {
    double squared;
    double log_slope;
};

Denominator denominator(const Stage& stage, double hz) {
    const double v = hz / stage.f0_hz;
    const double u = v * v;
    if (stage.order == 1) return {1 + u, u / (1 + u)};
    const double re = (1 - v) * (1 + v);
    const double damping = 1 / (stage.q * stage.q);
    const double squared = re * re + u * damping;
    return {squared, u * (damping - 2 * re) / squared};
}

// Product of the stages' |1/H|^2.
double inverse_gain_squared(std::span<const Stage> stages, double hz) {
    double product = 1;
    for (const Stage& stage : stages)
        product *= denominator(stage, hz).squared;
    return product;
}

double cascade_gain(std::span<const Stage> stages, double hz) {
    double gain = 1;
    for (const Stage& stage : stages)
        gain /= std::sqrt(denominator(stage, hz).squared);
    return gain;
}

// f^2 d(ln |1/H|^2)/d(f^2) of the cascade: negative while its gain rises, positive while it
// falls. A sum of the stages' own slopes, each accurate to a few ulps.
double log_slope(std::span<const Stage> stages, double hz) {
    double sum = 0;
    for (const Stage& stage : stages)
        sum += denominator(stage, hz).log_slope;
    return sum;
}

// The graded grid of peak_gain and cascade_cutoff_hz (see cascade_response.h). Its smallest
// relative step, 1e-12, is a tenth of the bandwidth of a Q of 1e11; higher Qs are sampled
// more coarsely than their width (and no step rounds away to nothing).
struct Grid {
    std::span<const Stage> stages;
    double low = 0;
    double high = 0;

    double next(double hz) const {
        double step = 0.05;
        for (const Stage& stage : stages) {
            if (stage.order != 2) continue;
            const double distance = std::fabs(hz - stage.f0_hz) / std::fmax(hz, stage.f0_hz);
            step = std::fmin(step, std::fmax(distance, 1 / stage.q) / 10);
        }
        return hz * (1 + std::fmax(step, kSmallestStep));
    }
};

Grid grid_of(std::span<const Stage> stages) {
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0;
    for (const Stage& stage : stages) {
        const double damped = stage.order == 2 ? std::fmin(stage.q, 1) : 1;
        lowest = std::fmin(lowest, stage.f0_hz * damped);
        highest = std::fmax(highest, stage.f0_hz);
    }
    return {stages, std::fmax(lowest * 1e-8, std::numeric_limits<double>::min()), 2 * highest};
}

// The grid holds well under a million points for any valid cascade; the bound only guards
// against a loop without end.
constexpr int kMaxGridPoints = 1 << 22;

// The largest gain near a grid maximum in [low, high]: the root of the log slope when it
// changes sign there, else a golden-section search on the gain; never below the grid's value.
Peak refine_peak(std::span<const Stage> stages, double low, double high, Peak sampled) {
    const auto slope = [&](double hz) { return log_slope(stages, hz); };
    const double slope_low = slope(low);
    const double slope_high = slope(high);
    double hz = 0;
    if (slope_low < 0 && slope_high > 0) {
        hz = bracketed_root(slope, low, high, slope_low, slope_high);
    } else {
        hz = golden_maximum([&](double f) { return cascade_gain(stages, f); }, low, high);
    }
    const Peak refined{cascade_gain(stages, hz), hz};
    return refined.gain >= sampled.gain ? refined : sampled;
}

// The candidates for the largest gain: DC and each refined grid maximum that rises above it.
struct PeakCandidates {
    // A cascade has about one maximum above DC per resonant stage: room to spare.
    static constexpr int kCapacity = 32;
    int count = 0;
    Peak peaks[kCapacity];

    // When full, the new one replaces the lowest if it is higher.
    void add(Peak peak) {
        if (count < kCapacity) {
            peaks[count++] = peak;
            return;
        }
        int lowest = 0;
        for (int i = 1; i < count; ++i) {
            if (peaks[i].gain < peaks[lowest].gain) lowest = i;
        }
        if (peak.gain > peaks[lowest].gain) peaks[lowest] = peak;
    }

    // The lowest frequency among those within kEqualPeaks of the largest gain, DC included.
    Peak best() const {
        double largest = 1;
        for (int i = 0; i < count; ++i)
            largest = std::fmax(largest, peaks[i].gain);
        Peak chosen{1, 0};
        if ((1 + kEqualPeaks) >= largest) return chosen;
        chosen.hz = std::numeric_limits<double>::infinity();
        for (int i = 0; i < count; ++i) {
            if (peaks[i].gain * (1 + kEqualPeaks) >= largest && peaks[i].hz < chosen.hz) {
                chosen = peaks[i];
            }
        }
        return chosen;
    }
};

// The first frequency, going up, where the product of |1/H|^2 reaches `target` (above 1).
double first_crossing(std::span<const Stage> stages, double target) {
    const Grid grid = grid_of(stages);
    const auto gap = [&](double hz) { return inverse_gain_squared(stages, hz) - target; };
    double below = 0;
    double gap_below = 1 - target;
    double hz = grid.low;
    for (int i = 0; i < kMaxGridPoints; ++i, hz = grid.next(hz)) {
        const double gap_here = gap(hz);
        if (gap_here >= 0) return bracketed_root(gap, below, hz, gap_below, gap_here);
        below = hz;
        gap_below = gap_here;
        if (hz > grid.high) break;
    }
    return kNotANumber;
}

// The last frequency where the product of |1/H|^2 rises through `target`.
double last_crossing(std::span<const Stage> stages, double target) {
    const Grid grid = grid_of(stages);
    const auto gap = [&](double hz) { return inverse_gain_squared(stages, hz) - target; };
    double previous = 0;
    double gap_previous = 1 - target;
    double crossing_low = kNotANumber;
    double crossing_high = kNotANumber;
    double hz = grid.low;
    for (int i = 0; i < kMaxGridPoints && previous <= grid.high; ++i, hz = grid.next(hz)) {
        const double gap_here = gap(hz);
        if (gap_previous <= 0 && gap_here > 0) {
            crossing_low = previous;
            crossing_high = hz;
        }
        previous = hz;
        gap_previous = gap_here;
    }
    if (std::isnan(crossing_low)) return kNotANumber;
    return bracketed_root(gap, crossing_low, crossing_high, gap(crossing_low), gap(crossing_high));
}

}  // namespace

ResponsePoint stage_point(const Stage& stage, double hz) {
    if (!is_valid_stage(stage) || !is_valid_frequency(hz)) return kNoPoint;
    const double v = hz / stage.f0_hz;
    const double w0 = kExactTwoPi * stage.f0_hz;
    return stage.order == 2 ? second_order_point(v, stage.q, w0) : first_order_point(v, w0);
}

ResponsePoint cascade_point(std::span<const Stage> stages, double hz) {
    if (!is_valid_cascade(stages) || !is_valid_frequency(hz)) return kNoPoint;
    ResponsePoint sum{1, 0, 0};
    for (const Stage& stage : stages) {
        const ResponsePoint point = stage_point(stage, hz);
        sum.gain *= point.gain;
        sum.phase_deg += point.phase_deg;
        sum.group_delay_s += point.group_delay_s;
    }
    return sum;
}

ResponsePoint output_point(const CascadeDesign& design, int k, double hz) {
    if (k < 1 || k > design.stage_count) return kNoPoint;
    return cascade_point(stages_of(design).first(static_cast<std::size_t>(k)), hz);
}

Peak peak_gain(std::span<const Stage> stages) {
    if (stages.empty() || !is_valid_cascade(stages)) return kNoPeak;
    const Grid grid = grid_of(stages);
    PeakCandidates candidates;
    // A sliding window of three grid points: a maximum at the middle one is refined between
    // the outer two. A grid maximum within kEqualPeaks / 2 of DC's gain is not: its true height
    // exceeds the sampled one by far less than its rise above DC, so it cannot beat DC by
    // kEqualPeaks (and near DC a maximally flat cascade rounds to many such maxima).
    Peak before{1, 0};
    Peak middle{cascade_gain(stages, grid.low), grid.low};
    double hz = grid.next(grid.low);
    for (int i = 0; i < kMaxGridPoints && middle.hz <= grid.high; ++i, hz = grid.next(hz)) {
        const Peak after{cascade_gain(stages, hz), hz};
        if (middle.gain >= before.gain && middle.gain > after.gain &&
            middle.gain > 1 + kEqualPeaks / 2) {
            candidates.add(refine_peak(stages, before.hz, after.hz, middle));
        }
        before = middle;
        middle = after;
    }
    return candidates.best();
}

Peak output_peak(const CascadeDesign& design, int k) {
    if (k < 1 || k > design.stage_count) return kNoPeak;
    return peak_gain(stages_of(design).first(static_cast<std::size_t>(k)));
}

GainRange gain_range_up_to(std::span<const Stage> stages, double hz) {
    if (stages.empty() || !is_valid_cascade(stages) || !is_positive_finite(hz)) {
        return {kNotANumber, kNotANumber};
    }
    GainRange range{1, 1};
    const auto take = [&](double f) {
        const double gain = cascade_gain(stages, f);
        range.least = std::fmin(range.least, gain);
        range.greatest = std::fmax(range.greatest, gain);
    };
    const auto slope = [&](double f) { return log_slope(stages, f); };
    const Grid grid = grid_of(stages);
    double below = std::fmin(grid.low, hz);
    double slope_below = slope(below);
    take(below);
    for (int i = 0; i < kMaxGridPoints && below < hz; ++i) {
        const double above = std::fmin(grid.next(below), hz);
        const double slope_above = slope(above);
        take(above);
        if ((slope_below < 0) != (slope_above < 0)) {
            take(bracketed_root(slope, below, above, slope_below, slope_above));
        }
        below = above;
        slope_below = slope_above;
    }
    return range;
}

CutoffRule cutoff_rule(const CascadeRequest& request) {
    if (request.response == Response::linkwitz_riley) return {CutoffLevel::half_amplitude, 0};
    if (request.response == Response::chebyshev && request.edge == ChebyshevEdge::ripple_edge) {
        return {CutoffLevel::ripple_edge, request.ripple_db};
    }
    return {CutoffLevel::half_power, 0};
}

double cascade_cutoff_hz(std::span<const Stage> stages, CutoffRule rule) {
    if (stages.empty() || !is_valid_cascade(stages)) return kNotANumber;
    switch (rule.level) {
        case CutoffLevel::half_power:
            return first_crossing(stages, 2);
        case CutoffLevel::half_amplitude:
            return first_crossing(stages, 4);
        case CutoffLevel::ripple_edge: {
            if (!(rule.ripple_db >= kMinRippleDb && rule.ripple_db <= kMaxRippleDb)) break;
            // |H| = peak / 10^(r/20): |1/H|^2 = 10^(r/10) / peak^2.
            const double peak = peak_gain(stages).gain;
            const double power_ratio = 1 + cascade_math::power_ratio_minus_one(rule.ripple_db);
            return last_crossing(stages, power_ratio / (peak * peak));
        }
    }
    return kNotANumber;
}

}  // namespace kestrane
