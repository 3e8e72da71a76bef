#include "kestrane/circuit/circuit.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "circuit_model.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/portable_math.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

}  // namespace

CircuitParts circuit_parts(const FilterComponents& components) {
    return {components.R1, components.R2, components.C1, components.C2};
}

bool is_buildable(const CircuitParts& parts) {
    return is_positive_finite(parts.R1) && is_positive_finite(parts.R2) &&
           is_positive_finite(parts.C1) && is_positive_finite(parts.C2);
}

double natural_frequency_hz(const CircuitParts& parts) {
    if (!is_buildable(parts)) return kNotANumber;
    return 1 / (kExactTwoPi * std::sqrt(circuit_coefficients(parts).a));
}

double quality_factor(const CircuitParts& parts) {
    if (!is_buildable(parts)) return kNotANumber;
    return quality_of(circuit_coefficients(parts));
}

double real_cutoff_hz(const CircuitParts& parts) {
    if (!is_buildable(parts)) return kNotANumber;
    return cutoff_of(circuit_coefficients(parts));
}

double cutoff_over_natural(double q) {
    if (!(q > 0)) return kNotANumber;
    return ratio_of_cutoff(q);
}

ResponsePoint circuit_point(const CircuitParts& parts, double hz) {
    if (!is_buildable(parts) || !(hz >= 0) || !std::isfinite(hz)) {
        return {kNotANumber, kNotANumber, kNotANumber};
    }
    const CircuitCoefficients c = circuit_coefficients(parts);
    // D = (1 - w^2 A) + j w B; H = 1/D. The lag arg D runs from 0 through 90 degrees at f0 to
    // 180; its derivative in omega is B (1 + w^2 A) / |D|^2.
    const double omega = kExactTwoPi * hz;
    const double y = omega * omega * c.a;
    const double real = 1 - y;
    const double imaginary = omega * c.b;
    const double squared = real * real + imaginary * imaginary;
    constexpr double kDegreesPerRadian = 180 / std::numbers::pi;
    return {1 / std::sqrt(squared), -portable::atan2(imaginary, real) * kDegreesPerRadian,
            c.b * (1 + y) / squared};
}

}  // namespace kestrane
