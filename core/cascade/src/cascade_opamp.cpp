#include "kestrane/cascade/cascade_opamp.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "core_arithmetic.h"
#include "opamp_stages.h"
#include "real_functions.h"

namespace kestrane {

using opamp_cascade::CascadePolynomials;
using opamp_cascade::GainSlope;
using opamp_cascade::Grid;
using opamp_cascade::LoadedStage;

namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr ResponsePoint kNoPoint{kNotANumber, kNotANumber, kNotANumber};
constexpr double kDegreesPerRadian = 180 / std::numbers::pi;

bool is_valid_stage(const StageCircuit& stage) {
    const CircuitParts& p = stage.parts;
    if (stage.order == 1) return is_positive_finite(p.R1) && is_positive_finite(p.C1);
    return stage.order == 2 && is_buildable(p);
}

bool is_valid_input(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    return is_valid_cascade_circuit(stages) && is_valid_opamp(opamp);
}

bool is_valid_output(std::span<const StageCircuit> stages, int k) {
    return k >= 1 && static_cast<std::size_t>(k) <= stages.size();
}

std::span<const StageCircuit> first(std::span<const StageCircuit> stages, int k) {
    return stages.first(static_cast<std::size_t>(k));
}

// A first-order stage alone: 1 / ((1 + eps + s g)(1 + s a)), each factor's angle within
// (-90, 90] degrees, so the phase is continuous; delay Re(g / (1 + eps + s g)) + Re(a / (1 + s a)).
ResponsePoint first_order_point(const StageCircuit& stage, const OpAmp& opamp, double omega) {
    const opamp_cascade::OpAmpTerms t = opamp_cascade::terms_of(opamp);
    const double a = stage.parts.R1 * stage.parts.C1;
    const Complex amp{1 + t.eps, omega * t.g};
    const Complex rc{1, omega * a};
    const double angle = portable::atan2(amp.im, amp.re) + portable::atan2(rc.im, rc.re);
    const double delay = (Complex{t.g, 0} / amp).re + (Complex{a, 0} / rc).re;
    return {1 / (magnitude(amp) * magnitude(rc)), -angle * kDegreesPerRadian, delay};
}

// A stage's own transfer function with the op-amp, formed once for evaluations at many
// frequencies (a first-order stage's is not used: first_order_point has its closed form).
TransferFunction own_function(const StageCircuit& stage, const OpAmp& opamp) {
    return stage.order == 1 ? TransferFunction{} : transfer_function(stage.parts, opamp);
}

ResponsePoint own_point(const StageCircuit& stage, const TransferFunction& own, const OpAmp& opamp,
                        double hz) {
    if (stage.order == 1) return first_order_point(stage, opamp, kExactTwoPi * hz);
    return response_at(own, hz);
}

// The stage's response with its load: its own, divided by 1 + z.
ResponsePoint loaded_point(ResponsePoint own, const LoadedStage& loaded) {
    const Complex factor = Complex{1, 0} + loaded.load;
    return {own.gain / magnitude(factor),
            own.phase_deg - portable::atan2(factor.im, factor.re) * kDegreesPerRadian,
            own.group_delay_s + (loaded.load_slope / factor).re};
}

}  // namespace

CascadeCircuit cascade_circuit(const CascadeDesign& design, double r_ohm) {
    CascadeCircuit circuit;
    if (!is_positive_finite(r_ohm)) return circuit;
    for (const Stage& stage : stages_of(design)) {
        const StageParts p = exact_stage_parts(stage, r_ohm);
        circuit.stages[circuit.stage_count++] = {stage.order, {p.R1, p.R2, p.C1, p.C2}};
    }
    if (!is_valid_cascade_circuit(stages_of(circuit))) circuit.stage_count = 0;
    return circuit;
}

std::span<const StageCircuit> stages_of(const CascadeCircuit& circuit) {
    KESTRANE_CHECK(circuit.stage_count >= 0 && circuit.stage_count <= kMaxStages);
    return {circuit.stages, static_cast<std::size_t>(circuit.stage_count)};
}

bool is_valid_cascade_circuit(std::span<const StageCircuit> stages) {
    if (stages.empty() || stages.size() > static_cast<std::size_t>(kMaxStages)) return false;
    for (const StageCircuit& stage : stages) {
        if (!is_valid_stage(stage)) return false;
    }
    return true;
}

