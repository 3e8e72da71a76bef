#include "part_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "figures.h"
#include "response.h"
#include "response_model.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// The gain^-2 of the model as a polynomial in u = f^2: (1 - a u)^2 + b u with
// a = P * 39.478 and b = C2^2 S^2 * 39.478, the products formed as magnitude_at forms them.
struct GainPolynomial {
    double a;
    double b;
};

GainPolynomial gain_polynomial(const FilterComponents& parts) {
    const ResponseProducts products = response_products(parts);
    return {products.p * kTwoPiSquared, products.c2c2ss * kTwoPiSquared};
}

// sqrt(x^2 + y^2) for finite x and y, with the squares scaled by a power of two so that they
// neither overflow nor underflow. Built only from operations that IEEE arithmetic rounds
// alike on every platform (scalings by powers of two, products, a sum, a square root), so the
// page's WebAssembly module and the native build give the same bits, which the C library's
// hypot does not promise. Within about 1.5 units in the last place.
double same_everywhere_hypot(double x, double y) {
    const double larger = std::fmax(std::fabs(x), std::fabs(y));
    if (larger == 0) return 0;
    int exponent = 0;
    std::frexp(larger, &exponent);
    const double x_scaled = std::ldexp(x, -exponent);
    const double y_scaled = std::ldexp(y, -exponent);
    return std::ldexp(std::sqrt(x_scaled * x_scaled + y_scaled * y_scaled), exponent);
}

// The positive root u of a^2 u^2 + (b - 2a) u - c = 0, c > 0, in the form that neither
// cancels nor overflows: with e = b - 2a and h = sqrt(e^2 + 4 c a^2) (same_everywhere_hypot),
// u = 2c / (e + h) when e >= 0, and u = ((h - e) / (2|a|)) / |a| when e < 0 (then a > 0 and
// the quotient in the brackets is at most about 3). For parts that are floats, a and b lie
// between about 1e-179 and 1e157 or are 0, so nothing here overflows or underflows.
double positive_root(GainPolynomial g, double c) {
    const double e = g.b - 2 * g.a;
    const double h = same_everywhere_hypot(e, 2 * std::sqrt(c) * g.a);
    if (e >= 0) return 2 * c / (e + h);
    const double magnitude_a = std::fabs(g.a);
    return (h - e) / (2 * magnitude_a) / magnitude_a;
}

// A part at one end of its tolerance, rounded to single precision.
float scaled_part(float part, double tolerance_percent, bool high) {
    const double factor = high ? 1 + tolerance_percent / 100 : 1 - tolerance_percent / 100;
    return to_single(static_cast<double>(part) * factor);
}

// The nominal set followed by the 16 corners.
constexpr int kToleranceSets = kToleranceCorners + 1;
struct ToleranceSets {
    FilterComponents set[kToleranceSets];
};

ToleranceSets tolerance_sets(const FilterComponents& nominal, const PartTolerances& tolerances) {
    const ToleranceCorners corners = tolerance_corners(nominal, tolerances);
    ToleranceSets sets;
    sets.set[0] = nominal;
    std::copy(std::begin(corners.corner), std::end(corners.corner), sets.set + 1);
    return sets;
}

}  // namespace

FilterComponents standard_parts(const FilterComponents& exact, PreferredSeries resistor_series,
                                PreferredSeries capacitor_series) {
    return {nearest_preferred(exact.R1, resistor_series),
            nearest_preferred(exact.R2, resistor_series),
            nearest_preferred(exact.C1, capacitor_series),
            nearest_preferred(exact.C2, capacitor_series)};
}

AchievedCutoff achieved_cutoff(const FilterComponents& parts) {
    if (!is_finite_design(parts)) return {};
    const GainPolynomial g = gain_polynomial(parts);
    if (g.a == 0 && g.b == 0) return {};
    // gain = 0.7071  <=>  (1 - a u)^2 + b u = 1 / 0.7071^2  <=>  a^2 u^2 + (b - 2a) u - c = 0.
    constexpr double kGainSquared = kCutoffAmplitude * kCutoffAmplitude;
    constexpr double c = (1 - kGainSquared) / kGainSquared;
    return {true, std::sqrt(positive_root(g, c))};
}

PartsAnalysis analyse_parts(const FilterComponents& parts, const DesignTargets& targets) {
    PartsAnalysis analysis;
    analysis.cutoff = achieved_cutoff(parts);
    if (analysis.cutoff.found) {
        const double target = targets.cutoff_hz;
        analysis.cutoff_error_percent = 100 * (analysis.cutoff.hertz - target) / target;
    }
    if (is_finite_design(parts)) {
        analysis.passband_edge_hz = passband_edge(parts, targets);
        analysis.objective = flatness_objective(parts, targets);
    } else {
        analysis.passband_edge_hz = std::numeric_limits<float>::quiet_NaN();
        analysis.objective = kNotANumber;
    }
    return analysis;
}

ToleranceCorners tolerance_corners(const FilterComponents& nominal,
                                   const PartTolerances& tolerances) {
    const double r = tolerances.resistor_percent;
    const double c = tolerances.capacitor_percent;
    ToleranceCorners corners;
    for (unsigned k = 0; k < kToleranceCorners; ++k) {
        FilterComponents& parts = corners.corner[k];
        parts.R1 = scaled_part(nominal.R1, r, (k & 1u) != 0);
        parts.R2 = scaled_part(nominal.R2, r, (k & 2u) != 0);
        parts.C1 = scaled_part(nominal.C1, c, (k & 4u) != 0);
        parts.C2 = scaled_part(nominal.C2, c, (k & 8u) != 0);
    }
    return corners;
}

CutoffRange cutoff_range(const FilterComponents& nominal, const PartTolerances& tolerances) {
    const ToleranceSets sets = tolerance_sets(nominal, tolerances);
    CutoffRange range;
    range.lowest_hz = std::numeric_limits<double>::infinity();
    range.highest_hz = -std::numeric_limits<double>::infinity();
    for (const FilterComponents& parts : sets.set) {
        const AchievedCutoff cutoff = achieved_cutoff(parts);
        if (!cutoff.found) return {};
        range.lowest_hz = std::min(range.lowest_hz, cutoff.hertz);
        range.highest_hz = std::max(range.highest_hz, cutoff.hertz);
    }
    range.found = true;
    return range;
}

}  // namespace kestrane
