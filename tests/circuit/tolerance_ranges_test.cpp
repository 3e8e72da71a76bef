#include "kestrane/circuit/tolerance_ranges.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace kestrane {
namespace {

// The README's set: the 1 kHz, 10 kohm design rounded to the nearest E96 and E12 members.
const CircuitParts kReadmeSet{10000, 10200, 22e-9f, 12e-9f};

// Expected from python3: the extremes over the exact tolerance box found by a 7^4 grid, then
// from its six best points a coordinate-wise golden-section search of each part within its
// range (nothing assumed about corners, edges or folds), the value at the point found
// evaluated with mpmath at 40 digits.
struct ExpectedBand {
    double hz;
    ValueRange gain, phase_deg, delay_s;
};

struct ExpectedRanges {
    PartTolerances tolerances;
    ValueRange cutoff_hz, q;
    ExpectedBand bands[4];
};

const ExpectedRanges kReadmeRanges[] = {
    {{1, 5},
     {868.05694251317296, 987.28766330733196},
     {0.64383098297333322, 0.71174359425276273},
     {{700,
       {0.81671909959871955, 0.89578227091656068},
       {-69.881925282144393, -61.729207138036595},
       {0.00025692545997282358, 0.00028152565775759552}},
      {970,
       {0.63625118009215748, 0.71961798131354926},
       {-94.559369946523386, -85.258733590123264},
       {0.00021127570882038027, 0.0002335617764308795}},
      {1000,
       {0.61463246475194371, 0.69811780170643526},
       {-96.90485097619221, -87.614725882700578},
       {0.00020460256886044152, 0.0002264154680926042}},
      {3000,
       {0.091768395993475667, 0.11611999566049983},
       {-153.59779057692747, -150.06621283567807},
       {2.5459566682820792e-5, 2.90893442251036e-5}}}},
    {{5, 20},
     {698.43909821850366, 1221.7684833428231},
     {0.55177918190754232, 0.82915619479930938},
     {{500,
       {0.83413917395396282, 1.0394022992767143},
       {-58.932958938928495, -34.360886404176842},
       {0.00020209436553362807, 0.00034609582757328097}},
      {1100,
       {0.4247762248121078, 0.78538252691973935},
       {-116.27537551308014, -78.58763320905878},
       {0.00015724601581498285, 0.00023834928990198625}},
      {1200,
       {0.36888157149758188, 0.71993398300976097},
       {-121.84525157083236, -85.234616259993242},
       {0.00014070205096775644, 0.00021050828271801461}},
      {1500,
       {0.24913288839848195, 0.56252331644886816},
       {-134.18095328185863, -102.39459444290359},
       {9.0943590016423452e-5, 0.00014203514714287123}}}},
};

// `range` holds `reached` (values some sets reach: the least and the greatest) and its ends
// are within `tightness` of them, relative.
void expect_holds_and_tight(const ValueRange& range, const ValueRange& reached,
                            double tightness = 1e-6) {
    EXPECT_LE(range.low, reached.low);
    EXPECT_GE(range.high, reached.high);
    EXPECT_LE(reached.low - range.low, tightness * std::fabs(reached.low));
    EXPECT_LE(range.high - reached.high, tightness * std::fabs(reached.high));
}

TEST(ToleranceRanges, ReadmeSetAgainstAnIndependentSearch) {
    for (const ExpectedRanges& e : kReadmeRanges) {
        SCOPED_TRACE(e.tolerances.capacitor_percent);
        const ToleranceBox box = tolerance_box(kReadmeSet, e.tolerances);
        expect_holds_and_tight(box_cutoff_range(box), e.cutoff_hz);
        expect_holds_and_tight(box_q_range(box), e.q);
        for (const ExpectedBand& b : e.bands) {
            SCOPED_TRACE(b.hz);
            const ResponseBand band = box_response_band(box, b.hz);
            expect_holds_and_tight(band.gain, b.gain);
            expect_holds_and_tight(band.phase_deg, b.phase_deg);
            expect_holds_and_tight(band.group_delay_s, b.delay_s);
        }
    }
    // The corners alone miss the README set's greatest cutoff at 1 %/5 %, which lies inside
    // the box in C1 (the old corner range printed 987.261 Hz on the design model).
    const ToleranceBox box = tolerance_box(kReadmeSet, {1, 5});
    double corner_high = 0;
    for (int k = 0; k < 16; ++k) {
        const CircuitParts corner{
            k & 1 ? box.high.R1 : box.low.R1, k & 2 ? box.high.R2 : box.low.R2,
            k & 4 ? box.high.C1 : box.low.C1, k & 8 ? box.high.C2 : box.low.C2};
        corner_high = std::fmax(corner_high, real_cutoff_hz(corner));
    }
    EXPECT_LT(corner_high, 987.28766330733196 * (1 - 1e-5));
}

// --- Dense search ---

using Point = std::array<double, 4>;  // R1, R2, C1, C2
using Figure = std::function<double(const Point&)>;

CircuitParts parts_of(const Point& x) {
    return {x[0], x[1], x[2], x[3]};
}

// The least and greatest values of a figure seen.
struct Seen {
    double low = INFINITY;
    double high = -INFINITY;

