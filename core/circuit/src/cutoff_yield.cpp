#include "kestrane/circuit/cutoff_yield.h"

#include <cmath>

#include "circuit_model.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/numeric/contract.h"

namespace kestrane {

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
        build.R1 = random.drawn(nominal.R1, r);
        build.R2 = random.drawn(nominal.R2, r);
        build.C1 = random.drawn(nominal.C1, c);
        build.C2 = random.drawn(nominal.C2, c);
        const double error = std::fabs(cutoff_of(circuit_coefficients(build)) / target_hz - 1);
        for (int band = 0; band < kYieldBands; ++band) {
            if (error <= kYieldBandPercent[band] / 100) ++yield.within[band];
        }
    }
    return yield;
}

}  // namespace kestrane