TransferFunction stage_transfer_function(const StageCircuit& stage, const OpAmp& opamp) {
    KESTRANE_EXPECT(is_valid_stage(stage) && is_valid_opamp(opamp));
    if (stage.order == 2) return transfer_function(stage.parts, opamp);
    const opamp_cascade::OpAmpTerms t = opamp_cascade::terms_of(opamp);
    const double a = stage.parts.R1 * stage.parts.C1;
    TransferFunction h;
    h.denominator[0] = 1 + t.eps;
    h.denominator[1] = t.g + a * (1 + t.eps);
    h.denominator[2] = a * t.g;
    return h;
}

double cascade_dc_gain(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    if (!is_valid_input(stages, opamp)) return kNotANumber;
    const double stage_gain = 1 / (1 + opamp_cascade::terms_of(opamp).eps);
    double gain = 1;
    for (std::size_t i = 0; i < stages.size(); ++i)
        gain *= stage_gain;
    return gain;
}

namespace {

// A valid cascade with one op-amp, its polynomials and its stages' own transfer functions
// formed once for its responses at many frequencies.
struct PointSource {
    std::span<const StageCircuit> stages;
    OpAmp opamp;
    CascadePolynomials polynomials;
    TransferFunction own[kMaxStages];
};

PointSource point_source(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    PointSource source{stages, opamp, opamp_cascade::cascade_polynomials(stages, opamp), {}};
    for (std::size_t i = 0; i < stages.size(); ++i)
        source.own[i] = own_function(stages[i], opamp);
    return source;
}

// The response at stage k's output at `hz` (0 or above, finite).
ResponsePoint point_at(const PointSource& source, int k, double hz) {
    // Without loads every stage's z and dz/ds are 0, as loaded_stages would give them.
    LoadedStage loaded[kMaxStages] = {};
    if (source.polynomials.loads) {
        opamp_cascade::loaded_stages(source.polynomials, kExactTwoPi * hz, loaded);
    }
    ResponsePoint sum{1, 0, 0};
    for (int i = 0; i < k; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const ResponsePoint own = own_point(source.stages[at], source.own[at], source.opamp, hz);
        const ResponsePoint point = loaded_point(own, loaded[i]);
        sum.gain *= point.gain;
        sum.phase_deg += point.phase_deg;
        sum.group_delay_s += point.group_delay_s;
    }
    return sum;
}

bool is_valid_frequency(double hz) {
    return hz >= 0 && std::isfinite(hz);
}

}  // namespace

ResponsePoint opamp_stage_output_point(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                       int k, double hz) {
    if (!is_valid_input(stages, opamp) || !is_valid_output(stages, k)) return kNoPoint;
    if (!is_valid_frequency(hz)) return kNoPoint;
    return point_at(point_source(stages, opamp), k, hz);
}

ResponsePoint opamp_cascade_point(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                  double hz) {
    return opamp_stage_output_point(stages, opamp, static_cast<int>(stages.size()), hz);
}

void opamp_cascade_points(std::span<const StageCircuit> stages, const OpAmp& opamp,
                          std::span<const double> hz, std::span<ResponsePoint> out) {
    KESTRANE_CHECK(out.size() == hz.size());
    if (!is_valid_input(stages, opamp)) {
        std::fill(out.begin(), out.end(), kNoPoint);
        return;
    }
    const PointSource source = point_source(stages, opamp);
    const int k = static_cast<int>(stages.size());
    for (std::size_t i = 0; i < hz.size(); ++i)
        out[i] = is_valid_frequency(hz[i]) ? point_at(source, k, hz[i]) : kNoPoint;
}

// ---- searches over frequency ----

namespace {

// A bound on the grid walks; a valid cascade needs a few thousand points.
constexpr int kMaxGridPoints = 1 << 22;
constexpr double kLowestFraction = 1e-8;
constexpr int kMostKeptPoints = 1 << 16;
constexpr double kHighestMultiple = 1e6;

// The loaded stages' own gains at one point of the searches' grid.
struct GridPoint {
    double omega = 0;
    double gains[kMaxStages] = {};
};

struct Search {
    std::span<const StageCircuit> stages;
    OpAmp opamp;
    CascadePolynomials polynomials;
    Grid grid;
    double dc = 1;  // the DC gain of the whole cascade
    // The grid from kLowestFraction of its lowest frequency up, as far as a walk has gone (at
    // most kMostKeptPoints of them): the walks of the cutoff and of the peaks read the same
    // points, each formed once; beyond, the last point a walk read.
    mutable std::vector<GridPoint> points;
    mutable GridPoint far;
    mutable int far_index = -1;

