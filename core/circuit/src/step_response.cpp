#include "kestrane/circuit/step_response.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/polynomial.h"
#include "kestrane/numeric/portable_math.h"
#include "opamp_model.h"
#include "step_model.h"

namespace kestrane {
namespace {

// ---- complex polynomials and their divided differences ----

struct ComplexPolynomial {
    Complex c[5];
    int degree = 0;
};

ComplexPolynomial complex_polynomial(const Cubic& p) {
    ComplexPolynomial q;
    q.degree = degree(p);
    for (int k = 0; k <= q.degree; ++k)
        q.c[k] = {p.c[k], 0};
    return q;
}

// p (z - root).
ComplexPolynomial times_linear(const ComplexPolynomial& p, Complex root) {
    ComplexPolynomial q;
    q.degree = p.degree + 1;
    for (int k = 0; k <= q.degree; ++k) {
        const Complex shifted = k > 0 ? p.c[k - 1] : Complex{};
        const Complex scaled = k <= p.degree ? root * p.c[k] : Complex{};
        q.c[k] = shifted - scaled;
    }
    return q;
}

Complex value_at(const ComplexPolynomial& p, Complex z) {
    Complex v = p.c[p.degree];
    for (int k = p.degree - 1; k >= 0; --k)
        v = v * z + p.c[k];
    return v;
}

// (p(z) - p(x)) / (z - x) by synthetic division.
ComplexPolynomial divided_by_linear(const ComplexPolynomial& p, Complex x) {
    ComplexPolynomial q;
    if (p.degree == 0) return q;
    q.degree = p.degree - 1;
    Complex carry = p.c[p.degree];
    for (int k = p.degree - 1; k >= 0; --k) {
        q.c[k] = carry;
        carry = p.c[k] + x * carry;
    }
    return q;
}

// table[i][j] = p[x_i .. x_j] for 0 <= i <= j < n: from x_i on, each divided difference is the
// value at the next point of the quotient so far, with no subtraction of nearby values.
constexpr int kMaxClusterSize = 3;
using DifferenceTable = Complex[kMaxClusterSize][kMaxClusterSize];

void polynomial_differences(const ComplexPolynomial& p, const Complex* x, int n,
                            DifferenceTable& table) {
    for (int i = 0; i < n; ++i) {
        ComplexPolynomial q = p;
        for (int j = i; j < n; ++j) {
            table[i][j] = value_at(q, x[j]);
            q = divided_by_linear(q, x[j]);
        }
    }
}

// v = num / den over the points x: num[x_i..x_j] = sum_l v[x_i..x_l] den[x_l..x_j] solved for
// v[x_i..x_j] (den has no zero near the points). Returns v[x_l .. x_{n-1}] for each l.
void quotient_factors(const ComplexPolynomial& num, const ComplexPolynomial& den, const Complex* x,
                      int n, Complex* factors) {
    DifferenceTable num_table;
    DifferenceTable den_table;
    polynomial_differences(num, x, n, num_table);
    polynomial_differences(den, x, n, den_table);
    DifferenceTable v;
    for (int i = 0; i < n; ++i) {
        for (int j = i; j < n; ++j) {
            Complex rest = num_table[i][j];
            for (int l = i; l < j; ++l)
                rest = rest - v[i][l] * den_table[l][j];
            v[i][j] = rest / den_table[j][j];
        }
    }
    for (int l = 0; l < n; ++l)
        factors[l] = v[l][n - 1];
}

// ---- divided differences of e^{z t} ----

// sinh(w)/w for |w| < 0.5 by its series, to below an ulp.
Complex sinh_over_argument(Complex w) {
    const Complex w2 = w * w;
    // 1/(2k+1)! for k = 0 to 8, summed by Horner's rule in w^2.
    constexpr double kInverseOddFactorials[9] = {1.0,
                                                 1.0 / 6,
                                                 1.0 / 120,
                                                 1.0 / 5040,
                                                 1.0 / 362880,
                                                 1.0 / 39916800,
                                                 1.0 / 6227020800,
                                                 1.0 / 1307674368000,
                                                 1.0 / 355687428096000};
    Complex sum;
    for (int k = 8; k >= 0; --k)
        sum = sum * w2 + Complex{kInverseOddFactorials[k], 0};
    return sum;
}

Complex exp_difference(Complex a, double t) {
    return complex_exp(t * a);
}

// e^{zt}[a, b].
Complex exp_difference(Complex a, Complex b, double t) {
    const Complex half_gap = 0.5 * t * (a - b);
    if (magnitude(half_gap) < 0.5) {
        return t * (complex_exp(0.5 * t * (a + b)) * sinh_over_argument(half_gap));
    }
    return (complex_exp(t * a) - complex_exp(t * b)) / (a - b);
}

// 1/(k+2)! for the Taylor series of the three-point difference.
constexpr int kTaylorTerms = 24;
constexpr auto kInverseFactorialsFrom2 = [] {
    std::array<double, kTaylorTerms> table{};
    double factorial = 2;
    for (int k = 0; k < kTaylorTerms; ++k) {
        table[static_cast<std::size_t>(k)] = 1 / factorial;
        factorial *= k + 3;
    }
    return table;
}();

// e^{zt}[a, b, c]: where the points lie within 1/t of each other, the Taylor series about
// their centroid, sum_k h_k(y) / (k+2)! with y = t (x - centroid) and h_k the complete
// homogeneous symmetric polynomials; otherwise the recursion across the farthest pair, which
// then does not cancel by more than a small factor.
Complex exp_difference(Complex a, Complex b, Complex c, double t) {
    const double ab = magnitude(a - b);
    const double bc = magnitude(b - c);
    const double ac = magnitude(a - c);
    const double widest = std::fmax(ab, std::fmax(bc, ac));
    if (widest * t <= 1) {
        const Complex centroid = (1.0 / 3) * (a + b + c);
        const Complex y0 = t * (a - centroid);
        const Complex y1 = t * (b - centroid);
        const Complex y2 = t * (c - centroid);
        Complex h0{1, 0};  // h_k(y0)
        Complex h1{1, 0};  // h_k(y0, y1)
        Complex h2{1, 0};  // h_k(y0, y1, y2)
        Complex sum{kInverseFactorialsFrom2[0], 0};
        for (int k = 1; k < kTaylorTerms; ++k) {
            h0 = h0 * y0;
            h1 = h0 + y1 * h1;
            h2 = h1 + y2 * h2;
            sum = sum + kInverseFactorialsFrom2[static_cast<std::size_t>(k)] * h2;
        }
        return (t * t) * (complex_exp(t * centroid) * sum);
    }
    // Ends p and q the farthest apart, r between.
    Complex p = a;
    Complex q = c;
    Complex r = b;
    if (widest == ab) {
        q = b;
        r = c;
    } else if (widest == bc) {
        p = b;
        r = a;
    }
    return (exp_difference(r, q, t) - exp_difference(p, r, t)) / (q - p);
}

// E[x_0 .. x_l](t) for l = 0 .. size - 1.
void exp_prefix_differences(const PoleCluster& cluster, double t, Complex* out) {
    out[0] = exp_difference(cluster.pole[0], t);
    if (cluster.size > 1) out[1] = exp_difference(cluster.pole[0], cluster.pole[1], t);
    if (cluster.size > 2) {
        out[2] = exp_difference(cluster.pole[0], cluster.pole[1], cluster.pole[2], t);
    }
}

// ---- the model ----

// Groups poles that lie within kClusterFraction of their magnitude of each other, joining
// chains (single linkage). group[k] is the cluster index of pole k.
int group_poles(const Complex* poles, int count, int* group) {
    for (int k = 0; k < count; ++k)
        group[k] = k;
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const double size = std::fmax(magnitude(poles[i]), magnitude(poles[j]));
            if (magnitude(poles[i] - poles[j]) < kClusterFraction * size) {
                const int from = group[j];
                const int to = group[i];
                for (int k = 0; k < count; ++k) {
                    if (group[k] == from) group[k] = to;
                }
            }
        }
    }
    // Renumber 0, 1, ... in order of first appearance.
    int labels[3] = {-1, -1, -1};
    int clusters = 0;
    for (int k = 0; k < count; ++k) {
        int& label = labels[group[k]];
        if (label < 0) label = clusters++;
        group[k] = label;
    }
    return clusters;
}

