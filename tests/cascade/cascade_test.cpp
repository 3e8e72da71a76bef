// The cascade library's checks best made in C++: refused requests and specifications, the loss
// every ideal design has at its cutoff, the stages' order, and the exact parts against the
// project's single-stage circuit. Poles, responses, peaks and orders are compared with scipy
// and mpmath by cascade_reference.py.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_response.h"
#include "kestrane/cascade/order.h"
#include "kestrane/cascade/request.h"
#include "kestrane/circuit/circuit.h"

namespace kestrane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<CascadeRequest> every_request() {
    std::vector<CascadeRequest> requests;
    for (int n = 1; n <= kMaxOrder; ++n) {
        requests.push_back({Response::butterworth, n});
        requests.push_back({Response::bessel, n});
        if (n % 2 == 0) requests.push_back({Response::linkwitz_riley, n});
        for (double ripple : {0.01, 0.5, 1.0, 3.0}) {
            requests.push_back({Response::chebyshev, n, ripple, ChebyshevEdge::minus_3db});
            requests.push_back({Response::chebyshev, n, ripple, ChebyshevEdge::ripple_edge});
        }
    }
    return requests;
}

TEST(CascadeNames, ReadInAnyCaseAndNothingElse) {
    for (Response r :
         {Response::butterworth, Response::bessel, Response::chebyshev, Response::linkwitz_riley}) {
        EXPECT_EQ(response_from_name(response_name(r)), r);
    }
    EXPECT_EQ(response_from_name("Linkwitz-RILEY"), Response::linkwitz_riley);
    EXPECT_EQ(edge_from_name("RIPPLE-edge"), ChebyshevEdge::ripple_edge);
    EXPECT_EQ(edge_from_name("-3DB"), ChebyshevEdge::minus_3db);
    for (const char* name : {"", "butter", "butterworths", "linkwitz riley", "-3"}) {
        EXPECT_FALSE(response_from_name(name).has_value()) << name;
        EXPECT_FALSE(edge_from_name(name).has_value()) << name;
    }
}

TEST(CascadeRequests, EachFaultHasItsKindAndRefusedRequestsHaveNoStages) {
    const struct {
        CascadeRequest request;
        RequestError error;
    } cases[] = {
        {{Response::butterworth, 0}, RequestError::order_out_of_range},
        {{Response::bessel, 11}, RequestError::order_out_of_range},
        {{Response::linkwitz_riley, 5}, RequestError::odd_linkwitz_riley},
        {{Response::chebyshev, 4}, RequestError::missing_ripple},
        {{Response::chebyshev, 4, 0.009}, RequestError::ripple_out_of_range},
        {{Response::chebyshev, 4, 3.01}, RequestError::ripple_out_of_range},
        {{Response::chebyshev, 4, kInfinity}, RequestError::ripple_out_of_range},
        {{Response::bessel, 4, 1}, RequestError::ripple_without_chebyshev},
        {{Response::butterworth, 4, kNoRipple, ChebyshevEdge::ripple_edge},
         RequestError::edge_without_chebyshev},
        {{Response::chebyshev, 10, 0.01, ChebyshevEdge::ripple_edge}, RequestError::none},
        {{Response::linkwitz_riley, 10}, RequestError::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.error));
        EXPECT_EQ(validate_request(c.request), c.error);
        const bool accepted = c.error == RequestError::none;
        EXPECT_EQ(design_cascade(c.request, 1000).stage_count > 0, accepted);
        EXPECT_EQ(normalised_poles(c.request).count > 0, accepted);
    }
    for (double cutoff : {0.0, -1.0, 1e281, kInfinity, kNaN}) {
        EXPECT_EQ(design_cascade({Response::butterworth, 4}, cutoff).stage_count, 0);
    }
}

SpecError spec_error(Response response, PassStopSpec spec, double ripple_db = kNoRipple,
                     ChebyshevEdge edge = ChebyshevEdge::minus_3db) {
    const OrderChoice choice = choose_order(response, spec, ripple_db, edge);
    EXPECT_TRUE(choice.error == SpecError::none ||
                (choice.order == 0 && std::isnan(choice.cutoff_hz)));
    return choice.error;
}

TEST(CascadeOrders, EachFaultOfASpecificationHasItsKind) {
    using enum SpecError;
    using enum Response;
    EXPECT_EQ(spec_error(butterworth, {0, 1, 2000, 40}), frequency_not_positive_finite);
    EXPECT_EQ(spec_error(butterworth, {1000, 1, kInfinity, 40}), frequency_not_positive_finite);
    EXPECT_EQ(spec_error(bessel, {kNaN, 1, 2000, 40}), frequency_not_positive_finite);
    EXPECT_EQ(spec_error(butterworth, {2000, 1, 2000, 40}), passband_not_below_stopband);
    EXPECT_EQ(spec_error(butterworth, {1000, -1, 2000, 40}), loss_not_positive_finite);
    EXPECT_EQ(spec_error(butterworth, {1000, 1, 2000, kNaN}), loss_not_positive_finite);
    EXPECT_EQ(spec_error(linkwitz_riley, {1000, 40, 2000, 40}), passband_loss_not_below_stopband);
    EXPECT_EQ(spec_error(chebyshev, {1000, 4, 2000, 40}), ripple_out_of_range);
    EXPECT_EQ(spec_error(chebyshev, {1000, 6, 2000, 40}, 5), ripple_out_of_range);
    EXPECT_EQ(spec_error(chebyshev, {1000, 0.3, 2000, 40}, 0.5), ripple_above_passband_loss);
    EXPECT_EQ(spec_error(bessel, {1000, 1, 2000, 40}, 0.5), ripple_without_chebyshev);
    EXPECT_EQ(spec_error(butterworth, {1000, 1, 2000, 40}, kNoRipple, ChebyshevEdge::ripple_edge),
              edge_without_chebyshev);
    EXPECT_EQ(spec_error(chebyshev, {1000, 0.5, 2000, 40}, 0.5, ChebyshevEdge::ripple_edge), none);
}

