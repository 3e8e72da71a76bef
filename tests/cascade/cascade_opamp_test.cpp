// The cascade with a real op-amp, checked where C++ does it best: against the ideal cascade and
// the single-stage circuit library (independent code for the same figures), phase continuity
// with heavy loads, the step's main edge past a jump, and compensation. Responses, cutoffs and
// step figures against a 40-digit nodal analysis are in cascade_opamp_reference.py; against
// ngspice in cascade_opamp_ngspice_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_step.h"
#include "kestrane/cascade/compensation.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/step_response.h"
#include "opamp_stages.h"

namespace kestrane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr OpAmp kRealistic{10e6, 1e5, 50};

double relative(double value, double reference) {
    return std::fabs(value / reference - 1);
}

CascadeCircuit circuit_of(const CascadeRequest& request, double cutoff_hz, double r_ohm) {
    return cascade_circuit(design_cascade(request, cutoff_hz), r_ohm);
}

const CascadeRequest kRequests[] = {
    {Response::chebyshev, 5, 0.5},
    {Response::bessel, 8},
    {Response::linkwitz_riley, 4},
    {Response::butterworth, 7},
    {Response::chebyshev, 6, 1, ChebyshevEdge::ripple_edge},
};

TEST(CascadeOpAmp, TheIdealOpAmpGivesTheIdealCascade) {
    for (const CascadeRequest& request : kRequests) {
        const CascadeDesign design = design_cascade(request, 1500);
        const CascadeCircuit circuit = cascade_circuit(design, 6800);
        const auto stages = stages_of(circuit);
        for (double hz : {0.0, 150.0, 1400.0, 1500.0, 4000.0, 1e6}) {
            const ResponsePoint ideal = cascade_point(stages_of(design), hz);
            const ResponsePoint real = opamp_cascade_point(stages, kIdealOpAmp, hz);
            EXPECT_NEAR(real.gain / ideal.gain, 1, 1e-13) << hz;
            EXPECT_NEAR(real.phase_deg, ideal.phase_deg, 1e-11) << hz;
            EXPECT_NEAR(real.group_delay_s / ideal.group_delay_s, 1, 1e-12) << hz;
        }
        const CutoffRule rule = cutoff_rule(request);
        EXPECT_NEAR(
            opamp_cutoff_hz(stages, kIdealOpAmp, rule) / cascade_cutoff_hz(stages_of(design), rule),
            1, 1e-13);
        EXPECT_EQ(opamp_high_frequency_gain(stages, kIdealOpAmp).limit, 0);
    }
}

// One Sallen-Key stage is what circuit's op-amp figures describe, computed there by other
// means (cubic roots for the cutoff, poles and residues for the step).
TEST(CascadeOpAmp, OneStageAgreesWithTheCircuitLibrary) {
    const CircuitParts parts{12e3, 8.2e3, 22e-9, 4.7e-9};
    const StageCircuit stage{2, parts};
    const std::span<const StageCircuit> stages{&stage, 1};
    for (const OpAmp& opamp : {kRealistic, OpAmp{40e3, 1e4, 300}, OpAmp{1e12, 1e6, 4000}}) {
        const OpAmpFigures circuit = opamp_figures(parts, opamp, 2);
        const double cutoff = opamp_cutoff_hz(stages, opamp, {CutoffLevel::half_power, 0});
        EXPECT_LT(relative(cutoff, circuit.cutoff.hz), 1e-13);
        const ResponsePoint own = response_at(transfer_function(parts, opamp), 3000);
        const ResponsePoint point = opamp_cascade_point(stages, opamp, 3000);
        EXPECT_EQ(point.gain, own.gain);
        EXPECT_EQ(point.phase_deg, own.phase_deg);

        const NeededGbw gbw = opamp_cascade_needed_gbw(stages, opamp, {});
        EXPECT_EQ(gbw.limit, circuit.needed_gbw.limit);
        EXPECT_LT(relative(gbw.gbw_hz, circuit.needed_gbw.gbw_hz), 3e-9);
        const SlewRate slew = opamp_stage_slew_rate(stages, opamp, 1, 2);
        EXPECT_LT(relative(slew.v_per_us, circuit.slew_rate.v_per_us), 1e-12);
        const HighFrequencyGain high = opamp_high_frequency_gain(stages, opamp);
        EXPECT_LT(relative(high.lowest_gain, circuit.floor.gain), 1e-12);
        if (circuit.floor.rises) {
            EXPECT_LT(relative(high.lowest_gain_hz, circuit.floor.rise_hz), 1e-9);
        }
        const double r = opamp.output_resistance;
        EXPECT_LT(
            relative(high.limit, r * parts.R2 / (parts.R1 * parts.R2 + (parts.R1 + parts.R2) * r)),
            1e-15);

        const StepFigures want = step_figures(parts, opamp);
        const CascadeStepFigures got = cascade_step_figures(stages, opamp);
        ASSERT_TRUE(got.settles);
        EXPECT_LT(relative(got.overshoot_percent, want.overshoot_percent), 1e-9);
        EXPECT_LT(relative(got.peak_time_s, want.peak_time_s), 1e-9);
        EXPECT_LT(relative(got.settling_1_percent_s, want.settling_1_percent_s), 1e-9);
        EXPECT_LT(relative(got.settling_01_percent_s, want.settling_01_percent_s), 1e-9);
        EXPECT_NEAR(got.initial_value, want.initial_value, 1e-15);
        // Without a jump above 10 % both measure the rise from the first reaching of 10 %.
        if (want.initial_value < 0.1 * want.final_value) {
            EXPECT_LT(relative(got.rise_time_s, want.rise_time_s), 1e-9);
        }
        for (double t : {0.0, 1e-5, 1e-4, 1e-3}) {
            EXPECT_NEAR(cascade_step_value(stages, opamp, t), step_value(parts, opamp, t), 1e-13);
        }
    }
}

