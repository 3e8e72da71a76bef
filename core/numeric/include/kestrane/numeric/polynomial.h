// Complex numbers, real polynomials of degree at most 3, their roots, and a bracketed root
// finder: the arithmetic under the op-amp model and the step response. Every operation is a
// chain of + - * /, sqrt and the portable functions, so the same inputs give the same bits
// in the native build and in the page's module (std::complex's division is the runtime
// library's, which differs between them). Internal to the design core.
#pragma once

#include <cmath>
#include <limits>
#include <utility>

namespace kestrane {

struct Complex {
    double re = 0;
    double im = 0;
};

inline Complex operator+(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}
inline Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
inline Complex operator-(Complex a) {
    return {-a.re, -a.im};
}
inline Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex operator*(double k, Complex a) {
    return {k * a.re, k * a.im};
}
inline Complex conjugate(Complex a) {
    return {a.re, -a.im};
}

// a / b by Smith's method, which neither overflows nor underflows in b's squared magnitude.
Complex operator/(Complex a, Complex b);

// |a|, scaled so that the squares neither overflow nor underflow.
double magnitude(Complex a);

// e^a, from the portable exp, cos and sin.
Complex complex_exp(Complex a);

// A real polynomial c[0] + c[1] x + c[2] x^2 + c[3] x^3.
struct Cubic {
    double c[4] = {0, 0, 0, 0};
};

// The degree: the index of the highest non-zero coefficient (0 for a constant, zeros too).
int degree(const Cubic& p);

// p(z) and p'(z) by Horner's rule.
Complex value_at(const Cubic& p, Complex z);
Complex slope_at(const Cubic& p, Complex z);
double value_at(const Cubic& p, double x);

// p(j w) and p'(j w) at a real w, from the even and odd parts.
Complex value_at_jw(const Cubic& p, double w);
Complex slope_at_jw(const Cubic& p, double w);

// The roots of p, of degree 1 to 3. For degree 3, root[0] is real and root[1], root[2] are
// the roots of the monic quadratic factor x^2 + pair_b x + pair_c (a complex pair, root[1]
// with the positive imaginary part, or two reals); for degree 2 the two roots are those of
// p itself, also described by pair_b and pair_c; for degree 1 there is root[0] alone.
// Roots are found by a bracketed search for a real root, deflation by whichever of the two
// deflations cancels less, and Newton steps on p for well-separated roots of the factor:
// each root has the accuracy its conditioning allows (a near-double root loses half the
// digits; symmetric functions of it, pair_b and pair_c, do not). No trigonometric formula.
struct PolynomialRoots {
    int count = 0;
    Complex root[3];
    double pair_b = 0;
    double pair_c = 0;
};
PolynomialRoots polynomial_roots(const Cubic& p);

// A root of f in [a, b], where fa = f(a) and fb = f(b) have opposite signs (or one is 0): the
// Illinois variant of regula falsi, with a bisection whenever three steps have not halved the
// bracket, to the last few ulps of the bracket. f need not be continuous; the result then lies
// where its sign changes. Ends that do not bracket a root (fa and fb of one sign, or either
// not a number) give not-a-number, never a point that is not a root.
template <class F>
double bracketed_root(F f, double a, double b, double fa, double fb) {
    if (fa == 0) return a;
    if (fb == 0) return b;
    if (!((fa < 0 && fb > 0) || (fa > 0 && fb < 0)))
        return std::numeric_limits<double>::quiet_NaN();
    int side = 0;
    double checkpoint = std::fabs(b - a);
    int steps_since_checkpoint = 0;
    for (int iteration = 0; iteration < 400; ++iteration) {
        const double width = std::fabs(b - a);
        const double scale = std::fmax(std::fabs(a), std::fabs(b));
        if (width <= 4 * std::numeric_limits<double>::epsilon() * scale) break;
        bool bisect = false;
        if (++steps_since_checkpoint == 3) {
            bisect = width > checkpoint / 2;
            checkpoint = width;
            steps_since_checkpoint = 0;
        }
        double x = (a * fb - b * fa) / (fb - fa);
        const double lo = std::fmin(a, b);
        const double hi = std::fmax(a, b);
        if (bisect || !(x > lo && x < hi)) x = a + (b - a) / 2;
        const double fx = f(x);
        if (fx == 0) return x;
        if ((fx < 0) == (fb < 0)) {
            b = x;
            fb = fx;
            if (side == -1) fa /= 2;
            side = -1;
        } else {
            a = x;
            fa = fx;
            if (side == 1) fb /= 2;
            side = 1;
        }
    }
    return a + (b - a) / 2;
}

}  // namespace kestrane