    // (|H(0)| / |H(omega)|)^2 of the whole cascade.
    double inverse_square(double omega) const {
        return squared_ratio(opamp_cascade::output_gain_only(polynomials, count(), omega));
    }
    double squared_ratio(double gain) const {
        const double ratio = dc / gain;
        return ratio * ratio;
    }
    // |H_k| and its slope, or |H_k| alone.
    GainSlope gain_slope(int k, double omega) const {
        return opamp_cascade::output_gain(polynomials, k, omega);
    }
    double gain(int k, double omega) const {
        return opamp_cascade::output_gain_only(polynomials, k, omega);
    }
    int count() const { return static_cast<int>(stages.size()); }
    // Grid point `index` (the walks go through them in order, one after another).
    const GridPoint& point(int index) const {
        if (index >= kMostKeptPoints) return point_beyond(index);
        while (points.size() <= static_cast<std::size_t>(index)) {
            const double omega =
                points.empty() ? grid.lowest * kLowestFraction : grid.next(points.back().omega);
            points.push_back(point_at(omega));
        }
        return points[static_cast<std::size_t>(index)];
    }
    GridPoint point_at(double omega) const {
        GridPoint p;
        p.omega = omega;
        opamp_cascade::stage_gains(polynomials, omega, p.gains);
        return p;
    }
    const GridPoint& point_beyond(int index) const {
        if (index == far_index) return far;
        int at = far_index;
        double omega = far.omega;
        if (index < far_index || far_index < 0) {
            at = kMostKeptPoints - 1;
            omega = point(at).omega;
        }
        for (; at < index; ++at)
            omega = grid.next(omega);
        far = point_at(omega);
        far_index = index;
        return far;
    }
    // |H_k| at grid point `index`: gain(k, omega) there, the same bits.
    double grid_gain(int k, int index) const {
        return opamp_cascade::product_of(point(index).gains, k);
    }
};

Search search_of(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    return {stages,
            opamp,
            opamp_cascade::cascade_polynomials(stages, opamp),
            opamp_cascade::grid_of(stages, opamp),
            cascade_dc_gain(stages, opamp),
            {},
            {},
            -1};
}

// The first omega, going up, where the relative inverse square reaches `target` (above 1).
double first_crossing(const Search& s, double target) {
    const auto gap = [&](double omega) { return s.inverse_square(omega) - target; };
    double below = 0;
    double gap_below = 1 - target;
    const double end = s.grid.highest * kHighestMultiple;
    for (int i = 0; i < kMaxGridPoints && below <= end; ++i) {
        const double omega = s.point(i).omega;
        const double gap_here = s.squared_ratio(s.grid_gain(s.count(), i)) - target;
        if (gap_here >= 0) return bracketed_root(gap, below, omega, gap_below, gap_here);
        below = omega;
        gap_below = gap_here;
    }
    return kNotANumber;
}

constexpr double kEqualPeaks = 1e-12;

// The largest |H_k| near a grid maximum in [low, high]: the root of the slope where it changes
// sign there, else a golden-section search; never below the sampled value.
Peak refine_peak(const Search& s, int k, double low, double high, Peak sampled) {
    const auto slope = [&](double w) { return s.gain_slope(k, w).slope; };
    const auto gain = [&](double w) { return s.gain(k, w); };
    const double slope_low = slope(low);
    const double slope_high = slope(high);
    double omega = 0;
    if (slope_low > 0 && slope_high < 0) {
        omega = bracketed_root(slope, low, high, slope_low, slope_high);
    } else {
        omega = golden_maximum(gain, low, high);
    }
    const Peak refined{gain(omega), omega};
    return refined.gain >= sampled.gain ? refined : sampled;
}

// The grid maxima of |H_k| for omega up to `end` that rise above its DC gain, each refined
// (hz holds omega here), in rising order.
std::vector<Peak> refined_maxima(const Search& s, int k, double end) {
    const double dc = cascade_dc_gain(first(s.stages, k), s.opamp);
    std::vector<Peak> maxima;
    Peak before{dc, 0};
    Peak middle{s.grid_gain(k, 0), s.point(0).omega};
    for (int i = 0; i < kMaxGridPoints && middle.hz <= end; ++i) {
        const Peak after{s.grid_gain(k, i + 1), s.point(i + 1).omega};
        if (middle.gain >= before.gain && middle.gain > after.gain &&
            middle.gain > dc * (1 + kEqualPeaks / 2)) {
            maxima.push_back(refine_peak(s, k, before.hz, after.hz, middle));
        }
        before = middle;
        middle = after;
    }
    return maxima;
}

// The largest |H_k| for omega up to `end`, as an angular frequency (hz holds omega here).
Peak largest_gain(const Search& s, int k, double end) {
    const double dc = cascade_dc_gain(first(s.stages, k), s.opamp);
    Peak best{dc, 0};
    // Going up in frequency: an equal maximum keeps the lower frequency.
    for (const Peak& peak : refined_maxima(s, k, end)) {
        if (peak.gain > best.gain * (1 + kEqualPeaks)) best = peak;
    }
    return best;
}

// The last omega below `end` where |H| / |H(0)| falls through `level` (at most the largest
// relative gain, which the maxima hold): above the last grid point or refined maximum at or
// over the level, below the next grid point (or `end`, where the gain is below the level).
double last_falling(const Search& s, double level, double end) {
    const auto excess = [&](double w) { return s.gain(s.count(), w) / s.dc - level; };
    double low = 0;
    for (const Peak& peak : refined_maxima(s, s.count(), end)) {
        if (peak.gain / s.dc >= level) low = std::fmax(low, peak.hz);
    }
    for (int i = 0; i < kMaxGridPoints && s.point(i).omega < end; ++i) {
        if (s.grid_gain(s.count(), i) / s.dc - level >= 0) low = std::fmax(low, s.point(i).omega);
    }
    double high = s.grid.lowest * kLowestFraction;
    for (int i = 0; i < kMaxGridPoints && high <= low; ++i)
        high = s.grid.next(high);
    high = std::fmin(high, end);
    const double at_low = excess(low);
    const double at_high = excess(high);
    if (!(at_low >= 0 && at_high < 0)) return kNotANumber;
    return bracketed_root(excess, low, high, at_low, at_high);
}

}  // namespace

