#include "kestrane/model/response.h"

#include <numbers>

#include "kestrane/numeric/portable_math.h"
#include "response_model.h"

namespace kestrane {

std::int32_t whole_hz(double hz) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (!(std::fabs(hz) < kTwoTo63)) return 0;  // also catches not-a-number and infinities
    const auto truncated = static_cast<std::int64_t>(hz);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(truncated));
}

double magnitude_at(const FilterComponents& components, std::int32_t hertz) {
    const ResponseProducts products = response_products(components);
    return amplitude(products.p, products.c2c2ss, hertz);
}

double phase_at(const FilterComponents& components, std::int32_t hertz) {
    const ResponseProducts products = response_products(components);
    // atan(q) as the angle of (1, q): the portable arctangent, the same bits everywhere.
    const double quotient = phase_numerator(products.sc2, hertz) / real_part(products.p, hertz);
    return portable::atan2(quotient, 1.0);
}

ResponsePoint model_point(const FilterComponents& components, double hz) {
    const ResponseProducts products = response_products(components);
    // H = 1 / (den + j num), each as phase_at forms it; the lag atan2(num, den) grows with
    // frequency, and its slope per hertz over 6.28318 is the group delay.
    const double num = phase_numerator(products.sc2, hz);
    const double den = real_part(products.p, hz);
    const double num_slope = phase_numerator(products.sc2, 1.0);
    const double den_slope = -2.0 * products.p * hz * kModelTwoPiSquared;
    const double lag = portable::atan2(num, den);
    const double lag_slope = (num_slope * den - num * den_slope) / (num * num + den * den);
    constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
    return {amplitude(products.p, products.c2c2ss, hz), -lag * kDegreesPerRadian,
            lag_slope / kModelTwoPi};
}

DesignTargets make_targets(float fc_khz) {
    const double cutoff = static_cast<double>(fc_khz) * 1000.0;
    DesignTargets targets;
    targets.cutoff_hz = to_single(cutoff);
    targets.flat_top_hz = to_single(cutoff * kOneThird);
    targets.probe_hz = to_single(static_cast<double>(targets.cutoff_hz) * 500.0);
    return targets;
}

FilterComponents starting_point(float r1, const DesignTargets& targets) {
    const double two_r1_f = 2.0 * r1 * targets.cutoff_hz;
    FilterComponents start;
    start.R1 = r1;
    start.R2 = r1;
    start.C1 = to_single(0.44 / two_r1_f);
    start.C2 = to_single(0.22 / two_r1_f);
    return start;
}

bool is_finite_design(const FilterComponents& components) {
    return std::isfinite(components.R1) && std::isfinite(components.R2) &&
           std::isfinite(components.C1) && std::isfinite(components.C2);
}

ObjectiveFrequencies objective_frequencies(const DesignTargets& targets) {
    double flatness_hz[kFlatnessPoints];
    for (int i = 0; i < kFlatnessPoints; ++i) {
        const double factor = 1.0 - 0.025 * i;
        flatness_hz[i] = whole_hz(factor * static_cast<double>(targets.flat_top_hz));
    }
    return objective_frequencies(flatness_hz, whole_hz(targets.cutoff_hz));
}

ObjectiveFrequencies objective_frequencies(const double (&flatness_hz)[kFlatnessPoints],
                                           double cutoff_hz) {
    ObjectiveFrequencies frequencies{};
    for (int i = 0; i < kFlatnessPoints; ++i) {
        frequencies.flatness_hz[i] = flatness_hz[i];
        if (flatness_hz[i] == 0) continue;
        if (frequencies.runs == 0 || flatness_hz[i] != frequencies.run_hz[frequencies.runs - 1]) {
            frequencies.run_hz[frequencies.runs++] = flatness_hz[i];
        }
        ++frequencies.run_length[frequencies.runs - 1];
    }
    frequencies.cutoff_hz = cutoff_hz;
    return frequencies;
}

double objective_at(const FilterComponents& components, const ObjectiveFrequencies& frequencies) {
    const ResponseProducts products = response_products(components);
    double sum = 0;
    for (const double f : frequencies.flatness_hz) {
        sum = add_flatness_term(sum, amplitude(products.p, products.c2c2ss, f));
    }
    return objective_total(
        sum, cutoff_term(amplitude(products.p, products.c2c2ss, frequencies.cutoff_hz)));
}

double flatness_objective(const FilterComponents& components, const DesignTargets& targets) {
    return objective_at(components, objective_frequencies(targets));
}

}  // namespace kestrane
