// The walks that find where a built cascade's gain crosses a level, shared by the range and the
// yield of cascade_tolerance.cpp: a build's loss |1/H|^2 as its stages' coefficients, the graded
// grid a box or a build is walked on, the walks of the box's envelopes (every sampled extremum
// refined) and of single builds (cleared by a bound on the curvature of their loss). Internal to
// the cascade library.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core_arithmetic.h"
#include "kestrane/cascade/cascade_tolerance.h"

namespace kestrane::tolerance_walk {

// --- One build's |1/H|^2 ---

// |1/H|^2 = (1 - w^2 a)^2 + w^2 b^2 with a = R1 R2 C1 C2 and b = C2 (R1 + R2) for a
// second-order stage (circuit's coefficients, formed in the same order), a = 0 and b = R1 C1
// for a first-order one.
struct Coefficients {
    double a;
    double b;
};

inline Coefficients coefficients_of(int order, const CircuitParts& p) {
    if (order == 1) return {0, p.R1 * p.C1};
    return {p.R1 * p.R2 * p.C1 * p.C2, p.C2 * (p.R1 + p.R2)};
}

inline double loss_of(Coefficients c, double w2) {
    const double real = 1 - w2 * c.a;
    return real * real + w2 * c.b * c.b;
}

inline double angular_squared(double hz) {
    const double omega = kExactTwoPi * hz;
    return omega * omega;
}

// A build as its stages' coefficients, a and b^2 side by side.
struct Build {
    int count = 0;
    double a[kMaxStages];
    double b_squared[kMaxStages];

    void add(Coefficients c) {
        a[count] = c.a;
        b_squared[count] = c.b * c.b;
        ++count;
    }

    double loss(double hz) const { return loss_at(angular_squared(hz)); }

    // The product of the stages' (1 - w^2 a)^2 + w^2 b^2.
    double loss_at(double w2) const {
        double product = 1;
        for (int k = 0; k < count; ++k) {
            const double real = 1 - w2 * a[k];
            product *= real * real + w2 * b_squared[k];
        }
        return product;
    }
};

// The build of `stages` (valid).
Build build_of(std::span<const StageCircuit> stages);

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

inline double first_order_hz(double rc) {
    return 1 / (kExactTwoPi * rc);
}

// The spread of each stage of a box (f0 from its all-high to its all-low corner, Q from
// box_q_range), or of one build's stages (a point each).
Spread spread_of(const CascadeBox& box);
Spread spread_of(std::span<const StageCircuit> stages);

// The grid's points, rising, from 1e-8 of the lowest stage frequency (f0, or Q f0 for Q < 1),
// where every gain is within 1e-14 of 1, to the first point beyond twice the highest f0,
// beyond which every stage's gain is at most 1/3. The relative step is at most 5 %, a tenth of
// every second-order stage's distance from the range of its f0 and a tenth of the 1/Q of its
// highest Q, so every build's resonances are sampled at 10 points or more across their width.
std::vector<double> grid_points(const Spread& spread);

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
double chord_distance(const Spread& spread, double lo, double hi);

// The value that clears a stretch whose chord distance is x: no crossing lies between two
// samples when, before a first crossing, the greater of them is below level (1 - x) (e^x is at
// most 1/(1 - x)), or, before a last one, the smaller is above level / (1 - x).
double clearing_value(double x, double level, bool last);

// True when the bound shows that no crossing lies between samples d_lo at lo > 0 and d_hi at hi.
bool clear_between(const Spread& spread, double lo, double d_lo, double hi, double d_hi,
                   double level, bool last);

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

// The value that clears the stretch of `hz` from point i to point i + stride for every build
// of the spread (clearing_value; 0 or infinity where no stretch that long is left).
double stretch_clearing(const std::vector<double>& hz, std::size_t i, std::size_t stride,
                        const Spread& spread, BuildCutoff cutoff);

// The points a build is walked over, with w^2 at each and, when tabled, stretch_clearing for
// every point i and stride 2^s, made once for many builds.
struct WalkPoints {
    std::vector<double> hz;
    std::vector<double> w2;
    std::vector<double> clear[kStrideLevels];  // empty when not tabled

    double clearing(int s, std::size_t i, const Spread& spread, BuildCutoff cutoff) const {
        const std::size_t level = static_cast<std::size_t>(s);
        if (!clear[level].empty()) return clear[level][i];
        return stretch_clearing(hz, i, std::size_t{1} << s, spread, cutoff);
    }
};

WalkPoints walk_points(std::vector<double> hz, const Spread& spread, BuildCutoff cutoff,
                       bool tabled);

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
        const double clearing = p.clearing(s, i, spread, cutoff);
        // A start that does not clear the stride needs no sample at its end.
        const double d_j = s > 0 && !(d < clearing) ? d : build.loss_at(p.w2[j]);
        if (d < clearing && d_j < clearing) {
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
        const double clearing = p.clearing(s, j, spread, cutoff);
        const double d_j = s > 0 && !(d > clearing) ? d : build.loss_at(p.w2[j]);
        if (d > clearing && d_j > clearing) {
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

// A build's crossing over the points: build_first_up from point 0 or build_last_down from the
// last point.
Bracket build_crossing(const WalkPoints& p, const Spread& spread, BuildCutoff cutoff,
                       const Build& build);

}  // namespace kestrane::tolerance_walk
