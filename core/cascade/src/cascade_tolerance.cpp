#include "kestrane/cascade/cascade_tolerance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "core_arithmetic.h"
#include "real_functions.h"

// Why the ranges hold.
//
// Bands. A build chooses a set in every stage's box independently, and the cascade's gain is
// the product of the stages' gains, all positive, its phase and delay the sums of theirs. So at
// one frequency the least gain over all builds is the product of the stages' least gains,
// reached by the build that puts each stage at its own least; likewise the greatest gain, and
// the ends of the phase and the delay are the sums of the stages' ends. Each stage's ends are
// exact (box_response_band; first_order_band in its header), so the cascade's are too.
//
// Cutoff range. Let G-(f) and G+(f) be the products of the stages' least and greatest gains,
// so that every build's gain g(f) lies between them at every f and, at any one f, some build
// reaches each (see above). Write the level as a gain l (|1/H|^2 = loss = 1/l^2).
//
// First crossing (half power, half amplitude): a build's cutoff is the first f where g falls to
// l; the gain is 1 > l at DC.
//  - Low end: L = the first f where G- reaches l. Below L every build has g >= G- > l, so no
//    cutoff lies below L; the build that puts each stage at its least gain at L has g(L) = l
//    and g > l below, so its cutoff is L. L is the least cutoff, reached.
//  - High end: H = the first f where G+ reaches l. Every build has g(H) <= G+(H) = l, so it has
//    crossed by H: no cutoff lies above H. The build B that puts each stage at its greatest
//    gain at H has g(H) = l; its cutoff is H unless its gain dips to l somewhere below H: a
//    passband dip as deep as the level, as a Chebyshev of large ripple or wide tolerances
//    has. Then H is an upper bound, and the cutoff of some build, reported beside it
//    (reached_hz.high), a lower one: the highest cutoff lies between the two. The builds tried
//    are B and, at every dip of G+ between L and H, the build at its greatest gain there (which
//    keeps that dip shallowest); the one whose cutoff is highest is kept.
// Last crossing (the ripple edge at a fixed level, see build_cutoff): a build's cutoff is the
// last f where g is at l or above.
//  - High end: U = the last f where G+ is at l or above. Beyond U every build has g <= G+ < l,
//    so no cutoff lies beyond U; the build that puts each stage at its greatest gain at U has
//    g(U) = l and g < l beyond, so its cutoff is U: U is the highest cutoff, reached.
//  - Low end: L = the last f where G- is at l or above; every build has g(L) >= l, so its
//    cutoff is L or beyond: a bound. The build that puts each stage at its least gain at L
//    reaches it unless its gain rises to l again beyond L, at a ripple peak after it. Below a
//    ripple peak that falls under the level for some builds, a build's cutoff must have every
//    later peak under the level at once, which the envelope G-, one frequency at a time, does
//    not see: there L is a bound, and the builds tried (at L and at every peak of G- between L
//    and U, each stage at its least gain there) give reached_hz.low. Seen: 0.95 % between
//    the bound and the lowest cutoff an optimiser finds, for a 5th-order Chebyshev of 0.5 dB at
//    1 % and 2 %; no gap where the ripple peaks stay above the level.
//
// Finding the crossings. G- is exact from the corners alone: every stage's |1/H|^2 is convex
// in each part (tolerance_ranges.cpp), so its greatest value over the box, the least gain, is
// at one of the 16 corners (a first-order stage: at the greater RC). G+ needs each stage's
// edges and fold too: box_gain_extremes (first_order_band for a first-order stage). Both are
// widened as circuit widens its ranges: every stage's least gain down and greatest gain up by
// kRangeSlack (1e-9) of itself, so rounding, a few ulps per stage, can only move an end
// outward. They are walked on a graded grid fine enough for the widest, highest-Q stage of the
// box (relative steps at most 5 %, a tenth of every second-order stage's distance from the
// range of its f0 over the box, and a tenth of the 1/Q of its highest Q over the box, so every
// build's resonances are sampled at 10 points or more across their width), from 1e-8 of the
// lowest stage frequency, where every gain is within 1e-14 of 1, to twice the highest f0,
// beyond which every stage's gain is at most 1/3 and so below every level. The first grid
// point where the product reaches the level brackets the crossing; so does every sampled
// extremum (a dip before a first crossing, a peak before a last one, going down) whose
// refined value (golden-section search) reaches it, so a crossing between two points that no
// sample shows is not missed. A sampled extremum that the curvature bound (chord_distance)
// shows cannot reach the level is not refined, where that bound holds for the envelope.
// Regula falsi (bracketed_root) then finds the crossing to a few ulps. G+ >= G- everywhere, so
// H's walk starts from L's bracket, and the last crossings' walks go down from the top.
//
// One build's crossing (build_cutoff_hz, and each draw of the yield) is found on the same
// kind of grid without relying on samples alone: its ln |1/H|^2 is smooth with a known bound
// on its curvature in ln f (chord_distance), so between two samples it stays within a known
// distance of their chord. The walk strides over as many points as that bound clears and
// halves the stride where it does not; on a single step that it does not clear, the interval
// is halved until every part is cleared or a midpoint crosses (reaches_between).
//
// Yield. A build's cutoff only has to be placed against the bands' ends t (1 -+ p/100), t the
// target. The grid points from the last one below L (where every build is still above the
// level) to the first at or past H (where every build has crossed), with the bands' ends
// inserted, are the points each build is walked over, the clearing values of every stride
// computed once for the whole box. The walk brackets its cutoff between two neighbouring
// points, and since every band's end is one of them, the bracket alone says which bands hold
// the cutoff: what comparing the refined cutoff would say, save for a cutoff within rounding
// of a band's end.
namespace kestrane {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr ValueRange kNoRange{kNotANumber, kNotANumber};
constexpr ResponseBand kNoBand{kNoRange, kNoRange, kNoRange};
constexpr double kDegreesPerRadian = 180 / std::numbers::pi;
constexpr double kLargestStep = 0.05;
constexpr double kSmallestStep = 1e-12;
// The grid holds a few thousand points for tolerances of a few percent; the bound only guards
// against a loop without end.
constexpr std::size_t kMostGridPoints = std::size_t{1} << 22;
// Frequencies per block of cascade_response_bands.
constexpr std::size_t kBandBlock = 64;

bool is_positive_finite(double value) {
    return value > 0 && std::isfinite(value);
}

bool is_frequency(double hz) {
    return is_positive_finite(hz);
}

// A box's stage count indexes its arrays.
void check_stage_count(const CascadeBox& box) {
    KESTRANE_CHECK(box.stage_count >= 0 && box.stage_count <= kMaxStages);
}

ValueRange widened(double low, double high) {
    return {low - std::fabs(low) * kRangeSlack, high + std::fabs(high) * kRangeSlack};
}

// --- One build's |1/H|^2 ---

// |1/H|^2 = (1 - w^2 a)^2 + w^2 b^2 with a = R1 R2 C1 C2 and b = C2 (R1 + R2) for a
// second-order stage (circuit's coefficients, formed in the same order), a = 0 and b = R1 C1
// for a first-order one.
struct Coefficients {
    double a;
    double b;
};

Coefficients coefficients_of(int order, const CircuitParts& p) {
    if (order == 1) return {0, p.R1 * p.C1};
    return {p.R1 * p.R2 * p.C1 * p.C2, p.C2 * (p.R1 + p.R2)};
}

double loss_of(Coefficients c, double w2) {
    const double real = 1 - w2 * c.a;
    return real * real + w2 * c.b * c.b;
}

double angular_squared(double hz) {
    const double omega = kExactTwoPi * hz;
    return omega * omega;
}

// A build as its stages' coefficients.
struct Build {
    int count = 0;
    Coefficients stage[kMaxStages];

