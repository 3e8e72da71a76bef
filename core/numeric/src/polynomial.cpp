#include "kestrane/numeric/polynomial.h"

#include "kestrane/numeric/portable_math.h"

namespace kestrane {

Complex operator/(Complex a, Complex b) {
    if (std::fabs(b.re) >= std::fabs(b.im)) {
        const double ratio = b.im / b.re;
        const double denominator = b.re + b.im * ratio;
        return {(a.re + a.im * ratio) / denominator, (a.im - a.re * ratio) / denominator};
    }
    const double ratio = b.re / b.im;
    const double denominator = b.re * ratio + b.im;
    return {(a.re * ratio + a.im) / denominator, (a.im * ratio - a.re) / denominator};
}

namespace {

// Components within these bounds (or 0) square and sum without overflow or underflow.
constexpr double kLeastUnscaled = 0x1p-500;
constexpr double kGreatestUnscaled = 0x1p500;

bool squares_safely(double x) {
    const double size = std::fabs(x);
    return size == 0 || (size >= kLeastUnscaled && size <= kGreatestUnscaled);
}

}  // namespace

// When both components are 0 or within [2^-500, 2^500], sqrt(re^2 + im^2) gives the very bits
// of the scaled form below, so the scaling is skipped. The scaled form divides both by 2^e, the
// larger one's binary exponent (exactly: the scaled smaller one is at least 2^-1001, a normal
// number), squares, sums, takes the root and multiplies by 2^e (exactly: the root is in
// [0.5, 1.5)). Unscaled, every square lies in [2^-1000, 2^1000] and the sum below 2^1001, all
// normal, so each rounding is the scaled one's times 2^2e (rounding commutes with a power of
// two while nothing leaves the normal range), and sqrt(x 2^2e) = sqrt(x) 2^e. The one
// difference: the scaled smaller square may underflow (below 2^-1022, where rounding is
// coarser) while the unscaled one does not. Then it is below 2^-1022 beside a larger scaled
// square of at least 1/4, whose half ulp is 2^-55, so in both forms the sum rounds to the
// larger square alone and the results agree.
double magnitude(Complex a) {
    if (squares_safely(a.re) && squares_safely(a.im)) return std::sqrt(a.re * a.re + a.im * a.im);
    const double larger = std::fmax(std::fabs(a.re), std::fabs(a.im));
    if (larger == 0 || !std::isfinite(larger)) return larger;
    int exponent = 0;
    std::frexp(larger, &exponent);
    const double re = std::ldexp(a.re, -exponent);
    const double im = std::ldexp(a.im, -exponent);
    return std::ldexp(std::sqrt(re * re + im * im), exponent);
}

Complex complex_exp(Complex a) {
    const double modulus = portable::exp(a.re);
    if (a.im == 0) return {modulus, 0};
    return {modulus * portable::cos(a.im), modulus * portable::sin(a.im)};
}

int degree(const Cubic& p) {
    for (int k = 3; k > 0; --k) {
        if (p.c[k] != 0) return k;
    }
    return 0;
}

Complex value_at(const Cubic& p, Complex z) {
    Complex v{p.c[3], 0};
    for (int k = 2; k >= 0; --k)
        v = v * z + Complex{p.c[k], 0};
    return v;
}

Complex slope_at(const Cubic& p, Complex z) {
    Complex v{3 * p.c[3], 0};
    v = v * z + Complex{2 * p.c[2], 0};
    return v * z + Complex{p.c[1], 0};
}

double value_at(const Cubic& p, double x) {
    return ((p.c[3] * x + p.c[2]) * x + p.c[1]) * x + p.c[0];
}

Complex value_at_jw(const Cubic& p, double w) {
    const double w2 = w * w;
    return {p.c[0] - p.c[2] * w2, w * (p.c[1] - p.c[3] * w2)};
}

Complex slope_at_jw(const Cubic& p, double w) {
    return {p.c[1] - 3 * p.c[3] * w * w, 2 * p.c[2] * w};
}

namespace {

// The roots of x^2 + b x + c without cancellation: the larger real root from the sum, the
// other from the product.
void quadratic_roots(double b, double c, Complex& first, Complex& second) {
    const double half_b = b / 2;
    const double discriminant = half_b * half_b - c;
    if (discriminant >= 0) {
        const double larger = -half_b - std::copysign(std::sqrt(discriminant), half_b);
        first = {larger, 0};
        second = {larger != 0 ? c / larger : 0, 0};
        return;
    }
    const double imaginary = std::sqrt(-discriminant);
    first = {-half_b, imaginary};
    second = {-half_b, -imaginary};
}

// A bound on the magnitude of every root of the monic cubic x^3 + a2 x^2 + a1 x + a0
// (Fujiwara's), with room for the rounding of its cube root.
double root_bound(double a2, double a1, double a0) {
    const double cube = std::fabs(a0 / 2);
    const double cube_root = cube > 0 ? portable::exp(portable::log(cube) / 3) : 0;
    const double largest = std::fmax(std::fabs(a2), std::fmax(std::sqrt(std::fabs(a1)), cube_root));
    return 2.01 * largest;
}

// A Newton step z - p(z)/p'(z), kept only when it lowers |p|.
Complex polished(const Cubic& p, Complex z) {
    for (int step = 0; step < 3; ++step) {
        const Complex value = value_at(p, z);
        const Complex slope = slope_at(p, z);
        if (slope.re == 0 && slope.im == 0) break;
        const Complex next = z - value / slope;
        if (!(magnitude(value_at(p, next)) < magnitude(value))) break;
        z = next;
    }
    return z;
}

}  // namespace

PolynomialRoots polynomial_roots(const Cubic& p) {
    PolynomialRoots roots;
    const int n = degree(p);
    if (n == 1) {
        roots.count = 1;
        roots.root[0] = {-p.c[0] / p.c[1], 0};
        return roots;
    }
    if (n == 2) {
        roots.count = 2;
        roots.pair_b = p.c[1] / p.c[2];
        roots.pair_c = p.c[0] / p.c[2];
        quadratic_roots(roots.pair_b, roots.pair_c, roots.root[0], roots.root[1]);
        return roots;
    }
    if (n != 3) return roots;

    // Monic: x^3 + a2 x^2 + a1 x + a0.
    const double a2 = p.c[2] / p.c[3];
    const double a1 = p.c[1] / p.c[3];
    const double a0 = p.c[0] / p.c[3];
    const Cubic monic{{a0, a1, a2, 1}};
    double r = 0;
    if (a0 != 0) {
        // The cubic goes from a0 at 0 to the sign of x^3 beyond the bound: a real root lies
        // on the side where that sign differs from a0's. Halving from the bound until the
        // sign is a0's brackets the outermost such root within a factor 2.
        const auto f = [&monic](double x) { return value_at(monic, x); };
        double outer = a0 > 0 ? -root_bound(a2, a1, a0) : root_bound(a2, a1, a0);
        double f_outer = f(outer);
        double inner = outer / 2;
        double f_inner = f(inner);
        while ((f_inner < 0) != (a0 < 0) && f_inner != 0 && inner != 0) {
            outer = inner;
            f_outer = f_inner;
            inner /= 2;
            f_inner = f(inner);
        }
        if (inner == 0) f_inner = a0;
        r = bracketed_root(f, inner, outer, f_inner, f_outer);
    }
    // x^3 + a2 x^2 + a1 x + a0 = (x - r)(x^2 + b x + c): c = -a0/r; b from a2 = b - r or from
    // a1 = c - b r, whichever cancels less.
    double b = a2 + r;
    double c = 0;
    if (r != 0) {
        c = -a0 / r;
        const double from_a1 = (c - a1) / r;
        const double forward_cancellation = (std::fabs(a2) + std::fabs(r)) / std::fabs(b);
        const double backward_cancellation =
            (std::fabs(c) + std::fabs(a1)) / std::fabs(from_a1 * r);
        if (backward_cancellation < forward_cancellation) b = from_a1;
    } else {
        c = a1;
    }
    Complex first;
    Complex second;
    quadratic_roots(b, c, first, second);
    const double separation = magnitude(first - second);
    const double size = std::fmax(magnitude(first), magnitude(second));
    if (separation > 1e-3 * size) {
        first = polished(monic, first);
        if (first.im != 0) {
            second = conjugate(first);
            b = -2 * first.re;
            c = first.re * first.re + first.im * first.im;
        } else {
            second = polished(monic, second);
            b = -(first.re + second.re);
            c = first.re * second.re;
        }
    }
    if (first.im < 0) std::swap(first, second);
    roots.count = 3;
    roots.root[0] = {r, 0};
    roots.root[1] = first;
    roots.root[2] = second;
    roots.pair_b = b;
    roots.pair_c = c;
    return roots;
}

}  // namespace kestrane