TEST(CascadeOrders, ExtremeButValidSpecificationsGiveFiniteAnswers) {
    const PassStopSpec extreme{1e-200, 1e-9, 1e200, 5e4};
    for (Response r : {Response::butterworth, Response::bessel, Response::linkwitz_riley}) {
        const OrderChoice choice = choose_order(r, extreme);
        EXPECT_EQ(choice.outcome, OrderOutcome::met) << response_name(r);
        EXPECT_GT(choice.cutoff_hz, 0);
        EXPECT_GE(choice.stopband_loss_db, 5e4);
        EXPECT_LT(choice.stopband_loss_db, kInfinity);
    }
    EXPECT_EQ(choose_order(Response::butterworth, {1, 1, 1 + 1e-12, 100}).outcome,
              OrderOutcome::cannot_be_met);
}

// The gain each convention puts at the cutoff, from the families' closed forms: 1/sqrt(2) or
// 1/2 of the DC gain (1), or the ripple band's bottom: 10^(-r/20) for odd orders, whose DC is
// at the ripple's top, and the DC gain 1 for even ones, whose DC is at its bottom.
double level_at_cutoff(const CascadeRequest& request) {
    if (request.response == Response::linkwitz_riley) return 0.5;
    if (request.edge == ChebyshevEdge::ripple_edge) {
        return request.order % 2 != 0 ? std::pow(10, -request.ripple_db / 20) : 1;
    }
    return 1 / std::sqrt(2.0);
}

TEST(CascadeDesign, EveryIdealCascadeHasItsLossAtItsCutoff) {
    constexpr double kCutoffHz = 1234.5;
    for (const CascadeRequest& request : every_request()) {
        SCOPED_TRACE(std::string(response_name(request.response)) + " " +
                     std::to_string(request.order) + " " + std::to_string(request.ripple_db) + " " +
                     std::string(edge_name(request.edge)));
        const CascadeDesign design = design_cascade(request, kCutoffHz);
        const double gain = cascade_point(stages_of(design), kCutoffHz).gain;
        EXPECT_NEAR(gain / level_at_cutoff(request), 1, 1e-9);
        const double measured = cascade_cutoff_hz(stages_of(design), cutoff_rule(request));
        EXPECT_NEAR(measured / kCutoffHz, 1, 1e-9);
    }
}

TEST(CascadeDesign, StagesRunFirstOrderFirstThenByRisingQ) {
    for (const CascadeRequest& request : every_request()) {
        const CascadeDesign design = design_cascade(request, 1000);
        int poles = 0;
        for (int k = 0; k < design.stage_count; ++k) {
            const Stage& stage = design.stages[k];
            poles += stage.order;
            if (stage.order == 1) {
                EXPECT_EQ(k, 0);
                EXPECT_TRUE(std::isnan(stage.q));
            } else if (k > 0 && design.stages[k - 1].order == 2) {
                EXPECT_GE(stage.q, design.stages[k - 1].q);
            }
        }
        EXPECT_EQ(poles, request.order);
    }
}

TEST(CascadeDesign, ExactPartsHaveTheirStagesF0AndQInTheCircuit) {
    for (const CascadeRequest& request : every_request()) {
        const CascadeDesign design = design_cascade(request, 2500);
        for (const Stage& stage : stages_of(design)) {
            const StageParts p = exact_stage_parts(stage, 4700);
            if (stage.order == 1) {
                EXPECT_NEAR(1 / (kExactTwoPi * p.R1 * p.C1) / stage.f0_hz, 1, 1e-15);
                EXPECT_TRUE(std::isnan(p.R2) && std::isnan(p.C2));
                continue;
            }
            const CircuitParts parts{p.R1, p.R2, p.C1, p.C2};
            EXPECT_NEAR(natural_frequency_hz(parts) / stage.f0_hz, 1, 1e-14);
            EXPECT_NEAR(quality_factor(parts) / stage.q, 1, 1e-14);
        }
    }
    EXPECT_TRUE(std::isnan(exact_stage_parts({2, 1000, 0.7}, 0).C1));
    EXPECT_TRUE(std::isnan(exact_stage_parts({2, 1000, -1}, 1e4).C1));
    EXPECT_TRUE(std::isnan(exact_stage_parts({3, 1000, 0.7}, 1e4).R1));
}

}  // namespace
}  // namespace kestrane
