#include "kestrane/cascade/cascade_tolerance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "core_arithmetic.h"
#include "real_functions.h"
#include "tolerance_walk.h"

// Why the ranges hold.
//
// Bands. A build chooses a set in every stage's box independently, and the cascade's gain is
// the product of the stages' gains, all positive, its phase and delay the sums of theirs. So at
// one frequency the least gain over all builds is the product of the stages' least gains,
// reached by the build that puts each stage at its own least; likewise the greatest gain, and
// the ends of the phase and the delay are the sums of the stages' ends. Each stage's ends are
// exact (box_response_band; first_order_band in its header), so the cascade's are too.
//
// Cutoff range. Let G-(f) and G+(f) be the products of the stages' least and greatest gains,
// so that every build's gain g(f) lies between them at every f and, at any one f, some build
// reaches each (see above). Write the level as a gain l (|1/H|^2 = loss = 1/l^2).
//
// First crossing (half power, half amplitude): a build's cutoff is the first f where g falls to
// l; the gain is 1 > l at DC.
//  - Low end: L = the first f where G- reaches l. Below L every build has g >= G- > l, so no
//    cutoff lies below L; the build that puts each stage at its least gain at L has g(L) = l
//    and g > l below, so its cutoff is L. L is the least cutoff, reached.
//  - High end: H = the first f where G+ reaches l. Every build has g(H) <= G+(H) = l, so it has
//    crossed by H: no cutoff lies above H. The build B that puts each stage at its greatest
//    gain at H has g(H) = l; its cutoff is H unless its gain dips to l somewhere below H: a
//    passband dip as deep as the level, as a Chebyshev of large ripple or wide tolerances
//    has. Then H is an upper bound, and the cutoff of some build, reported beside it
//    (reached_hz.high), a lower one: the highest cutoff lies between the two. The builds tried
//    are B and, at every dip of G+ between L and H, the build at its greatest gain there (which
//    keeps that dip shallowest); the one whose cutoff is highest is kept.
// Last crossing (the ripple edge at a fixed level, see build_cutoff): a build's cutoff is the
// last f where g is at l or above.
//  - High end: U = the last f where G+ is at l or above. Beyond U every build has g <= G+ < l,
//    so no cutoff lies beyond U; the build that puts each stage at its greatest gain at U has
//    g(U) = l and g < l beyond, so its cutoff is U: U is the highest cutoff, reached.
//  - Low end: L = the last f where G- is at l or above; every build has g(L) >= l, so its
//    cutoff is L or beyond: a bound. The build that puts each stage at its least gain at L
//    reaches it unless its gain rises to l again beyond L, at a ripple peak after it. Below a
//    ripple peak that falls under the level for some builds, a build's cutoff must have every
//    later peak under the level at once, which the envelope G-, one frequency at a time, does
//    not see: there L is a bound, and the builds tried (at L and at every peak of G- between L
//    and U, each stage at its least gain there) give reached_hz.low. Seen: 0.95 % between
//    the bound and the lowest cutoff an optimiser finds, for a 5th-order Chebyshev of 0.5 dB at
//    1 % and 2 %; no gap where the ripple peaks stay above the level.
//
// Finding the crossings. G- is exact from the corners alone: every stage's |1/H|^2 is convex
// in each part (tolerance_ranges.cpp), so its greatest value over the box, the least gain, is
// at one of the 16 corners (a first-order stage: at the greater RC). G+ needs each stage's
// edges and fold too: box_gain_extremes (first_order_band for a first-order stage). Both are
// widened as circuit widens its ranges: every stage's least gain down and greatest gain up by
// kRangeSlack (1e-9) of itself, so rounding, a few ulps per stage, can only move an end
// outward. They are walked on a graded grid fine enough for the widest, highest-Q stage of the
// box (relative steps at most 5 %, a tenth of every second-order stage's distance from the
// range of its f0 over the box, and a tenth of the 1/Q of its highest Q over the box, so every
// build's resonances are sampled at 10 points or more across their width), from 1e-8 of the
// lowest stage frequency, where every gain is within 1e-14 of 1, to twice the highest f0,
// beyond which every stage's gain is at most 1/3 and so below every level. The first grid
// point where the product reaches the level brackets the crossing; so does every sampled
// extremum (a dip before a first crossing, a peak before a last one, going down) whose
// refined value (golden-section search) reaches it, so a crossing between two points that no
// sample shows is not missed. A sampled extremum that the curvature bound (chord_distance)
// shows cannot reach the level is not refined, where that bound holds for the envelope.
// Regula falsi (bracketed_root) then finds the crossing to a few ulps. G+ >= G- everywhere, so
// H's walk starts from L's bracket, and the last crossings' walks go down from the top.
//
// One build's crossing (build_cutoff_hz, and each draw of the yield) is found on the same
// kind of grid without relying on samples alone: its ln |1/H|^2 is smooth with a known bound
// on its curvature in ln f (chord_distance), so between two samples it stays within a known
// distance of their chord. The walk strides over as many points as that bound clears and
// halves the stride where it does not; on a single step that it does not clear, the interval
// is halved until every part is cleared or a midpoint crosses (reaches_between).
//
// Yield. A build's cutoff only has to be placed against the bands' ends t (1 -+ p/100), t the
// target. The grid points from the last one below L (where every build is still above the
// level) to the first at or past H (where every build has crossed), with the bands' ends
// inserted, are the points each build is walked over, the clearing values of every stride
// computed once for the whole box. The walk brackets its cutoff between two neighbouring
// points, and since every band's end is one of them, the bracket alone says which bands hold
// the cutoff: what comparing the refined cutoff would say, save for a cutoff within rounding
// of a band's end.
namespace kestrane {
namespace {

using tolerance_walk::angular_squared;
using tolerance_walk::Bracket;
using tolerance_walk::Build;
using tolerance_walk::build_crossing;
using tolerance_walk::build_of;
using tolerance_walk::chord_distance;
using tolerance_walk::Coefficients;
using tolerance_walk::coefficients_of;
using tolerance_walk::crossing_hz;
using tolerance_walk::Extremum;
using tolerance_walk::first_order_hz;
using tolerance_walk::first_up;
using tolerance_walk::golden_extremum;
using tolerance_walk::grid_points;
using tolerance_walk::last_down;
using tolerance_walk::loss_of;
using tolerance_walk::Spread;
using tolerance_walk::spread_of;
using tolerance_walk::walk_points;
using tolerance_walk::WalkPoints;

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr ValueRange kNoRange{kNotANumber, kNotANumber};
constexpr ResponseBand kNoBand{kNoRange, kNoRange, kNoRange};
constexpr double kDegreesPerRadian = 180 / std::numbers::pi;
// Frequencies per block of cascade_response_bands.
constexpr std::size_t kBandBlock = 64;

bool is_frequency(double hz) {
    return is_positive_finite(hz);
}

// A box's stage count indexes its arrays.
void check_stage_count(const CascadeBox& box) {
    KESTRANE_CHECK(box.stage_count >= 0 && box.stage_count <= kMaxStages);
}

ValueRange widened(double low, double high) {
    return {low - std::fabs(low) * kRangeSlack, high + std::fabs(high) * kRangeSlack};
}

// --- The stages' gain extremes ---

// The exact ends of one stage's gain at `hz`, with the sets that reach them.
GainExtremes stage_gain_extremes(int order, const ToleranceBox& box, double hz) {
    if (order == 2) return box_gain_extremes(box, hz);
    const ResponseBand band = first_order_band(box, hz);
    return {band.gain, box.high, box.low};
}

// The product of the stages' greatest |1/H|^2 (their least gains, from the corners), widened
// as the gains are.
class LeastGain {
  public:
    explicit LeastGain(const CascadeBox& box) : count_(box.stage_count) {
        for (int k = 0; k < count_; ++k) {
            const ToleranceBox& b = box.box[k];
            Corners& c = corners_[k];
            if (box.order[k] == 1) {
                c.count = 2;
                c.coefficient[0] = coefficients_of(1, b.low);
                c.coefficient[1] = coefficients_of(1, b.high);
                continue;
            }
            c.count = 16;
            for (unsigned corner = 0; corner < 16; ++corner) {
                const CircuitParts x{(corner & 1u) != 0 ? b.high.R1 : b.low.R1,
                                     (corner & 2u) != 0 ? b.high.R2 : b.low.R2,
                                     (corner & 4u) != 0 ? b.high.C1 : b.low.C1,
                                     (corner & 8u) != 0 ? b.high.C2 : b.low.C2};
                c.coefficient[corner] = coefficients_of(2, x);
            }
        }
    }

