// Time of a cascade's standard parts and tolerance figures: the whole of cascade_parts for an
// 8th-order design with E192 resistors and capacitors, 1 % and 5 % tolerances and the
// 10 000-draw yield (the budget is 2 ms), and its pieces: the best sets, the cutoff range, the
// yield and the bands at 500 plotted frequencies. Arg 0 is a Butterworth, 1 a Chebyshev of
// 1 dB (a Q of 5.6 in its last stage), 2 a Chebyshev of 1 dB at its ripple edge.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "kestrane/cascade/cascade_parts.h"
#include "kestrane/cascade/cascade_tolerance.h"

namespace kestrane {
namespace {

constexpr SeriesPair kSeries{PreferredSeries::e192, PreferredSeries::e192};
constexpr PartTolerances kTolerances{1, 5};
constexpr double kResistor = 10000;

CascadeDesign design_of(const benchmark::State& state) {
    switch (state.range(0)) {
        case 0:
            return design_cascade({Response::butterworth, 8}, 1000);
        case 1:
            return design_cascade({Response::chebyshev, 8, 1.0}, 1000);
        default:
            return design_cascade({Response::chebyshev, 8, 1.0, ChebyshevEdge::ripple_edge}, 1000);
    }
}

void BM_CascadeParts8(benchmark::State& state) {
    const CascadeDesign design = design_of(state);
    CascadeParts parts;
    for (auto _ : state) {
        parts = cascade_parts(design, kResistor, PartsMethod::best, kSeries, kTolerances);
        benchmark::DoNotOptimize(parts);
    }
    state.counters["yield_5pc"] = parts.yield.percent(2);
    state.counters["cutoff_err_pc"] = parts.figures.cutoff_error_percent;
}
BENCHMARK(BM_CascadeParts8)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_CascadeBestSets8(benchmark::State& state) {
    const CascadeDesign design = design_of(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(standard_cascade(design, kResistor, PartsMethod::best, kSeries));
    }
}
BENCHMARK(BM_CascadeBestSets8)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

struct Shown {
    CascadeCircuit circuit;
    BuildCutoff cutoff;
    CascadeBox box;
};

Shown shown_of(const benchmark::State& state) {
    const CascadeDesign design = design_of(state);
    Shown s;
    s.circuit = standard_cascade(design, kResistor, PartsMethod::best, kSeries);
    s.cutoff = build_cutoff(stages_of(s.circuit), cutoff_rule(design.request));
    s.box = cascade_box(stages_of(s.circuit), kTolerances);
    return s;
}

void BM_CascadeCutoffRange8(benchmark::State& state) {
    const Shown s = shown_of(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(cascade_cutoff_range(s.box, s.cutoff));
}
BENCHMARK(BM_CascadeCutoffRange8)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_CascadeYield8(benchmark::State& state) {
    const Shown s = shown_of(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            cascade_cutoff_yield(stages_of(s.circuit), kTolerances, s.cutoff, 1000));
    }
}
BENCHMARK(BM_CascadeYield8)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_CascadeBands500(benchmark::State& state) {
    const Shown s = shown_of(state);
    std::vector<double> hz(500);
    for (std::size_t i = 0; i < hz.size(); ++i)
        hz[i] = 10 * std::pow(1e4, static_cast<double>(i) / 499);
    std::vector<ResponseBand> bands(hz.size());
    for (auto _ : state) {
        cascade_response_bands(s.box, hz, bands);
        benchmark::DoNotOptimize(bands.data());
    }
}
BENCHMARK(BM_CascadeBands500)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrane
