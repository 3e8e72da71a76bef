// How often |H| = x^-1/2 agrees with the power function std::pow(x, -0.5), which the
// reference search uses, computed as 1/sqrt(x) (two correctly rounded steps) and correctly
// rounded (the design core's): over arguments drawn from several spreads, and over the
// arguments the objective meets around searched designs. Counts the doubles that differ and
// the objective's single-precision terms (1 - |H| and 0.7071 - |H|) that differ.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "kestrane/model/response.h"
#include "kestrane/model/search.h"
#include "random_designs.h"
#include "response_model.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

struct Agreement {
    long long arguments = 0;
    long long reciprocal_differs = 0;  // 1/sqrt(x) != pow(x, -0.5)
    long long rounded_differs = 0;     // correctly rounded != pow(x, -0.5)
    long long reciprocal_terms_differ = 0;
    long long rounded_terms_differ = 0;

    void add(double x) {
        const double power = std::pow(x, -0.5);
        const double reciprocal = 1.0 / std::sqrt(x);
        const double rounded = amplitude_from_square(x);
        ++arguments;
        reciprocal_differs += reciprocal != power;
        rounded_differs += rounded != power;
        for (const double target : {1.0, kModelCutoffAmplitude}) {
            const double term = abs_single(target - power);
            reciprocal_terms_differ += abs_single(target - reciprocal) != term;
            rounded_terms_differ += abs_single(target - rounded) != term;
        }
    }
    void print(const char* spread) const {
        const auto share = [this](long long n) {
            return 100.0 * static_cast<double>(n) / static_cast<double>(arguments);
        };
        std::printf("%-44s %9lld  %9lld (%6.3f %%) %9lld (%7.4f %%)  %6lld %6lld\n", spread,
                    arguments, reciprocal_differs, share(reciprocal_differs), rounded_differs,
                    share(rounded_differs), reciprocal_terms_differ, rounded_terms_differ);
    }
};

Agreement over(long long count, const std::function<double(std::mt19937_64&)>& draw) {
    std::mt19937_64 random(0x616d70);
    Agreement agreement;
    for (long long i = 0; i < count; ++i)
        agreement.add(draw(random));
    return agreement;
}

// The squared magnitudes the objective meets at the candidates of every sweep, 100 steps on
// either side of searched designs.
Agreement over_searched_designs(int designs) {
    Agreement agreement;
    for (const test::DesignInput& d : test::random_designs(designs, 0x73656172)) {
        const DesignTargets targets = make_targets(d.fc_khz);
        FilterComponents centre = starting_point(d.r1, targets);
        search_components(centre, targets);
        const ObjectiveFrequencies frequencies = objective_frequencies(targets);
        for (int s = 0; s < kSweepsPerPass; ++s) {
            const auto sweep = static_cast<SweepIndex>(s);
            for (int i = 0; i < 200; ++i) {
                FilterComponents k = centre;
                k.*block::swept_member(sweep) = block::candidate_value(
                    i, block::sweep_step(sweep), centre.*block::swept_member(sweep));
                const ResponseProducts products = response_products(k);
                for (const double f : frequencies.flatness_hz) {
                    agreement.add(denominator_square(real_part(products.p, f),
                                                     imaginary_squared(products.c2c2ss, f)));
                }
                const double fc = frequencies.cutoff_hz;
                agreement.add(denominator_square(real_part(products.p, fc),
                                                 imaginary_squared(products.c2c2ss, fc)));
            }
        }
    }
    return agreement;
}

}  // namespace
}  // namespace kestrane

int main() {
    using kestrane::over;
    std::uniform_real_distribution<double> unit(0, 1);
    std::printf("%-44s %9s  %21s %21s  %13s\n", "arguments x", "count", "1/sqrt != pow",
                "rounded != pow", "terms differ");
    over(10'000'000, [&](std::mt19937_64& r) { return 1 + unit(r); }).print("uniform in [1, 2)");
    over(10'000'000, [&](std::mt19937_64& r) {
        return 1 + (2 * unit(r) - 1) * 0x1p-10;
    }).print("uniform in 1 -+ 2^-10 (|H| near 1)");
    over(10'000'000, [&](std::mt19937_64& r) {
        return std::exp2(-20 + 60 * unit(r));
    }).print("log-uniform in [2^-20, 2^40]");
    kestrane::over_searched_designs(500).print("objective, 200 candidates of 500 designs");
}
