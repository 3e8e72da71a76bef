// The ranges of candidates the search bounds together: a ladder of growing ranges from a
// candidate outward, and the parts a range is split into when its bound does not set it
// aside. Internal to the design core (search.cpp); its tests reach it.
#pragma once

#include <algorithm>
#include <cmath>

#include "kestrane/model/search.h"
#include "range_bound.h"
#include "sweep_block.h"

namespace kestrane::ranges {

// Candidates first, first + 1, ..., end - 1 of a sweep, in sweep order. The even ones lie
// at or right of the centre, the odd ones left of it; candidate i lies about i/2 steps out.
struct CandidateRange {
    int first;
    int end;

    int size() const { return end - first; }
};

// Ranges bounded together: each takes two lanes, one per side of the centre.
inline constexpr int kRangesPerBatch = kRangeLanes / 2;
// Away from the centre the ranges of a ladder grow fourfold, in distance from the centre.
inline constexpr int kLadderGrowth = 4;
// A range of at most four blocks is judged without bounding its parts: in a batch, bounding
// costs about three blocks' worth of amplitudes, and where candidates lie close to the best
// (the objective flat within its rounding) the bounds of small ranges hardly ever hold.
inline constexpr int kJudgedWhole = 4 * block::kLanes;

// Consecutive ranges of one sweep with their verdicts, worked through in order.
struct RangeBatch {
    CandidateRange ranges[kRangesPerBatch];
    bool cannot_win[kRangesPerBatch];
    int count;
    int at;  // the next range to work on
};

// The ranges from `first` (0 <= first < kCandidatesPerSweep) outward, each kLadderGrowth
// times further from the centre than the last, at least a block long, up to the sweep's end;
// at most kRangesPerBatch of them.
inline RangeBatch ladder_from(int first) {
    RangeBatch batch{};
    int start = first;
    while (batch.count < kRangesPerBatch && start < kCandidatesPerSweep) {
        const int end =
            std::min(kCandidatesPerSweep, std::max(start + block::kLanes, start * kLadderGrowth));
        batch.ranges[batch.count++] = {start, end};
        start = end;
    }
    return batch;
}

// `range` (not empty) split into kRangesPerBatch parts growing geometrically away from the
// centre, each at least a block long but for the last, which ends the range; fewer parts
// where the range runs out. The geometric steps come from square roots, which round alike
// on every platform, so the parts are the same in the page's module.
inline RangeBatch split(CandidateRange range) {
    static_assert(kRangesPerBatch == 4, "the quarter powers come from two square roots");
    RangeBatch batch{};
    const double ratio = static_cast<double>(range.end) / std::max(1, range.first);
    const double quarter = std::sqrt(std::sqrt(ratio));
    double factor = 1;
    int start = range.first;
    for (int part = 1; part <= kRangesPerBatch && start < range.end; ++part) {
        factor *= quarter;
        const auto geometric = static_cast<int>(range.first * factor);
        const int end = part == kRangesPerBatch
                            ? range.end
                            : std::min(range.end, std::max(start + block::kLanes, geometric));
        batch.ranges[batch.count++] = {start, end};
        start = end;
    }
    return batch;
}

// Ranges split within ranges: a ladder and the splits below it. A ladder's ranges end at
// most four times as far out as they begin, and a split of a range with that ratio R leaves
// parts of at most R^3/4 (R^1/4 - 1) / (R - 1) of it: 0.39 for R = 4, and 0.41 with whole
// candidates ([18,72) -> [50,72)); or parts a block long. The parts' own ratios are smaller.
// So from the longest range, [2500, 10000), five splits reach kJudgedWhole; search_test walks
// the ladder from every candidate and finds at most five splits below it, six levels in all.
// The limit leaves room.
inline constexpr int kMostLevels = 12;

}  // namespace kestrane::ranges