    double loss(double hz) const { return loss_at(angular_squared(hz)); }

    double loss_at(double w2) const {
        double product = 1;
        for (int k = 0; k < count; ++k)
            product *= loss_of(stage[k], w2);
        return product;
    }
};

Build build_of(std::span<const StageCircuit> stages) {
    Build build;
    for (const StageCircuit& s : stages)
        build.stage[build.count++] = coefficients_of(s.order, s.parts);
    return build;
}

// --- The grid ---

// Where a stage's f0 and Q may lie: over its box, or one build's values.
struct StageSpread {
    int order;
    double f0_low;
    double f0_high;
    double q_low;  // second order only
    double q_high;
};

struct Spread {
    int count = 0;
    StageSpread stage[kMaxStages];
};

double first_order_hz(double rc) {
    return 1 / (kExactTwoPi * rc);
}

Spread spread_of(const CascadeBox& box) {
    Spread spread;
    for (int k = 0; k < box.stage_count; ++k) {
        const ToleranceBox& b = box.box[k];
        if (box.order[k] == 1) {
            spread.stage[spread.count++] = {1, first_order_hz(b.high.R1 * b.high.C1),
                                            first_order_hz(b.low.R1 * b.low.C1), 1, 1};
        } else {
            const ValueRange q = box_q_range(b);
            spread.stage[spread.count++] = {2, natural_frequency_hz(b.high),
                                            natural_frequency_hz(b.low), q.low, q.high};
        }
    }
    return spread;
}

Spread spread_of(std::span<const StageCircuit> stages) {
    Spread spread;
    for (const StageCircuit& s : stages) {
        if (s.order == 1) {
            const double f0 = first_order_hz(s.parts.R1 * s.parts.C1);
            spread.stage[spread.count++] = {1, f0, f0, 1, 1};
        } else {
            const double f0 = natural_frequency_hz(s.parts);
            const double q = quality_factor(s.parts);
            spread.stage[spread.count++] = {2, f0, f0, q, q};
        }
    }
    return spread;
}

// The relative step after `hz` (see the comment at the top).
double step_after(const Spread& spread, double hz) {
    double step = kLargestStep;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        if (s.order != 2) continue;
        double distance = 0;
        if (hz < s.f0_low) distance = (s.f0_low - hz) / s.f0_low;
        if (hz > s.f0_high) distance = (hz - s.f0_high) / hz;
        step = std::fmin(step, std::fmax(distance, 1 / s.q_high) / 10);
    }
    return std::fmax(step, kSmallestStep);
}

// The grid's points, rising, from 1e-8 of the lowest stage frequency (f0, or Q f0 for Q < 1)
// to the first point beyond twice the highest f0.
std::vector<double> grid_points(const Spread& spread) {
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        lowest = std::fmin(lowest, s.f0_low * std::fmin(s.q_low, 1));
        highest = std::fmax(highest, s.f0_high);
    }
    const double top = 2 * highest;
    std::vector<double> points;
    double hz = std::fmax(lowest * 1e-8, std::numeric_limits<double>::min());
    while (points.size() < kMostGridPoints) {
        points.push_back(hz);
        if (hz > top) break;
        hz *= 1 + step_after(spread, hz);
    }
    return points;
}

// --- Crossings on the grid ---

// The greatest or least loss found near a sampled extremum, and where.
struct Extremum {
    double hz;
    double loss;
};

// Golden-section search of [a, b] for the greatest (or least) value of `loss`, to 1e-13 of b.
template <class Loss>
Extremum golden_extremum(const Loss& loss, double a, double b, bool greatest) {
    constexpr double kGolden = 0.6180339887498949;  // (sqrt(5) - 1) / 2
    constexpr int kMostSteps = 100;
    const auto better = [&](double u, double v) { return greatest ? u >= v : u <= v; };
    double x1 = b - kGolden * (b - a);
    double x2 = a + kGolden * (b - a);
    double f1 = loss(x1);
    double f2 = loss(x2);
    for (int i = 0; i < kMostSteps && b - a > 1e-13 * b; ++i) {
        if (better(f1, f2)) {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - kGolden * (b - a);
            f1 = loss(x1);
        } else {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + kGolden * (b - a);
            f2 = loss(x2);
        }
    }
    return better(f1, f2) ? Extremum{x1, f1} : Extremum{x2, f2};
}