// Ro as large as the resistors loads each stage heavily; the phase must still run on without a
// jump from 0 Hz, at 2000 points a decade, to far above the op-amp's pole.
// The figures share one search (its grid's gains formed once for the cutoff and every peak):
// they must be the figures each function finds on its own, bit for bit.
TEST(CascadeOpAmp, SharedSearchGivesEachFunctionsFigures) {
    for (const CascadeRequest& request : kRequests) {
        const CascadeCircuit circuit = circuit_of(request, 1000, 10000);
        const std::span<const StageCircuit> stages = stages_of(circuit);
        const CutoffRule rule = cutoff_rule(request);
        const CascadeOpAmpFigures figures = cascade_opamp_figures(stages, kRealistic, rule, 1);
        EXPECT_EQ(figures.cutoff_hz, opamp_cutoff_hz(stages, kRealistic, rule));
        for (int k = 1; k <= figures.stage_count; ++k) {
            const Peak alone = opamp_stage_peak(stages, kRealistic, k);
            EXPECT_EQ(figures.peak[k - 1].gain, alone.gain) << k;
            EXPECT_EQ(figures.peak[k - 1].hz, alone.hz) << k;
        }
    }
}

TEST(CascadeOpAmp, PhaseStaysContinuousUnderHeavyLoads) {
    for (const CascadeRequest& request : kRequests) {
        const CascadeCircuit circuit = circuit_of(request, 1000, 1000);
        const auto stages = stages_of(circuit);
        for (const OpAmp& opamp : {OpAmp{1e5, 1e3, 1000}, OpAmp{kInfinity, 100, 3000}}) {
            double previous = 0;
            for (int i = 0; i <= 20000; ++i) {
                const double hz = std::pow(10.0, 1 + i / 2000.0);
                const double phase = opamp_cascade_point(stages, opamp, hz).phase_deg;
                ASSERT_LT(std::fabs(phase - previous), 5) << hz;
                previous = phase;
            }
        }
    }
}