void fill_cluster(PoleCluster& cluster, const Complex* poles, int count, const int* group,
                  int index, const ComplexPolynomial& numerator, double leading) {
    cluster.largest_real = -std::numeric_limits<double>::infinity();
    ComplexPolynomial outside;  // dn prod over the other poles of (z - p)
    outside.c[0] = {leading, 0};
    for (int k = 0; k < count; ++k) {
        if (group[k] == index) {
            cluster.pole[cluster.size++] = poles[k];
            cluster.largest_real = std::fmax(cluster.largest_real, poles[k].re);
        } else {
            outside = times_linear(outside, poles[k]);
        }
    }
    const ComplexPolynomial with_origin = times_linear(outside, Complex{});
    quotient_factors(numerator, with_origin, cluster.pole, cluster.size, cluster.value_factor);
    quotient_factors(numerator, outside, cluster.pole, cluster.size, cluster.slope_factor);
}

}  // namespace

StepModel make_step_model(const TransferFunction& h, bool closed_form_allowed) {
    const Cubic n = numerator_of(h);
    const Cubic d = denominator_of(h);
    const int n_degree = degree(n);
    const int d_degree = degree(d);
    KESTRANE_EXPECT(d_degree >= 2 && n_degree <= d_degree);
    StepModel model;
    model.final_value = n.c[0] / d.c[0];
    model.initial_value = n_degree == d_degree ? n.c[n_degree] / d.c[d_degree] : 0.0;

    if (closed_form_allowed && n_degree == 0 && d_degree == 2) {
        model.closed_form = true;
        model.decay = -0.5 * (d.c[1] / d.c[2]);
        model.pair_c = d.c[0] / d.c[2];
        model.delta_squared = model.decay * model.decay - model.pair_c;
        const bool over_damped = model.delta_squared > 0;
        model.largest_imaginary = over_damped ? 0 : std::sqrt(-model.delta_squared);
        model.slowest_decay =
            over_damped ? -(model.decay + std::sqrt(model.delta_squared)) : -model.decay;
        return model;
    }

    const PolynomialRoots roots = poles_of(h);
    int group[3] = {0, 0, 0};
    model.cluster_count = group_poles(roots.root, roots.count, group);
    const ComplexPolynomial numerator = complex_polynomial(n);
    model.slowest_decay = std::numeric_limits<double>::infinity();
    for (int k = 0; k < roots.count; ++k) {
        model.largest_imaginary = std::fmax(model.largest_imaginary, std::fabs(roots.root[k].im));
        model.slowest_decay = std::fmin(model.slowest_decay, -roots.root[k].re);
    }
    for (int c = 0; c < model.cluster_count; ++c) {
        fill_cluster(model.cluster[c], roots.root, roots.count, group, c, numerator, d.c[d_degree]);
    }
    return model;
}

