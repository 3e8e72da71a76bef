#include "kestrane/model/figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kestrane/model/response.h"

namespace kestrane {
namespace {

// The refined components of the 1 kHz, 10 kohm design.
const FilterComponents kDesign1k{10000, 10253.1006f, 2.31319959e-08f, 1.11089999e-08f};

TEST(PassbandEdge, OneKilohertzDesignStopsAtThreeHundredHertz) {
    EXPECT_EQ(passband_edge(kDesign1k, make_targets(1)), 300.0f);
}

TEST(PassbandEdge, OneHertzCutoffStopsAtTheFirstCandidate) {
    // (1 - 0.02f) * 0.5 truncates to 0 Hz, where the amplitude is exactly 1.
    const DesignTargets t = make_targets(0.001f);
    const FilterComponents k = starting_point(10000, t);
    EXPECT_EQ(passband_edge(k, t), 0.49000000953674316f);
}

TEST(PassbandEdge, FirstProbeKeepsOnlyTheLow32BitsOfItsHertz) {
    // fc = 8589.934592 kHz puts the first probe at exactly 2^32 Hz, which lands on 0 Hz.
    const DesignTargets t = make_targets(8589.934592f);
    ASSERT_EQ(t.probe_hz, 4294967296.0f);
    EXPECT_EQ(passband_edge(kDesign1k, t), 4294967296.0f);
}

TEST(PassbandEdge, InfiniteCutoffReportsTheInfiniteProbe) {
    const DesignTargets t = make_targets(1e36f);
    EXPECT_EQ(passband_edge(starting_point(10000, t), t), t.probe_hz);
}

TEST(PassbandEdge, StopsAtTheLastProbeAboveZeroHertz) {
    // Below 0.999 everywhere but at 0 Hz: without a bound the probes would pass 0 Hz and run
    // on for ever. The k = 50 probe is (1 - 50 * 0.02f) * 5e8 = 11.1758709 Hz.
    const FilterComponents never_flat{1, 1, 1, -1};
    EXPECT_EQ(passband_edge(never_flat, make_targets(1e6f)), 11.175870895385742f);
}

TEST(PhaseDeviation, OneKilohertzDesignOver150Hz) {
    EXPECT_NEAR(0.5 * phase_deviation(kDesign1k, 150), 9.79251e-4, 5e-10);
}

TEST(PhaseDeviation, BandsBelowOneHertzAndNotFiniteGiveZero) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const double band : {0.0, -0.0, 0.25, 0.999, -0.5, kInf, -kInf, std::nan("")}) {
        EXPECT_EQ(phase_deviation(kDesign1k, band), 0.0) << band;
    }
}

TEST(PhaseDeviation, NegativeBandMirrorsThePositiveOne) {
    for (const double band : {150.0, 1.5, 2500.0, 1e6}) {
        EXPECT_EQ(phase_deviation(kDesign1k, -band), phase_deviation(kDesign1k, band)) << band;
    }
}

TEST(PhaseDeviation, NarrowBandIsDominatedByWholeHertzTruncation) {
    // Over 1.5 Hz the points A = 0..333 lie below 1 Hz and take the phase at 0 Hz, while the
    // line climbs to A/500 of the phase at 1 Hz: the largest gap is at A = 333.
    const double expected = 333.0 / 500.0 * phase_at(kDesign1k, 1);
    EXPECT_NEAR(phase_deviation(kDesign1k, 1.5), expected, 1e-7 * expected);
}

}  // namespace
}  // namespace kestrane
