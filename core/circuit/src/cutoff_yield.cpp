#include "kestrane/circuit/cutoff_yield.h"

#include <cmath>

#include "circuit_model.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/numeric/contract.h"

namespace kestrane {
namespace {

// splitmix64 (Steele, Lea and Flood): a 64-bit state stepped by a constant and mixed.
struct SplitMix64 {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // A uniform double in [-1, 1): 2u - 1 with u from the top 53 bits, exactly.
    double next_symmetric() {
        constexpr double kTwoToMinus53 = 0x1p-53;
        const double u = static_cast<double>(next() >> 11) * kTwoToMinus53;
        return 2 * u - 1;
    }
};

double drawn(double nominal, double tolerance, SplitMix64& random) {
    return nominal * (1 + tolerance * random.next_symmetric());
}

}  // namespace

CutoffYield cutoff_yield(const CircuitParts& nominal, const PartTolerances& tolerances,
                         double target_hz, std::uint64_t seed, int draws) {
    KESTRANE_EXPECT(is_buildable(nominal) && are_tolerances(tolerances) && target_hz > 0);
    const double r = tolerances.resistor_percent / 100;
    const double c = tolerances.capacitor_percent / 100;
    SplitMix64 random{seed};
    CutoffYield yield;
    yield.draws = draws;
    for (int i = 0; i < draws; ++i) {
        CircuitParts build;
        build.R1 = drawn(nominal.R1, r, random);
        build.R2 = drawn(nominal.R2, r, random);
        build.C1 = drawn(nominal.C1, c, random);
        build.C2 = drawn(nominal.C2, c, random);
        const double error = std::fabs(cutoff_of(circuit_coefficients(build)) / target_hz - 1);
        for (int band = 0; band < kYieldBands; ++band) {
            if (error <= kYieldBandPercent[band] / 100) ++yield.within[band];
        }
    }
    return yield;
}

}  // namespace kestrane