namespace {

// opamp_cutoff_hz on a valid cascade's search.
double cutoff_of(const Search& s, CutoffRule rule) {
    double omega = kNotANumber;
    switch (rule.level) {
        case CutoffLevel::half_power:
            omega = first_crossing(s, 2);
            break;
        case CutoffLevel::half_amplitude:
            omega = first_crossing(s, 4);
            break;
        case CutoffLevel::ripple_edge: {
            if (!(rule.ripple_db >= kMinRippleDb && rule.ripple_db <= kMaxRippleDb)) break;
            const double half = first_crossing(s, 4);
            if (std::isnan(half)) break;
            // |H| / |H(0)| = (peak / |H(0)|) / 10^(r/20).
            const double peak = largest_gain(s, s.count(), half).gain / s.dc;
            const double power_ratio = 1 + cascade_math::power_ratio_minus_one(rule.ripple_db);
            omega = last_falling(s, peak / std::sqrt(power_ratio), half);
            break;
        }
    }
    return omega / kExactTwoPi;
}

// opamp_stage_peak on a valid cascade's search, k valid.
Peak stage_peak(const Search& s, int k) {
    double highest = 0;
    for (int i = 0; i < k; ++i)
        highest = std::fmax(highest, s.grid.stage[i].omega);
    const Peak peak = largest_gain(s, k, 4 * highest);
    return {peak.gain, peak.hz / kExactTwoPi};
}

}  // namespace

double opamp_cutoff_hz(std::span<const StageCircuit> stages, const OpAmp& opamp, CutoffRule rule) {
    if (!is_valid_input(stages, opamp)) return kNotANumber;
    return cutoff_of(search_of(stages, opamp), rule);
}

Peak opamp_stage_peak(std::span<const StageCircuit> stages, const OpAmp& opamp, int k) {
    if (!is_valid_input(stages, opamp) || !is_valid_output(stages, k)) {
        return {kNotANumber, kNotANumber};
    }
    return stage_peak(search_of(stages, opamp), k);
}

// ---- the GBW needed ----

