#include "search_paths.h"

namespace kestrane {
namespace {

void judge_portable(const block::BlockPlan& plan, const ObjectiveFrequencies& frequencies,
                    float best, block::BlockVerdict& verdict) {
    block::judge_block(plan, frequencies, best, verdict);
}

void bound_portable(const RangePlan& plan, const ObjectiveFrequencies& frequencies, double stop_at,
                    RangeVerdict& verdict) {
    range::judge_ranges(plan, frequencies, stop_at, verdict);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRANE_X86_PATHS 1

// Fused multiply-add, which these instruction sets bring, stays off: the build compiles the
// core with -ffp-contract=off, and the tests hold every path to the reference.
[[gnu::target("avx2")]] void judge_avx2(const block::BlockPlan& plan,
                                        const ObjectiveFrequencies& frequencies, float best,
                                        block::BlockVerdict& verdict) {
    block::judge_block(plan, frequencies, best, verdict);
}

[[gnu::target("avx2")]] void bound_avx2(const RangePlan& plan,
                                        const ObjectiveFrequencies& frequencies, double stop_at,
                                        RangeVerdict& verdict) {
    range::judge_ranges(plan, frequencies, stop_at, verdict);
}

[[gnu::target("avx512f")]] void judge_avx512(const block::BlockPlan& plan,
                                             const ObjectiveFrequencies& frequencies, float best,
                                             block::BlockVerdict& verdict) {
    block::judge_block(plan, frequencies, best, verdict);
}

[[gnu::target("avx512f")]] void bound_avx512(const RangePlan& plan,
                                             const ObjectiveFrequencies& frequencies,
                                             double stop_at, RangeVerdict& verdict) {
    range::judge_ranges(plan, frequencies, stop_at, verdict);
}
#endif

}  // namespace

PathJudges judges_for(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return {judge_avx512, bound_avx512};
    if (path == SearchPath::avx2) return {judge_avx2, bound_avx2};
#endif
    (void)path;
    return {judge_portable, bound_portable};
}

bool search_path_available(SearchPath path) {
#ifdef KESTRANE_X86_PATHS
    if (path == SearchPath::avx512) return __builtin_cpu_supports("avx512f");
    if (path == SearchPath::avx2) return __builtin_cpu_supports("avx2");
#endif
    return path == SearchPath::portable;
}

SearchPath chosen_search_path() {
    if (search_path_available(SearchPath::avx512)) return SearchPath::avx512;
    if (search_path_available(SearchPath::avx2)) return SearchPath::avx2;
    return SearchPath::portable;
}

const char* search_path_name(SearchPath path) {
    switch (path) {
        case SearchPath::avx512:
            return "avx512";
        case SearchPath::avx2:
            return "avx2";
        default:
            return "portable";
    }
}

int search_path_vector_bits(SearchPath path) {
    switch (path) {
        case SearchPath::avx512:
            return 512;
        case SearchPath::avx2:
            return 256;
        default:
#if defined(__SSE2__) || defined(__aarch64__)
            return 128;
#else
            return 0;
#endif
    }
}

}  // namespace kestrane
