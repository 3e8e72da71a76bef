// The lowest order of a family that meets a passband and a stopband, as scipy's buttord and
// cheb1ord choose it, and the cutoff that puts the passband loss exactly at the passband edge.
//
// Losses are measured from the passband's largest gain: the DC gain of a Butterworth, Bessel
// or Linkwitz-Riley, the ripple's top for a Chebyshev (for an even order its ripple peaks,
// which lie above its DC gain). A Chebyshev's ripple is at most the passband loss Ap; without
// a ripple its ripple is Ap, so the passband edge is exactly its ripple edge.
#pragma once

#include <limits>

#include "kestrane/cascade/request.h"

namespace kestrane {

struct PassStopSpec {
    double passband_hz = 0;       // fp: up to here the loss is at most Ap
    double passband_loss_db = 0;  // Ap
    double stopband_hz = 0;       // fs: from here on the loss is at least As
    double stopband_loss_db = 0;  // As
};

// What is wrong with a specification; `none` when an order can be sought.
enum class SpecError {
    none,
    frequency_not_positive_finite,     // fp or fs
    passband_not_below_stopband,       // fp >= fs
    loss_not_positive_finite,          // Ap or As
    passband_loss_not_below_stopband,  // Ap >= As
    ripple_out_of_range,               // a Chebyshev's ripple, or Ap without one, not 0.01 to 3 dB
    ripple_above_passband_loss,        // a Chebyshev's ripple larger than Ap
    ripple_without_chebyshev,          // a ripple given to another family
    edge_without_chebyshev,            // a ripple-edge cutoff asked of another family
};

enum class OrderOutcome {
    met,                 // `order` (at most 10) is the lowest that meets the specification
    needs_higher_order,  // no order up to 10 does; `order` is the lowest that would
    cannot_be_met,       // not by any order up to kLargestNeededOrder (Bessel: 25)
};

// The largest order reported as needed; beyond it, and for a Bessel beyond
// kMaxBesselOrderSought, the specification cannot be met.
inline constexpr int kLargestNeededOrder = 1000000;
inline constexpr int kMaxBesselOrderSought = 25;

struct OrderChoice {
    SpecError error = SpecError::none;
    OrderOutcome outcome = OrderOutcome::cannot_be_met;
    int order = 0;           // see OrderOutcome; 0 when cannot_be_met or refused
    CascadeRequest request;  // when met: the request to design, ripple as used
    // When met: the cutoff in the request's convention that makes the loss at fp exactly Ap,
    // and the loss then reached at fs (at least As). Not a number otherwise.
    double cutoff_hz = std::numeric_limits<double>::quiet_NaN();
    double stopband_loss_db = std::numeric_limits<double>::quiet_NaN();
};

// The lowest order of `response` that meets `spec` (for Linkwitz-Riley only even orders), with
// `ripple_db` for a Chebyshev (kNoRipple: Ap is the ripple) and its cutoff convention `edge`.
// Each order's losses come from the family's closed form (Butterworth 1 + w^2n, Linkwitz-Riley
// (1 + w^n)^2, Chebyshev 1 + eps^2 T_n(w)^2, Bessel |theta_n(jw)|^2 / theta_n(0)^2 as a
// polynomial of positive coefficients), worked in logarithms so that no finite specification
// overflows. The order a specification would need beyond 10 comes from the closed-form order
// formula (Butterworth, Linkwitz-Riley, Chebyshev) or from trying orders 11 to 25 (Bessel).
// Never fails: an invalid specification gives its error and nothing else.
OrderChoice choose_order(Response response, const PassStopSpec& spec, double ripple_db = kNoRipple,
                         ChebyshevEdge edge = ChebyshevEdge::minus_3db);

}  // namespace kestrane
