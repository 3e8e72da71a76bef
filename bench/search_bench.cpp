// Time per objective evaluation and per search, for the straightforward power-function
// reference and for the program's search on each vector path, with the candidates the
// search judged exactly beside the time, and the speed-ups.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "reference_model.h"
#include "response.h"
#include "response_model.h"
#include "search.h"
#include "search_effort.h"
#include "search_paths.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

const DesignTargets kTargets = make_targets(1);
const FilterComponents kStart = starting_point(10000, kTargets);

// A seeded spread of designs over the decades (as in the differential test), for the
// typical and the slowest cost of a design rather than one design's.
struct Design {
    DesignTargets targets;
    FilterComponents start;
};

std::vector<Design> design_spread() {
    std::vector<Design> designs;
    std::mt19937_64 random(0x6b657374);
    std::uniform_real_distribution<double> fc_decades(-3, 6), r1_decades(0, 9), unit(0, 1);
    while (designs.size() < 200) {
        float fc = static_cast<float>(std::pow(10.0, fc_decades(random)));
        float r1 = static_cast<float>(std::pow(10.0, r1_decades(random)));
        if (unit(random) < 0.25) fc = -fc;
        if (unit(random) < 0.25) r1 = -r1;
        const DesignTargets targets = make_targets(fc);
        const FilterComponents start = starting_point(r1, targets);
        if (is_finite_design(start)) designs.push_back({targets, start});
    }
    return designs;
}

void reference_objective(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::flatness_objective(kStart, kTargets));
    }
    state.SetItemsProcessed(state.iterations());
}

// A whole block with a best no lane reaches, so every lane computes its full objective.
void fast_objective(benchmark::State& state) {
    const ObjectiveFrequencies frequencies = objective_frequencies(kTargets);
    const block::BlockJudge judge = judges_for(chosen_search_path()).block;
    block::BlockPlan plan{kStart, kSweepC1, {}};
    for (int lane = 0; lane < block::kLanes; ++lane) {
        plan.candidates[lane] = block::candidate_value(lane, kCapacitorStep, kStart.C1);
    }
    block::BlockVerdict verdict;
    for (auto _ : state) {
        judge(plan, frequencies, 10000, verdict);
        benchmark::DoNotOptimize(verdict);
    }
    state.SetItemsProcessed(state.iterations() * block::kLanes);
}

void reference_search(benchmark::State& state) {
    for (auto _ : state) {
        FilterComponents k = kStart;
        reference::search_components(k, kTargets);
        benchmark::DoNotOptimize(k);
    }
}

void report_effort(benchmark::State& state, const SearchEffort& effort, double designs) {
    const double per_design = 1.0 / (static_cast<double>(state.iterations()) * designs);
    state.counters["judged"] = static_cast<double>(effort.candidates_judged) * per_design;
    state.counters["blocks"] = static_cast<double>(effort.blocks) * per_design;
    state.counters["bounds"] = static_cast<double>(effort.range_batches) * per_design;
}

// The 1 kHz / 10 kohm design on one path. Counters per design: candidates judged exactly,
// blocks of them judged side by side, and batches of ranges bounded side by side.
void fast_search(benchmark::State& state, SearchPath path) {
    if (!search_path_available(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    SearchEffort effort;
    for (auto _ : state) {
        FilterComponents k = kStart;
        search_components_counted(path, k, kTargets, nullptr, effort);
        benchmark::DoNotOptimize(k);
    }
    report_effort(state, effort, 1);
}

// The spread of designs on the chosen path, per design.
void fast_search_spread(benchmark::State& state) {
    static const std::vector<Design> designs = design_spread();
    const SearchPath path = chosen_search_path();
    SearchEffort effort;
    for (auto _ : state) {
        for (const Design& d : designs) {
            FilterComponents k = d.start;
            search_components_counted(path, k, d.targets, nullptr, effort);
            benchmark::DoNotOptimize(k);
        }
    }
    report_effort(state, effort, static_cast<double>(designs.size()));
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(designs.size()));
}

BENCHMARK(reference_objective);
BENCHMARK(fast_objective);
BENCHMARK(reference_search)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(fast_search, portable, SearchPath::portable)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fast_search, avx2, SearchPath::avx2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fast_search, avx512, SearchPath::avx512)->Unit(benchmark::kMicrosecond);
BENCHMARK(fast_search_spread)->Unit(benchmark::kMillisecond);

// The console report, followed by the fast path's speed-ups over the reference.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const double per_item = run.counters.count("items_per_second") != 0
                                        ? 1e9 / run.counters.at("items_per_second")
                                        : run.GetAdjustedCPUTime() * unit_ns(run.time_unit);
            nanoseconds_[run.benchmark_name()] = per_item;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const SearchPath chosen = chosen_search_path();
        std::printf("\nchosen vector path: %s (%d-bit vectors)\n", search_path_name(chosen),
                    search_path_vector_bits(chosen));
        print("objective evaluation", "reference_objective", "fast_objective", 1, "ns");
        for (const char* path : {"portable", "avx2", "avx512"}) {
            const std::string label = std::string("1 kHz search, ") + path;
            print(label.c_str(), "reference_search/min_time:2.000",
                  std::string("fast_search/") + path, 1e3, "us");
        }
        if (nanoseconds_.count("fast_search_spread") != 0) {
            std::printf("spread of designs        %.3f ms a design on the chosen path\n",
                        nanoseconds_["fast_search_spread"] / 1e6);
        }
    }

  private:
    static double unit_ns(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kMillisecond:
                return 1e6;
            case benchmark::kMicrosecond:
                return 1e3;
            default:
                return 1;
        }
    }
    void print(const char* what, const std::string& reference, const std::string& fast,
               double unit_ns, const char* unit) {
        if (nanoseconds_.count(reference) == 0 || nanoseconds_.count(fast) == 0) return;
        const double slow = nanoseconds_[reference], quick = nanoseconds_[fast];
        std::printf("%-24s reference %10.2f %s   fast %8.2f %s   ratio %7.1fx\n", what,
                    slow / unit_ns, unit, quick / unit_ns, unit, slow / quick);
    }
    std::map<std::string, double> nanoseconds_;
};

}  // namespace
}  // namespace kestrane

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kestrane::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