    void take(double value) {
        low = std::fmin(low, value);
        high = std::fmax(high, value);
    }
};

// The greatest value of f over [a, b] by golden-section search from a grid's best step.
double refined_maximum(const std::function<double(double)>& f, double a, double b) {
    constexpr int kSteps = 64;
    int best = 0;
    for (int i = 1; i <= kSteps; ++i) {
        if (f(a + (b - a) * i / kSteps) > f(a + (b - a) * best / kSteps)) best = i;
    }
    double lo = a + (b - a) * std::max(best - 1, 0) / kSteps;
    double hi = a + (b - a) * std::min(best + 1, kSteps) / kSteps;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 80; ++i) {
        const double c = hi - g * (hi - lo);
        const double d = lo + g * (hi - lo);
        if (f(c) > f(d)) {
            hi = d;
        } else {
            lo = c;
        }
    }
    return std::fmax(f(lo), f(a + (b - a) * best / kSteps));
}

// A figure's least and greatest values over the box: random sets anywhere inside (these
// only have to be held), and every corner, every edge with one part free and the fold
// R1 = R2, each refined to its extremes (these reach the range's ends).
struct DenseSearch {
    Seen inside;
    Seen reached;
};

DenseSearch dense_search(const ToleranceBox& box, const Figure& figure, std::mt19937_64& random) {
    const Point lo{box.low.R1, box.low.R2, box.low.C1, box.low.C2};
    const Point hi{box.high.R1, box.high.R2, box.high.C1, box.high.C2};
    DenseSearch d;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int s = 0; s < 2000; ++s) {
        Point x;
        for (std::size_t i = 0; i < 4; ++i)
            x[i] = lo[i] + (hi[i] - lo[i]) * unit(random);
        d.inside.take(figure(x));
    }
    for (unsigned k = 0; k < 16; ++k) {
        Point corner;
        for (std::size_t i = 0; i < 4; ++i)
            corner[i] = (k >> i & 1u) != 0 ? hi[i] : lo[i];
        d.reached.take(figure(corner));
        for (std::size_t i = 0; i < 4; ++i) {
            const auto along = [&](double sign) {
                return [&, sign, i](double v) {
                    Point x = corner;
                    x[i] = v;
                    return sign * figure(x);
                };
            };
            d.reached.take(refined_maximum(along(1), lo[i], hi[i]));
            d.reached.take(-refined_maximum(along(-1), lo[i], hi[i]));
        }
        const double fold_lo = std::fmax(lo[0], lo[1]);
        const double fold_hi = std::fmin(hi[0], hi[1]);
        if (fold_lo < fold_hi) {
            const auto fold = [&](double sign) {
                return [&, sign](double r) {
                    Point x = corner;
                    x[0] = x[1] = r;
                    return sign * figure(x);
                };
            };
            d.reached.take(refined_maximum(fold(1), fold_lo, fold_hi));
            d.reached.take(-refined_maximum(fold(-1), fold_lo, fold_hi));
        }
    }
    return d;
}

void expect_dense(const ValueRange& range, const DenseSearch& d) {
    EXPECT_LE(range.low, d.inside.low);
    EXPECT_GE(range.high, d.inside.high);
    expect_holds_and_tight(range, {d.reached.low, d.reached.high});
}

struct BoxCase {
    CircuitParts nominal;
    PartTolerances tolerances;
};

// Seeded random sets over two decades of each part and tolerances up to 30 % and 50 %, and
// three chosen: the README set, R2 = 8 R1 at Q near 1/2 (where the cutoff rises with R1, so
// its greatest value is not at R1's low end) and a Q near 5.
std::vector<BoxCase> box_cases() {
    std::vector<BoxCase> cases = {{kReadmeSet, {5, 20}},
                                  {{1000, 8000, 25e-9, 10e-9}, {10, 10}},
                                  {{10000, 10000, 1e-6, 1e-9}, {2, 10}}};
    std::mt19937_64 random(0x72616e6765);
    std::uniform_real_distribution<double> decade(-1, 1), unit(0, 1);
    for (int i = 0; i < 8; ++i) {
        cases.push_back(
            {{1e4 * std::pow(10.0, decade(random)), 1e4 * std::pow(10.0, decade(random)),
              1e-8 * std::pow(10.0, decade(random)), 1e-8 * std::pow(10.0, decade(random))},
             {30 * unit(random), 50 * unit(random)}});
    }
    return cases;
}

