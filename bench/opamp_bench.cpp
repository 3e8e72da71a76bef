// Time of the op-amp figures and the step response of one design, for the page's budget of
// 3 ms of module work a keystroke: the 1 kHz / 10 kohm design with the default op-amp, a slow
// op-amp, and the ideal one; the elementary portable functions beside the C library's.
#include <benchmark/benchmark.h>

#include <cmath>

#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/step_response.h"
#include "kestrane/model/design.h"
#include "kestrane/numeric/portable_math.h"

namespace kestrane {
namespace {

const CircuitParts kParts = circuit_parts(design_filter(1, 10000).components);

OpAmp opamp_of(int index) {
    switch (index) {
        case 0:
            return {1e7, 1e5, 50};  // the page's defaults
        case 1:
            return {5e4, 1e3, 500};  // slow: figures far from the ideal ones
        default:
            return kIdealOpAmp;
    }
}

void BM_OpAmpFigures(benchmark::State& state) {
    const OpAmp opamp = opamp_of(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(opamp_figures(kParts, opamp, 1));
}
BENCHMARK(BM_OpAmpFigures)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_NeededGbw(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(needed_gbw(kParts, opamp_of(0)));
}
BENCHMARK(BM_NeededGbw)->Unit(benchmark::kMicrosecond);

void BM_StepFigures(benchmark::State& state) {
    const OpAmp opamp = opamp_of(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(step_figures(kParts, opamp));
}
BENCHMARK(BM_StepFigures)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_StepSamples500(benchmark::State& state) {
    const OpAmp opamp = opamp_of(0);
    const double span = step_figures(kParts, opamp).span_s;
    for (auto _ : state)
        benchmark::DoNotOptimize(step_samples(kParts, opamp, span, 500));
}
BENCHMARK(BM_StepSamples500)->Unit(benchmark::kMicrosecond);

void BM_Response1500(benchmark::State& state) {
    const TransferFunction h = transfer_function(kParts, opamp_of(0));
    for (auto _ : state) {
        double hz = 1;
        for (int k = 0; k < 1500; ++k, hz *= 1.0092528860766845)  // 6 decades
            benchmark::DoNotOptimize(response_at(h, hz));
    }
}
BENCHMARK(BM_Response1500)->Unit(benchmark::kMicrosecond);

template <double (*F)(double)>
void BM_Elementary(benchmark::State& state) {
    double x = 0.1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(F(x));
        x += 0.37;
        if (x > 20) x = 0.1;
    }
}
double library_exp(double x) {
    return std::exp(x);
}
double library_sin(double x) {
    return std::sin(x);
}
BENCHMARK(BM_Elementary<portable::exp>)->Name("BM_PortableExp");
BENCHMARK(BM_Elementary<library_exp>)->Name("BM_LibraryExp");
BENCHMARK(BM_Elementary<portable::sin>)->Name("BM_PortableSin");
BENCHMARK(BM_Elementary<library_sin>)->Name("BM_LibrarySin");

}  // namespace
}  // namespace kestrane