    double operator()(double hz) const {
        const double w2 = angular_squared(hz);
        double product = 1;
        for (int k = 0; k < count_; ++k)
            product *= stage_at(k, w2);
        return product;
    }

    // Stage k's greatest |1/H|^2, widened.
    double stage(int k, double hz) const { return stage_at(k, angular_squared(hz)); }

  private:
    struct Corners {
        int count = 0;
        Coefficients coefficient[16];
    };

    double stage_at(int k, double w2) const {
        constexpr double kWidening = 1 / ((1 - kRangeSlack) * (1 - kRangeSlack));
        const Corners& c = corners_[k];
        double greatest = 0;
        for (int i = 0; i < c.count; ++i) {
            const double loss = loss_of(c.coefficient[i], w2);
            greatest = loss > greatest ? loss : greatest;  // inlined, unlike std::fmax
        }
        return greatest * kWidening;
    }

    int count_;
    Corners corners_[kMaxStages];
};

// The product of the stages' least |1/H|^2 (their greatest gains, widened).
class GreatestGain {
  public:
    explicit GreatestGain(const CascadeBox& box) : box_(box) {}

    double operator()(double hz) const {
        double product = 1;
        for (int k = 0; k < box_.stage_count; ++k)
            product *= stage(k, hz);
        return product;
    }