namespace {

struct FigureReference {
    double cutoff_hz;
    double q[kMaxStages];
};

// The figures' margin: the largest relative departure of the cutoff and of the second-order
// stages' dominant Q from the reference, less the tolerance; at or below 0 the op-amp passes.
// The Qs come first, in closed form: when one of them is already outside the tolerance its own
// departure, less the tolerance, is returned without the cutoff's walk. That is a lower bound
// of the whole margin (the largest of all the departures) and has its sign, which is all that
// decides a trial; the search below only interpolates on it. Infinite without a cutoff. A Q
// that is not a number is passed over, as fmax passes it over.
double figure_margin(std::span<const StageCircuit> stages, const OpAmp& opamp, CutoffRule rule,
                     const FigureReference& ref) {
    double q_error = 0;
    for (std::size_t i = 0; i < stages.size(); ++i) {
        if (stages[i].order != 2) continue;
        const double q = dominant_q(transfer_function(stages[i].parts, opamp));
        q_error = std::fmax(q_error, std::fabs(q / ref.q[i] - 1));
    }
    if (q_error > kFigureTolerance) return q_error - kFigureTolerance;
    const double cutoff = opamp_cutoff_hz(stages, opamp, rule);
    if (std::isnan(cutoff)) return kInfinity;
    return std::fmax(std::fabs(cutoff / ref.cutoff_hz - 1), q_error) - kFigureTolerance;
}

// A GBW and its margin (figure_margin).
struct Trial {
    double gbw_hz;
    double margin;
    bool passes() const { return margin <= 0; }
};

// The bracket's final width: the passing end within 1e-9 (relative) of a failing one, as
// circuit's needed_gbw has it; the figure is printed to 6 digits.
constexpr double kGbwRatio = 1 + 1e-9;
// Each trial lands at least this far (relative) inside the bracket, so that once the
// interpolation has found the crossing the next trial falls on its other side and closes the
// bracket: a quarter of its final width.
constexpr double kLeastInset = 0.25e-9;
// The bracketing strides from 2^40 times the cutoff: up by 2^10 while it fails, down by 2^8
// while it passes, to 2^-160 times it as before.
constexpr double kStrideUp = 0x1p10;
constexpr int kMostStridesUp = 80;
constexpr double kStrideDown = 0x1p8;
constexpr int kMostStridesDown = 25;

// Narrows [fail, pass] (fail below pass, the ratio above kGbwRatio) to kGbwRatio by the
// Illinois variant of regula falsi on the margin as a function of x = 1/GBW (in which it is
// close to linear: the figures move by about GBW0/GBW), a trial never closer than kLeastInset
// to an end, and a bisection on log GBW whenever three trials have not halved the bracket in
// log GBW. Every trial keeps a passing and a failing end, so the result is a passing GBW with
// a failing one within kGbwRatio below it, whatever the margin's shape in between.
template <class Margin>
double narrowed(const Margin& margin_at, Trial fail, Trial pass) {
    int side = 0;  // which end the last trial replaced: -1 the failing one, 1 the passing one
    double fail_margin = fail.margin;
    double pass_margin = pass.margin;
    double checkpoint = pass.gbw_hz / fail.gbw_hz;
    int steps_since_checkpoint = 0;
    for (int iteration = 0; iteration < 200 && pass.gbw_hz > fail.gbw_hz * kGbwRatio; ++iteration) {
        const double ratio = pass.gbw_hz / fail.gbw_hz;
        bool bisect = false;
        if (++steps_since_checkpoint == 3) {
            bisect = ratio * ratio > checkpoint;  // three trials have not halved log(ratio)
            checkpoint = ratio;
            steps_since_checkpoint = 0;
        }
        const double low = 1 / pass.gbw_hz;  // x of the passing end, margin <= 0
        const double high = 1 / fail.gbw_hz;
        double x = low - pass_margin * (high - low) / (fail_margin - pass_margin);
        if (bisect || !(x > low && x < high)) x = 1 / std::sqrt(pass.gbw_hz * fail.gbw_hz);
        x = std::fmin(std::fmax(x, low * (1 + kLeastInset)), high * (1 - kLeastInset));
        const Trial t{1 / x, margin_at(1 / x)};
        if (t.passes()) {
            pass = t;
            pass_margin = t.margin;
            if (side == 1) fail_margin /= 2;
            side = 1;
        } else {
            fail = t;
            fail_margin = t.margin;
            if (side == -1) pass_margin /= 2;
            side = -1;
        }
    }
    return pass.gbw_hz;
}

}  // namespace

