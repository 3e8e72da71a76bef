#include "prototype.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "bessel.h"
#include "real_functions.h"

namespace kestrane {
namespace {

using namespace cascade_math;

PrototypeStage pair_stage(Complex pole) {
    const double w0 = magnitude(pole);
    return {2, pole, w0, w0 / (2 * std::fabs(pole.re))};
}

PrototypeStage real_stage(double pole) {
    return {1, {pole, 0}, -pole, std::numeric_limits<double>::quiet_NaN()};
}

void add_stage(Prototype& prototype, const PrototypeStage& stage) {
    KESTRANE_CHECK(prototype.stage_count < kMaxStages);
    prototype.stages[prototype.stage_count++] = stage;
}

bool runs_before(const PrototypeStage& a, const PrototypeStage& b) {
    if (a.order != b.order) return a.order < b.order;
    return a.q < b.q;
}

// Insertion sort: stable, so equal stages keep the order they were made in.
void sort_stages(Prototype& prototype) {
    for (int i = 1; i < prototype.stage_count; ++i) {
        const PrototypeStage stage = prototype.stages[i];
        int j = i;
        for (; j > 0 && runs_before(stage, prototype.stages[j - 1]); --j) {
            prototype.stages[j] = prototype.stages[j - 1];
        }
        prototype.stages[j] = stage;
    }
}

// sin and cos of theta_k = (2k - 1) pi / (2n), the angle of the k-th pole of an order-n
// Butterworth or Chebyshev from the negative real axis (k = 1 .. n/2, the upper poles). The
// cosine as sin((n - 2k + 1) pi / (2n)) keeps its digits where theta_k is near pi/2.
struct PoleAngle {
    double sine;
    double cosine;
};

PoleAngle pole_angle(int k, int n) {
    const double unit = std::numbers::pi / (2 * n);
    return {portable::sin((2 * k - 1) * unit), portable::sin((n - 2 * k + 1) * unit)};
}

// Butterworth: the poles e^(j (pi/2 + theta_k)) on the unit circle, and -1 for odd n.
Prototype butterworth(int n) {
    Prototype prototype;
    for (int k = 1; k <= n / 2; ++k) {
        const PoleAngle angle = pole_angle(k, n);
        add_stage(prototype, pair_stage({-angle.sine, angle.cosine}));
    }
    if (n % 2 != 0) add_stage(prototype, real_stage(-1));
    return prototype;
}

// Chebyshev type I, ripple edge at 1 rad/s: p_k = -sinh(mu) sin(theta_k) + j cosh(mu)
// cos(theta_k) with mu = asinh(1/eps)/n; divided by the -3 dB frequency for that convention.
Prototype chebyshev(int n, double ripple_db, ChebyshevEdge edge) {
    const double mu = inverse_sinh(1 / std::sqrt(chebyshev_epsilon_squared(ripple_db))) / n;
    const double sinh_mu = hyperbolic_sine(mu);
    const double cosh_mu = hyperbolic_cosine(mu);
    const double scale =
        edge == ChebyshevEdge::minus_3db ? chebyshev_half_power_over_edge(ripple_db, n) : 1;
    Prototype prototype;
    for (int k = 1; k <= n / 2; ++k) {
        const PoleAngle angle = pole_angle(k, n);
        add_stage(prototype,
                  pair_stage({-sinh_mu * angle.sine / scale, cosh_mu * angle.cosine / scale}));
    }
    if (n % 2 != 0) add_stage(prototype, real_stage(-sinh_mu / scale));
    return prototype;
}

// Bessel: the roots of theta_n divided by the frequency where |H|^2 = 1/2, that is where the
// excess |H(0)/H|^2 - 1 is 1 (its log 0).
Prototype bessel(int n) {
    const BesselRoots roots = bessel_delay_roots(n);
    const double half_power = frequency_of_excess(bessel_magnitude(n), 0);
    Prototype prototype;
    for (int k = 0; k < roots.pair_count; ++k) {
        const Complex p = roots.upper[k];
        add_stage(prototype, pair_stage({p.re / half_power, p.im / half_power}));
    }
    if (n % 2 != 0) add_stage(prototype, real_stage(roots.real / half_power));
    return prototype;
}

// Linkwitz-Riley: the Butterworth of half the order twice, so its gain at 1 rad/s is
// (1/sqrt 2)^2 = 1/2 (-6.02 dB). Each pair is two equal stages; the doubled real pole -1 is
// one second-order stage with Q = 1/2 (w0 = 1).
Prototype linkwitz_riley(int n) {
    const Prototype half = butterworth(n / 2);
    Prototype prototype;
    for (int i = 0; i < half.stage_count; ++i) {
        const PrototypeStage& stage = half.stages[i];
        if (stage.order == 1) {
            add_stage(prototype, pair_stage(stage.pole));
        } else {
            add_stage(prototype, stage);
            add_stage(prototype, stage);
        }
    }
    return prototype;
}

Prototype family_stages(const CascadeRequest& request) {
    switch (request.response) {
        case Response::butterworth:
            return butterworth(request.order);
        case Response::chebyshev:
            return chebyshev(request.order, request.ripple_db, request.edge);
        case Response::bessel:
            return bessel(request.order);
        case Response::linkwitz_riley:
            return linkwitz_riley(request.order);
    }
    return {};
}

}  // namespace

Prototype prototype_of(const CascadeRequest& request) {
    KESTRANE_EXPECT(validate_request(request) == RequestError::none);
    Prototype prototype = family_stages(request);
    sort_stages(prototype);
    return prototype;
}

double chebyshev_epsilon_squared(double ripple_db) {
    return power_ratio_minus_one(ripple_db);
}

double chebyshev_half_power_over_edge(double ripple_db, int order) {
    const double epsilon_squared = chebyshev_epsilon_squared(ripple_db);
    const double log_t = order % 2 != 0 ? -portable::log(epsilon_squared) / 2
                                        : portable::log(1 / epsilon_squared + 2) / 2;
    return hyperbolic_cosine(inverse_cosh_of_exp(log_t) / order);
}

}  // namespace kestrane