// Where a crossing lies: from `low` to `high`, where the loss less the level is `gap_low` and
// `gap_high` (of opposite signs, or one of them 0). `index` is the grid point that closes the
// bracket of a first crossing, (points[index - 1], points[index]], or opens that of a last
// one, [points[index], points[index + 1]).
struct Bracket {
    bool found = false;
    std::size_t index = 0;
    double low = 0;
    double high = 0;
    double gap_low = 0;
    double gap_high = 0;
};

// The first crossing of the loss up through `level` at or after grid point `from`, given that
// it is below the level at the point before (at 0 Hz, where it is 1, for from = 0).
// sample(i) is the loss at points[i]; refine(a, b, greatest) the greatest loss in [a, b]. Every
// sampled maximum (a point above the one before and at least the one after) is refined: a dip
// to the level between two points, which no sample shows, is still found. For the box's
// envelopes, which have kinks where the extreme set changes.
template <class Sample, class Refine>
Bracket first_up(std::span<const double> points, std::size_t from, const Sample& sample,
                 const Refine& refine, double level) {
    double x1 = from == 0 ? 0 : points[from - 1];
    double d1 = from == 0 ? 1 : sample(from - 1);
    double x0 = x1;
    double d0 = std::numeric_limits<double>::infinity();  // no maximum at the start
    for (std::size_t i = from; i < points.size(); ++i) {
        const double x = points[i];
        const double d = sample(i);
        if (d >= level) return {true, i, x1, x, d1 - level, d - level};
        if (d1 > d0 && d1 >= d) {
            const Extremum e = refine(x0, x, true);
            if (e.loss >= level) {
                if (e.hz <= x1) return {true, i - 1, x0, e.hz, d0 - level, e.loss - level};
                return {true, i, x1, e.hz, d1 - level, e.loss - level};
            }
        }
        x0 = x1;
        d0 = d1;
        x1 = x;
        d1 = d;
    }
    return {};
}

// The last crossing: the last frequency at or below grid point `above` where the loss is at
// `level` or below, given that it is above the level there; sampled minima are refined as
// first_up refines maxima. Below the lowest point the loss is within 1e-14 of its value 1 at
// 0 Hz: when that is at the level or below the crossing lies under the lowest point (index 0,
// low 0), else there is none.
template <class Sample, class Refine>
Bracket last_down(std::span<const double> points, std::size_t above, const Sample& sample,
                  const Refine& refine, double level) {
    double x1 = points[above];
    double d1 = sample(above);
    double x0 = x1;
    double d0 = -std::numeric_limits<double>::infinity();  // no minimum at the start
    for (std::size_t i = above; i-- > 0;) {
        const double x = points[i];
        const double d = sample(i);
        if (d <= level) return {true, i, x, x1, d - level, d1 - level};
        if (d1 < d0 && d1 <= d) {
            const Extremum e = refine(x, x0, false);
            if (e.loss <= level) {
                if (e.hz >= x1) return {true, i + 1, e.hz, x0, e.loss - level, d0 - level};
                return {true, i, e.hz, x1, e.loss - level, d1 - level};
            }
        }
        x0 = x1;
        d0 = d1;
        x1 = x;
        d1 = d;
    }
    if (1 - level <= 0) return {true, 0, 0, x1, 1 - level, d1 - level};
    return {};
}

// The crossing's frequency within its bracket, by regula falsi on `loss`; 0 when none.
template <class Loss>
double crossing_hz(const Bracket& b, const Loss& loss, double level) {
    if (!b.found) return 0;
    const auto gap = [&](double hz) { return loss(hz) - level; };
    return bracketed_root(gap, b.low, b.high, b.gap_low, b.gap_high);
}

// --- Walks of builds, cleared by the curvature of their loss ---

// A bound on how far a build's ln |1/H|^2 strays from its chord between two frequencies. In
// u = ln f, a second-order stage's has curvature |d2/du2| at most max(8 Q^2, 4) (8 Q^2 at f0,
// for Q >= 1) and at most 2/d^2 at a distance d from f0; a first-order stage's (4y/(1+y)^2,
// y = (f/f0)^2) at most 1 and 2/d^2. (Both found on a fine grid of u for Q from 0.3 to 100;
// 8 Q^2 also in closed form at f0. Below Q = 1/sqrt(2) the loss is 1 + (1/Q^2 - 2) y + y^2,
// a sum of positive multiples of e^0, e^2u and e^4u, whose logarithm has curvature at most
// 4; below Q = 0.3 its two real poles part far from f0 and only that bound is used.) So
// between lo and hi, Delta = ln(hi/lo) apart, the loss
// lies within K Delta^2/8 of the chord through its values there, K the sum of the stages'
// bounds over [lo, hi], each taken for the highest Q and the nearest f0 of the stage's spread,
// so that one bound serves every build of a box. |ln(f/f0)| is at least (f - f0)/f above f0
// and (f0 - f)/f0 below, and Delta at most hi/lo - 1.
constexpr double kSplitPolesQ = 0.3;

double chord_distance(const Spread& spread, double lo, double hi) {
    double k_sum = 0;
    for (int k = 0; k < spread.count; ++k) {
        const StageSpread& s = spread.stage[k];
        const double peak = s.order == 2 ? std::fmax(8 * s.q_high * s.q_high, 4) : 1;
        double d = 0;
        if (s.f0_high < lo) d = (lo - s.f0_high) / lo;
        if (s.f0_low > hi) d = (s.f0_low - hi) / s.f0_low;
        const bool split = s.order == 2 && s.q_low < kSplitPolesQ;
        const double far = d > 0 && !split ? 2 / (d * d) : peak;
        k_sum += far < peak ? far : peak;
    }
    const double delta = hi / lo - 1;
    return k_sum * delta * delta / 8;
}

