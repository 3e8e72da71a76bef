#include "kestrane/model/design.h"

#include "kestrane/model/figures.h"
#include "kestrane/model/response.h"
#include "kestrane/model/search.h"
#include "kestrane/numeric/contract.h"

namespace kestrane {

Design design_filter(double fc_khz, double r1_ohm) {
    Design design;
    design.fc_khz = to_single_clamped(fc_khz);
    const float r1 = to_single_clamped(r1_ohm);
    design.targets = make_targets(design.fc_khz);
    design.components = starting_point(r1, design.targets);
    if (!is_finite_design(design.components)) {
        design.refusal =
            design.fc_khz == 0 || r1 == 0 ? Refusal::zero_input : Refusal::product_too_small;
        return design;
    }
    search_components(design.components, design.targets);
    design.passband_edge_hz = passband_edge(design.components, design.targets);
    return design;
}

double half_phase_deviation(const Design& design, double band_hz) {
    KESTRANE_EXPECT(design.made());
    return 0.5 * phase_deviation(design.components, band_hz);
}

}  // namespace kestrane
