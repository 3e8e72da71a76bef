#include "kestrane/cascade/order.h"

#include <algorithm>
#include <cmath>

#include "bessel.h"
#include "core_arithmetic.h"
#include "prototype.h"
#include "real_functions.h"

namespace kestrane {
namespace {

using namespace cascade_math;

// A family's loss in normalised frequency w is K log10(1 + E(w)), E the excess:
//   Butterworth     E = w^(2n),                    w in units of the -3 dB cutoff, K = 10
//   Linkwitz-Riley  E = w^n,                       w in units of the -6 dB cutoff, K = 20
//   Chebyshev       E = eps^2 T_n(w)^2 (w >= 1),   w in units of the ripple edge,  K = 10
//   Bessel          E = sum_k e_k w^(2k),          w in units of 1/(group delay),  K = 10
// Everything below works with ln E, so no finite specification overflows.
struct Family {
    Response response = Response::butterworth;
    double ripple_db = kNoRipple;
    ChebyshevEdge edge = ChebyshevEdge::minus_3db;
    double log_pass = 0;             // ln E at the passband edge: Ap as an excess
    double log_stop = 0;             // ln E that the stopband edge needs: As as an excess
    double log_ratio = 0;            // ln(fs / fp)
    double log_epsilon_squared = 0;  // Chebyshev only
};

bool counts_amplitude(Response response) {
    return response == Response::linkwitz_riley;
}

Family family_for(Response response, const PassStopSpec& spec, double ripple_db,
                  ChebyshevEdge edge) {
    // Linkwitz-Riley's loss is 20 log10(1 + E): as a power loss, half the decibels.
    const double per_excess = counts_amplitude(response) ? 0.5 : 1;
    Family family;
    family.response = response;
    family.ripple_db = ripple_db;
    family.edge = edge;
    family.log_pass = log_power_ratio_minus_one(spec.passband_loss_db * per_excess);
    family.log_stop = log_power_ratio_minus_one(spec.stopband_loss_db * per_excess);
    // fs / fp may overflow; its logarithm never does.
    const double ratio = spec.stopband_hz / spec.passband_hz;
    family.log_ratio = std::isfinite(ratio)
                           ? portable::log(ratio)
                           : portable::log(spec.stopband_hz) - portable::log(spec.passband_hz);
    if (response == Response::chebyshev) {
        family.log_epsilon_squared = portable::log(chebyshev_epsilon_squared(ripple_db));
    }
    return family;
}

// One order placed so that the loss at fp is Ap: ln w at fp, and ln E at fs = fp e^log_ratio.
struct Fit {
    double log_passband_w;
    double log_stop_excess;
};

// n acosh(w_p) of a Chebyshev placed so that its loss at fp is Ap: there
// eps^2 T_n(w_p)^2 = E_pass, so n acosh(w_p) = acosh(sqrt(E_pass / eps^2)); 0 when Ap is the
// ripple, so w_p = 1 (the ripple edge) exactly.
double chebyshev_pass_angle(const Family& family) {
    return inverse_cosh_of_exp((family.log_pass - family.log_epsilon_squared) / 2);
}

Fit fit(const Family& family, int n) {
    switch (family.response) {
        case Response::butterworth:
            return {family.log_pass / (2 * n), family.log_pass + 2 * n * family.log_ratio};
        case Response::linkwitz_riley:
            return {family.log_pass / n, family.log_pass + n * family.log_ratio};
        case Response::chebyshev: {
            const double log_w = log_cosh(chebyshev_pass_angle(family) / n);
            const double stop_angle = n * inverse_cosh_of_exp(log_w + family.log_ratio);
            return {log_w, family.log_epsilon_squared + 2 * log_cosh(stop_angle)};
        }
        case Response::bessel: {
            const BesselMagnitude magnitude = bessel_magnitude(n);
            const double log_w = portable::log(frequency_of_excess(magnitude, family.log_pass));
            return {log_w, log_excess(magnitude, log_w + family.log_ratio)};
        }
    }
    return {};
}

bool meets(const Family& family, int n) {
    return fit(family, n).log_stop_excess >= family.log_stop;
}

// The cutoff of the family's convention in its normalised frequency.
double cutoff_position(const Family& family, int n) {
    if (family.response == Response::chebyshev && family.edge == ChebyshevEdge::minus_3db) {
        return chebyshev_half_power_over_edge(family.ripple_db, n);
    }
    if (family.response == Response::bessel) return frequency_of_excess(bessel_magnitude(n), 0);
    return 1;
}

int order_step(Response response) {
    return response == Response::linkwitz_riley ? 2 : 1;
}

// The lowest order above 10 that meets, from an estimate `estimate` (not a number or beyond
// kLargestNeededOrder: none): moved down while the order below still meets and up while it
// does not, so that it agrees with `meets` where rounding puts the estimate one off.
OrderChoice needed_from_estimate(const Family& family, double estimate) {
    OrderChoice choice;
    if (!(estimate <= kLargestNeededOrder)) return choice;
    const int step = order_step(family.response);
    int n = std::max(static_cast<int>(std::ceil(estimate)), kMaxOrder + 1);
    n += n % step;
    while (n - step > kMaxOrder && meets(family, n - step))
        n -= step;
    while (n <= kLargestNeededOrder && !meets(family, n))
        n += step;
    if (n > kLargestNeededOrder) return choice;
    choice.outcome = OrderOutcome::needs_higher_order;
    choice.order = n;
    return choice;
}

// The smallest Chebyshev order in (kMaxOrder, upper] that meets, by bisection: it meets when
// n acosh(rho cosh(a_p / n)) >= a_s (rho = fs / fp), and `upper` = ceil(a_s / acosh(rho))
// meets since cosh >= 1. The left side rises with n: with t = 1/n it is h(t) / t for
// h(t) = acosh(rho cosh(a_p t)), which is convex (h'^2 = rho^2 (c^2 - 1) / (rho^2 c^2 - 1)
// rises with c = cosh(a_p t)), so h - t h' falls towards its limit ln(rho) > 0 and
// (h / t)' = (t h' - h) / t^2 < 0.
OrderChoice chebyshev_needed(const Family& family) {
    const double stop_angle =
        inverse_cosh_of_exp((family.log_stop - family.log_epsilon_squared) / 2);
    const double upper = std::ceil(stop_angle / inverse_cosh_of_exp(family.log_ratio));
    OrderChoice choice;
    if (!(upper <= kLargestNeededOrder)) return choice;
    int failing = kMaxOrder;
    int meeting = std::max(static_cast<int>(upper), kMaxOrder + 1);
    while (meeting - failing > 1) {
        const int middle = failing + (meeting - failing) / 2;
        (meets(family, middle) ? meeting : failing) = middle;
    }
    choice.outcome = OrderOutcome::needs_higher_order;
    choice.order = meeting;
    return choice;
}

OrderChoice bessel_needed(const Family& family) {
    OrderChoice choice;
    for (int n = kMaxOrder + 1; n <= kMaxBesselOrderSought; ++n) {
        if (meets(family, n)) {
            choice.outcome = OrderOutcome::needs_higher_order;
            choice.order = n;
            return choice;
        }
    }
    return choice;
}

OrderChoice needed_order(const Family& family) {
    const double span = family.log_stop - family.log_pass;
    switch (family.response) {
        case Response::butterworth:
            return needed_from_estimate(family, span / (2 * family.log_ratio));
        case Response::linkwitz_riley:
            return needed_from_estimate(family, span / family.log_ratio);
        case Response::chebyshev:
            return chebyshev_needed(family);
        case Response::bessel:
            return bessel_needed(family);
    }
    return {};
}

OrderChoice met_order(const Family& family, int n, double passband_hz) {
    OrderChoice choice;
    choice.outcome = OrderOutcome::met;
    choice.order = n;
    choice.request = {family.response, n, family.ripple_db, family.edge};
    const Fit placed = fit(family, n);
    // w = f / fc, so fc = fp * position / w_p.
    choice.cutoff_hz =
        passband_hz * cutoff_position(family, n) * portable::exp(-placed.log_passband_w);
    const double decibels =
        counts_amplitude(family.response) ? 2 * kPowerDecibelsPerLog : kPowerDecibelsPerLog;
    choice.stopband_loss_db = decibels * log_one_plus_exp(placed.log_stop_excess);
    return choice;
}

SpecError spec_error(const PassStopSpec& spec) {
    if (!is_positive_finite(spec.passband_hz) || !is_positive_finite(spec.stopband_hz)) {
        return SpecError::frequency_not_positive_finite;
    }
    if (spec.passband_hz >= spec.stopband_hz) return SpecError::passband_not_below_stopband;
    if (!is_positive_finite(spec.passband_loss_db) || !is_positive_finite(spec.stopband_loss_db)) {
        return SpecError::loss_not_positive_finite;
    }
    if (spec.passband_loss_db >= spec.stopband_loss_db) {
        return SpecError::passband_loss_not_below_stopband;
    }
    return SpecError::none;
}

SpecError family_error(Response response, double ripple_db, ChebyshevEdge edge, double ap_db) {
    if (response != Response::chebyshev) {
        if (!std::isnan(ripple_db)) return SpecError::ripple_without_chebyshev;
        if (edge == ChebyshevEdge::ripple_edge) return SpecError::edge_without_chebyshev;
        return SpecError::none;
    }
    if (!(ripple_db >= kMinRippleDb && ripple_db <= kMaxRippleDb)) {
        return SpecError::ripple_out_of_range;
    }
    if (ripple_db > ap_db) return SpecError::ripple_above_passband_loss;
    return SpecError::none;
}

}  // namespace

OrderChoice choose_order(Response response, const PassStopSpec& spec, double ripple_db,
                         ChebyshevEdge edge) {
    OrderChoice choice;
    choice.error = spec_error(spec);
    if (choice.error != SpecError::none) return choice;
    const bool ripple_is_ap = response == Response::chebyshev && std::isnan(ripple_db);
    const double ripple = ripple_is_ap ? spec.passband_loss_db : ripple_db;
    choice.error = family_error(response, ripple, edge, spec.passband_loss_db);
    if (choice.error != SpecError::none) return choice;

    const Family family = family_for(response, spec, ripple, edge);
    for (int n = order_step(response); n <= kMaxOrder; n += order_step(response)) {
        if (meets(family, n)) return met_order(family, n, spec.passband_hz);
    }
    return needed_order(family);
}

}  // namespace kestrane