// The value that clears a stretch whose chord distance is x: no crossing lies between two
// samples when, before a first crossing, the greater of them is below level (1 - x) (e^x is at
// most 1/(1 - x)), or, before a last one, the smaller is above level / (1 - x).
double clearing_value(double x, double level, bool last) {
    if (!(x < 1)) return last ? std::numeric_limits<double>::infinity() : 0;
    return last ? level / (1 - x) : level * (1 - x);
}

bool clear_between(const Spread& spread, double lo, double d_lo, double hi, double d_hi,
                   double level, bool last) {
    if (!(lo > 0)) return false;
    const double value = clearing_value(chord_distance(spread, lo, hi), level, last);
    return last ? d_lo > value && d_hi > value : d_lo < value && d_hi < value;
}

// Where a build's loss reaches the level between samples at lo and hi that are both on the
// side it starts from (below the level before a first crossing, above before a last one):
// halves the interval until the bound clears each half or a midpoint reaches the level, the
// earlier half first for a first crossing, the later for a last one. Found false when it does
// not, or only within 2^-40 of the step, where it can only touch the level within rounding.
template <class Loss>
Bracket reaches_between(const Loss& loss, const Spread& spread, double lo, double d_lo, double hi,
                        double d_hi, double level, bool last, int depth = 40) {
    if (depth == 0 || clear_between(spread, lo, d_lo, hi, d_hi, level, last)) return {};
    const double mid = lo + (hi - lo) / 2;
    const double d_mid = loss(mid);
    if (!last && d_mid >= level) return {true, 0, lo, mid, d_lo - level, d_mid - level};
    if (last && d_mid <= level) return {true, 0, mid, hi, d_mid - level, d_hi - level};
    const auto half = [&](double a, double d_a, double b, double d_b) {
        return reaches_between(loss, spread, a, d_a, b, d_b, level, last, depth - 1);
    };
    if (!last) {
        const Bracket earlier = half(lo, d_lo, mid, d_mid);
        return earlier.found ? earlier : half(mid, d_mid, hi, d_hi);
    }
    const Bracket later = half(mid, d_mid, hi, d_hi);
    return later.found ? later : half(lo, d_lo, mid, d_mid);
}

// The strides of the walks: 1, 2, 4, 8 and 16 points.
constexpr int kStrideLevels = 5;
constexpr int kFirstStrideLevel = 2;

// The points a build is walked over, with w^2 at each and, for every point i and stride level
// s, the value that clears the stretch from point i to point i + 2^s for every build of the
// spread (clearing_value; 0 or infinity where no stretch that long is left).
struct WalkPoints {
    std::vector<double> hz;
    std::vector<double> w2;
    std::vector<double> clear[kStrideLevels];
};

WalkPoints walk_points(std::vector<double> hz, const Spread& spread, BuildCutoff cutoff) {
    WalkPoints p;
    p.hz = std::move(hz);
    const std::size_t n = p.hz.size();
    for (const double f : p.hz)
        p.w2.push_back(angular_squared(f));
    for (int s = 0; s < kStrideLevels; ++s) {
        const std::size_t stride = std::size_t{1} << s;
        p.clear[s].resize(n, clearing_value(1, cutoff.loss, cutoff.last));
        for (std::size_t i = 0; i + stride < n; ++i) {
            if (!(p.hz[i] > 0)) continue;
            const double x = chord_distance(spread, p.hz[i], p.hz[i + stride]);
            p.clear[s][i] = clearing_value(x, cutoff.loss, cutoff.last);
        }
    }
    return p;
}

// A build's first crossing over the points at or after point 1, the loss at point 0 below
// the level. Strides over as many points as the bound clears (doubling up to 16, halving where
// it does not), down to single steps, where a sample at the level closes the bracket and
// otherwise reaches_between decides. The bracket is as first_up's.
template <class Loss>
Bracket build_first_up(const WalkPoints& p, const Loss& loss, const Spread& spread,
                       BuildCutoff cutoff, const Build& build) {
    const double level = cutoff.loss;
    const std::size_t n = p.hz.size();
    std::size_t i = 0;
    double d = build.loss_at(p.w2[0]);
    int s = kFirstStrideLevel;
    while (i + 1 < n) {
        while (s > 0 && i + (std::size_t{1} << s) >= n)
            --s;
        const std::size_t j = i + (std::size_t{1} << s);
        const double d_j = build.loss_at(p.w2[j]);
        if (d < p.clear[s][i] && d_j < p.clear[s][i]) {
            i = j;
            d = d_j;
            s = std::min(s + 1, kStrideLevels - 1);
            continue;
        }
        if (s > 0) {
            --s;
            continue;
        }
        if (d_j >= level) return {true, j, p.hz[i], p.hz[j], d - level, d_j - level};
        Bracket between = reaches_between(loss, spread, p.hz[i], d, p.hz[j], d_j, level, false);
        if (between.found) {
            between.index = j;
            return between;
        }
        i = j;
        d = d_j;
    }
    return {};
}

