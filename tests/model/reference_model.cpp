#include "reference_model.h"

#include <cmath>

#include "kestrane/model/response.h"

namespace kestrane::reference {

double magnitude_at(const FilterComponents& k, int hertz) {
    const double f = hertz;
    const double R1 = k.R1, R2 = k.R2, C1 = k.C1, C2 = k.C2;
    const double S = R1 + R2;
    const double re = 1 - R1 * R2 * C1 * C2 * f * f * 39.478;
    const double im2 = C2 * C2 * S * S * f * f * 39.478;
    return std::pow(im2 + re * re, -0.5);
}

double flatness_objective(const FilterComponents& k, const DesignTargets& targets) {
    float sum = 0;
    for (int i = 0; i < 20; ++i) {
        const int f = whole_hz((1 - 0.025 * i) * targets.flat_top_hz);
        const double d = std::fabs(static_cast<float>(1 - reference::magnitude_at(k, f)));
        sum = static_cast<float>(sum + d);
    }
    const double c = std::fabs(
        static_cast<float>(0.7071 - reference::magnitude_at(k, whole_hz(targets.cutoff_hz))));
    return sum + c;
}

void search_components(FilterComponents& k, const DesignTargets& targets, SearchTally* tally) {
    float best_c1 = 10000, best_c2 = 10000, best_r2 = 10000;
    struct Sweep {
        float FilterComponents::*component;
        double step;
        float* best;
    };
    const Sweep sweeps[3] = {{&FilterComponents::C1, 1e-12, &best_c1},
                             {&FilterComponents::C2, 1e-12, &best_c2},
                             {&FilterComponents::R2, 0.1, &best_r2}};
    for (int pass = 0; pass < 10; ++pass) {
        for (int s = 0; s < 3; ++s) {
            const Sweep& sweep = sweeps[s];
            int accepted = 0;
            for (int i = 0; i < 10000; ++i) {
                const double sign = (i % 2 == 0) ? 1 : -1;
                const float candidate =
                    static_cast<float>(sign * i * sweep.step + k.*sweep.component);
                FilterComponents trial = k;
                trial.*sweep.component = candidate;
                const double j = reference::flatness_objective(trial, targets);
                if (j < *sweep.best) {
                    *sweep.best = static_cast<float>(j);
                    k.*sweep.component = candidate;
                    ++accepted;
                }
            }
            if (tally != nullptr) tally->accepted[pass][s] = accepted;
        }
    }
}

}  // namespace kestrane::reference
