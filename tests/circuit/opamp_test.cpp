#include "kestrane/circuit/opamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "kestrane/circuit/step_response.h"
#include "opamp_expected.h"
#include "step_model.h"

namespace kestrane {
namespace {

namespace expected = opamp_expected;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
const CircuitParts kParts{expected::kParts[0], expected::kParts[1], expected::kParts[2],
                          expected::kParts[3]};
constexpr OpAmp kDefault{1e7, 1e5, 50};
constexpr OpAmp kSlow{5e4, 1e3, 500};

double relative(double value, double reference) {
    return std::fabs(value / reference - 1);
}

TEST(OpAmpModel, ResponseMatchesTheExactNodalSolution) {
    const struct {
        OpAmp opamp;
        const expected::NodalPoint* points;
    } cases[] = {{kDefault, expected::kDefaultNodal}, {kSlow, expected::kSlowNodal}};
    for (const auto& c : cases) {
        const TransferFunction h = transfer_function(kParts, c.opamp);
        for (int k = 0; k < 5; ++k) {
            const expected::NodalPoint& p = c.points[k];
            const ResponsePoint r = response_at(h, p.w / (2 * std::numbers::pi));
            const double phase = r.phase_deg * std::numbers::pi / 180;
            const double size = std::hypot(p.re, p.im);
            EXPECT_NEAR(r.gain * std::cos(phase), p.re, 1e-12 * size) << p.w;
            EXPECT_NEAR(r.gain * std::sin(phase), p.im, 1e-12 * size) << p.w;
        }
    }
}

TEST(OpAmpModel, FiguresAgainstIndependentValues) {
    const struct {
        OpAmp opamp;
        double cutoff, q, slew, slew_hz, attenuation, floor_gain, floor_hz;
    } cases[] = {
        {kDefault, expected::kDefaultCutoff, expected::kDefaultQ, expected::kDefaultSlew,
         expected::kDefaultSlewHz, expected::kDefaultAttenuation24k, expected::kDefaultFloorGain,
         expected::kDefaultFloorHz},
        {kSlow, expected::kSlowCutoff, expected::kSlowQ, expected::kSlowSlew, expected::kSlowSlewHz,
         expected::kSlowAttenuation24k, expected::kSlowFloorGain, expected::kSlowFloorHz},
        {kIdealOpAmp, expected::kIdealCutoff, expected::kIdealQ, expected::kIdealSlew,
         expected::kIdealSlewHz, expected::kIdealAttenuation24k, 0, 0},
    };
    for (const auto& c : cases) {
        const TransferFunction h = transfer_function(kParts, c.opamp);
        const Cutoff cutoff = cutoff_3db(h);
        ASSERT_TRUE(cutoff.found);
        EXPECT_LT(relative(cutoff.hz, c.cutoff), 1e-13);
        EXPECT_LT(relative(dominant_q(h), c.q), 1e-12);
        const SlewRate slew = needed_slew_rate(h, 1);
        ASSERT_TRUE(slew.found);
        EXPECT_LT(relative(slew.v_per_us, c.slew), 1e-12);
        EXPECT_LT(relative(slew.at_hz, c.slew_hz), 1e-7);  // a flat maximum
        EXPECT_NEAR(attenuation_db(h, 24000), c.attenuation, 1e-10);
        const StopbandFloor floor = stopband_floor(h);
        EXPECT_EQ(floor.rises, c.floor_gain > 0);
        EXPECT_NEAR(floor.gain, c.floor_gain, 1e-10 * c.floor_gain);
        EXPECT_NEAR(floor.rise_hz, c.floor_hz, 1e-7 * c.floor_hz);
    }
    // With the ideal op-amp the slew peak is at the natural frequency: Vp / (C2 (R1 + R2)).
    const double ideal_slew = 1e-6 / (kParts.C2 * (kParts.R1 + kParts.R2));
    EXPECT_LT(relative(needed_slew_rate(transfer_function(kParts, kIdealOpAmp), 2).v_per_us,
                       2 * ideal_slew),
              1e-13);
}

TEST(OpAmpModel, TendsToTheIdealCircuit) {
    const OpAmp near_ideal{1e15, 1e13, 1e-9};
    const TransferFunction h = transfer_function(kParts, near_ideal);
    EXPECT_LT(relative(cutoff_3db(h).hz, expected::kIdealCutoff), 1e-9);
    EXPECT_LT(relative(dominant_q(h), expected::kIdealQ), 1e-9);
    const StepFigures step = step_figures(kParts, near_ideal);
    EXPECT_LT(relative(step.overshoot_percent, expected::kIdealOvershoot), 1e-6);
}

TEST(OpAmpModel, PhaseIsContinuousToItsHighFrequencyEnd) {
    // D's argument rises to 270 degrees; N's, with zeros in the right half-plane when Ro > 0,
    // ends at -90: the phase ends at -360 degrees, and at -270 with Ro = 0 (N constant).
    for (const OpAmp& opamp : {kDefault, OpAmp{1e7, 1e5, 0}}) {
        const TransferFunction h = transfer_function(kParts, opamp);
        double previous = response_at(h, 0).phase_deg;
        EXPECT_EQ(previous, 0);
        for (double hz = 1; hz < 1e13; hz *= 1.02) {
            const ResponsePoint r = response_at(h, hz);
            EXPECT_LT(std::fabs(r.phase_deg - previous), 3) << hz;
            // The analytic group delay against the phase's slope.
            const double step = 1e-6 * hz;
            const double slope =
                (response_at(h, hz + step).phase_deg - response_at(h, hz - step).phase_deg) /
                (2 * step) / 360;
            EXPECT_NEAR(r.group_delay_s, -slope, 1e-6 * std::fabs(slope) + 1e-18) << hz;
            previous = r.phase_deg;
        }
        EXPECT_NEAR(previous, opamp.output_resistance > 0 ? -360 : -270, 1);
    }
}

TEST(OpAmpModel, NeededGbwKeepsTheFiguresWithinOnePercent) {
    for (const OpAmp& opamp : {kDefault, kSlow, OpAmp{1e7, 1e5, 0}}) {
        const NeededGbw needed = needed_gbw(kParts, opamp);
        ASSERT_EQ(needed.limit, GbwLimit::reached);
        const auto worst_error = [&](double gbw_hz) {
            const TransferFunction h =
                transfer_function(kParts, {gbw_hz, opamp.open_loop_gain, opamp.output_resistance});
            return std::fmax(relative(cutoff_3db(h).hz, expected::kIdealCutoff),
                             relative(dominant_q(h), expected::kIdealQ));
        };
        EXPECT_LE(worst_error(1.01 * needed.gbw_hz), 0.01);
        EXPECT_LE(worst_error(needed.gbw_hz), 0.01);
        EXPECT_GT(worst_error(0.99 * needed.gbw_hz), 0.01);
    }
    // No GBW helps when A0 alone, or Ro with that A0, moves a figure by more than 1 %. With
    // the loop's gain A0 the output sees Ro / (1 + A0): Ro counts only beside a low A0.
    EXPECT_EQ(needed_gbw(kParts, {1e7, 10, 0}).limit, GbwLimit::open_loop_gain);
    EXPECT_EQ(needed_gbw(kParts, {1e7, 200, 10000}).limit, GbwLimit::output_resistance);
    EXPECT_EQ(needed_gbw(kParts, {1e7, 1e5, 5000}).limit, GbwLimit::reached);
}

TEST(OpAmpModel, StopbandWithoutOutputResistanceNeverRises) {
    const StopbandFloor floor = stopband_floor(transfer_function(kParts, {1e7, 1e5, 0}));
    EXPECT_FALSE(floor.rises);
    EXPECT_EQ(floor.gain, 0);
    EXPECT_EQ(floor.limit_gain, 0);
}

TEST(OpAmpModel, BeyondItsLowestGainTheStopbandRisesToTheLeak) {
    // The best E96/E12 set of 1 kHz / 10 kohm with 1 MHz, 80 dB and 100 ohm: the gain passes
    // its least value (-64.0 dB) and climbs back towards (Ro||R2) / (R1 + Ro||R2) =
    // 0.009868528900691781 (exact fractions), -40.1 dB, which it approaches from below.
    const CircuitParts set{10000, 30100, 15e-9, 5.6e-9};
    const TransferFunction h = transfer_function(set, {1e6, 1e4, 100});
    const StopbandFloor floor = stopband_floor(h);
    ASSERT_TRUE(floor.rises);
    EXPECT_NEAR(floor.limit_gain, 0.009868528900691781, 1e-15);
    EXPECT_LT(decibels(floor.gain), -63.9);
    EXPECT_GT(decibels(floor.gain), -64.1);
    const double far = response_at(h, 1e12).gain;
    EXPECT_LT(far, floor.limit_gain);
    EXPECT_NEAR(far, floor.limit_gain, 1e-6 * floor.limit_gain);
}

TEST(OpAmpFields, ValidValuesAndRefusals) {
    const OpAmpReading defaults =
        opamp_from_fields(kDefaultGbwMhz, kDefaultOpenLoopGainDb, kDefaultOutputOhm);
    ASSERT_EQ(defaults.refused, OpAmpField::none);
    EXPECT_EQ(defaults.opamp.gbw_hz, 1e7);
    EXPECT_EQ(defaults.opamp.open_loop_gain, 1e5);  // 100 dB exactly
    EXPECT_EQ(defaults.opamp.output_resistance, 50);
    // 10^4.5 from mpmath; ln(10)/20 rounded moves it by a few ulps.
    EXPECT_LT(relative(opamp_from_fields(1, 90, 0).opamp.open_loop_gain, 31622.776601683793),
              1e-14);
    EXPECT_EQ(opamp_from_fields(1, 1e4, 0).opamp.open_loop_gain, kInfinity);  // beyond doubles
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double gbw : {0.0, -1.0, kInfinity, nan}) {
        EXPECT_EQ(opamp_from_fields(gbw, 100, 50).refused, OpAmpField::gbw) << gbw;
    }
    for (const double db : {0.0, -3.0, kInfinity, nan}) {
        EXPECT_EQ(opamp_from_fields(10, db, 50).refused, OpAmpField::open_loop_gain) << db;
    }
    for (const double ro : {-1.0, kInfinity, nan}) {
        EXPECT_EQ(opamp_from_fields(10, 100, ro).refused, OpAmpField::output_resistance) << ro;
    }
    EXPECT_FALSE(is_valid_opamp({1e7, 1, 0}));
    EXPECT_TRUE(is_valid_opamp(kIdealOpAmp));
}

TEST(StepResponse, AgainstResiduesAtSeveralTimes) {
    const struct {
        CircuitParts parts;
        OpAmp opamp;
        const double* values;
    } cases[] = {
        {kParts, kDefault, expected::kDefaultStep},
        {kParts, kSlow, expected::kSlowStep},
        {kParts, kIdealOpAmp, expected::kIdealStep},
        {{1000, 1000, 1e-7, 1e-7}, {1e9, 1e5, 0}, expected::kCriticalStep},  // near a double pole
    };
    for (const auto& c : cases) {
        for (int k = 0; k < 7; ++k) {
            const double t = expected::kStepTimes[k];
            EXPECT_NEAR(step_value(c.parts, c.opamp, t), c.values[k], 1e-13) << t;
        }
    }
    // Three poles within 1e-6 of each other: divided differences, not residues.
    TransferFunction h;
    for (int k = 0; k < 4; ++k)
        h.denominator[k] = expected::kNearTripleDenominator[k];
    const double numerator[4] = {h.denominator[0], 0.3, 0.2, 0.05};
    std::copy(numerator, numerator + 4, h.numerator);
    const StepModel model = make_step_model(h);
    ASSERT_EQ(model.cluster_count, 1);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(step_value_at(model, expected::kNearTripleTimes[k]),
                    expected::kNearTripleStep[k], 1e-13);
    }
}