// A build's last crossing over the points, the loss at the last point above the level, as
// build_first_up walks, going down; below the lowest point as last_down has it.
template <class Loss>
Bracket build_last_down(const WalkPoints& p, const Loss& loss, const Spread& spread,
                        BuildCutoff cutoff, const Build& build) {
    const double level = cutoff.loss;
    std::size_t i = p.hz.size() - 1;
    double d = build.loss_at(p.w2[i]);
    int s = kFirstStrideLevel;
    while (i > 0) {
        while (s > 0 && (std::size_t{1} << s) > i)
            --s;
        const std::size_t j = i - (std::size_t{1} << s);
        const double d_j = build.loss_at(p.w2[j]);
        if (d > p.clear[s][j] && d_j > p.clear[s][j]) {
            i = j;
            d = d_j;
            s = std::min(s + 1, kStrideLevels - 1);
            continue;
        }
        if (s > 0) {
            --s;
            continue;
        }
        if (d_j <= level) return {true, j, p.hz[j], p.hz[i], d_j - level, d - level};
        Bracket between = reaches_between(loss, spread, p.hz[j], d_j, p.hz[i], d, level, true);
        if (between.found) {
            between.index = j;
            return between;
        }
        i = j;
        d = d_j;
    }
    if (1 - level <= 0) return {true, 0, 0, p.hz[0], 1 - level, d - level};
    return {};
}

// A build's crossing over the points.
Bracket build_crossing(const WalkPoints& p, const Spread& spread, BuildCutoff cutoff,
                       const Build& build) {
    const auto loss = [&](double hz) { return build.loss(hz); };
    if (cutoff.last) return build_last_down(p, loss, spread, cutoff, build);
    return build_first_up(p, loss, spread, cutoff, build);
}

// --- The stages' gain extremes ---

// The exact ends of one stage's gain at `hz`, with the sets that reach them.
GainExtremes stage_gain_extremes(int order, const ToleranceBox& box, double hz) {
    if (order == 2) return box_gain_extremes(box, hz);
    const ResponseBand band = first_order_band(box, hz);
    return {band.gain, box.high, box.low};
}

// The product of the stages' greatest |1/H|^2 (their least gains, from the corners), widened
// as the gains are.
class LeastGain {
  public:
    explicit LeastGain(const CascadeBox& box) : count_(box.stage_count) {
        for (int k = 0; k < count_; ++k) {
            const ToleranceBox& b = box.box[k];
            Corners& c = corners_[k];
            if (box.order[k] == 1) {
                c.count = 2;
                c.coefficient[0] = coefficients_of(1, b.low);
                c.coefficient[1] = coefficients_of(1, b.high);
                continue;
            }
            c.count = 16;
            for (unsigned corner = 0; corner < 16; ++corner) {
                const CircuitParts x{(corner & 1u) != 0 ? b.high.R1 : b.low.R1,
                                     (corner & 2u) != 0 ? b.high.R2 : b.low.R2,
                                     (corner & 4u) != 0 ? b.high.C1 : b.low.C1,
                                     (corner & 8u) != 0 ? b.high.C2 : b.low.C2};
                c.coefficient[corner] = coefficients_of(2, x);
            }
        }
    }

    double operator()(double hz) const {
        const double w2 = angular_squared(hz);
        double product = 1;
        for (int k = 0; k < count_; ++k)
            product *= stage_at(k, w2);
        return product;
    }

    // Stage k's greatest |1/H|^2, widened.
    double stage(int k, double hz) const { return stage_at(k, angular_squared(hz)); }

  private:
    struct Corners {
        int count = 0;
        Coefficients coefficient[16];
    };

    double stage_at(int k, double w2) const {
        constexpr double kWidening = 1 / ((1 - kRangeSlack) * (1 - kRangeSlack));
        const Corners& c = corners_[k];
        double greatest = 0;
        for (int i = 0; i < c.count; ++i) {
            const double loss = loss_of(c.coefficient[i], w2);
            greatest = loss > greatest ? loss : greatest;  // inlined, unlike std::fmax
        }
        return greatest * kWidening;
    }

    int count_;
    Corners corners_[kMaxStages];
};

// The product of the stages' least |1/H|^2 (their greatest gains, widened).
class GreatestGain {
  public:
    explicit GreatestGain(const CascadeBox& box) : box_(box) {}

    double operator()(double hz) const {
        double product = 1;
        for (int k = 0; k < box_.stage_count; ++k)
            product *= stage(k, hz);
        return product;
    }

    double stage(int k, double hz) const {
        const double gain = stage_gain_extremes(box_.order[k], box_.box[k], hz).gain.high;
        return 1 / (gain * gain);
    }

  private:
    const CascadeBox& box_;
};

// The build that puts every stage at its least (or greatest) gain at `hz`.
CascadeCircuit extreme_build(const CascadeBox& box, double hz, bool greatest) {
    CascadeCircuit circuit;
    for (int k = 0; k < box.stage_count; ++k) {
        const GainExtremes e = stage_gain_extremes(box.order[k], box.box[k], hz);
        circuit.stages[circuit.stage_count++] = {box.order[k],
                                                 greatest ? e.greatest_at : e.least_at};
    }
    return circuit;
}

// --- The range ---

// The range's ends and the grid points between which every build's cutoff lies.
struct RangeWalk {
    CascadeCutoffRange range;
    std::vector<double> points;
    // Every build's cutoff lies above points[from] (first crossing: every build is above the
    // level up to there; last crossing: every build is at the level or above somewhere at or
    // beyond it; kNone: 0 Hz) and below points[to] (where every build has crossed, or beyond
    // which every build stays below the level).
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t from = kNone;
    std::size_t to = 0;
};

double cutoff_of(const CascadeCircuit& build, BuildCutoff cutoff) {
    return build_cutoff_hz(stages_of(build), cutoff);
}