NeededGbw opamp_cascade_needed_gbw(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                   CutoffRule rule) {
    if (!is_valid_input(stages, opamp)) return {GbwLimit::reached, kNotANumber};
    FigureReference ref{opamp_cutoff_hz(stages, kIdealOpAmp, rule), {}};
    for (std::size_t i = 0; i < stages.size(); ++i) {
        if (stages[i].order == 2) {
            ref.q[i] = dominant_q(transfer_function(stages[i].parts, kIdealOpAmp));
        }
    }
    if (std::isnan(ref.cutoff_hz)) return {GbwLimit::reached, kNotANumber};
    OpAmp unlimited = opamp;
    unlimited.gbw_hz = kInfinity;
    if (figure_margin(stages, unlimited, rule, ref) > 0) {
        const OpAmp gain_only{kInfinity, opamp.open_loop_gain, 0};
        const bool gain_alone = figure_margin(stages, gain_only, rule, ref) > 0;
        return {gain_alone ? GbwLimit::open_loop_gain : GbwLimit::output_resistance, 0};
    }
    const auto margin_at = [&](double gbw_hz) {
        OpAmp trial = opamp;
        trial.gbw_hz = gbw_hz;
        return figure_margin(stages, trial, rule, ref);
    };
    const auto trial = [&](double gbw_hz) { return Trial{gbw_hz, margin_at(gbw_hz)}; };
    Trial pass = trial(ref.cutoff_hz * 0x1p40);
    for (int step = 0; step < kMostStridesUp && !pass.passes(); ++step)
        pass = trial(pass.gbw_hz * kStrideUp);
    if (!pass.passes()) return {GbwLimit::output_resistance, 0};
    Trial fail = trial(pass.gbw_hz / kStrideDown);
    for (int step = 0; step < kMostStridesDown && fail.passes(); ++step) {
        pass = fail;
        fail = trial(fail.gbw_hz / kStrideDown);
    }
    if (fail.passes()) return {GbwLimit::reached, fail.gbw_hz};
    return {GbwLimit::reached, narrowed(margin_at, fail, pass)};
}

// ---- the high-frequency gain ----

namespace {

// The op-amp's output resistance as C1 and C2 short: Ro when its source falls to 0 (a finite
// GBW), Ro / (1 + A0) when it holds -A0 Vout (an infinite GBW).
double resistance_at_infinity(const OpAmp& opamp) {
    const opamp_cascade::OpAmpTerms t = opamp_cascade::terms_of(opamp);
    return t.g > 0 ? t.ro : t.ro * t.eps / (1 + t.eps);
}

// 1 / (1/a + 1/b + 1/c) for a, b, c > 0 (infinite allowed), 0 when one of them is 0.
double parallel(double a, double b, double c) {
    if (a == 0 || b == 0 || c == 0) return 0;
    return 1 / (1 / a + 1 / b + 1 / c);
}

struct InfiniteFrequency {
    double gain;            // the limit of |H| at the output
    double first_load_ohm;  // the input resistance of stage 2 (infinite with one stage)
};

InfiniteFrequency at_infinite_frequency(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    const double r_inf = resistance_at_infinity(opamp);
    double load = kInfinity;
    double gain = 1;
    double first_load = kInfinity;
    for (std::size_t i = stages.size(); i-- > 0;) {
        if (i == 0) first_load = load;
        const CircuitParts& p = stages[i].parts;
        if (stages[i].order == 1) {
            gain = 0;
            load = p.R1;
            continue;
        }
        const double z = parallel(p.R2, r_inf, load);
        gain *= z / (p.R1 + z);
        load = p.R1 + z;
    }
    return {gain, first_load};
}

}  // namespace