namespace {

// sin(x)/x, by its series below 0.5.
double sine_over_argument(double x) {
    if (std::fabs(x) < 0.5) return sinh_over_argument({0, x}).re;
    return portable::sin(x) / x;
}

// e^{ct} cosh(dt) and e^{ct} sinh(dt)/d of the closed form (d = sqrt(delta_squared), or
// cos and sin(wt)/w with w = sqrt(-delta_squared)), without overflow.
struct ClosedFormTerms {
    double even;
    double odd;
};

ClosedFormTerms closed_form_terms(const StepModel& m, double t) {
    const double c = m.decay;
    if (m.delta_squared <= 0) {
        const double w = std::sqrt(-m.delta_squared);
        const double envelope = portable::exp(c * t);
        return {envelope * portable::cos(w * t), envelope * (t * sine_over_argument(w * t))};
    }
    const double delta = std::sqrt(m.delta_squared);
    const double fast = portable::exp((c - delta) * t);
    const double slow = portable::exp((c + delta) * t);
    const double odd = delta * t < 0.5
                           ? portable::exp(c * t) * (t * sinh_over_argument({delta * t, 0}).re)
                           : (slow - fast) / (2 * delta);
    return {(slow + fast) / 2, odd};
}

}  // namespace

namespace {

// start + the real part of the sum over the poles of each cluster's e^(p t) divided
// differences times the cluster's `factors` (its value or slope factors).
double pole_sum(const StepModel& model, double t, double start,
                Complex (PoleCluster::*factors)[3]) {
    double total = start;
    for (int c = 0; c < model.cluster_count; ++c) {
        const PoleCluster& cluster = model.cluster[c];
        Complex e[3];
        exp_prefix_differences(cluster, t, e);
        Complex sum;
        for (int l = 0; l < cluster.size; ++l)
            sum = sum + e[l] * (cluster.*factors)[l];
        total += sum.re;
    }
    return total;
}

}  // namespace

