// The assembly: what each setting makes again, the plotted range, and the files' refusals.
#include "kestrane/session/session.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrane
