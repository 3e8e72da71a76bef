#include "kestrane/circuit/tolerance_ranges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "circuit_model.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/portable_math.h"

// Why the ranges hold.
//
// At angular frequency w let P = R1 R2 C1 C2, B = C2 (R1 + R2), y = w^2 P, k = w^2 B^2 and
// D = |1/H|^2 = (1 - y)^2 + k. The gain is D^-1/2, the phase lag is atan2(w B, 1 - y) and the
// group delay is tau = B (1 + y) / D. In logarithmic parts every part enters P once, and B
// with weight beta: 0 for C1, 1 for C2, R1/S and R2/S for R1 and R2 (S = R1 + R2). So
//   dD / d ln x   = 2 (-y (1 - y) + k beta),
//   d tau / d ln x = tau / ((1 + y) D) * (beta (1 + y) ((1 - y)^2 - k) + y (3 - 2y - y^2 + k)).
//
// Phase: the lag rises with every part. d lag / d ln x = w C2 (R2 y + R1) / |D|^2 for R1
// (likewise R2), w B / |D|^2 for C2 and w B y / |D|^2 for C1, all positive. (It does not rise
// with B itself above f0, but B never moves alone.) So its extremes are the all-low and the
// all-high corners.
//
// Least gain: D is convex in each part with the others fixed ((1 - c x)^2 plus a convex
// quadratic in x), so its greatest value over the box is at one of the 16 corners.
//
// Greatest gain and the group delay: at a point where D or tau is least or greatest over the
// box, its derivative in every part strictly inside its range is 0. Neither D nor tau is
// stationary in (P, B) jointly: dD/dB = 2 w^2 B > 0, and for tau both partial derivatives
// vanish only where y = 1 and B = 0. From the derivatives above:
//   - C1 free makes the derivative in P vanish, so no other part can be free (each would need
//     the derivative in B to vanish): an edge with C1 alone free;
//   - C2 and R1 both free would need the derivative in B times C2 R2 to vanish: never;
//   - R1 and R2 both free need R1 = R2 (the fold), with C1 and C2 at their ends.
// So the extremes lie among the 16 corners, the 32 edges with one part free, and the fold
// R1 = R2 with C1, C2 at their ends. Along an edge P = p x and B = b1 x + b0 are affine in
// the free part x; in y = w^2 p x and with wB = beta1 y + beta0, D is a quadratic in y with
// its least value at y = (1 - beta1 beta0) / (1 + beta1^2), and the derivative of tau is,
// after its cubic terms cancel, a multiple of
//   (-3 b1 + b1^2 b0 - b1^3 - b0) y^2 + 2 (b1 - b0)(1 - b1 b0) y + (b1 + 3 b0 - b1 b0^2 + b0^3)
// (b1, b0 for beta1, beta0). Along the fold, with y = w^2 C1 C2 r^2, D is least at
// y = 1 - 2 C2/C1 and the derivative of tau is a multiple of (y - 1)(y^2 + (6 - 4 C2/C1) y + 1).
// Every critical point is found in closed form and evaluated at the set it names; only points
// strictly inside their range count, so every value taken is that of a set in the box.
//
// Sign tests: with kappa = 1/Q^2 (so k = kappa y) the bracket of dD/d ln x is y - 1 + kappa
// beta and that of d tau / d ln x a cubic in y, bilinear in beta and kappa. Bounded over the
// box's ranges of y, kappa and beta taken apart (which only widens the bound), with a margin
// for rounding: where one has a single sign, that part sits at one end for the greatest value
// and at the other for the least, and edges and folds with it free are not needed. Far from
// f0 every part is settled this way, so a frequency there costs the 16 corners and little
// more.
//
// Cutoff: fc >= c exactly when D at 2 pi c is at most 2 (the gain is at least 1/sqrt 2 below
// the cutoff and below it above). So the least cutoff is reached where D at that frequency is
// greatest, at a corner: the least cutoff over the box is the least over the corners. The
// greatest cutoff c* is the largest c at which the least D over the box is at most 2; it is
// found by bisection between the largest corner cutoff (reached) and sqrt(2) / (2 pi B_min)
// (never passed, as fc = h(Q) / (2 pi B) with h at most sqrt(2); see standard_sets.cpp), to
// 1e-10 relative. (The cutoff does fall with C2, and in C1 it peaks at Q = 1/sqrt 2; it does
// not always fall with R1 and R2: d ln fc / d ln R1 = -1/2 + gamma (R2 - R1) / (2 S) with
// gamma = d ln(fc/f0) / d ln Q up to sqrt(2) at Q = 1/2, positive once R2 > 5.83 R1. The
// bisection needs none of this.)
//
// Q is sqrt(C1/C2) phi(R1/R2) with phi(r) = sqrt(r) / (1 + r), which rises up to r = 1 and
// falls after: its range comes from the ends of C1/C2 and of R1/R2, and r = 1 when inside.
//
// Rounding: each figure at a set is computed with a relative error below 1e-15 Q (the
// difference 1 - y near f0 is the only cancellation, and D >= k there); the critical points'
// own rounding changes the value found only to second order. kRangeSlack covers both.
namespace kestrane {
namespace {

enum PartIndex { kR1 = 0, kR2 = 1, kC1 = 2, kC2 = 3 };
constexpr int kParts = 4;
constexpr int kCorners = 16;
constexpr unsigned kResistorPairMask = (1u << kR1) | (1u << kR2);
constexpr unsigned kCapacitorPairMask = (1u << kC1) | (1u << kC2);
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kBoxSlack = 1e-15;
constexpr double kSignSlack = 1e-12;
constexpr double kBisectionWidth = 1e-10;
constexpr double kDegreesPerRadian = 180 / std::numbers::pi;
// The gain's cutoff: D = |1/H|^2 = 2.
constexpr double kCutoffLoss = 2;

using PartValues = std::array<double, kParts>;

struct Interval {
    double low;
    double high;
};

// The least and greatest value seen.
struct Extremes {
    double low = kInfinity;
    double high = -kInfinity;

    void take(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    void take(double value, const PartValues& /*where*/) { take(value); }
};

// The least and greatest value seen and the first set where each was seen.
struct TrackedExtremes {
    double low = kInfinity;
    double high = -kInfinity;
    PartValues low_at{};
    PartValues high_at{};

    void take(double value, const PartValues& where) {
        if (value < low) {
            low = value;
            low_at = where;
        }
        if (value > high) {
            high = value;
            high_at = where;
        }
    }
};

bool strictly_inside(double value, double low, double high) {
    return low < value && value < high;
}

// Up to three positive values of y.
struct Roots {
    double y[3];
    int count = 0;

    void add(double value) {
        if (value > 0 && count < 3) y[count++] = value;
    }
};

// The positive roots of q2 y^2 + 2 h y + q0 = 0, in the form without cancellation.
void add_quadratic_roots(double q2, double h, double q0, Roots& roots) {
    if (q2 == 0) {
        if (h != 0) roots.add(-q0 / (2 * h));
        return;
    }
    const double discriminant = h * h - q2 * q0;
    if (discriminant < 0) return;
    const double t = -(h + std::copysign(std::sqrt(discriminant), h));
    roots.add(t / q2);
    if (t != 0) roots.add(q0 / t);
}

// c3 y^3 + c2 y^2 + c1 y + c0.
struct Cubic {
    double c3, c2, c1, c0;

    double at(double y) const { return ((c3 * y + c2) * y + c1) * y + c0; }
    // The sum of its terms' magnitudes at y >= 0, the scale of its rounding.
    double magnitude_at(double y) const {
        return ((std::fabs(c3) * y + std::fabs(c2)) * y + std::fabs(c1)) * y + std::fabs(c0);
    }
};

// A cubic with its stationary points at y > 0 and its values there, found once per box.
struct SlopeCubic {
    Cubic cubic;
    Roots stationary;
    double stationary_value[3];