TEST(ToleranceRanges, CutoffAndQHoldEverySetAndAreReached) {
    std::mt19937_64 random(7);
    for (const BoxCase& c : box_cases()) {
        SCOPED_TRACE(c.nominal.R2);
        const ToleranceBox box = tolerance_box(c.nominal, c.tolerances);
        expect_dense(box_cutoff_range(box),
                     dense_search(
                         box, [](const Point& x) { return real_cutoff_hz(parts_of(x)); }, random));
        expect_dense(box_q_range(box),
                     dense_search(
                         box, [](const Point& x) { return quality_factor(parts_of(x)); }, random));
    }
}

TEST(ToleranceRanges, ResponseBandsHoldEverySetAndAreReached) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> decade(-1, 1);
    for (const BoxCase& c : box_cases()) {
        const ToleranceBox box = tolerance_box(c.nominal, c.tolerances);
        const double f0 = natural_frequency_hz(c.nominal);
        for (int i = 0; i < 6; ++i) {
            const double hz = f0 * std::pow(10.0, decade(random));
            SCOPED_TRACE(hz);
            const ResponseBand band = box_response_band(box, hz);
            const auto at = [hz](const Point& x) { return circuit_point(parts_of(x), hz); };
            expect_dense(band.gain, dense_search(
                                        box, [&](const Point& x) { return at(x).gain; }, random));
            expect_dense(band.phase_deg,
                         dense_search(
                             box, [&](const Point& x) { return at(x).phase_deg; }, random));
            expect_dense(band.group_delay_s,
                         dense_search(
                             box, [&](const Point& x) { return at(x).group_delay_s; }, random));
        }
    }
}

TEST(ToleranceRanges, GainExtremesAreTheBandsGainAndTheirSetsReachIt) {
    for (const PartTolerances tolerances : {PartTolerances{1, 5}, PartTolerances{5, 10}}) {
        const ToleranceBox box = tolerance_box(kReadmeSet, tolerances);
        for (const double hz : {50.0, 700.0, 970.0, 1300.0, 4e4}) {
            const GainExtremes e = box_gain_extremes(box, hz);
            const ResponseBand band = box_response_band(box, hz);
            EXPECT_EQ(e.gain.low, band.gain.low);
            EXPECT_EQ(e.gain.high, band.gain.high);
            for (const CircuitParts& set : {e.least_at, e.greatest_at}) {
                EXPECT_TRUE(set.R1 >= box.low.R1 && set.R1 <= box.high.R1);
                EXPECT_TRUE(set.R2 >= box.low.R2 && set.R2 <= box.high.R2);
                EXPECT_TRUE(set.C1 >= box.low.C1 && set.C1 <= box.high.C1);
                EXPECT_TRUE(set.C2 >= box.low.C2 && set.C2 <= box.high.C2);
            }
            expect_holds_and_tight(
                e.gain, {circuit_point(e.least_at, hz).gain, circuit_point(e.greatest_at, hz).gain},
                2e-9);
        }
    }
}

TEST(ToleranceRanges, ManyFrequenciesAtOnceAndNoTolerance) {
    const ToleranceBox box = tolerance_box(kReadmeSet, {1, 5});
    const double hz[] = {10, 970, 1e5};
    ResponseBand bands[3];
    box_response_bands(box, hz, bands);
    for (int i = 0; i < 3; ++i) {
        const ResponseBand one = box_response_band(box, hz[i]);
        EXPECT_EQ(bands[i].gain.low, one.gain.low);
        EXPECT_EQ(bands[i].group_delay_s.high, one.group_delay_s.high);
    }
    // Without tolerance every range is the set's own figure, widened by 1e-9 at most.
    const ToleranceBox point = tolerance_box(kReadmeSet, {0, 0});
    const double cutoff = real_cutoff_hz(kReadmeSet);
    expect_holds_and_tight(box_cutoff_range(point), {cutoff, cutoff}, 2e-9);
    const ResponsePoint at = circuit_point(kReadmeSet, 970);
    const ResponseBand band = box_response_band(point, 970);
    expect_holds_and_tight(band.gain, {at.gain, at.gain}, 2e-9);
    expect_holds_and_tight(band.phase_deg, {at.phase_deg, at.phase_deg}, 2e-9);
    expect_holds_and_tight(band.group_delay_s, {at.group_delay_s, at.group_delay_s}, 2e-9);
    EXPECT_TRUE(are_tolerances({0, 99.9}));
    EXPECT_FALSE(are_tolerances({100, 5}));
    EXPECT_FALSE(are_tolerances({1, -1}));
    EXPECT_FALSE(are_tolerances({1, NAN}));
}

}  // namespace
}  // namespace kestrane
