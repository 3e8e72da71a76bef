// Time of the parts report's pieces: the best standard set (one design, and a seeded spread of
// designs with how far the best and the nearest sets miss), the tolerance bands at the page's
// plotted frequencies, the cutoff range, the yield and the whole report.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "kestrane/circuit/standard_sets.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/model/design.h"
#include "kestrane/report/build_report.h"

namespace kestrane {
namespace {

using enum PreferredSeries;

const Design& design_1k() {
    static const Design design = design_filter(1, 10000);
    return design;
}

// 300 seeded designs from 10 Hz to 100 kHz with R1 from 1 kohm to 100 kohm.
const std::vector<Design>& design_spread() {
    static const std::vector<Design> designs = [] {
        std::vector<Design> made;
        std::mt19937_64 random(0x7061727473);
        std::uniform_real_distribution<double> fc_decades(-2, 2), r1_decades(3, 5);
        while (made.size() < 300) {
            const Design d = design_filter(std::pow(10.0, fc_decades(random)),
                                           std::pow(10.0, r1_decades(random)));
            if (d.made() && is_buildable(circuit_parts(d.components))) made.push_back(d);
        }
        return made;
    }();
    return designs;
}

SeriesPair pair_of(const benchmark::State& state) {
    return {kPreferredSeries[state.range(0)], kPreferredSeries[state.range(1)]};
}

void best_set_1k(benchmark::State& state) {
    const SeriesPair series = pair_of(state);
    BestSet best;
    for (auto _ : state) {
        best = best_standard_set(design_1k().components, design_1k().targets.cutoff_hz, series);
        benchmark::DoNotOptimize(best);
    }
    state.counters["evaluated"] = best.evaluated;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

// Per design over the spread. Counters: the sets evaluated (median and most), and the cutoff's
// miss in percent on the real circuit for the best set and for nearest rounding (median and
// 95th percentile).
void best_set_spread(benchmark::State& state) {
    const SeriesPair series = pair_of(state);
    const std::vector<Design>& designs = design_spread();
    std::vector<double> evaluated, best_miss, nearest_miss;
    for (const Design& d : designs) {
        const double target = d.targets.cutoff_hz;
        const BestSet best = best_standard_set(d.components, target, series);
        evaluated.push_back(best.evaluated);
        best_miss.push_back(std::fabs(set_figures(best.parts, target).cutoff_error_percent));
        const CircuitParts nearest =
            standard_parts(d.components, series.resistors, series.capacitors);
        nearest_miss.push_back(std::fabs(set_figures(nearest, target).cutoff_error_percent));
    }
    for (auto _ : state) {
        for (const Design& d : designs) {
            benchmark::DoNotOptimize(best_standard_set(d.components, d.targets.cutoff_hz, series));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(designs.size()));
    state.counters["eval_median"] = percentile(evaluated, 0.5);
    state.counters["eval_most"] = percentile(evaluated, 1);
    state.counters["best_miss_median_pct"] = percentile(best_miss, 0.5);
    state.counters["best_miss_p95_pct"] = percentile(best_miss, 0.95);
    state.counters["nearest_miss_median_pct"] = percentile(nearest_miss, 0.5);
    state.counters["nearest_miss_p95_pct"] = percentile(nearest_miss, 0.95);
}

// The slowest design of the spread, one at a time.
void best_set_slowest(benchmark::State& state) {
    const SeriesPair series = pair_of(state);
    const Design* slowest = nullptr;
    int most = -1;
    for (const Design& d : design_spread()) {
        const int evaluated =
            best_standard_set(d.components, d.targets.cutoff_hz, series).evaluated;
        if (evaluated > most) {
            most = evaluated;
            slowest = &d;
        }
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            best_standard_set(slowest->components, slowest->targets.cutoff_hz, series));
    }
    state.counters["evaluated"] = most;
}

// The bands of the 1 kHz best E96/E12 set at `points` frequencies spaced in log frequency over
// five decades, as the page plots them, for tolerances of range(1) % R and range(2) % C.
void response_bands(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const CircuitParts set{10000, 30100, 15e-9f, 5.6e-9f};
    const ToleranceBox box = tolerance_box(
        set, {static_cast<double>(state.range(1)), static_cast<double>(state.range(2))});
    std::vector<double> hz(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        hz[static_cast<std::size_t>(i)] = std::pow(10.0, 5.0 * i / (points - 1));
    std::vector<ResponseBand> bands(hz.size());
    for (auto _ : state) {
        box_response_bands(box, hz, bands);
        benchmark::DoNotOptimize(bands.data());
    }
    state.SetItemsProcessed(state.iterations() * points);
}

void cutoff_range(benchmark::State& state) {
    const ToleranceBox box = tolerance_box({10000, 10200, 22e-9f, 12e-9f}, {1, 5});
    for (auto _ : state)
        benchmark::DoNotOptimize(box_cutoff_range(box));
}

void yield_10000(benchmark::State& state) {
    const CircuitParts set{10000, 30100, 15e-9f, 5.6e-9f};
    for (auto _ : state)
        benchmark::DoNotOptimize(cutoff_yield(set, {1, 5}, 1000));
}

// Everything but the bands: best set, figures, ranges and yield.
void whole_report(benchmark::State& state) {
    const PartsOptions options{pair_of(state), PartsMethod::best, {1, 5}};
    for (auto _ : state)
        benchmark::DoNotOptimize(parts_report(design_1k(), options));
}

constexpr int kE6 = 0, kE12 = 1, kE96 = 4, kE192 = 5;

BENCHMARK(best_set_1k)->Args({kE96, kE12})->Args({kE192, kE192})->Unit(benchmark::kMicrosecond);
BENCHMARK(best_set_spread)
    ->Args({kE96, kE12})
    ->Args({kE192, kE192})
    ->Args({kE6, kE6})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(best_set_slowest)
    ->Args({kE96, kE12})
    ->Args({kE192, kE192})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(response_bands)
    ->Args({1500, 1, 5})
    ->Args({1500, 5, 20})
    ->Args({500, 1, 5})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(cutoff_range)->Unit(benchmark::kMicrosecond);
BENCHMARK(yield_10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(whole_report)->Args({kE96, kE12})->Args({kE192, kE192})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrane
