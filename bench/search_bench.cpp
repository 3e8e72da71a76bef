// Time per objective evaluation and per search, for the straightforward power-function
// reference and for the program's search on each vector path, with the candidates the
// search judged exactly beside the time, and the speed-ups; the time of a spread of designs,
// of designs slow to search, and a scan of 2000 designs for the slowest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "kestrane/model/response.h"
#include "kestrane/model/search.h"
#include "random_designs.h"
#include "reference_model.h"
#include "response_model.h"
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

Design design_of(const test::DesignInput& input) {
    const DesignTargets targets = make_targets(input.fc_khz);
    return {targets, starting_point(input.r1, targets)};
}

std::vector<Design> design_spread(int count, std::uint64_t seed) {
    std::vector<Design> designs;
    for (const test::DesignInput& input : test::random_designs(count, seed)) {
        designs.push_back(design_of(input));
    }
    return designs;
}

// Designs slow to search, each in its own benchmark: large capacitors at low cutoffs, where
// neighbouring candidates share a value or an objective flat within its rounding; large
// resistors, where R2 walks a unit in the last place per acceptance, 4840 acceptances a
// pass; ohm-sized R1, where C1 and C2 walk likewise. Found among 2000 random designs of the
// spread; 1 kHz / 10 kohm for comparison.
const test::DesignInput kSlowDesigns[] = {
    {1, 10000},
    {0.0249627f, 1790.03f},          // flat objective, 3600 candidates a sweep within its rounding
    {0.013008f, 538.18f},            // four candidates a value
    {0.0249601509f, 81.2545929f},    // flat objective and walks
    {0.357391715f, 1.50467849f},     // C1 and C2 walk
    {0.00429241732f, -1.07942176f},  // C1 and C2 walk
    {13.140789f, 577270784},         // R2 walks
    {165945.984f, -70447520},        // R2 walks
};

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

// One design of kSlowDesigns on the chosen path.
void slow_design(benchmark::State& state) {
    const Design design = design_of(kSlowDesigns[state.range(0)]);
    const SearchPath path = chosen_search_path();
    SearchEffort effort;
    for (auto _ : state) {
        FilterComponents k = design.start;
        search_components_counted(path, k, design.targets, nullptr, effort);
        benchmark::DoNotOptimize(k);
    }
    report_effort(state, effort, 1);
    state.SetLabel(test::describe(kSlowDesigns[state.range(0)]));
}

// The spread of designs on the chosen path, per design.
void fast_search_spread(benchmark::State& state) {
    static const std::vector<Design> designs = design_spread(200, 0x6b657374);
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
BENCHMARK(slow_design)
    ->DenseRange(0, static_cast<int>(std::size(kSlowDesigns)) - 1)
    ->Unit(benchmark::kMillisecond);

// The slowest designs of a larger spread, each timed once (the best of two): a scan for slow
// designs, printed after the report. Its time is the scan's.
struct Timed {
    double milliseconds;
    test::DesignInput input;
    SearchEffort effort;
};
std::vector<Timed> slowest;

void slowest_of_spread(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const std::vector<test::DesignInput> inputs = test::random_designs(count, 0x5ca11);
    const SearchPath path = chosen_search_path();
    for (auto _ : state) {
        slowest.clear();
        for (const test::DesignInput& input : inputs) {
            const Design design = design_of(input);
            Timed timed{1e300, input, {}};
            for (int run = 0; run < 2; ++run) {
                FilterComponents k = design.start;
                SearchEffort effort;
                const auto start = std::chrono::steady_clock::now();
                search_components_counted(path, k, design.targets, nullptr, effort);
                const std::chrono::duration<double, std::milli> took =
                    std::chrono::steady_clock::now() - start;
                if (took.count() < timed.milliseconds) timed = {took.count(), input, effort};
            }
            slowest.push_back(timed);
        }
    }
    std::sort(slowest.begin(), slowest.end(),
              [](const Timed& a, const Timed& b) { return a.milliseconds > b.milliseconds; });
}
BENCHMARK(slowest_of_spread)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

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
        print_slowest();
    }

  private:
    static void print_slowest() {
        if (slowest.empty()) return;
        int over_a_millisecond = 0;
        for (const Timed& t : slowest)
            over_a_millisecond += t.milliseconds > 1;
        std::printf("\nslowest of %zu designs (%d over 1 ms; median %.3f ms):\n", slowest.size(),
                    over_a_millisecond, slowest[slowest.size() / 2].milliseconds);
        for (std::size_t i = 0; i < 12 && i < slowest.size(); ++i) {
            const Timed& t = slowest[i];
            std::printf("  %8.3f ms  %-40s judged %6lld  blocks %5lld  bounds %4lld\n",
                        t.milliseconds, test::describe(t.input).c_str(), t.effort.candidates_judged,
                        t.effort.blocks, t.effort.range_batches);
        }
    }
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
