#include "opamp_stages.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace kestrane::opamp_cascade {
namespace {

// A value and its derivative in s, for the group delay and the slopes the searches follow.
struct Dual {
    Complex v;
    Complex d;
};

Dual operator+(Dual a, Dual b) {
    return {a.v + b.v, a.d + b.d};
}
Dual operator-(Dual a, Dual b) {
    return {a.v - b.v, a.d - b.d};
}
Dual operator*(Dual a, Dual b) {
    return {a.v * b.v, a.d * b.v + a.v * b.d};
}
Dual operator*(double k, Dual a) {
    return {k * a.v, k * a.d};
}
Dual operator/(Dual a, Dual b) {
    const Complex q = a.v / b.v;
    return {q, (a.d - q * b.d) / b.v};
}

// A polynomial at s = j omega, with its derivative (Dual) or alone (Complex): the values are
// the same bits either way, since Dual's value parts are Complex's operations on them.
template <class T>
T polynomial_at(const Cubic& p, double omega);

template <>
Dual polynomial_at<Dual>(const Cubic& p, double omega) {
    return {value_at_jw(p, omega), slope_at_jw(p, omega)};
}

template <>
Complex polynomial_at<Complex>(const Cubic& p, double omega) {
    return value_at_jw(p, omega);
}

template <class T>
T one();

template <>
Dual one<Dual>() {
    return {{1, 0}, {0, 0}};
}

template <>
Complex one<Complex>() {
    return {1, 0};
}

template <class T>
T variable(double omega);  // s = j omega

template <>
Dual variable<Dual>(double omega) {
    return {{0, omega}, {1, 0}};
}

template <>
Complex variable<Complex>(double omega) {
    return {0, omega};
}

Cubic cubic(double c0, double c1, double c2 = 0, double c3 = 0) {
    return {{c0, c1, c2, c3}};
}

// The load factor z of a stage whose load draws Y Vout (see cascade_opamp.h).
template <class T>
T load_term(const StagePolynomials& stage, const OpAmpTerms& t, T y, T e, T d, double omega) {
    if (stage.order == 1) return t.ro * (y * e / (one<T>() + e));
    return t.ro * (y * e * polynomial_at<T>(stage.q, omega) / d);
}

// The input admittance of a stage loaded by Y, with its loaded denominator D (1 + z).
template <class T>
T input_admittance(const StagePolynomials& stage, const OpAmpTerms& t, T y, T e, T n, T loaded_d,
                   double omega) {
    const T s = variable<T>(omega);
    if (stage.order == 1) return stage.c1 * (s / polynomial_at<T>(stage.rc, omega));
    const T drive = polynomial_at<T>(stage.own, omega) + t.ro * (y * e);
    const T through = polynomial_at<T>(stage.through, omega);
    return s * (drive * through - stage.c1 * n) / loaded_d;
}

// Walks the stages from the last, carrying the admittance each drives back, and hands each
// stage's N, D and z (with derivatives for Dual) to `visit(i, n, d, z, 1 + z)`.
template <class T, class Visit>
void walk_loaded(const CascadePolynomials& c, double omega, Visit visit) {
    const T e = polynomial_at<T>(c.e, omega);
    T y{};  // the admittance the stage's output drives: nothing after the last
    for (int i = c.count; i-- > 0;) {
        const StagePolynomials& stage = c.stage[i];
        const T n = polynomial_at<T>(stage.n, omega);
        const T d = polynomial_at<T>(stage.d, omega);
        const bool loaded = c.loads && i + 1 < c.count;
        const T z = loaded ? load_term(stage, c.t, y, e, d, omega) : T{};
        const T one_plus_z = one<T>() + z;
        visit(i, n, d, z, one_plus_z);
        if (c.loads && i > 0) y = input_admittance(stage, c.t, y, e, n, d * one_plus_z, omega);
    }
}

}  // namespace

OpAmpTerms terms_of(const OpAmp& opamp) {
    return {1 / opamp.open_loop_gain, 1 / (2 * std::numbers::pi * opamp.gbw_hz),
            opamp.output_resistance};
}

CascadePolynomials cascade_polynomials(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    KESTRANE_CHECK(stages.size() <= static_cast<std::size_t>(kMaxStages));
    CascadePolynomials c;
    c.t = terms_of(opamp);
    c.loads = c.t.ro > 0 && (c.t.eps > 0 || c.t.g > 0);
    c.e = cubic(c.t.eps, c.t.g);
    for (const StageCircuit& stage : stages) {
        StagePolynomials& s = c.stage[c.count++];
        const CircuitParts& p = stage.parts;
        const TransferFunction tf = stage_transfer_function(stage, opamp);
        s.order = stage.order;
        s.c1 = p.C1;
        s.n = numerator_of(tf);
        s.d = denominator_of(tf);
        if (stage.order == 1) {
            s.rc = cubic(1, p.R1 * p.C1);
            continue;
        }
        s.q = cubic(1, p.R1 * p.C1 + p.C2 * (p.R1 + p.R2), p.R1 * p.R2 * p.C1 * p.C2);
        const double r = c.t.ro * p.C1;
        s.own = cubic(1 + c.t.eps, c.t.g + r * c.t.eps, r * c.t.g);
        s.through = cubic(p.C1 + p.C2, p.R2 * p.C1 * p.C2);
    }
    return c;
}

