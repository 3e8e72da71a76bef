// Prints, as one JSON object, what the cascade library makes of every family, order, ripple
// and edge (normalised poles, stages at 1 kHz with the peak at each one's output, the cutoff
// measured from the stages, the response at a few frequencies) and of a list of passband and
// stopband specifications (order, cutoff and stopband loss, and the designed cascade's gains
// at fp and fs relative to its largest gain). cascade_reference.py compares it with scipy and
// mpmath. Everything printed is the library's own arithmetic, so a WebAssembly build of this
// tool prints the same text as the native one.
#include <cmath>
#include <cstdio>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_response.h"
#include "kestrane/cascade/order.h"

namespace {

using namespace kestrane;

constexpr double kCutoffHz = 1000;

// `"name": value, ` (null for non-finite values); the last field of an object omits the comma.
void field(const char* name, double value, const char* after = ", ") {
    if (std::isfinite(value)) {
        std::printf("\"%s\": %.17g%s", name, value, after);
    } else {
        std::printf("\"%s\": null%s", name, after);
    }
}

void family_fields(Response response, double ripple_db, ChebyshevEdge edge) {
    std::printf("{\"response\": \"%s\", \"edge\": \"%s\", ", response_name(response).data(),
                edge_name(edge).data());
    field("ripple_db", ripple_db);
}

void print_design(const CascadeRequest& request) {
    family_fields(request.response, request.ripple_db, request.edge);
    std::printf("\"order\": %d, ", request.order);
    field("cutoff_hz", kCutoffHz);
    const PoleSet poles = normalised_poles(request);
    std::printf("\n \"poles\": [");
    for (int i = 0; i < poles.count; ++i) {
        std::printf("%s[%.17g, %.17g]", i ? ", " : "", poles.poles[i].re, poles.poles[i].im);
    }
    const CascadeDesign design = design_cascade(request, kCutoffHz);
    std::printf("],\n \"stages\": [");
    for (int k = 0; k < design.stage_count; ++k) {
        const Peak peak = output_peak(design, k + 1);
        std::printf("%s{\"order\": %d, ", k ? ", " : "", design.stages[k].order);
        field("f0_hz", design.stages[k].f0_hz);
        field("q", design.stages[k].q);
        field("peak_gain", peak.gain);
        field("peak_hz", peak.hz, "}");
    }
    std::printf("],\n ");
    field("measured_cutoff_hz", cascade_cutoff_hz(stages_of(design), cutoff_rule(request)));
    std::printf("\"points\": [");
    const double ratios[] = {0, 0.1, 0.5, 0.9, 1, 1.1, 2, 10, 1e6};
    for (double ratio : ratios) {
        const ResponsePoint point = cascade_point(stages_of(design), ratio * kCutoffHz);
        std::printf(ratio == 0 ? "{" : ", {");
        field("hz", ratio * kCutoffHz);
        field("gain", point.gain);
        field("phase_deg", point.phase_deg);
        field("group_delay_s", point.group_delay_s, "}");
    }
    std::printf("]}");
}

const char* outcome_name(OrderOutcome outcome) {
    constexpr const char* kNames[] = {"met", "needs_higher_order", "cannot_be_met"};
    return kNames[static_cast<int>(outcome)];
}

void print_order(Response response, double ripple_db, ChebyshevEdge edge,
                 const PassStopSpec& spec) {
    const OrderChoice choice = choose_order(response, spec, ripple_db, edge);
    family_fields(response, ripple_db, edge);
    field("fp", spec.passband_hz);
    field("ap", spec.passband_loss_db);
    field("fs", spec.stopband_hz);
    field("as", spec.stopband_loss_db);
    std::printf("\n \"error\": %d, \"outcome\": \"%s\", \"order\": %d, ",
                static_cast<int>(choice.error), outcome_name(choice.outcome), choice.order);
    field("cutoff_hz", choice.cutoff_hz);
    const CascadeDesign design = design_cascade(choice.request, choice.cutoff_hz);
    const double peak = peak_gain(stages_of(design)).gain;  // not a number when not met
    field("relative_gain_at_fp", cascade_point(stages_of(design), spec.passband_hz).gain / peak);
    field("relative_gain_at_fs", cascade_point(stages_of(design), spec.stopband_hz).gain / peak);
    field("stopband_loss_db", choice.stopband_loss_db, "}");
}

constexpr PassStopSpec kSpecs[] = {
    {1000, 1, 2000, 40},   {1000, 3, 1500, 30},  {1000, 0.5, 3000, 60}, {1000, 0.1, 1200, 20},
    {100, 2, 1000, 80},    {1000, 1, 1100, 60},  {1000, 0.5, 5000, 20}, {1, 3, 10, 200},
    {1000, 0.2, 1800, 45}, {1000, 2, 1300, 50},  {50, 1.5, 400, 100},   {1000, 0.05, 4000, 70},
    {1000, 2.5, 2500, 75}, {1000, 0.3, 1001, 3}, {1000, 3, 8000, 60},   {1000, 0.5, 4000, 24},
};

}  // namespace

int main() {
    const char* separator = "";
    std::printf("{\"designs\": [\n");
    for (int n = 1; n <= kMaxOrder; ++n) {
        const auto one = [&](const CascadeRequest& request) {
            std::printf("%s", separator);
            separator = ",\n";
            print_design(request);
        };
        one({Response::butterworth, n});
        one({Response::bessel, n});
        if (n % 2 == 0) one({Response::linkwitz_riley, n});
        for (double ripple : {0.01, 0.1, 0.5, 1.0, 2.0, 3.0}) {
            one({Response::chebyshev, n, ripple, ChebyshevEdge::minus_3db});
            one({Response::chebyshev, n, ripple, ChebyshevEdge::ripple_edge});
        }
    }
    separator = "";
    std::printf("],\n\"orders\": [\n");
    for (const PassStopSpec& spec : kSpecs) {
        const auto one = [&](Response response, double ripple, ChebyshevEdge edge) {
            std::printf("%s", separator);
            separator = ",\n";
            print_order(response, ripple, edge, spec);
        };
        one(Response::butterworth, kNoRipple, ChebyshevEdge::minus_3db);
        one(Response::bessel, kNoRipple, ChebyshevEdge::minus_3db);
        one(Response::linkwitz_riley, kNoRipple, ChebyshevEdge::minus_3db);
        one(Response::chebyshev, kNoRipple, ChebyshevEdge::minus_3db);
        one(Response::chebyshev, kNoRipple, ChebyshevEdge::ripple_edge);
        if (spec.passband_loss_db >= 0.1) one(Response::chebyshev, 0.1, ChebyshevEdge::minus_3db);
    }
    std::printf("]}\n");
    return 0;
}
