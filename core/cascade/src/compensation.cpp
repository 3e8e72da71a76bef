#include "kestrane/cascade/compensation.h"

#include <cmath>
#include <limits>

#include "core_arithmetic.h"
#include "opamp_stages.h"

namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr int kMostNewtonSteps = 60;
constexpr int kMostHalvings = 40;
// Central differences in the logarithms: truncation about h^2 (1e-12), rounding about
// 1e-16 / h (1e-10) of the derivative, enough for Newton to reach the rounding floor.
constexpr double kDifferenceStep = 1e-6;
constexpr double kTolerance = 1e-12;
constexpr double kLeastQ = 1e-6;
constexpr double kMostQ = 1e6;

// The parts of exact_stage_parts at the design point (ln w, ln q), as a stage.
StageCircuit stage_at(double log_omega, double log_q, double r_ohm) {
    const double omega = portable::exp(log_omega);
    const double q = portable::exp(log_q);
    const Stage design{2, omega / kExactTwoPi, q};
    const StageParts p = exact_stage_parts(design, r_ohm);
    return {2, {p.R1, p.R2, p.C1, p.C2}};
}

struct Residual {
    double d[2];
    double size() const { return std::fmax(std::fabs(d[0]), std::fabs(d[1])); }
};

// ln(dominant omega / target omega), ln(dominant Q / target Q); infinite where the design point
// leaves the range or the poles are not finite.
Residual residual_at(const double x[2], const double target[2], double r_ohm, const OpAmp& opamp) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const double q = portable::exp(x[1]);
    if (!(q > kLeastQ && q < kMostQ)) return {{kInfinity, kInfinity}};
    const opamp_cascade::DominantPoles poles =
        opamp_cascade::dominant_poles(stage_at(x[0], x[1], r_ohm), opamp);
    if (!(poles.omega > 0 && std::isfinite(poles.omega) && poles.q > 0 && std::isfinite(poles.q))) {
        return {{kInfinity, kInfinity}};
    }
    return {{portable::log(poles.omega) - target[0], portable::log(poles.q) - target[1]}};
}

std::optional<StageCircuit> compensated_second_order(const Stage& stage, double r_ohm,
                                                     const OpAmp& opamp) {
    const double target[2] = {portable::log(kExactTwoPi * stage.f0_hz), portable::log(stage.q)};
    double x[2] = {target[0], target[1]};
    Residual r = residual_at(x, target, r_ohm, opamp);
    for (int step = 0; step < kMostNewtonSteps && r.size() > kTolerance; ++step) {
        // The Jacobian d residual / d x by central differences.
        double jacobian[2][2];
        for (int j = 0; j < 2; ++j) {
            double up[2] = {x[0], x[1]};
            double down[2] = {x[0], x[1]};
            up[j] += kDifferenceStep;
            down[j] -= kDifferenceStep;
            const Residual ru = residual_at(up, target, r_ohm, opamp);
            const Residual rd = residual_at(down, target, r_ohm, opamp);
            for (int i = 0; i < 2; ++i)
                jacobian[i][j] = (ru.d[i] - rd.d[i]) / (2 * kDifferenceStep);
        }
        const double det = jacobian[0][0] * jacobian[1][1] - jacobian[0][1] * jacobian[1][0];
        if (!(std::fabs(det) > 0) || !std::isfinite(det)) return std::nullopt;
        const double dx[2] = {-(jacobian[1][1] * r.d[0] - jacobian[0][1] * r.d[1]) / det,
                              -(jacobian[0][0] * r.d[1] - jacobian[1][0] * r.d[0]) / det};
        double scale = 1;
        bool improved = false;
        for (int halving = 0; halving < kMostHalvings && !improved; ++halving, scale /= 2) {
            const double trial[2] = {x[0] + scale * dx[0], x[1] + scale * dx[1]};
            const Residual rt = residual_at(trial, target, r_ohm, opamp);
            if (rt.size() < r.size()) {
                x[0] = trial[0];
                x[1] = trial[1];
                r = rt;
                improved = true;
            }
        }
        if (!improved) break;
    }
    if (!(r.size() <= kTolerance)) return std::nullopt;
    return stage_at(x[0], x[1], r_ohm);
}

}  // namespace

std::optional<StageCircuit> compensated_stage(const Stage& stage, double r_ohm,
                                              const OpAmp& opamp) {
    KESTRANE_EXPECT(is_valid_opamp(opamp) && r_ohm > 0 && std::isfinite(r_ohm));
    if (stage.order == 2) return compensated_second_order(stage, r_ohm, opamp);
    const StageParts p = exact_stage_parts(stage, r_ohm);
    const StageCircuit circuit{1, {p.R1, p.R2, p.C1, p.C2}};
    // D = (1 + eps + s g)(1 + s R1 C1): the RC's pole stays dominant below the op-amp's.
    const opamp_cascade::OpAmpTerms t = opamp_cascade::terms_of(opamp);
    if (t.g > 0 && !((1 + t.eps) / t.g > kExactTwoPi * stage.f0_hz)) return std::nullopt;
    return circuit;
}

CompensatedCascade compensated_cascade(const CascadeDesign& design, double r_ohm,
                                       const OpAmp& opamp) {
    CompensatedCascade result;
    int k = 0;
    for (const Stage& stage : stages_of(design)) {
        ++k;
        const std::optional<StageCircuit> circuit = compensated_stage(stage, r_ohm, opamp);
        if (!circuit) {
            result.failed_stage = k;
            result.circuit.stage_count = 0;
            return result;
        }
        result.circuit.stages[result.circuit.stage_count++] = *circuit;
    }
    return result;
}

CompensationGain compensation_gain(const CascadeDesign& design, double r_ohm, const OpAmp& opamp) {
    const CutoffRule rule = cutoff_rule(design.request);
    const CascadeCircuit plain = cascade_circuit(design, r_ohm);
    CompensationGain gain;
    gain.ideal_cutoff_hz = opamp_cutoff_hz(stages_of(plain), kIdealOpAmp, rule);
    gain.plain_cutoff_hz = opamp_cutoff_hz(stages_of(plain), opamp, rule);
    gain.plain_error = gain.plain_cutoff_hz / gain.ideal_cutoff_hz - 1;
    const CompensatedCascade compensated = compensated_cascade(design, r_ohm, opamp);
    gain.compensated_cutoff_hz = compensated.failed_stage == 0
                                     ? opamp_cutoff_hz(stages_of(compensated.circuit), opamp, rule)
                                     : kNotANumber;
    gain.compensated_error = gain.compensated_cutoff_hz / gain.ideal_cutoff_hz - 1;
    return gain;
}

}  // namespace kestrane