// The crossing of an envelope (LeastGain or GreatestGain) on the walk's grid from `from` up
// (first) or `from` down (last). A sampled maximum of the least gains' loss (before a first
// crossing) or minimum of the greatest gains' (before a last one) is refined only where the
// chord bound does not clear it: each stage's envelope is the greatest (least) of smooth
// losses of sets of the box, so between two samples its maximum (minimum) lies within the
// chord distance of the greater (lesser) of its two samples, and the product of those stays
// on the starting side. The other kind of extremum, where the envelopes have kinks, is always
// refined.
template <class Envelope>
Bracket walk_from(const RangeWalk& walk, std::size_t from, const Envelope& envelope,
                  BuildCutoff cutoff, const Spread& spread, bool bounded) {
    const std::span<const double> points = walk.points;
    const auto sample = [&](std::size_t i) { return envelope(points[i]); };
    const auto refine = [&](double a, double b, bool greatest) {
        if (bounded && a > 0) {
            double product = 1;
            for (int k = 0; k < spread.count; ++k) {
                const double at_a = envelope.stage(k, a);
                const double at_b = envelope.stage(k, b);
                product *= greatest == (at_a > at_b) ? at_a : at_b;
            }
            const double x = chord_distance(spread, a, b);
            // Conclusive: an end of the extremum's possible values that stays on its side.
            if (x < 1 && greatest && product < cutoff.loss * (1 - x)) {
                return Extremum{a, product / (1 - x)};
            }
            if (x < 1 && !greatest && product * (1 - x) > cutoff.loss) {
                return Extremum{a, product * (1 - x)};
            }
        }
        return golden_extremum(envelope, a, b, greatest);
    };
    if (cutoff.last) return last_down(points, from, sample, refine, cutoff.loss);
    return first_up(points, from, sample, refine, cutoff.loss);
}

// The cutoff of the build that puts every stage at its least (or greatest) gain at `hz`.
struct Witness {
    CascadeCircuit build;
    double cutoff_hz;
};

Witness witness_at(const CascadeBox& box, BuildCutoff cutoff, double hz, bool greatest) {
    Witness w{extreme_build(box, hz, greatest), 0};
    if (hz > 0) w.cutoff_hz = cutoff_of(w.build, cutoff);
    return w;
}

// The end that is only a bound (see the comment at the top) is reached by the build that puts
// every stage at its extreme there unless that build crosses elsewhere first. Where the
// envelope that gives the end has a sampled extremum between the ends (a ripple's dip or
// peak), the build at its extreme there is tried too, and the one whose cutoff lies farthest
// out is kept: every one is a build of the box, so its cutoff is one the range must hold.
template <class Loss>
Witness farthest_witness(const CascadeBox& box, BuildCutoff cutoff, const RangeWalk& walk,
                         std::size_t from, std::size_t to, double end, const Loss& loss) {
    const bool greatest = !cutoff.last;  // the high end of a first crossing, else the low end
    Witness best = witness_at(box, cutoff, end, greatest);
    const auto farther = [&](double hz) {
        return greatest ? hz > best.cutoff_hz : hz < best.cutoff_hz;
    };
    double before = loss(walk.points[from]);
    double here = loss(walk.points[from + 1]);
    for (std::size_t i = from + 1; i < to; ++i) {
        const double after = loss(walk.points[i + 1]);
        // First crossing: a dip of the greatest gain, a maximum of its loss; last crossing: a
        // peak of the least gain, a minimum of its loss.
        const bool extremum =
            greatest ? here > before && here >= after : here < before && here <= after;
        if (extremum) {
            const Witness w = witness_at(box, cutoff, walk.points[i], greatest);
            if (farther(w.cutoff_hz)) best = w;
        }
        before = here;
        here = after;
    }
    return best;
}

void walk_first(const CascadeBox& box, BuildCutoff cutoff, RangeWalk& walk) {
    const LeastGain least_gain(box);
    const GreatestGain greatest_gain(box);
    const Spread spread = spread_of(box);
    const Bracket low = walk_from(walk, 0, least_gain, cutoff, spread, true);
    if (!low.found) return;
    const Bracket high = walk_from(walk, low.index, greatest_gain, cutoff, spread, false);
    if (!high.found) return;
    walk.from = low.index == 0 ? RangeWalk::kNone : low.index - 1;
    walk.to = high.index;
    CascadeCutoffRange& r = walk.range;
    r.hz = {crossing_hz(low, least_gain, cutoff.loss),
            crossing_hz(high, greatest_gain, cutoff.loss)};
    const Witness w_low = witness_at(box, cutoff, r.hz.low, false);
    const std::size_t from = low.index == 0 ? 0 : low.index - 1;
    const Witness w_high =
        farthest_witness(box, cutoff, walk, from, high.index, r.hz.high, greatest_gain);
    r.reached_hz = {w_low.cutoff_hz, w_high.cutoff_hz};
    r.low_build = w_low.build;
    r.high_build = w_high.build;
}

void walk_last(const CascadeBox& box, BuildCutoff cutoff, RangeWalk& walk) {
    const LeastGain least_gain(box);
    const GreatestGain greatest_gain(box);
    const Spread spread = spread_of(box);
    const Bracket high =
        walk_from(walk, walk.points.size() - 1, greatest_gain, cutoff, spread, true);
    walk.to = high.found ? high.index + 1 : 0;
    const Bracket low =
        high.found ? walk_from(walk, walk.to, least_gain, cutoff, spread, false) : Bracket{};
    // A crossing under the lowest grid point leaves no point below which no cutoff lies.
    walk.from = low.found && low.low > 0 ? low.index : RangeWalk::kNone;
    CascadeCutoffRange& r = walk.range;
    r.hz = {crossing_hz(low, least_gain, cutoff.loss),
            crossing_hz(high, greatest_gain, cutoff.loss)};
    const Witness w_high = witness_at(box, cutoff, r.hz.high, true);
    const Witness w_low =
        walk.from == RangeWalk::kNone || walk.to <= walk.from + 1
            ? witness_at(box, cutoff, r.hz.low, false)
            : farthest_witness(box, cutoff, walk, walk.from, walk.to, r.hz.low, least_gain);
    r.reached_hz = {w_low.cutoff_hz, w_high.cutoff_hz};
    r.low_build = w_low.build;
    r.high_build = w_high.build;
}

