#include "bessel.h"

#include <cmath>
#include <numbers>

#include "kestrane/cascade/request.h"

namespace kestrane {
namespace {

// a_0 ... a_n of theta_n, from a_n = 1 and a_k / a_(k+1) = (2n - k)(k + 1) / (2 (n - k)).
// Every a_k is an integer below 2^53 for n <= 10 (a_0 = 20! / (2^10 10!) = 654729075), and
// each product and quotient here is exact.
struct BesselCoefficients {
    int order = 0;
    double a[kMaxOrder + 1] = {};
};

BesselCoefficients bessel_coefficients(int n) {
    BesselCoefficients p;
    p.order = n;
    p.a[n] = 1;
    for (int k = n - 1; k >= 0; --k) {
        p.a[k] = p.a[k + 1] * (2 * n - k) * (k + 1) / (2 * (n - k));
    }
    return p;
}

struct ValueAndSlope {
    Complex value;
    Complex slope;
};

ValueAndSlope horner(const BesselCoefficients& p, Complex z) {
    Complex value{p.a[p.order], 0};
    Complex slope{0, 0};
    for (int k = p.order - 1; k >= 0; --k) {
        slope = slope * z + value;
        value = value * z + Complex{p.a[k], 0};
    }
    return {value, slope};
}

// theta_n(z) near a root is a small difference of large terms, so Newton's polishing
// evaluates it in double-double arithmetic: values hi + lo with |lo| <= ulp(hi) / 2, from
// Knuth's two-sum and Dekker's two-product (exact with plain IEEE double operations and no
// fused multiply-add, which the build forbids). The residual then has about 32 digits and the
// polished root is as accurate as its double allows.
DoubleDouble operator+(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble sum = two_sum(a.hi, b.hi);
    return fast_two_sum(sum.hi, sum.lo + (a.lo + b.lo));
}

DoubleDouble operator*(DoubleDouble a, double b) {
    const DoubleDouble product = two_product(a.hi, b);
    return fast_two_sum(product.hi, product.lo + a.lo * b);
}

DoubleDouble negated(DoubleDouble a) {
    return {-a.hi, -a.lo};
}

// theta_n(z) by Horner's rule in double-double complex arithmetic.
Complex precise_value(const BesselCoefficients& p, Complex z) {
    DoubleDouble re{p.a[p.order], 0};
    DoubleDouble im{0, 0};
    for (int k = p.order - 1; k >= 0; --k) {
        const DoubleDouble next_re = re * z.re + negated(im * z.im) + DoubleDouble{p.a[k], 0};
        im = re * z.im + im * z.re;
        re = next_re;
    }
    return {re.hi + re.lo, im.hi + im.lo};
}

void newton_step(const BesselCoefficients& p, Complex& z) {
    const Complex slope = horner(p, z).slope;
    if (slope.re == 0 && slope.im == 0) return;
    z = z - precise_value(p, z) / slope;
}

// One sweep of Aberth-Ehrlich over all roots, each updated in place; returns the largest step
// relative to its root.
double aberth_sweep(const BesselCoefficients& p, Complex* z) {
    double largest = 0;
    for (int k = 0; k < p.order; ++k) {
        const ValueAndSlope h = horner(p, z[k]);
        if (h.value.re == 0 && h.value.im == 0) continue;
        const Complex ratio = h.value / h.slope;
        Complex repulsion{0, 0};
        for (int j = 0; j < p.order; ++j) {
            if (j != k) repulsion = repulsion + Complex{1, 0} / (z[k] - z[j]);
        }
        const Complex step = ratio / (Complex{1, 0} - ratio * repulsion);
        z[k] = z[k] - step;
        largest = std::fmax(largest, magnitude(step) / magnitude(z[k]));
    }
    return largest;
}

// Roots of the monic theta_n: Aberth from the circle of radius a_0^(1/n), at angles
// 2 pi k / n + 0.4 (off the real axis and unsymmetric, so no pair of starts is tied to the
// conjugate symmetry), until a sweep moves no root by more than 1e-14 of itself (at most 200
// sweeps), then three Newton steps on theta_n.
void all_roots(const BesselCoefficients& p, Complex* z) {
    const int n = p.order;
    const double radius = portable::exp(portable::log(p.a[0]) / n);
    for (int k = 0; k < n; ++k) {
        const double angle = 2 * std::numbers::pi * k / n + 0.4;
        z[k] = {radius * portable::cos(angle), radius * portable::sin(angle)};
    }
    for (int sweep = 0; sweep < 200; ++sweep) {
        if (aberth_sweep(p, z) < 1e-14) break;
    }
    for (int k = 0; k < n; ++k) {
        for (int step = 0; step < 3; ++step)
            newton_step(p, z[k]);
    }
}

}  // namespace

BesselMagnitude bessel_magnitude(int order) {
    KESTRANE_CHECK(order >= 1 && order <= kMaxBesselOrderSought);
    const int n = order;
    BesselMagnitude m;
    m.order = n;
    m.e[0] = 1;
    for (int k = 0; k < n; ++k) {
        const double down = static_cast<double>((2 * n - k) * (2 * n - 2 * k - 1) * (k + 1));
        m.e[k + 1] = m.e[k] * (2 * (n - k)) / down;
    }
    return m;
}

double log_excess(const BesselMagnitude& m, double log_w) {
    const int n = m.order;
    if (log_w <= 0) {
        // w^2 (e_1 + e_2 w^2 + ... + e_n w^(2n-2)).
        const double w2 = portable::exp(2 * log_w);
        double sum = m.e[n];
        for (int k = n - 1; k >= 1; --k)
            sum = sum * w2 + m.e[k];
        return 2 * log_w + portable::log(sum);
    }
    // w^(2n) (e_n + e_(n-1) w^-2 + ... + e_1 w^(2-2n)).
    const double inverse = portable::exp(-2 * log_w);
    double sum = m.e[1];
    for (int k = 2; k <= n; ++k)
        sum = sum * inverse + m.e[k];
    return 2 * n * log_w + portable::log(sum);
}

double frequency_of_excess(const BesselMagnitude& m, double log_target) {
    const auto gap = [&](double w) { return log_excess(m, portable::log(w)) - log_target; };
    // The log excess rises with w, as 2 ln w near 0 and 2n ln w far out: doubling and halving
    // from 1 bracket any finite target within about 1100 steps.
    double low = 1;
    double high = 1;
    double gap_low = gap(low);
    double gap_high = gap_low;
    for (int i = 0; i < 1100 && gap_high < 0; ++i)
        gap_high = gap(high *= 2);
    for (int i = 0; i < 1100 && gap_low > 0; ++i)
        gap_low = gap(low /= 2);
    return bracketed_root(gap, low, high, gap_low, gap_high);
}

BesselRoots bessel_delay_roots(int order) {
    KESTRANE_CHECK(order >= 1 && order <= kMaxOrder);
    const BesselCoefficients p = bessel_coefficients(order);
    Complex z[kMaxOrder];
    all_roots(p, z);
    BesselRoots roots;
    int real_count = 0;
    for (int k = 0; k < order; ++k) {
        // Every complex root has |Im z| > 0.12 |z| (0.124 at n = 10, less for no lower n), so
        // a root within 1e-8 |z| of the real axis is the real one.
        if (std::fabs(z[k].im) <= 1e-8 * magnitude(z[k])) {
            roots.real = z[k].re;
            ++real_count;
        } else if (z[k].im > 0) {
            KESTRANE_CHECK(roots.pair_count < 5);
            roots.upper[roots.pair_count++] = z[k];
        }
    }
    KESTRANE_CHECK(real_count == order % 2 && roots.pair_count == order / 2);
    if (real_count == 1) {
        // The real root polished on the real axis.
        Complex x{roots.real, 0};
        for (int step = 0; step < 3; ++step)
            newton_step(p, x);
        roots.real = x.re;
    }
    return roots;
}

}  // namespace kestrane