TEST(StepResponse, IdealFiguresAndTheOvershootFormula) {
    const StepFigures f = step_figures(kParts, kIdealOpAmp);
    EXPECT_EQ(f.final_value, 1);
    EXPECT_EQ(f.initial_value, 0);
    EXPECT_LT(relative(f.overshoot_percent, expected::kIdealOvershoot), 1e-12);
    EXPECT_LT(relative(f.rise_time_s, expected::kIdealRise), 1e-12);
    EXPECT_LT(relative(f.settling_1_percent_s, expected::kIdealSettling1), 1e-12);
    EXPECT_LT(relative(f.settling_01_percent_s, expected::kIdealSettling01), 1e-12);
    EXPECT_EQ(f.span_s, 1.5 * f.settling_01_percent_s);
    // The clusters' general solution gives the closed form's values.
    const TransferFunction h = transfer_function(kParts, kIdealOpAmp);
    const StepModel closed = make_step_model(h);
    const StepModel general = make_step_model(h, false);
    ASSERT_TRUE(closed.closed_form);
    ASSERT_FALSE(general.closed_form);
    for (double t = 0; t < 4e-3; t += 1e-5) {
        EXPECT_NEAR(step_value_at(general, t), step_value_at(closed, t), 1e-14) << t;
        EXPECT_NEAR(step_slope_at(general, t), step_slope_at(closed, t), 1e-9) << t;
    }
}

TEST(StepResponse, SettlingTimesBoundTheBand) {
    for (const OpAmp& opamp : {kDefault, kSlow}) {
        const StepFigures f = step_figures(kParts, opamp);
        const StepModel model = make_step_model(transfer_function(kParts, opamp));
        const double band = 1e-3 * f.final_value;
        // Just before the settling time the response is at the band's edge; after it, inside.
        const double edge = step_value_at(model, f.settling_01_percent_s) - f.final_value;
        EXPECT_NEAR(std::fabs(edge), band, 1e-9 * band);
        for (double t = f.settling_01_percent_s * 1.0001; t < 10 * f.span_s; t *= 1.001) {
            ASSERT_LE(std::fabs(step_value_at(model, t) - f.final_value), band) << t;
        }
        EXPECT_GT(f.overshoot_percent, 0);
        EXPECT_NEAR(step_value_at(model, f.peak_time_s),
                    f.final_value * (1 + f.overshoot_percent / 100), 1e-15);
    }
}

}  // namespace
}  // namespace kestrane
