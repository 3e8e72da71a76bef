#include "kestrane/cascade/cascade.h"

#include <cmath>
#include <limits>

#include "core_arithmetic.h"
#include "prototype.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

}  // namespace

PoleSet normalised_poles(const CascadeRequest& request) {
    PoleSet set;
    if (validate_request(request) != RequestError::none) return set;
    const Prototype prototype = prototype_of(request);
    for (int i = 0; i < prototype.stage_count; ++i) {
        const PrototypeStage& stage = prototype.stages[i];
        set.poles[set.count++] = {stage.pole.re, stage.pole.im};
        if (stage.order == 2) set.poles[set.count++] = {stage.pole.re, -stage.pole.im};
    }
    return set;
}

CascadeDesign design_cascade(const CascadeRequest& request, double cutoff_hz) {
    CascadeDesign design;
    design.request = request;
    design.cutoff_hz = cutoff_hz;
    if (validate_request(request) != RequestError::none) return design;
    if (!(cutoff_hz >= 1e-280 && cutoff_hz <= 1e280)) return design;
    const Prototype prototype = prototype_of(request);
    for (int i = 0; i < prototype.stage_count; ++i) {
        const PrototypeStage& stage = prototype.stages[i];
        design.stages[i] = {stage.order, stage.w0 * cutoff_hz, stage.q};
    }
    design.stage_count = prototype.stage_count;
    return design;
}

std::span<const Stage> stages_of(const CascadeDesign& design) {
    KESTRANE_CHECK(design.stage_count >= 0 && design.stage_count <= kMaxStages);
    return {design.stages, static_cast<std::size_t>(design.stage_count)};
}

StageParts exact_stage_parts(const Stage& stage, double r_ohm) {
    const bool second_order = stage.order == 2;
    if (!is_positive_finite(stage.f0_hz) || !is_positive_finite(r_ohm) ||
        (second_order && !is_positive_finite(stage.q)) || (!second_order && stage.order != 1)) {
        return {kNotANumber, kNotANumber, kNotANumber, kNotANumber};
    }
    const double w0_r = kExactTwoPi * stage.f0_hz * r_ohm;
    if (!second_order) return {r_ohm, kNotANumber, 1 / w0_r, kNotANumber};
    return {r_ohm, r_ohm, 2 * stage.q / w0_r, 1 / (2 * stage.q * w0_r)};
}

}  // namespace kestrane