void loaded_stages(const CascadePolynomials& cascade, double omega, LoadedStage* out) {
    walk_loaded<Dual>(cascade, omega, [&](int i, Dual n, Dual d, Dual z, Dual one_plus_z) {
        LoadedStage& result = out[i];
        result.h = n.v / (d.v * one_plus_z.v);
        result.log_slope = n.d / n.v - d.d / d.v - z.d / one_plus_z.v;
        result.load = z.v;
        result.load_slope = z.d;
    });
}

GainSlope output_gain(const CascadePolynomials& cascade, int k, double omega) {
    LoadedStage loaded[kMaxStages];
    loaded_stages(cascade, omega, loaded);
    GainSlope result{1, 0};
    for (int i = 0; i < k; ++i) {
        result.gain *= magnitude(loaded[i].h);
        // d ln|H(j omega)| / d omega = Re(j H'/H) = -Im(H'/H).
        result.slope -= loaded[i].log_slope.im;
    }
    return result;
}

void stage_gains(const CascadePolynomials& cascade, double omega, double* gains) {
    walk_loaded<Complex>(cascade, omega,
                         [&](int i, Complex n, Complex d, Complex, Complex one_plus_z) {
                             gains[i] = magnitude(n / (d * one_plus_z));
                         });
}

double product_of(const double* gains, int k) {
    double gain = 1;
    for (int i = 0; i < k; ++i)
        gain *= gains[i];
    return gain;
}

double output_gain_only(const CascadePolynomials& cascade, int k, double omega) {
    double gains[kMaxStages];
    stage_gains(cascade, omega, gains);
    return product_of(gains, k);
}

DominantPoles dominant_poles(const StageCircuit& stage, const OpAmp& opamp) {
    const TransferFunction tf = stage_transfer_function(stage, opamp);
    if (stage.order == 1) {
        // D = (1 + eps + s g)(1 + s R1 C1): the RC's pole, or the op-amp's when it is lower.
        const OpAmpTerms t = terms_of(opamp);
        const double rc = 1 / (stage.parts.R1 * stage.parts.C1);
        const double amp = t.g > 0 ? (1 + t.eps) / t.g : std::numeric_limits<double>::infinity();
        return {std::fmin(rc, amp), std::numeric_limits<double>::quiet_NaN()};
    }
    const DominantPair pair = dominant_pair(tf);
    const double omega = std::sqrt(pair.c);
    return {omega, omega / pair.b};
}

double largest_root_magnitude(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    double largest = 0;
    for (const StageCircuit& stage : stages) {
        const TransferFunction tf = stage_transfer_function(stage, opamp);
        for (const Cubic& p : {numerator_of(tf), denominator_of(tf)}) {
            if (degree(p) == 0) continue;
            const PolynomialRoots roots = polynomial_roots(p);
            for (int k = 0; k < roots.count; ++k)
                largest = std::fmax(largest, magnitude(roots.root[k]));
        }
    }
    return largest;
}

namespace {

constexpr double kLargestStep = 0.05;
constexpr double kSmallestStep = 1e-12;

}  // namespace

double Grid::next(double omega) const {
    double step = kLargestStep;
    for (int i = 0; i < count; ++i) {
        const DominantPoles& s = stage[i];
        if (std::isnan(s.q)) continue;  // a first-order stage has no resonance to resolve
        const double distance = std::fabs(omega - s.omega) / std::fmax(omega, s.omega);
        step = std::fmin(step, std::fmax(distance, 1 / s.q) / 10);
    }
    return omega * (1 + std::fmax(step, kSmallestStep));
}

Grid grid_of(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    Grid grid;
    grid.lowest = std::numeric_limits<double>::infinity();
    for (const StageCircuit& stage : stages) {
        const DominantPoles poles = dominant_poles(stage, opamp);
        grid.stage[grid.count++] = poles;
        const double damped = std::isnan(poles.q) ? 1 : std::fmin(poles.q, 1);
        grid.lowest = std::fmin(grid.lowest, poles.omega * damped);
        grid.highest = std::fmax(grid.highest, poles.omega);
    }
    return grid;
}

}  // namespace kestrane::opamp_cascade