bool is_valid_cutoff(BuildCutoff cutoff) {
    return is_positive_finite(cutoff.loss);
}

RangeWalk range_walk(const CascadeBox& box, BuildCutoff cutoff) {
    check_stage_count(box);
    RangeWalk walk;
    if (box.stage_count == 0 || !is_valid_cutoff(cutoff)) return walk;
    walk.points = grid_points(spread_of(box));
    if (cutoff.last) {
        walk_last(box, cutoff, walk);
    } else {
        walk_first(box, cutoff, walk);
    }
    return walk;
}

// --- The yield ---

// The points every build of the yield is walked over (see the comment at the top): the grid
// from the last point where every build is still on its starting side to the first beyond
// which every build has crossed, with the bands' ends inserted.
WalkPoints yield_points(const RangeWalk& walk, const Spread& spread, BuildCutoff cutoff,
                        double target_hz) {
    const bool from_zero = walk.from == RangeWalk::kNone;
    const double from = from_zero ? 0 : walk.points[walk.from];
    const double to = walk.points[walk.to];
    std::vector<double> hz{from};
    for (std::size_t i = from_zero ? 0 : walk.from; i <= walk.to; ++i) {
        if (walk.points[i] > from) hz.push_back(walk.points[i]);
    }
    for (const double percent : kYieldBandPercent) {
        for (const double end :
             {target_hz * (1 - percent / 100), target_hz * (1 + percent / 100)}) {
            if (end > from && end < to) hz.push_back(end);
        }
    }
    std::sort(hz.begin(), hz.end());
    hz.erase(std::unique(hz.begin(), hz.end()), hz.end());
    return walk_points(std::move(hz), spread, cutoff);
}

// The neighbouring points a build's cutoff lies between: (below, above] for a first crossing,
// [below, above) for a last one (below = above at the ends, where rounding alone could put it).
struct Between {
    double below;
    double above;
};

Between cutoff_between(const Build& build, const WalkPoints& p, const Spread& spread,
                       BuildCutoff cutoff) {
    const std::vector<double>& hz = p.hz;
    const Bracket b = build_crossing(p, spread, cutoff, build);
    if (cutoff.last) {
        if (!b.found || b.low < hz[0]) return {hz[0], hz[0]};
        return {hz[b.index], hz[b.index + 1]};
    }
    if (!b.found) return {hz.back(), hz.back()};
    return {hz[b.index - 1], hz[b.index]};
}

Build drawn_build(std::span<const StageCircuit> nominal, double r, double c, SplitMix64& random) {
    Build build;
    for (const StageCircuit& s : nominal) {
        CircuitParts parts;
        parts.R1 = random.drawn(s.parts.R1, r);
        if (s.order == 2) parts.R2 = random.drawn(s.parts.R2, r);
        parts.C1 = random.drawn(s.parts.C1, c);
        if (s.order == 2) parts.C2 = random.drawn(s.parts.C2, c);
        build.stage[build.count++] = coefficients_of(s.order, parts);
    }
    return build;
}

CutoffYield yield_over(std::span<const StageCircuit> nominal, const PartTolerances& tolerances,
                       BuildCutoff cutoff, double target_hz, const RangeWalk& walk,
                       std::uint64_t seed, int draws) {
    CutoffYield yield;
    if (walk.points.empty() || std::isnan(walk.range.hz.low)) return yield;
    const CascadeBox box = cascade_box(nominal, tolerances);
    const Spread spread = spread_of(box);
    const WalkPoints points = yield_points(walk, spread, cutoff, target_hz);
    double low_end[kYieldBands];
    double high_end[kYieldBands];
    for (int band = 0; band < kYieldBands; ++band) {
        low_end[band] = target_hz * (1 - kYieldBandPercent[band] / 100);
        high_end[band] = target_hz * (1 + kYieldBandPercent[band] / 100);
    }
    const double r = tolerances.resistor_percent / 100;
    const double c = tolerances.capacitor_percent / 100;
    SplitMix64 random{seed};
    yield.draws = draws;
    for (int i = 0; i < draws; ++i) {
        const Between b =
            cutoff_between(drawn_build(nominal, r, c, random), points, spread, cutoff);
        for (int band = 0; band < kYieldBands; ++band) {
            if (b.below >= low_end[band] && b.above <= high_end[band]) ++yield.within[band];
        }
    }
    return yield;
}

bool is_valid_nominal(std::span<const StageCircuit> nominal, const PartTolerances& tolerances,
                      BuildCutoff cutoff, double target_hz) {
    return is_valid_cascade_circuit(nominal) && are_tolerances(tolerances) &&
           is_valid_cutoff(cutoff) && is_positive_finite(target_hz);
}

}  // namespace

CascadeBox cascade_box(std::span<const StageCircuit> stages, const PartTolerances& tolerances) {
    CascadeBox box;
    if (!is_valid_cascade_circuit(stages) || !are_tolerances(tolerances)) return box;
    for (const StageCircuit& s : stages) {
        const CircuitParts& p = s.parts;
        const CircuitParts used = s.order == 2 ? p : CircuitParts{p.R1, p.R1, p.C1, p.C1};
        box.order[box.stage_count] = s.order;
        box.box[box.stage_count++] = tolerance_box(used, tolerances);
    }
    return box;
}

ResponseBand first_order_band(const ToleranceBox& box, double hz) {
    if (!is_frequency(hz)) return kNoBand;
    const double omega = kExactTwoPi * hz;
    const double rc_low = box.low.R1 * box.low.C1;
    const double rc_high = box.high.R1 * box.high.C1;
    const auto gain = [&](double rc) { return 1 / std::sqrt(1 + (omega * rc) * (omega * rc)); };
    const auto phase = [&](double rc) {
        return -portable::atan2(omega * rc, 1) * kDegreesPerRadian;
    };
    const auto delay = [&](double rc) { return rc / (1 + (omega * rc) * (omega * rc)); };
    const double peak_rc = std::clamp(1 / omega, rc_low, rc_high);
    ResponseBand band;
    band.gain = widened(gain(rc_high), gain(rc_low));
    band.phase_deg = widened(phase(rc_high), phase(rc_low));
    band.group_delay_s = widened(std::fmin(delay(rc_low), delay(rc_high)), delay(peak_rc));
    return band;
}