HighFrequencyGain opamp_high_frequency_gain(std::span<const StageCircuit> stages,
                                            const OpAmp& opamp) {
    if (!is_valid_input(stages, opamp)) return {kNotANumber, kNotANumber, kNotANumber};
    const Search s = search_of(stages, opamp);
    const int n = s.count();
    const double limit = at_infinite_frequency(stages, opamp).gain;
    const double cutoff = first_crossing(s, 2);
    double omega = std::isnan(cutoff) ? s.grid.highest : cutoff;
    const double end = 1e3 * std::fmax(opamp_cascade::largest_root_magnitude(stages, opamp), omega);
    const auto slope = [&](double w) { return s.gain_slope(n, w).slope; };
    HighFrequencyGain result{limit, kInfinity, limit};
    double sl = slope(omega);
    for (int i = 0; i < kMaxGridPoints && omega < end; ++i) {
        const double next = s.grid.next(omega);
        const double sl_next = slope(next);
        if (sl < 0 && sl_next >= 0) {
            const double minimum = bracketed_root(slope, omega, next, sl, sl_next);
            const double gain = s.gain(n, minimum);
            if (gain <= result.lowest_gain) result = {gain, minimum / kExactTwoPi, limit};
        }
        omega = next;
        sl = sl_next;
    }
    return result;
}

// ---- slew rate ----

SlewRate opamp_stage_slew_rate(std::span<const StageCircuit> stages, const OpAmp& opamp, int k,
                               double amplitude_v) {
    if (!is_valid_input(stages, opamp) || !is_valid_output(stages, k)) return {};
    const Search s = search_of(stages, opamp);
    const Grid& grid = s.grid;
    double highest = 0;
    for (int i = 0; i < k; ++i)
        highest = std::fmax(highest, grid.stage[i].omega);
    const double end =
        std::fmax(1e4 * grid.highest, 1e3 * opamp_cascade::largest_root_magnitude(stages, opamp));
    // The slope of ln(omega |H_k|): 1/omega + d ln|H_k| / d omega.
    const auto slope = [&](double w) { return 1 / w + s.gain_slope(k, w).slope; };
    const auto rate = [&](double w) { return w * s.gain(k, w); };
    SlewRate best{};
    double omega = grid.lowest * 1e-3;
    double sl = slope(omega);
    for (int i = 0; i < kMaxGridPoints && omega < end; ++i) {
        const double next = grid.next(omega);
        const double sl_next = slope(next);
        if (sl > 0 && sl_next <= 0) {
            const double peak = bracketed_root(slope, omega, next, sl, sl_next);
            const double value = rate(peak) * amplitude_v * 1e-6;
            if (!best.found || value > best.v_per_us) best = {true, value, peak / kExactTwoPi};
        }
        if (sl < 0 && sl_next >= 0 && next > highest && best.found) return best;
        omega = next;
        sl = sl_next;
    }
    if (sl > 0 && k == 1 && stages[0].order == 1) {
        // omega |H_1| still rising: an infinite GBW, where it tends to 1 / (a (1 + eps (1 +
        // Ro / R_load))), R_load stage 2's input resistance at infinite frequency.
        const opamp_cascade::OpAmpTerms t = opamp_cascade::terms_of(opamp);
        const double load = at_infinite_frequency(stages, opamp).first_load_ohm;
        const double leak = std::isinf(load) ? 0 : t.ro / load;
        const double a = stages[0].parts.R1 * stages[0].parts.C1;
        const double value = amplitude_v / (a * (1 + t.eps * (1 + leak))) * 1e-6;
        if (!best.found || value > best.v_per_us) best = {true, value, kInfinity};
    }
    return best;
}

CascadeOpAmpFigures cascade_opamp_figures(std::span<const StageCircuit> stages, const OpAmp& opamp,
                                          CutoffRule rule, double amplitude_v) {
    KESTRANE_EXPECT(is_valid_input(stages, opamp));
    CascadeOpAmpFigures figures;
    figures.ideal_cutoff_hz = opamp_cutoff_hz(stages, kIdealOpAmp, rule);
    figures.needed_gbw = opamp_cascade_needed_gbw(stages, opamp, rule);
    figures.high_frequency = opamp_high_frequency_gain(stages, opamp);
    // Stages or an op-amp refused: no cutoff and no stage's figures (there may be more stages
    // than the figures hold).
    if (!is_valid_input(stages, opamp)) {
        figures.cutoff_hz = kNotANumber;
        return figures;
    }
    // One search for the cutoff and every stage's peak: their walks share its grid's points.
    const Search s = search_of(stages, opamp);
    figures.cutoff_hz = cutoff_of(s, rule);
    figures.stage_count = static_cast<int>(stages.size());
    for (int k = 1; k <= figures.stage_count; ++k) {
        figures.slew_rate[k - 1] = opamp_stage_slew_rate(stages, opamp, k, amplitude_v);
        figures.peak[k - 1] = stage_peak(s, k);
    }
    return figures;
}

}  // namespace kestrane
