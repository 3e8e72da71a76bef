// Time per objective evaluation and per full 1 kHz / 10 kohm search, for the straightforward
// power-function reference and for the program's fast search, with their ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "reference_model.h"
#include "response.h"
#include "response_model.h"
#include "search.h"
#include "search_paths.h"
#include "sweep_block.h"

namespace kestrane {
namespace {

const DesignTargets kTargets = make_targets(1);
const FilterComponents kStart = starting_point(10000, kTargets);

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
    block::BlockVerdict verdict;
    for (auto _ : state) {
        judge(block::BlockPlan{kStart, kSweepC1, {}}, frequencies, 10000, verdict);
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

void fast_search(benchmark::State& state) {
    for (auto _ : state) {
        FilterComponents k = kStart;
        search_components(k, kTargets);
        benchmark::DoNotOptimize(k);
    }
}

BENCHMARK(reference_objective);
BENCHMARK(fast_objective);
BENCHMARK(reference_search)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(fast_search)->Unit(benchmark::kMillisecond)->MinTime(2);

// The console report, followed by the fast path's speed-up over the reference.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double per_item = run.counters.count("items_per_second") != 0
                                        ? 1e9 / run.counters.at("items_per_second")
                                        : run.GetAdjustedCPUTime() * 1e6;  // ms to ns
            nanoseconds_[run.run_name.function_name] = per_item;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nvector path: %s (%d-bit vectors)\n", search_path_name(chosen_search_path()),
                    search_path_vector_bits(chosen_search_path()));
        print("objective evaluation", "reference_objective", "fast_objective", 1, "ns");
        print("1 kHz / 10 kohm search", "reference_search", "fast_search", 1e6, "ms");
    }

  private:
    void print(const char* what, const std::string& reference, const std::string& fast,
               double unit_ns, const char* unit) {
        if (nanoseconds_.count(reference) == 0 || nanoseconds_.count(fast) == 0) return;
        const double slow = nanoseconds_[reference], quick = nanoseconds_[fast];
        std::printf("%-24s reference %8.2f %s   fast %8.2f %s   ratio %5.1fx\n", what,
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