    // Takes its values at the ends of `y` and at its stationary points inside: its range.
    void take_range(Interval y, Extremes& values) const {
        values.take(cubic.at(y.low));
        values.take(cubic.at(y.high));
        for (int r = 0; r < stationary.count; ++r) {
            if (strictly_inside(stationary.y[r], y.low, y.high)) {
                values.take(stationary_value[r]);
            }
        }
    }
};

SlopeCubic slope_cubic(double c3, double c2, double c1, double c0) {
    SlopeCubic s{{c3, c2, c1, c0}, {}, {}};
    add_quadratic_roots(3 * c3, c2, c1, s.stationary);
    for (int r = 0; r < s.stationary.count; ++r) {
        s.stationary_value[r] = s.cubic.at(s.stationary.y[r]);
    }
    return s;
}

// The bracket of tau's derivative in part i (see delay_slopes) at the corners of beta and
// kappa: four cubics, or two where beta is fixed (C1, C2).
struct DelaySlopeCubics {
    SlopeCubic corner[4];
    int count = 0;
};

// With k = kappa y the bracket of tau's derivative is the cubic
// (beta - 1) y^3 + (kappa - 2 - beta - beta kappa) y^2 + (3 - beta - beta kappa) y + beta,
// bilinear in beta and kappa: over their ranges (taken apart, which only widens the bound)
// its extremes at any y are at their four corners, and at each corner its range over y is
// exact (ends and stationary points).
DelaySlopeCubics delay_slope_cubics(Interval beta_range, Interval kappa_range) {
    DelaySlopeCubics cubics;
    for (const double beta : {beta_range.low, beta_range.high}) {
        for (const double kappa : {kappa_range.low, kappa_range.high}) {
            const double beta_kappa = beta * kappa;
            cubics.corner[cubics.count++] =
                slope_cubic(beta - 1, kappa - 2 - beta - beta_kappa, 3 - beta - beta_kappa, beta);
        }
        if (beta_range.high == beta_range.low) break;
    }
    return cubics;
}

struct Box {
    PartValues low;
    PartValues high;
    // The coefficients at corner k, where part i is high if bit i of k is set.
    double corner_a[kCorners];
    double corner_b[kCorners];
    Interval beta[kParts];  // each part's weight in B
    Interval kappa;         // 1/Q^2
    DelaySlopeCubics delay_cubics[kParts];
};

double clamp_to(double value, Interval range) {
    return std::fmin(std::fmax(value, range.low), range.high);
}

// sqrt(r) / (1 + r): Q's factor from R1/R2 = r.
double resistor_q_factor(double r) {
    return std::sqrt(r) / (1 + r);
}

// The range of Q over the box from its low and high parts (see above), not widened.
Interval q_range_of(const PartValues& lo, const PartValues& hi) {
    const Interval ratio{lo[kR1] / hi[kR2], hi[kR1] / lo[kR2]};
    const double least_factor =
        std::fmin(resistor_q_factor(ratio.low), resistor_q_factor(ratio.high));
    const double greatest_factor = resistor_q_factor(clamp_to(1, ratio));
    return {std::sqrt(lo[kC1] / hi[kC2]) * least_factor,
            std::sqrt(hi[kC1] / lo[kC2]) * greatest_factor};
}

CircuitCoefficients coefficients_of(const PartValues& x) {
    return circuit_coefficients({x[kR1], x[kR2], x[kC1], x[kC2]});
}

PartValues values_of(const CircuitParts& parts) {
    return {parts.R1, parts.R2, parts.C1, parts.C2};
}

// The box's data; the delay's cubics only when `with_delay`.
Box box_data(const ToleranceBox& box, bool with_delay = true) {
    Box data;
    data.low = values_of(box.low);
    data.high = values_of(box.high);
    for (unsigned k = 0; k < kCorners; ++k) {
        PartValues x;
        for (unsigned i = 0; i < kParts; ++i)
            x[i] = (k >> i & 1u) != 0 ? data.high[i] : data.low[i];
        const CircuitCoefficients c = coefficients_of(x);
        data.corner_a[k] = c.a;
        data.corner_b[k] = c.b;
    }
    const PartValues& lo = data.low;
    const PartValues& hi = data.high;
    data.beta[kR1] = {lo[kR1] / (lo[kR1] + hi[kR2]), hi[kR1] / (hi[kR1] + lo[kR2])};
    data.beta[kR2] = {lo[kR2] / (lo[kR2] + hi[kR1]), hi[kR2] / (hi[kR2] + lo[kR1])};
    data.beta[kC1] = {0, 0};
    data.beta[kC2] = {1, 1};
    const Interval q = q_range_of(lo, hi);
    data.kappa = {1 / (q.high * q.high), 1 / (q.low * q.low)};
    if (!with_delay) return data;
    for (std::size_t i = 0; i < kParts; ++i) {
        data.delay_cubics[i] = delay_slope_cubics(data.beta[i], data.kappa);
    }
    return data;
}

struct Frequency {
    double omega;
    double w2;
};

Frequency frequency_of(double hz) {
    const double omega = kExactTwoPi * hz;
    return {omega, omega * omega};
}

double loss_at(CircuitCoefficients c, double w2) {
    const double real = 1 - w2 * c.a;
    return real * real + w2 * c.b * c.b;
}

double delay_at(CircuitCoefficients c, double w2) {
    const double y = w2 * c.a;
    const double real = 1 - y;
    return c.b * (1 + y) / (real * real + w2 * c.b * c.b);
}

double lag_at(CircuitCoefficients c, const Frequency& f) {
    return portable::atan2(f.omega * c.b, 1 - f.w2 * c.a);
}

// --- Sign tests ---

enum class Slope { rising, falling, unknown };

// The slope a derivative bounded by `bound` has over the box; unknown within the margin.
Slope slope_within(Interval bound, double scale) {
    const double margin = kSignSlack * scale;
    if (bound.low > margin) return Slope::rising;
    if (bound.high < -margin) return Slope::falling;
    return Slope::unknown;
}

// y = w^2 P over the box at one frequency.
Interval y_spread(const Box& box, double w2) {
    return {w2 * box.corner_a[0], w2 * box.corner_a[kCorners - 1]};
}

// The slope of D in each part. With k = kappa y, kappa = 1/Q^2, the derivative is
// 2y (y - 1 + kappa beta), rising in y, kappa and beta: its sign over the box lies between
// those at their lower and at their upper ends (taken apart, which only widens the bound).
std::array<Slope, kParts> loss_slopes(const Box& box, Interval y) {
    std::array<Slope, kParts> slopes;
    for (std::size_t i = 0; i < kParts; ++i) {
        const Interval beta = box.beta[i];
        const Interval bound{y.low - 1 + box.kappa.low * beta.low,
                             y.high - 1 + box.kappa.high * beta.high};
        slopes[i] = slope_within(bound, 1 + y.high + box.kappa.high * beta.high);
    }
    return slopes;
}

// The slope of tau in each part over the box at the frequency where y spans `y`: the range of
// its cubics (see delay_slope_cubics).
std::array<Slope, kParts> delay_slopes(const Box& box, Interval y) {
    const DelaySlopeCubics(&cubics)[kParts] = box.delay_cubics;
    std::array<Slope, kParts> slopes;
    for (std::size_t i = 0; i < kParts; ++i) {
        Extremes values;
        double scale = 0;
        for (int c = 0; c < cubics[i].count; ++c) {
            const SlopeCubic& cubic = cubics[i].corner[c];
            cubic.take_range(y, values);
            scale = std::max(scale, cubic.cubic.magnitude_at(y.high));
        }
        slopes[i] = slope_within({values.low, values.high}, scale);
    }
    return slopes;
}

// --- Critical points ---

// The edge along part i through x: P = p x_i and B = b1 x_i + b0.
struct Edge {
    double p;
    double b1;
    double b0;
};

Edge edge_of(const PartValues& x, int i) {
    switch (i) {
        case kR1:
            return {x[kR2] * x[kC1] * x[kC2], x[kC2], x[kC2] * x[kR2]};
        case kR2:
            return {x[kR1] * x[kC1] * x[kC2], x[kC2], x[kC2] * x[kR1]};
        case kC1:
            return {x[kR1] * x[kR2] * x[kC2], 0, x[kC2] * (x[kR1] + x[kR2])};
        default:
            return {x[kR1] * x[kR2] * x[kC1], x[kR1] + x[kR2], 0};
    }
}

// The quantities whose extremes are searched: D (its least value, the greatest gain) and
// tau. Each gives its value, its critical points along an edge in (beta1, beta0), and along
// the fold in C2/C1.
struct Loss {
    static double value(CircuitCoefficients c, double w2) { return loss_at(c, w2); }
    static Roots edge_roots(double b1, double b0) {
        Roots roots;
        roots.add((1 - b1 * b0) / (1 + b1 * b1));
        return roots;
    }
    static Roots fold_roots(double c2_over_c1) {
        Roots roots;
        roots.add(1 - 2 * c2_over_c1);
        return roots;
    }
};

struct Delay {
    static double value(CircuitCoefficients c, double w2) { return delay_at(c, w2); }
    static Roots edge_roots(double b1, double b0) {
        Roots roots;
        const double q2 = -3 * b1 + b1 * b1 * b0 - b1 * b1 * b1 - b0;
        const double h = (b1 - b0) * (1 - b1 * b0);
        const double q0 = b1 + 3 * b0 - b1 * b0 * b0 + b0 * b0 * b0;
        add_quadratic_roots(q2, h, q0, roots);
        return roots;
    }
    static Roots fold_roots(double c2_over_c1) {
        Roots roots;
        roots.add(1);
        const double c = 4 * c2_over_c1 - 6;  // y^2 - c y + 1 = 0
        if (c >= 2) {
            const double t = (c + std::sqrt((c - 2) * (c + 2))) / 2;
            roots.add(t);
            roots.add(1 / t);
        }
        return roots;
    }
};

template <typename Quantity, typename Found>
void take_edge(const Box& box, const Frequency& f, PartValues x, int i, Found& found) {
    const Edge edge = edge_of(x, i);
    const double alpha = f.w2 * edge.p;
    const Roots roots = Quantity::edge_roots(f.omega * edge.b1 / alpha, f.omega * edge.b0);
    const std::size_t part = static_cast<std::size_t>(i);
    for (int r = 0; r < roots.count; ++r) {
        x[part] = roots.y[r] / alpha;
        if (strictly_inside(x[part], box.low[part], box.high[part])) {
            found.take(Quantity::value(coefficients_of(x), f.w2), x);
        }
    }
}

template <typename Quantity, typename Found>
void take_fold(const Box& box, const Frequency& f, PartValues x, Found& found) {
    const double low = std::fmax(box.low[kR1], box.low[kR2]);
    const double high = std::fmin(box.high[kR1], box.high[kR2]);
    if (!(low < high)) return;
    const double alpha = f.w2 * x[kC1] * x[kC2];
    const Roots roots = Quantity::fold_roots(x[kC2] / x[kC1]);
    for (int r = 0; r < roots.count; ++r) {
        const double resistor = std::sqrt(roots.y[r] / alpha);
        if (!strictly_inside(resistor, low, high)) continue;
        x[kR1] = resistor;
        x[kR2] = resistor;
        found.take(Quantity::value(coefficients_of(x), f.w2), x);
    }
}

// The parts of `free` other than those of `exclude` set from `pattern`: low where its bit is
// clear, high where it is set.
void set_free_parts(const Box& box, unsigned free, unsigned pattern, PartValues& x) {
    for (unsigned i = 0; i < kParts; ++i) {
        if ((free >> i & 1u) == 0) continue;
        x[i] = (pattern >> i & 1u) != 0 ? box.high[i] : box.low[i];
    }
}

// The critical points on the edges and the fold for the greatest (toward_high) or the least
// value: parts of known slope at the end that gives it, every end of the others.
template <typename Quantity, typename Found>
void take_critical_points(const Box& box, const Frequency& f,
                          const std::array<Slope, kParts>& slopes, bool toward_high, Found& found) {
    PartValues start{};
    unsigned free = 0;
    for (unsigned i = 0; i < kParts; ++i) {
        if (slopes[i] == Slope::unknown) {
            free |= 1u << i;
        } else {
            start[i] = (slopes[i] == Slope::rising) == toward_high ? box.high[i] : box.low[i];
        }
    }
    for (int i = 0; i < kParts; ++i) {
        if ((free >> i & 1u) == 0) continue;
        const unsigned others = free & ~(1u << i);
        for (unsigned pattern = others;; pattern = (pattern - 1) & others) {
            PartValues x = start;
            set_free_parts(box, others, pattern, x);
            take_edge<Quantity, Found>(box, f, x, i, found);
            if (pattern == 0) break;
        }
    }
    if ((free & kResistorPairMask) != kResistorPairMask) return;
    const unsigned capacitors = free & kCapacitorPairMask;
    for (unsigned pattern = capacitors;; pattern = (pattern - 1) & capacitors) {
        PartValues x = start;
        set_free_parts(box, capacitors, pattern, x);
        take_fold<Quantity, Found>(box, f, x, found);
        if (pattern == 0) break;
    }
}

// The parts of corner k: part i high where bit i of k is set.
PartValues corner_values(const Box& box, int k) {
    PartValues x;
    for (unsigned i = 0; i < kParts; ++i) {
        x[i] = (static_cast<unsigned>(k) >> i & 1u) != 0 ? box.high[i] : box.low[i];
    }
    return x;
}

CircuitParts parts_of(const PartValues& x) {
    return {x[kR1], x[kR2], x[kC1], x[kC2]};
}

CircuitCoefficients corner_of(const Box& box, int k) {
    return {box.corner_a[k], box.corner_b[k]};
}

// D and tau at the 16 corners into `loss` and `delay` (side by side in vector lanes).
void take_corners(const Box& box, double w2, Extremes& loss, Extremes& delay) {
    double corner_loss[kCorners];
    double corner_delay[kCorners];
#pragma omp simd
    for (int k = 0; k < kCorners; ++k) {
        const double y = w2 * box.corner_a[k];
        const double real = 1 - y;
        const double b = box.corner_b[k];
        const double d = real * real + w2 * b * b;
        corner_loss[k] = d;
        corner_delay[k] = b * (1 + y) / d;
    }
    for (int k = 0; k < kCorners; ++k) {
        loss.take(corner_loss[k]);
        delay.take(corner_delay[k]);
    }
}

// The least D over the box at `f`.
double least_loss(const Box& box, const Frequency& f) {
    Extremes loss;
    for (int k = 0; k < kCorners; ++k)
        loss.take(loss_at(corner_of(box, k), f.w2));
    take_critical_points<Loss>(box, f, loss_slopes(box, y_spread(box, f.w2)), false, loss);
    return loss.low;
}

ValueRange widened(double low, double high) {
    return {low - std::fabs(low) * kRangeSlack, high + std::fabs(high) * kRangeSlack};
}

ResponseBand band_at(const Box& box, double hz) {
    const Frequency f = frequency_of(hz);
    Extremes loss;
    Extremes delay;
    take_corners(box, f.w2, loss, delay);
    const Interval y = y_spread(box, f.w2);
    take_critical_points<Loss>(box, f, loss_slopes(box, y), false, loss);
    const std::array<Slope, kParts> delay_slope = delay_slopes(box, y);
    take_critical_points<Delay>(box, f, delay_slope, true, delay);
    take_critical_points<Delay>(box, f, delay_slope, false, delay);
    const double least_lag = lag_at(corner_of(box, 0), f);
    const double greatest_lag = lag_at(corner_of(box, kCorners - 1), f);
    ResponseBand band;
    band.gain = widened(1 / std::sqrt(loss.high), 1 / std::sqrt(loss.low));
    band.phase_deg = widened(-greatest_lag * kDegreesPerRadian, -least_lag * kDegreesPerRadian);
    band.group_delay_s = widened(delay.low, delay.high);
    return band;
}

}  // namespace

bool are_tolerances(const PartTolerances& tolerances) {
    const auto is_tolerance = [](double percent) { return percent >= 0 && percent < 100; };
    return is_tolerance(tolerances.resistor_percent) && is_tolerance(tolerances.capacitor_percent);
}

ToleranceBox tolerance_box(const CircuitParts& nominal, const PartTolerances& tolerances) {
    KESTRANE_EXPECT(is_buildable(nominal) && are_tolerances(tolerances));
    const double r = tolerances.resistor_percent / 100;
    const double c = tolerances.capacitor_percent / 100;
    // t = percent/100 and 1 -+ t carry rounding errors of a few units in the last place of 1,
    // so the slack is a share of the part, not of its end.
    const auto low = [](double part, double t) { return part * (1 - t) - part * kBoxSlack; };
    const auto high = [](double part, double t) { return part * (1 + t) + part * kBoxSlack; };
    return {{low(nominal.R1, r), low(nominal.R2, r), low(nominal.C1, c), low(nominal.C2, c)},
            {high(nominal.R1, r), high(nominal.R2, r), high(nominal.C1, c), high(nominal.C2, c)}};
}

ValueRange box_cutoff_range(const ToleranceBox& tolerance) {
    const Box box = box_data(tolerance);
    Extremes corners;
    for (int k = 0; k < kCorners; ++k)
        corners.take(cutoff_of(corner_of(box, k)));
    double reached = corners.high;
    double passed = std::numbers::sqrt2 / (kExactTwoPi * box.corner_b[0]) * (1 + kSignSlack);
    while (passed > reached * (1 + kBisectionWidth)) {
        const double middle = std::sqrt(reached * passed);
        if (least_loss(box, frequency_of(middle)) <= kCutoffLoss) {
            reached = middle;
        } else {
            passed = middle;
        }
    }
    return widened(corners.low, passed);
}

GainExtremes box_gain_extremes(const ToleranceBox& tolerance, double hz) {
    const Box box = box_data(tolerance, false);
    const Frequency f = frequency_of(hz);
    TrackedExtremes loss;
    for (int k = 0; k < kCorners; ++k)
        loss.take(loss_at(corner_of(box, k), f.w2), corner_values(box, k));
    take_critical_points<Loss>(box, f, loss_slopes(box, y_spread(box, f.w2)), false, loss);
    return {widened(1 / std::sqrt(loss.high), 1 / std::sqrt(loss.low)), parts_of(loss.high_at),
            parts_of(loss.low_at)};
}

ValueRange box_q_range(const ToleranceBox& box) {
    const Interval q = q_range_of(values_of(box.low), values_of(box.high));
    return widened(q.low, q.high);
}

ResponseBand box_response_band(const ToleranceBox& box, double hz) {
    return band_at(box_data(box), hz);
}

void box_response_bands(const ToleranceBox& box, std::span<const double> hz,
                        std::span<ResponseBand> bands) {
    KESTRANE_EXPECT(hz.size() == bands.size());
    const Box data = box_data(box);
    for (std::size_t i = 0; i < hz.size() && i < bands.size(); ++i) {
        bands[i] = band_at(data, hz[i]);
    }
}

}  // namespace kestrane