// A single stage with Ro = R1 = R2 and a slow op-amp leaks a third of the step through C1 at
// once; the op-amp then pulls the output down below 10 % before the filter's own rise.
TEST(CascadeStep, TheJumpThroughC1IsNotTheStartOfTheEdge) {
    const StageCircuit stage{2, {1000, 1000, 220e-9, 47e-9}};
    const std::span<const StageCircuit> stages{&stage, 1};
    const OpAmp opamp{2e5, 1e5, 1000};
    const CascadeStepFigures step = cascade_step_figures(stages, opamp);
    ASSERT_TRUE(step.settles);
    EXPECT_NEAR(step.initial_value, 1.0 / 3, 1e-15);
    EXPECT_GT(step.rise_start_s, 0);
    const double low = 0.1 * step.final_value;
    EXPECT_NEAR(cascade_step_value(stages, opamp, step.rise_start_s), low, 1e-9);
    EXPECT_LT(cascade_step_value(stages, opamp, 0.99 * step.rise_start_s), low);
    const double end = step.rise_start_s + step.rise_time_s;
    EXPECT_NEAR(cascade_step_value(stages, opamp, end), 0.9 * step.final_value, 1e-9);
    // Samples agree with single values, and the first is the jump.
    const auto samples = cascade_step_samples(stages, opamp, step.span_s, 11);
    EXPECT_EQ(samples.front().value, step.initial_value);
    EXPECT_NEAR(samples[7].value, cascade_step_value(stages, opamp, samples[7].t_s), 1e-13);
}

TEST(Compensation, ASlowOpAmpIsMadeGoodStageByStage) {
    for (const CascadeRequest& request : kRequests) {
        const CascadeDesign design = design_cascade(request, 1000);
        const OpAmp slow{10e3, 1e5, 50};  // GBW ten times the cutoff
        const CompensatedCascade compensated = compensated_cascade(design, 10e3, slow);
        ASSERT_EQ(compensated.failed_stage, 0) << response_name(request.response);
        for (int k = 0; k < design.stage_count; ++k) {
            const Stage& target = design.stages[k];
            const StageCircuit& stage = compensated.circuit.stages[k];
            const opamp_cascade::DominantPoles poles = opamp_cascade::dominant_poles(stage, slow);
            EXPECT_LT(relative(poles.omega, kExactTwoPi * target.f0_hz), 1e-9);
            if (stage.order == 1) continue;
            EXPECT_EQ(stage.parts.R1, 10e3);
            EXPECT_EQ(stage.parts.R2, 10e3);
            const double q = dominant_q(transfer_function(stage.parts, slow));
            EXPECT_EQ(poles.q, q);
            EXPECT_LT(relative(q, target.q), 1e-9);
        }
        const CompensationGain gain = compensation_gain(design, 10e3, slow);
        EXPECT_GT(std::fabs(gain.plain_error), 0.01);
        EXPECT_LT(std::fabs(gain.compensated_error), std::fabs(gain.plain_error) / 3);
    }
}

TEST(Compensation, AnOpAmpTooSlowIsReported) {
    const CascadeDesign design = design_cascade({Response::chebyshev, 5, 3}, 1000);
    // An op-amp pole below the first-order stage's leaves no RC pole dominant.
    const OpAmp below_first{design.stages[0].f0_hz / 2, 1e5, 50};
    EXPECT_EQ(compensated_cascade(design, 10e3, below_first).failed_stage, 1);
    const OpAmp slow{1500, 1e5, 50};
    const CompensatedCascade result = compensated_cascade(design, 10e3, slow);
    EXPECT_GT(result.failed_stage, 1);
    EXPECT_EQ(result.circuit.stage_count, 0);
    EXPECT_TRUE(std::isnan(compensation_gain(design, 10e3, slow).compensated_error));
}

TEST(CascadeOpAmp, InvalidInputGivesNotANumber) {
    const CascadeCircuit circuit = circuit_of({Response::butterworth, 4}, 1000, 1e4);
    const auto stages = stages_of(circuit);
    StageCircuit broken[2] = {circuit.stages[0], circuit.stages[1]};
    broken[1].parts.C2 = -1;
    EXPECT_TRUE(std::isnan(opamp_cascade_point(broken, kRealistic, 100).gain));
    EXPECT_TRUE(std::isnan(opamp_cascade_point(stages, {0, 1e5, 50}, 100).gain));
    EXPECT_TRUE(std::isnan(opamp_stage_output_point(stages, kRealistic, 3, 100).gain));
    EXPECT_TRUE(std::isnan(opamp_cascade_point(stages, kRealistic, -1).gain));
    EXPECT_TRUE(std::isnan(opamp_cutoff_hz(stages, kRealistic, {CutoffLevel::ripple_edge, 5})));
    EXPECT_FALSE(opamp_stage_slew_rate(stages, kRealistic, 0, 1).found);
    EXPECT_EQ(cascade_circuit(design_cascade({Response::bessel, 4}, 1000), 0).stage_count, 0);
}

}  // namespace
}  // namespace kestrane