double step_value_at(const StepModel& model, double t) {
    if (model.closed_form) {
        const ClosedFormTerms terms = closed_form_terms(model, t);
        return model.final_value * (1 - (terms.even - model.decay * terms.odd));
    }
    return pole_sum(model, t, model.final_value, &PoleCluster::value_factor);
}

double step_slope_at(const StepModel& model, double t) {
    if (model.closed_form) {
        return model.final_value * model.pair_c * closed_form_terms(model, t).odd;
    }
    return pole_sum(model, t, 0, &PoleCluster::slope_factor);
}

double step_tail_bound(const StepModel& model, double t) {
    if (model.closed_form) {
        const double c = std::fabs(model.decay);
        const double f = std::fabs(model.final_value);
        if (model.delta_squared <= 0) {
            const double w = std::sqrt(-model.delta_squared);
            const double odd = w > 0 ? std::fmin(t, 1 / w) : t;
            return f * portable::exp(model.decay * t) * (1 + c * odd);
        }
        const double delta = std::sqrt(model.delta_squared);
        return f * portable::exp((model.decay + delta) * t) * (1 + c * std::fmin(t, 0.5 / delta));
    }
    double bound = 0;
    for (int c = 0; c < model.cluster_count; ++c) {
        const PoleCluster& cluster = model.cluster[c];
        double power = 1;  // t^l / l!
        double sum = 0;
        for (int l = 0; l < cluster.size; ++l) {
            sum += power * magnitude(cluster.value_factor[l]);
            power *= t / (l + 1);
        }
        bound += portable::exp(cluster.largest_real * t) * sum;
    }
    return bound;
}

double settled_after(const StepModel& model, double fraction) {
    const double target = fraction * std::fabs(model.final_value);
    // Past `falling` every term of the bound falls: t^l e^{-s t} falls beyond l/s.
    double falling = 0;
    if (model.closed_form) {
        falling = 1 / model.slowest_decay;
    } else {
        for (int c = 0; c < model.cluster_count; ++c) {
            const PoleCluster& cluster = model.cluster[c];
            falling = std::fmax(falling, (cluster.size - 1) / -cluster.largest_real);
        }
    }
    const auto excess = [&](double t) { return step_tail_bound(model, t) - target; };
    if (excess(falling) <= 0) return falling;
    double lo = falling;
    double hi = std::fmax(2 * falling, 1 / model.slowest_decay);
    // Doubling until the bound falls below the target brackets the time; a decaying response
    // gets there long before the double range ends (from the least positive double to the
    // largest takes 2098 doublings). Where it would not, the time stops at the range's end.
    while (excess(hi) > 0) {
        if (!(2 * hi < HUGE_VAL)) return hi;
        lo = hi;
        hi *= 2;
    }
    return bracketed_root(excess, lo, hi, excess(lo), excess(hi));
}

namespace {

constexpr int kLeastGridPoints = 400;
constexpr int kMostGridPoints = 20000;
constexpr int kGridPointsPerHalfPeriod = 6;

// The times where y' changes sign in (0, horizon], located exactly, in order.
std::vector<double> extremum_times(const StepModel& model, double horizon) {
    double step = horizon / kLeastGridPoints;
    if (model.largest_imaginary > 0) {
        step = std::fmin(step,
                         std::numbers::pi / (kGridPointsPerHalfPeriod * model.largest_imaginary));
    }
    const double wanted = std::ceil(horizon / step);
    const int points = wanted > kMostGridPoints ? kMostGridPoints : static_cast<int>(wanted);
    const auto slope = [&model](double t) { return step_slope_at(model, t); };
    std::vector<double> times;
    double t_prev = 0;
    double s_prev = slope(0);
    for (int i = 1; i <= points; ++i) {
        const double t = horizon * i / points;
        const double s = slope(t);
        if ((s_prev > 0 && s <= 0) || (s_prev < 0 && s >= 0)) {
            times.push_back(bracketed_root(slope, t_prev, t, s_prev, s));
        }
        if (s != 0) {
            t_prev = t;
            s_prev = s;
        }
    }
    return times;
}

struct Piece {
    double t;
    double y;
};

// The time in [a, b] where y - level changes sign (it does: ends on either side).
double crossing(const StepModel& model, Piece a, Piece b, double level) {
    const auto f = [&](double t) { return step_value_at(model, t) - level; };
    return bracketed_root(f, a.t, b.t, a.y - level, b.y - level);
}

// The first time y reaches `level` going up, from pieces on which y is monotonic: the end of
// the piece in which it happens, with the time found. The last piece's end when it never does.
struct Reaching {
    std::size_t piece;  // y reaches the level within [pieces[piece - 1].t, pieces[piece].t]
    double t;
};

Reaching first_reaching(const StepModel& model, const std::vector<Piece>& pieces, double level) {
    if (pieces.front().y >= level) return {0, 0};
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        if (pieces[k].y >= level) return {k, crossing(model, pieces[k - 1], pieces[k], level)};
    }
    return {pieces.size() - 1, pieces.back().t};
}

