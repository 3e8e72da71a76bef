// The assembly: what each setting makes again, the plotted range, and the files' refusals.
#include "kestrane/session/session.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

namespace kestrane {
namespace {

using Product = Session::Product;

TEST(PlotRange, ThreeDecadesEachSideWidenedForTheBand) {
    const auto expect_range = [](double cutoff, std::optional<double> band, double low,
                                 double high) {
        const FrequencyRange range = plot_range(cutoff, band);
        EXPECT_NEAR(range.low_hz, low, 1e-12 * low) << cutoff;
        EXPECT_NEAR(range.high_hz, high, 1e-12 * high) << cutoff;
    };
    expect_range(1000, 150, 1, 1e6);
    expect_range(1000, 1, 1.0 / 3, 1e6);            // a third of a band below the three decades
    expect_range(1000, 1e-9, 1e-3, 1e6);            // but not below six decades
    expect_range(1000, 20000, 1, 1e6);              // a band inside changes nothing
    expect_range(1000, 1e6, 1, 3e6);                // three times a band above
    expect_range(1000, 1e9, 1, 1e7);                // but not above four decades
    expect_range(-2200, std::nullopt, 2.2, 2.2e6);  // a negative cutoff by its magnitude
    for (const double cutoff : {0.0, HUGE_VAL, std::nan("")})
        expect_range(cutoff, std::nullopt, 1, 1e6);
    EXPECT_EQ(plot_range(1e307, std::nullopt).high_hz, DBL_MAX);
}

TEST(Session, MakesAgainOnlyWhatAChangedSettingRestsOn) {
    Session session;
    session.set_design(1, 10000);
    session.set_band(150.0);
    const auto stamps = [&] {
        std::vector<std::uint64_t> all;
        for (const Product p :
             {Product::design, Product::deviation, Product::parts, Product::ranges, Product::opamp,
              Product::step, Product::frequencies, Product::circuit_curve})
            all.push_back(session.stamp(p));
        return all;
    };
    const std::vector<std::uint64_t> first = stamps();
    for (const std::uint64_t stamp : first)
        EXPECT_NE(stamp, 0u);
    // The same settings again, a not-a-number included, make nothing again.
    session.set_design(1, 10000);
    session.set_amplitude(NAN);
    session.set_amplitude(NAN);
    const std::vector<std::uint64_t> second = stamps();
    EXPECT_EQ(second[0], first[0]);
    EXPECT_NE(second[4], first[4]);  // the op-amp figures rest on the amplitude
    EXPECT_EQ(second[5], first[5]);  // the step does not
    // A tolerance makes the ranges again, and nothing of the set.
    session.set_tolerances(PartTolerances{2, 5});
    const std::vector<std::uint64_t> third = stamps();
    EXPECT_EQ(third[2], first[2]);
    EXPECT_NE(third[3], first[3]);
    // The band moves the plotted range and the deviation, not the set.
    session.set_band(1e6);
    const std::vector<std::uint64_t> fourth = stamps();
    EXPECT_NE(fourth[1], third[1]);
    EXPECT_NE(fourth[6], third[6]);
    EXPECT_NE(fourth[7], third[7]);
    EXPECT_EQ(fourth[2], third[2]);
    // What goes missing has the stamp 0.
    session.set_opamp(std::nullopt);
    EXPECT_EQ(session.stamp(Product::step), 0u);
    EXPECT_EQ(session.netlist(), "");
    EXPECT_EQ(session.bill_of_materials(), "");
    session.clear_design();
    EXPECT_EQ(session.stamp(Product::parts), 0u);
    EXPECT_TRUE(session.frequencies().empty());
}

TEST(Session, FilesSayWhyTheyHoldNoCircuit) {
    Session session;
    session.set_design(1, 10000);
    // A gain beyond the double range with a finite GBW: the netlist cannot hold it.
    session.set_opamp(opamp_choice(10, 7000, 50));
    ASSERT_NE(session.opamp_choice(), nullptr);
    EXPECT_NE(session.netlist_refusal(), "");
    EXPECT_EQ(session.netlist(), "* Kestrane " KESTRANE_VERSION
                                 ": unity-gain Sallen-Key low-pass\n* " +
                                     session.netlist_refusal() + "\n.end\n");
    EXPECT_NE(session.bill_of_materials(), "");
    // A negative cutoff: no circuit to build, so neither file holds one.
    session.set_design(-1, 10000);
    session.set_opamp(OpAmpChoice{});
    EXPECT_EQ(session.netlist_refusal().rfind("No circuit to build: the cutoff = -1 kHz", 0), 0u);
    EXPECT_EQ(session.bill_of_materials(), "");
    // Frequencies that are not positive and finite are refused and change nothing.
    EXPECT_FALSE(session.set_frequencies({1, 0}));
    EXPECT_FALSE(session.set_frequencies({1, std::numeric_limits<double>::infinity()}));
    EXPECT_TRUE(session.set_frequencies({1, 2}));
}

// The bits of a curve's point and of a point, not-a-numbers alike.
bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

void expect_curve_of_points(const Curve& curve, std::span<const StageCircuit> stages,
                            const OpAmp& opamp, const std::vector<double>& hz) {
    ASSERT_EQ(curve.gain.size(), hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i) {
        const ResponsePoint point = opamp_cascade_point(stages, opamp, hz[i]);
        EXPECT_TRUE(same_bits(curve.gain[i], point.gain)) << hz[i];
        EXPECT_TRUE(same_bits(curve.phase_deg[i], point.phase_deg)) << hz[i];
        EXPECT_TRUE(same_bits(curve.group_delay_s[i], point.group_delay_s)) << hz[i];
    }
}

// The cascade's curves are made for all frequencies at once, and the ideal one from the stages'
// curves: each point must be the one opamp_cascade_point gives, bit for bit.
TEST(Session, CascadeCurvesHoldTheCascadesPoints) {
    const CascadeRequest requests[] = {
        {Response::chebyshev, 9, 0.5, ChebyshevEdge::minus_3db},
        {Response::bessel, 8, NAN, ChebyshevEdge::minus_3db},
    };
    for (const CascadeRequest& request : requests) {
        Session session;
        session.set_cascade(request);
        session.set_design(1, 10000);
        session.set_parts(PartsMethod::best, {PreferredSeries::e24, PreferredSeries::e12});
        session.set_opamp(opamp_choice(1, 80, 100));
        ASSERT_NE(session.cascade_shown(), nullptr);
        const std::span<const StageCircuit> stages = stages_of(*session.cascade_shown());
        const std::vector<double>& hz = session.frequencies();
        expect_curve_of_points(session.circuit_curve(), stages, kIdealOpAmp, hz);
        expect_curve_of_points(session.opamp_curve(), stages, session.opamp_choice()->opamp, hz);
        for (std::size_t k = 0; k < stages.size(); ++k)
            expect_curve_of_points(session.stage_curves()[k], stages.subspan(k, 1), kIdealOpAmp,
                                   hz);
    }
}

}  // namespace
}  // namespace kestrane
