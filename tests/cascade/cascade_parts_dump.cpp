// Prints, as one JSON object, a few whole cascades built from standard parts with their
// tolerances: the shown parts, the level that names a build's cutoff, the cutoff range with the
// cutoffs of the builds that reach it, the yield and the bands at a few frequencies.
// cascade_parts_reference.py checks them with its own generator, roots and optimiser.
#include <cmath>
#include <cstdio>

#include "kestrane/cascade/cascade_parts.h"

namespace {

using namespace kestrane;
using enum PreferredSeries;

constexpr double kCutoffHz = 1000;
constexpr double kResistor = 10000;

struct Case {
    CascadeRequest request;
    SeriesPair series;
    PartTolerances tolerances;
};

constexpr Case kCases[] = {
    {{Response::butterworth, 4}, {e96, e12}, {1, 5}},
    {{Response::chebyshev, 5, 1.0}, {e96, e24}, {1, 2}},
    {{Response::bessel, 5}, {e24, e12}, {2, 5}},
    {{Response::linkwitz_riley, 4}, {e192, e192}, {0.5, 1}},
    {{Response::chebyshev, 6, 1.0, ChebyshevEdge::ripple_edge}, {e96, e24}, {0.5, 1}},
    {{Response::chebyshev, 5, 0.5, ChebyshevEdge::ripple_edge}, {e96, e24}, {1, 2}},
    // Dips of -3 dB, 0.01 dB above the cutoff's level: many builds cross there first.
    {{Response::chebyshev, 5, 3.0}, {e192, e192}, {0.2, 0.5}},
};

void number(double value, const char* after = ", ") {
    if (std::isfinite(value)) {
        std::printf("%.17g%s", value, after);
    } else {
        std::printf("null%s", after);
    }
}

void range(const char* name, ValueRange r, const char* after = ", ") {
    std::printf("\"%s\": [", name);
    number(r.low);
    number(r.high, "]");
    std::printf("%s", after);
}

void print_stages(const char* name, const CascadeCircuit& circuit, const char* after = ",\n ") {
    std::printf("\"%s\": [", name);
    for (int k = 0; k < circuit.stage_count; ++k) {
        const StageCircuit& s = circuit.stages[k];
        std::printf("%s{\"order\": %d, \"parts\": [", k ? ", " : "", s.order);
        number(s.parts.R1);
        number(s.order == 2 ? s.parts.R2 : 0);
        number(s.parts.C1);
        number(s.order == 2 ? s.parts.C2 : 0, "]}");
    }
    std::printf("]%s", after);
}

void print_case(const Case& c) {
    const CascadeDesign design = design_cascade(c.request, kCutoffHz);
    const CascadeParts parts =
        cascade_parts(design, kResistor, PartsMethod::best, c.series, c.tolerances);
    std::printf("{\"response\": \"%s\", \"order\": %d, \"edge\": \"%s\", ",
                response_name(c.request.response).data(), c.request.order,
                edge_name(c.request.edge).data());
    std::printf("\"tolerances\": [");
    number(c.tolerances.resistor_percent);
    number(c.tolerances.capacitor_percent, "], ");
    std::printf("\"target_hz\": ");
    number(design.cutoff_hz);
    std::printf("\"last\": %s, \"loss\": ", parts.build_cutoff.last ? "true" : "false");
    number(parts.build_cutoff.loss);
    std::printf("\n ");
    print_stages("stages", parts.shown);
    print_stages("low_build", parts.cutoff_range.low_build);
    print_stages("high_build", parts.cutoff_range.high_build);
    range("range_hz", parts.cutoff_range.hz);
    range("reached_hz", parts.cutoff_range.reached_hz);
    std::printf("\"cutoff_hz\": ");
    number(parts.figures.cutoff_hz);
    std::printf("\"yield\": [%d, %d, %d, %d],\n \"bands\": [", parts.yield.draws,
                parts.yield.within[0], parts.yield.within[1], parts.yield.within[2]);
    const double hz[] = {300, 900, 1000, 1100, 3000};
    ResponseBand bands[5];
    cascade_response_bands(parts, hz, bands);
    for (int i = 0; i < 5; ++i) {
        std::printf("%s{\"hz\": ", i ? ", " : "");
        number(hz[i]);
        range("gain", bands[i].gain);
        range("phase_deg", bands[i].phase_deg);
        range("group_delay_s", bands[i].group_delay_s, "}");
    }
    std::printf("]}");
}

}  // namespace

int main() {
    std::printf("{\"draws\": %d, \"seed\": %llu, \"band_percent\": [1, 2, 5], \"cases\": [\n",
                kYieldDraws, static_cast<unsigned long long>(kYieldSeed));
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        if (i > 0) std::printf(",\n");
        print_case(kCases[i]);
    }
    std::printf("\n]}\n");
    return 0;
}