// The last time before `high` (the first reaching of the upper level) at which y crosses
// `level` going up: in the last piece before it that starts below the level, where y rises
// through the level (every later piece starts at or above it, so this one ends there). 0 when
// no piece before it starts below the level: y is above it from the step on.
double last_rise_before(const StepModel& model, const std::vector<Piece>& pieces, Reaching high,
                        double level) {
    for (std::size_t k = high.piece; k-- > 0;) {
        if (pieces[k].y < level) {
            const Piece end =
                k + 1 == high.piece ? Piece{high.t, step_value_at(model, high.t)} : pieces[k + 1];
            return crossing(model, pieces[k], end, level);
        }
    }
    return 0;
}

// The last time |y - final| exceeds fraction |final|: in the last piece whose start lies
// outside the band, where y crosses the band's edge on that side.
double settling_time(const StepModel& model, const std::vector<Piece>& pieces, double fraction) {
    const double final_value = model.final_value;
    const double band = fraction * std::fabs(final_value);
    for (std::size_t k = pieces.size() - 1; k-- > 0;) {
        const double departure = pieces[k].y - final_value;
        if (std::fabs(departure) > band) {
            const double edge = final_value + std::copysign(band, departure);
            return crossing(model, pieces[k], pieces[k + 1], edge);
        }
    }
    return 0;
}

constexpr double kHorizonFraction = 1e-6;
constexpr double kSpanPerSettling = 1.5;

}  // namespace

StepFigures step_figures(const CircuitParts& parts, const OpAmp& opamp) {
    const StepModel model = make_step_model(transfer_function(parts, opamp));
    const double horizon = settled_after(model, kHorizonFraction);
    std::vector<Piece> pieces{{0, step_value_at(model, 0)}};
    for (const double t : extremum_times(model, horizon))
        pieces.push_back({t, step_value_at(model, t)});
    pieces.push_back({horizon, step_value_at(model, horizon)});

    StepFigures figures;
    const double final_value = model.final_value;
    figures.final_value = final_value;
    figures.initial_value = model.initial_value;
    for (const Piece& piece : pieces) {
        const double overshoot = 100 * (piece.y - final_value) / final_value;
        if (overshoot > figures.overshoot_percent) {
            figures.overshoot_percent = overshoot;
            figures.peak_time_s = piece.t;
        }
    }
    // The main edge: the output may jump at the step (the leak through C1 and Ro) and fall
    // back before it rises, so the 10 % time is the last upward crossing before the 90 % one.
    const Reaching high = first_reaching(model, pieces, 0.9 * final_value);
    figures.rise_time_s = high.t - last_rise_before(model, pieces, high, 0.1 * final_value);
    figures.settling_1_percent_s = settling_time(model, pieces, 0.01);
    figures.settling_01_percent_s = settling_time(model, pieces, 0.001);
    figures.span_s = figures.settling_01_percent_s > 0
                         ? kSpanPerSettling * figures.settling_01_percent_s
                         : horizon;
    return figures;
}

std::vector<StepSample> step_samples(const CircuitParts& parts, const OpAmp& opamp, double span_s,
                                     int count) {
    KESTRANE_EXPECT(count >= 2 && span_s > 0);
    const StepModel model = make_step_model(transfer_function(parts, opamp));
    std::vector<StepSample> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = span_s * i / (count - 1);
        samples[static_cast<std::size_t>(i)] = {t, step_value_at(model, t)};
    }
    return samples;
}

double step_value(const CircuitParts& parts, const OpAmp& opamp, double t_s) {
    return step_value_at(make_step_model(transfer_function(parts, opamp)), t_s);
}

}  // namespace kestrane