ResponseBand cascade_response_band(const CascadeBox& box, double hz) {
    ResponseBand band;
    cascade_response_bands(box, {&hz, 1}, {&band, 1});
    return band;
}

void cascade_response_bands(const CascadeBox& box, std::span<const double> hz,
                            std::span<ResponseBand> bands) {
    KESTRANE_EXPECT(hz.size() == bands.size());
    check_stage_count(box);
    const std::size_t n = std::min(hz.size(), bands.size());
    for (std::size_t i = 0; i < n; ++i) {
        const bool valid = box.stage_count > 0 && is_frequency(hz[i]);
        bands[i] = valid ? ResponseBand{{1, 1}, {0, 0}, {0, 0}} : kNoBand;
    }
    ResponseBand stage[kBandBlock];
    for (std::size_t start = 0; start < n; start += kBandBlock) {
        const std::size_t count = std::min(kBandBlock, n - start);
        for (int k = 0; k < box.stage_count; ++k) {
            const std::span<const double> block = hz.subspan(start, count);
            if (box.order[k] == 2) {
                box_response_bands(box.box[k], block, {stage, count});
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    stage[i] = first_order_band(box.box[k], block[i]);
            }
            for (std::size_t i = 0; i < count; ++i) {
                ResponseBand& b = bands[start + i];
                if (std::isnan(b.gain.low)) continue;
                b.gain = {b.gain.low * stage[i].gain.low, b.gain.high * stage[i].gain.high};
                b.phase_deg = {b.phase_deg.low + stage[i].phase_deg.low,
                               b.phase_deg.high + stage[i].phase_deg.high};
                b.group_delay_s = {b.group_delay_s.low + stage[i].group_delay_s.low,
                                   b.group_delay_s.high + stage[i].group_delay_s.high};
            }
        }
    }
}

BuildCutoff build_cutoff(std::span<const StageCircuit> shown, CutoffRule rule) {
    switch (rule.level) {
        case CutoffLevel::half_power:
            return {false, 2};
        case CutoffLevel::half_amplitude:
            return {false, 4};
        case CutoffLevel::ripple_edge:
            break;
    }
    const bool valid = is_valid_cascade_circuit(shown) && rule.ripple_db >= kMinRippleDb &&
                       rule.ripple_db <= kMaxRippleDb;
    if (!valid) return {true, kNotANumber};
    Stage stages[kMaxStages];
    std::size_t count = 0;
    for (const StageCircuit& s : shown) {
        stages[count++] = s.order == 1
                              ? Stage{1, first_order_hz(s.parts.R1 * s.parts.C1), kNotANumber}
                              : Stage{2, natural_frequency_hz(s.parts), quality_factor(s.parts)};
    }
    // |H| = peak / 10^(r/20): |1/H|^2 = 10^(r/10) / peak^2, as cascade_cutoff_hz has it.
    const double peak = peak_gain({stages, count}).gain;
    return {true, (1 + cascade_math::power_ratio_minus_one(rule.ripple_db)) / (peak * peak)};
}

double build_cutoff_hz(std::span<const StageCircuit> build, BuildCutoff cutoff) {
    if (!is_valid_cascade_circuit(build) || !is_valid_cutoff(cutoff)) return kNotANumber;
    const Spread spread = spread_of(build);
    const WalkPoints points = walk_points(grid_points(spread), spread, cutoff);
    const Build b = build_of(build);
    const auto loss = [&](double hz) { return b.loss(hz); };
    // Below the lowest point every loss is within 1e-14 of 1, its value at 0 Hz: no first
    // crossing lies there unless the lowest point has crossed already.
    const double lowest = b.loss_at(points.w2[0]);
    if (!cutoff.last && lowest >= cutoff.loss) {
        const Bracket b0{true, 0, 0, points.hz[0], 1 - cutoff.loss, lowest - cutoff.loss};
        return crossing_hz(b0, loss, cutoff.loss);
    }
    const Bracket bracket = build_crossing(points, spread, cutoff, b);
    if (!bracket.found && !cutoff.last) return kNotANumber;
    return crossing_hz(bracket, loss, cutoff.loss);
}

CascadeCutoffRange cascade_cutoff_range(const CascadeBox& box, BuildCutoff cutoff) {
    return range_walk(box, cutoff).range;
}

CutoffYield cascade_cutoff_yield(std::span<const StageCircuit> nominal,
                                 const PartTolerances& tolerances, BuildCutoff cutoff,
                                 double target_hz, std::uint64_t seed, int draws) {
    KESTRANE_EXPECT(is_valid_nominal(nominal, tolerances, cutoff, target_hz));
    if (!is_valid_nominal(nominal, tolerances, cutoff, target_hz)) return {};
    const RangeWalk walk = range_walk(cascade_box(nominal, tolerances), cutoff);
    return yield_over(nominal, tolerances, cutoff, target_hz, walk, seed, draws);
}

CascadeTolerances cascade_tolerances(std::span<const StageCircuit> nominal,
                                     const PartTolerances& tolerances, BuildCutoff cutoff,
                                     double target_hz) {
    if (!is_valid_nominal(nominal, tolerances, cutoff, target_hz)) {
        return {};
    }
    const RangeWalk walk = range_walk(cascade_box(nominal, tolerances), cutoff);
    return {walk.range,
            yield_over(nominal, tolerances, cutoff, target_hz, walk, kYieldSeed, kYieldDraws)};
}

}  // namespace kestrane