    double stage(int k, double hz) const {
        const double gain = stage_gain_extremes(box_.order[k], box_.box[k], hz).gain.high;
        return 1 / (gain * gain);
    }

  private:
    const CascadeBox& box_;
};

// The build that puts every stage at its least (or greatest) gain at `hz`.
CascadeCircuit extreme_build(const CascadeBox& box, double hz, bool greatest) {
    CascadeCircuit circuit;
    for (int k = 0; k < box.stage_count; ++k) {
        const GainExtremes e = stage_gain_extremes(box.order[k], box.box[k], hz);
        circuit.stages[circuit.stage_count++] = {box.order[k],
                                                 greatest ? e.greatest_at : e.least_at};
    }
    return circuit;
}

// --- The range ---

// The range's ends and the grid points between which every build's cutoff lies.
struct RangeWalk {
    CascadeCutoffRange range;
    std::vector<double> points;
    // Every build's cutoff lies above points[from] (first crossing: every build is above the
    // level up to there; last crossing: every build is at the level or above somewhere at or
    // beyond it; kNone: 0 Hz) and below points[to] (where every build has crossed, or beyond
    // which every build stays below the level).
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t from = kNone;
    std::size_t to = 0;
};

double cutoff_of(const CascadeCircuit& build, BuildCutoff cutoff) {
    return build_cutoff_hz(stages_of(build), cutoff);
}

// The crossing of an envelope (LeastGain or GreatestGain) on the walk's grid from `from` up
// (first) or `from` down (last). A sampled maximum of the least gains' loss (before a first
// crossing) or minimum of the greatest gains' (before a last one) is refined only where the
// chord bound does not clear it: each stage's envelope is the greatest (least) of smooth
// losses of sets of the box, so between two samples its maximum (minimum) lies within the
// chord distance of the greater (lesser) of its two samples, and the product of those stays
// on the starting side. The other kind of extremum, where the envelopes have kinks, is always
// refined.
template <class Envelope>
Bracket walk_from(const RangeWalk& walk, std::size_t from, const Envelope& envelope,
                  BuildCutoff cutoff, const Spread& spread, bool bounded) {
    const std::span<const double> points = walk.points;
    const auto sample = [&](std::size_t i) { return envelope(points[i]); };
    const auto refine = [&](double a, double b, bool greatest) {
        if (bounded && a > 0) {
            double product = 1;
            for (int k = 0; k < spread.count; ++k) {
                const double at_a = envelope.stage(k, a);
                const double at_b = envelope.stage(k, b);
                product *= greatest == (at_a > at_b) ? at_a : at_b;
            }
            const double x = chord_distance(spread, a, b);
            // Conclusive: an end of the extremum's possible values that stays on its side.
            if (x < 1 && greatest && product < cutoff.loss * (1 - x)) {
                return Extremum{a, product / (1 - x)};
            }
            if (x < 1 && !greatest && product * (1 - x) > cutoff.loss) {
                return Extremum{a, product * (1 - x)};
            }
        }
        return golden_extremum(envelope, a, b, greatest);
    };
    if (cutoff.last) return last_down(points, from, sample, refine, cutoff.loss);
    return first_up(points, from, sample, refine, cutoff.loss);
}

// The cutoff of the build that puts every stage at its least (or greatest) gain at `hz`.
struct Witness {
    CascadeCircuit build;
    double cutoff_hz;
};

Witness witness_at(const CascadeBox& box, BuildCutoff cutoff, double hz, bool greatest) {
    Witness w{extreme_build(box, hz, greatest), 0};
    if (hz > 0) w.cutoff_hz = cutoff_of(w.build, cutoff);
    return w;
}

// The end that is only a bound (see the comment at the top) is reached by the build that puts
// every stage at its extreme there unless that build crosses elsewhere first. Where the
// envelope that gives the end has a sampled extremum between the ends (a ripple's dip or
// peak), the build at its extreme there is tried too, and the one whose cutoff lies farthest
// out is kept: every one is a build of the box, so its cutoff is one the range must hold.
template <class Loss>
Witness farthest_witness(const CascadeBox& box, BuildCutoff cutoff, const RangeWalk& walk,
                         std::size_t from, std::size_t to, double end, const Loss& loss) {
    const bool greatest = !cutoff.last;  // the high end of a first crossing, else the low end
    Witness best = witness_at(box, cutoff, end, greatest);
    const auto farther = [&](double hz) {
        return greatest ? hz > best.cutoff_hz : hz < best.cutoff_hz;
    };
    double before = loss(walk.points[from]);
    double here = loss(walk.points[from + 1]);
    for (std::size_t i = from + 1; i < to; ++i) {
        const double after = loss(walk.points[i + 1]);
        // First crossing: a dip of the greatest gain, a maximum of its loss; last crossing: a
        // peak of the least gain, a minimum of its loss.
        const bool extremum =
            greatest ? here > before && here >= after : here < before && here <= after;
        if (extremum) {
            const Witness w = witness_at(box, cutoff, walk.points[i], greatest);
            if (farther(w.cutoff_hz)) best = w;
        }
        before = here;
        here = after;
    }
    return best;
}

void walk_first(const CascadeBox& box, BuildCutoff cutoff, RangeWalk& walk) {
    const LeastGain least_gain(box);
    const GreatestGain greatest_gain(box);
    const Spread spread = spread_of(box);
    const Bracket low = walk_from(walk, 0, least_gain, cutoff, spread, true);
    if (!low.found) return;
    const Bracket high = walk_from(walk, low.index, greatest_gain, cutoff, spread, false);
    if (!high.found) return;
    walk.from = low.index == 0 ? RangeWalk::kNone : low.index - 1;
    walk.to = high.index;
    CascadeCutoffRange& r = walk.range;
    r.hz = {crossing_hz(low, least_gain, cutoff.loss),
            crossing_hz(high, greatest_gain, cutoff.loss)};
    const Witness w_low = witness_at(box, cutoff, r.hz.low, false);
    const std::size_t from = low.index == 0 ? 0 : low.index - 1;
    const Witness w_high =
        farthest_witness(box, cutoff, walk, from, high.index, r.hz.high, greatest_gain);
    r.reached_hz = {w_low.cutoff_hz, w_high.cutoff_hz};
    r.low_build = w_low.build;
    r.high_build = w_high.build;
}

void walk_last(const CascadeBox& box, BuildCutoff cutoff, RangeWalk& walk) {
    const LeastGain least_gain(box);
    const GreatestGain greatest_gain(box);
    const Spread spread = spread_of(box);
    const Bracket high =
        walk_from(walk, walk.points.size() - 1, greatest_gain, cutoff, spread, true);
    walk.to = high.found ? high.index + 1 : 0;
    const Bracket low =
        high.found ? walk_from(walk, walk.to, least_gain, cutoff, spread, false) : Bracket{};
    // A crossing under the lowest grid point leaves no point below which no cutoff lies.
    walk.from = low.found && low.low > 0 ? low.index : RangeWalk::kNone;
    CascadeCutoffRange& r = walk.range;
    r.hz = {crossing_hz(low, least_gain, cutoff.loss),
            crossing_hz(high, greatest_gain, cutoff.loss)};
    const Witness w_high = witness_at(box, cutoff, r.hz.high, true);
    const Witness w_low =
        walk.from == RangeWalk::kNone || walk.to <= walk.from + 1
            ? witness_at(box, cutoff, r.hz.low, false)
            : farthest_witness(box, cutoff, walk, walk.from, walk.to, r.hz.low, least_gain);
    r.reached_hz = {w_low.cutoff_hz, w_high.cutoff_hz};
    r.low_build = w_low.build;
    r.high_build = w_high.build;
}

bool is_valid_cutoff(BuildCutoff cutoff) {
    return is_positive_finite(cutoff.loss);
}

RangeWalk range_walk(const CascadeBox& box, BuildCutoff cutoff) {
    check_stage_count(box);
    RangeWalk walk;
    if (box.stage_count == 0 || !is_valid_cutoff(cutoff)) return walk;
    walk.points = grid_points(spread_of(box));
    if (cutoff.last) {
        walk_last(box, cutoff, walk);
    } else {
        walk_first(box, cutoff, walk);
    }
    return walk;
}

// --- The yield ---

// The points every build of the yield is walked over (see the comment at the top): the grid
// from the last point where every build is still on its starting side to the first beyond
// which every build has crossed, with the bands' ends inserted.
WalkPoints yield_points(const RangeWalk& walk, const Spread& spread, BuildCutoff cutoff,
                        double target_hz) {
    const bool from_zero = walk.from == RangeWalk::kNone;
    const double from = from_zero ? 0 : walk.points[walk.from];
    const double to = walk.points[walk.to];
    std::vector<double> hz{from};
    for (std::size_t i = from_zero ? 0 : walk.from; i <= walk.to; ++i) {
        if (walk.points[i] > from) hz.push_back(walk.points[i]);
    }
    for (const double percent : kYieldBandPercent) {
        for (const double end :
             {target_hz * (1 - percent / 100), target_hz * (1 + percent / 100)}) {
            if (end > from && end < to) hz.push_back(end);
        }
    }
    std::sort(hz.begin(), hz.end());
    hz.erase(std::unique(hz.begin(), hz.end()), hz.end());
    return walk_points(std::move(hz), spread, cutoff, true);
}

// The neighbouring points a build's cutoff lies between: (below, above] for a first crossing,
// [below, above) for a last one (below = above at the ends, where rounding alone could put it).
struct Between {
    double below;
    double above;
};

Between cutoff_between(const Build& build, const WalkPoints& p, const Spread& spread,
                       BuildCutoff cutoff) {
    const std::vector<double>& hz = p.hz;
    const Bracket b = build_crossing(p, spread, cutoff, build);
    if (cutoff.last) {
        if (!b.found || b.low < hz[0]) return {hz[0], hz[0]};
        return {hz[b.index], hz[b.index + 1]};
    }
    if (!b.found) return {hz.back(), hz.back()};
    return {hz[b.index - 1], hz[b.index]};
}

Build drawn_build(std::span<const StageCircuit> nominal, double r, double c, SplitMix64& random) {
    Build build;
    for (const StageCircuit& s : nominal) {
        CircuitParts parts;
        parts.R1 = random.drawn(s.parts.R1, r);
        if (s.order == 2) parts.R2 = random.drawn(s.parts.R2, r);
        parts.C1 = random.drawn(s.parts.C1, c);
        if (s.order == 2) parts.C2 = random.drawn(s.parts.C2, c);
        build.add(coefficients_of(s.order, parts));
    }
    return build;
}

CutoffYield yield_over(std::span<const StageCircuit> nominal, const PartTolerances& tolerances,
                       BuildCutoff cutoff, double target_hz, const RangeWalk& walk,
                       std::uint64_t seed, int draws) {
    CutoffYield yield;
    if (walk.points.empty() || std::isnan(walk.range.hz.low)) return yield;
    const CascadeBox box = cascade_box(nominal, tolerances);
    const Spread spread = spread_of(box);
    const WalkPoints points = yield_points(walk, spread, cutoff, target_hz);
    double low_end[kYieldBands];
    double high_end[kYieldBands];
    for (int band = 0; band < kYieldBands; ++band) {
        low_end[band] = target_hz * (1 - kYieldBandPercent[band] / 100);
        high_end[band] = target_hz * (1 + kYieldBandPercent[band] / 100);
    }
    const double r = tolerances.resistor_percent / 100;
    const double c = tolerances.capacitor_percent / 100;
    SplitMix64 random{seed};
    yield.draws = draws;
    for (int i = 0; i < draws; ++i) {
        const Between b =
            cutoff_between(drawn_build(nominal, r, c, random), points, spread, cutoff);
        for (int band = 0; band < kYieldBands; ++band) {
            if (b.below >= low_end[band] && b.above <= high_end[band]) ++yield.within[band];
        }
    }
    return yield;
}

bool is_valid_nominal(std::span<const StageCircuit> nominal, const PartTolerances& tolerances,
                      BuildCutoff cutoff, double target_hz) {
    return is_valid_cascade_circuit(nominal) && are_tolerances(tolerances) &&
           is_valid_cutoff(cutoff) && is_positive_finite(target_hz);
}

}  // namespace

CascadeBox cascade_box(std::span<const StageCircuit> stages, const PartTolerances& tolerances) {
    CascadeBox box;
    if (!is_valid_cascade_circuit(stages) || !are_tolerances(tolerances)) return box;
    for (const StageCircuit& s : stages) {
        const CircuitParts& p = s.parts;
        const CircuitParts used = s.order == 2 ? p : CircuitParts{p.R1, p.R1, p.C1, p.C1};
        box.order[box.stage_count] = s.order;
        box.box[box.stage_count++] = tolerance_box(used, tolerances);
    }
    return box;
}

ResponseBand first_order_band(const ToleranceBox& box, double hz) {
    if (!is_frequency(hz)) return kNoBand;
    const double omega = kExactTwoPi * hz;
    const double rc_low = box.low.R1 * box.low.C1;
    const double rc_high = box.high.R1 * box.high.C1;
    const auto gain = [&](double rc) { return 1 / std::sqrt(1 + (omega * rc) * (omega * rc)); };
    const auto phase = [&](double rc) {
        return -portable::atan2(omega * rc, 1) * kDegreesPerRadian;
    };
    const auto delay = [&](double rc) { return rc / (1 + (omega * rc) * (omega * rc)); };
    const double peak_rc = std::clamp(1 / omega, rc_low, rc_high);
    ResponseBand band;
    band.gain = widened(gain(rc_high), gain(rc_low));
    band.phase_deg = widened(phase(rc_high), phase(rc_low));
    band.group_delay_s = widened(std::fmin(delay(rc_low), delay(rc_high)), delay(peak_rc));
    return band;
}

ResponseBand cascade_response_band(const CascadeBox& box, double hz) {
    ResponseBand band;
    cascade_response_bands(box, {&hz, 1}, {&band, 1});
    return band;
}

void cascade_response_bands(const CascadeBox& box, std::span<const double> hz,
                            std::span<ResponseBand> bands) {
    KESTRANE_EXPECT(hz.size() == bands.size());
    check_stage_count(box);
    const std::size_t n = std::min(hz.size(), bands.size());
    for (std::size_t i = 0; i < n; ++i) {
        const bool valid = box.stage_count > 0 && is_frequency(hz[i]);
        bands[i] = valid ? ResponseBand{{1, 1}, {0, 0}, {0, 0}} : kNoBand;
    }
    ResponseBand stage[kBandBlock];
    for (std::size_t start = 0; start < n; start += kBandBlock) {
        const std::size_t count = std::min(kBandBlock, n - start);
        for (int k = 0; k < box.stage_count; ++k) {
            const std::span<const double> block = hz.subspan(start, count);
            if (box.order[k] == 2) {
                box_response_bands(box.box[k], block, {stage, count});
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    stage[i] = first_order_band(box.box[k], block[i]);
            }
            for (std::size_t i = 0; i < count; ++i) {
                ResponseBand& b = bands[start + i];
                if (std::isnan(b.gain.low)) continue;
                b.gain = {b.gain.low * stage[i].gain.low, b.gain.high * stage[i].gain.high};
                b.phase_deg = {b.phase_deg.low + stage[i].phase_deg.low,
                               b.phase_deg.high + stage[i].phase_deg.high};
                b.group_delay_s = {b.group_delay_s.low + stage[i].group_delay_s.low,
                                   b.group_delay_s.high + stage[i].group_delay_s.high};
            }
        }
    }
}

BuildCutoff build_cutoff(std::span<const StageCircuit> shown, CutoffRule rule) {
    switch (rule.level) {
        case CutoffLevel::half_power:
            return {false, 2};
        case CutoffLevel::half_amplitude:
            return {false, 4};
        case CutoffLevel::ripple_edge:
            break;
    }
    const bool valid = is_valid_cascade_circuit(shown) && rule.ripple_db >= kMinRippleDb &&
                       rule.ripple_db <= kMaxRippleDb;
    if (!valid) return {true, kNotANumber};
    Stage stages[kMaxStages];
    std::size_t count = 0;
    for (const StageCircuit& s : shown) {
        stages[count++] = s.order == 1
                              ? Stage{1, first_order_hz(s.parts.R1 * s.parts.C1), kNotANumber}
                              : Stage{2, natural_frequency_hz(s.parts), quality_factor(s.parts)};
    }
    // |H| = peak / 10^(r/20): |1/H|^2 = 10^(r/10) / peak^2, as cascade_cutoff_hz has it.
    const double peak = peak_gain({stages, count}).gain;
    return {true, (1 + cascade_math::power_ratio_minus_one(rule.ripple_db)) / (peak * peak)};
}

double build_cutoff_hz(std::span<const StageCircuit> build, BuildCutoff cutoff) {
    if (!is_valid_cascade_circuit(build) || !is_valid_cutoff(cutoff)) return kNotANumber;
    const Spread spread = spread_of(build);
    const WalkPoints points = walk_points(grid_points(spread), spread, cutoff, false);
    const Build b = build_of(build);
    const auto loss = [&](double hz) { return b.loss(hz); };
    // Below the lowest point every loss is within 1e-14 of 1, its value at 0 Hz: no first
    // crossing lies there unless the lowest point has crossed already.
    const double lowest = b.loss_at(points.w2[0]);
    if (!cutoff.last && lowest >= cutoff.loss) {
        const Bracket b0{true, 0, 0, points.hz[0], 1 - cutoff.loss, lowest - cutoff.loss};
        return crossing_hz(b0, loss, cutoff.loss);
    }
    const Bracket bracket = build_crossing(points, spread, cutoff, b);
    if (!bracket.found && !cutoff.last) return kNotANumber;
    return crossing_hz(bracket, loss, cutoff.loss);
}

CascadeCutoffRange cascade_cutoff_range(const CascadeBox& box, BuildCutoff cutoff) {
    return range_walk(box, cutoff).range;
}

CutoffYield cascade_cutoff_yield(std::span<const StageCircuit> nominal,
                                 const PartTolerances& tolerances, BuildCutoff cutoff,
                                 double target_hz, std::uint64_t seed, int draws) {
    KESTRANE_EXPECT(is_valid_nominal(nominal, tolerances, cutoff, target_hz));
    if (!is_valid_nominal(nominal, tolerances, cutoff, target_hz)) return {};
    const RangeWalk walk = range_walk(cascade_box(nominal, tolerances), cutoff);
    return yield_over(nominal, tolerances, cutoff, target_hz, walk, seed, draws);
}

CascadeTolerances cascade_tolerances(std::span<const StageCircuit> nominal,
                                     const PartTolerances& tolerances, BuildCutoff cutoff,
                                     double target_hz) {
    if (!is_valid_nominal(nominal, tolerances, cutoff, target_hz)) {
        return {};
    }
    const RangeWalk walk = range_walk(cascade_box(nominal, tolerances), cutoff);
    return {walk.range,
            yield_over(nominal, tolerances, cutoff, target_hz, walk, kYieldSeed, kYieldDraws)};
}

}  // namespace kestrane
