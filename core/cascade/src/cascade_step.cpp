#include "kestrane/cascade/cascade_step.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "core_arithmetic.h"
#include "opamp_stages.h"
#include "state_space.h"

namespace kestrane {

using opamp_cascade::Ladder;
using opamp_cascade::StateSpace;
using opamp_cascade::Vector;

namespace {

// ---- the grid ----

// Grid steps: T at most 1/2000 of 24 slowest decay times (e^-24 is below 1e-10) and 1/8 of the
// half-period of the fastest oscillation of any stage's own dominant poles; near 0, steps
// T/2^i from 1/8 of the fastest time constant 1/||M||_1 up, 8 of each.
constexpr double kDecayTimes = 24;
constexpr double kStepsPerRun = 2000;
constexpr double kStepsPerHalfPeriod = 8;
constexpr int kStepsPerLevel = 8;
// Levels below the grid's finest step, for locating a time: 2^-48 of a step.
constexpr int kLocatingLevels = 48;
constexpr double kHorizonFraction = 1e-6;
constexpr int kMostSteps = 1 << 21;
constexpr double kSpanPerSettling = 1.5;

struct GridPlan {
    double step = 0;
    int graded_levels = 0;  // levels 1 .. graded_levels run 8 steps each before the steps of T
};

GridPlan grid_plan(std::span<const StageCircuit> stages, const OpAmp& opamp, const StateSpace& s) {
    double slowest = std::numeric_limits<double>::infinity();
    double fastest_oscillation = 0;
    for (const StageCircuit& stage : stages) {
        const opamp_cascade::DominantPoles poles = opamp_cascade::dominant_poles(stage, opamp);
        double decay = poles.omega;
        if (stage.order == 2) {
            const double half_damping = 1 / (2 * poles.q);  // zeta
            if (half_damping < 1) {
                decay = poles.omega * half_damping;
                fastest_oscillation =
                    std::fmax(fastest_oscillation,
                              poles.omega * std::sqrt((1 - half_damping) * (1 + half_damping)));
            } else {
                // The slower real pole, omega (zeta - sqrt(zeta^2 - 1)), without cancellation.
                const double root = std::sqrt((half_damping - 1) * (half_damping + 1));
                decay = poles.omega / (half_damping + root);
            }
        }
        slowest = std::fmin(slowest, decay);
    }
    GridPlan plan;
    plan.step = kDecayTimes / slowest / kStepsPerRun;
    if (fastest_oscillation > 0) {
        plan.step =
            std::fmin(plan.step, std::numbers::pi / (kStepsPerHalfPeriod * fastest_oscillation));
    }
    double reach = 8 * opamp_cascade::norm_1(s.m) * plan.step;
    while (reach > 1 && plan.graded_levels < 200) {
        reach /= 2;
        ++plan.graded_levels;
    }
    return plan;
}

// ---- the response on the grid ----

// The state z and its derivative w = M z, both carried by the exact exponential: w is never
// formed from z again, where a stiff system's fast rows (entries about 2 pi GBW) would cancel
// and leave y' = c w with an error of about 1e-16 2 pi GBW.
struct Trajectory {
    Vector z{};
    Vector w{};
};

Trajectory advanced(const Ladder& ladder, int level, const Trajectory& x) {
    Trajectory next = x;
    opamp_cascade::advance_pair(ladder, level, next.z, next.w);
    return next;
}

struct Node {
    double t = 0;
    Trajectory x;
    double y = 0;
    double slope = 0;
    int level = 0;  // the ladder level of the step that follows
};

struct Run {
    const StateSpace* system = nullptr;
    Ladder ladder;
    int size = 0;  // of the augmented state
    Vector output{};

    double value(const Trajectory& x) const { return opamp_cascade::dot(output, x.z, size); }
    double slope(const Trajectory& x) const { return opamp_cascade::dot(output, x.w, size); }
    Node node(double t, const Trajectory& x, int level) const {
        return {t, x, value(x), slope(x), level};
    }
    // Just after the step: rest, the input 1, and w = M z, the input's column.
    Trajectory start() const {
        Trajectory x;
        const int input = system->states;
        x.z[static_cast<std::size_t>(input)] = 1;
        for (int i = 0; i < size; ++i)
            x.w[static_cast<std::size_t>(i)] = system->m.a[i][input];
        return x;
    }
};

// The descent both searches share: from `start`, steps down the ladder from `level`, each
// taken when it stays within `length` and `sign_of` the state there is that at the start (not
// 0), so that it ends at the last such time to the ladder's finest step (2^-48 of the grid's
// finest step): the sign changes once in the interval (y or y' is monotonic there). The steps
// taken go to `taken` (their levels, rising; at most kMaxLevels) and their count is returned.
constexpr int kMaxLevels = 256;

template <class Sign>
int descend(const Ladder& ladder, int level, Vector& start, double length, Sign sign_of,
            int* taken) {
    const int levels = static_cast<int>(ladder.columns.size());
    KESTRANE_CHECK(levels <= kMaxLevels);
    const bool positive = sign_of(start) > 0;
    double tau = 0;
    int count = 0;
    for (; level < levels; ++level) {
        const double h = std::ldexp(ladder.step, -level);
        if (tau + h > length * (1 + 1e-12)) continue;
        const Vector next = opamp_cascade::advance(ladder, level, start);
        const double v = sign_of(next);
        if (v != 0 && (v > 0) == positive) {
            start = next;
            tau += h;
            taken[count++] = level;
        }
    }
    return count;
}

double taken_time(const Ladder& ladder, const int* taken, int count) {
    double tau = 0;
    for (int i = 0; i < count; ++i)
        tau += std::ldexp(ladder.step, -taken[i]);
    return tau;
}

// The extremum after node a, within `length`: the last time at which the slope y' = c w keeps
// its sign at a. The descent needs w alone; z is then carried through the same steps, the
// same operations in the same order as when both are carried at every step taken.
Node extremum_after(const Run& run, const Node& a, double length) {
    int taken[kMaxLevels];
    Trajectory x = a.x;
    const auto slope = [&run](const Vector& w) {
        return opamp_cascade::dot(run.output, w, run.size);
    };
    const int count = descend(run.ladder, a.level, x.w, length, slope, taken);
    for (int i = 0; i < count; ++i)
        x.z = opamp_cascade::advance(run.ladder, taken[i], x.z);
    return run.node(a.t + taken_time(run.ladder, taken, count), x, a.level);
}

// The time after node a, within `length`, where y passes `level`: the last at which y - level
// keeps its sign at a (z alone is carried).
double passing_time(const Run& run, const Node& a, double length, double level) {
    int taken[kMaxLevels];
    Vector z = a.x.z;
    const auto gap = [&](const Vector& v) {
        return opamp_cascade::dot(run.output, v, run.size) - level;
    };
    const int count = descend(run.ladder, a.level, z, length, gap, taken);
    return a.t + taken_time(run.ladder, taken, count);
}

// A stretch between two neighbouring nodes, over which y is monotonic; or, with
// `from_extremum`, the stretch from the extremum between grid points a and b, not yet located,
// to b.
struct Interval {
    bool found = false;
    Node a;
    Node b;
    bool from_extremum = false;
};

// Where an extremum between two grid points a and b can lie, without locating it: a maximum
// at or above both, a minimum at or below both, and either within the tail bound at a of the
// final value (the bound holds for every later time). Widened by kExtremumSlack of the final
// value, far beyond the rounding of y (a few 1e-15 of it) and of the bound, so that what the
// range decides holds for the value the extremum's location would compute.
struct ExtremumRange {
    double low;
    double high;
};

constexpr double kExtremumSlack = 1e-9;

ExtremumRange extremum_range(const Node& a, const Node& b, double bound_at_a, double final_value) {
    const double slack = kExtremumSlack * std::fabs(final_value);
    const double reach = bound_at_a * (1 + kExtremumSlack) + slack;
    if (a.slope > 0) return {std::fmax(a.y, b.y) - slack, final_value + reach};
    return {final_value - reach, std::fmin(a.y, b.y) + slack};
}

// What the figures need, gathered node by node in time order (grid points and extrema), so
// that no run, however long, is kept in memory.
struct Tracker {
    double final_value = 0;
    bool has_previous = false;
    Node previous;
    Node peak;                 // the highest node
    Interval reach_high;       // the first where y reaches 90 % of final
    Interval rise_low;         // the last where y rises through 10 % before that
    Interval outside[2];       // the last starting outside the 1 % and 0.1 % bands
    double band[2] = {0, 0};   // 1 % and 0.1 % of |final|
    bool starts_high = false;  // y(0+) is 90 % of final or more

    void add(const Node& node) {
        if (!has_previous) {
            starts_high = node.y >= 0.9 * final_value;
            peak = node;
        } else {
            add_interval(previous, node);
        }
        if (node.y > peak.y) peak = node;
        previous = node;
        has_previous = true;
    }

    void add_interval(const Node& a, const Node& b) {
        const double high = 0.9 * final_value;
        const double low = 0.1 * final_value;
        if (!reach_high.found && !starts_high) {
            if (a.y < low && b.y >= low) rise_low = {true, a, b};
            if (a.y < high && b.y >= high) reach_high = {true, a, b};
        }
        for (int i = 0; i < 2; ++i) {
            if (std::fabs(a.y - final_value) > band[i]) outside[i] = {true, a, b};
        }
    }

    bool surely_outside(const ExtremumRange& e, int i) const {
        return e.low > final_value + band[i] || e.high < final_value - band[i];
    }
    bool surely_inside(const ExtremumRange& e, int i) const {
        return e.low >= final_value - band[i] && e.high <= final_value + band[i];
    }

    // Whether the extremum between the last node and the next grid point must be located
    // for the figures to come out as with every extremum located: while the main edge is
    // open (its crossings need every node); when it might be the highest node; and when its
    // range does not settle on which side of a band it lies, or settles inside a band that
    // the last node lies outside (the stretch to it could be the last outside).
    bool needs_extremum(const ExtremumRange& e) const {
        if (!reach_high.found && !starts_high) return true;
        if (e.high > peak.y) return true;
        for (int i = 0; i < 2; ++i) {
            const bool outside_before = std::fabs(previous.y - final_value) > band[i];
            if (surely_outside(e, i)) continue;
            if (!surely_inside(e, i) || outside_before) return true;
        }
        return false;
    }

    // Adds grid point b with the extremum before it left unlocated (needs_extremum false): it
    // cannot be the peak; where it lies outside a band, the stretch from it to b is the last
    // outside so far, to be located if it stays the last; inside, with the node before inside
    // too, neither stretch is outside. The edge's intervals are closed.
    void add_after_extremum(const Node& b, const ExtremumRange& e) {
        for (int i = 0; i < 2; ++i) {
            if (surely_outside(e, i)) outside[i] = {true, previous, b, true};
        }
        if (b.y > peak.y) peak = b;
        previous = b;
    }
};

// Walks the grid up to where the tail bound shows 1e-6 of the final value, feeding the nodes
// and every extremum between grid points that the figures need to the tracker. False when the
// bound is never reached.
bool walk(const Run& run, const GridPlan& plan, const opamp_cascade::TailBound& tail,
          Tracker& tracker) {
    const StateSpace& s = *run.system;
    const double limit = kHorizonFraction * std::fabs(s.final_value);
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    bool has_previous = false;
    Node previous;
    double bound_before = kUnbounded;  // the tail bound at the previous node, when known
    const auto visit = [&](const Node& node) {
        if (has_previous &&
            ((previous.slope > 0 && node.slope <= 0) || (previous.slope < 0 && node.slope >= 0))) {
            const ExtremumRange e = extremum_range(previous, node, bound_before, s.final_value);
            if (!tracker.needs_extremum(e)) {
                tracker.add_after_extremum(node, e);
                previous = node;
                return;
            }
            const Node extremum = extremum_after(run, previous, node.t - previous.t);
            if (extremum.t > previous.t) tracker.add(extremum);
        }
        tracker.add(node);
        previous = node;
        has_previous = true;
    };
    Trajectory x = run.start();
    double t = 0;
    for (int level = plan.graded_levels; level >= 1; --level) {
        for (int k = 0; k < kStepsPerLevel; ++k) {
            visit(run.node(t, x, level));
            x = advanced(run.ladder, level, x);
            t += std::ldexp(plan.step, -level);
        }
    }
    const double graded_end = t;
    for (int k = 0; k <= kMostSteps; ++k) {
        if (k > 0) x = advanced(run.ladder, 0, x);
        visit(run.node(graded_end + k * plan.step, x, 0));
        bound_before = tail.bound(s, x.z);
        if (bound_before <= limit) return true;
    }
    return false;
}

// The time in (a, b) where y passes `level` (a and b on either side, y monotonic between).
double crossing(const Run& run, const Interval& i, double level) {
    return passing_time(run, i.a, i.b.t - i.a.t, level);
}

// The last time |y - final| exceeds the band, 0 when it never does. A last stretch from an
// extremum not yet located is located now, as the walk would have: from it when it lies after
// the grid point before, else from that point.
double settling_time(const Run& run, const Tracker& tracker, int which) {
    Interval i = tracker.outside[which];
    if (!i.found) return 0;
    if (i.from_extremum) {
        const Node e = extremum_after(run, i.a, i.b.t - i.a.t);
        if (e.t > i.a.t) i.a = e;
    }
    const double departure = i.a.y - tracker.final_value;
    return crossing(run, i, tracker.final_value + std::copysign(tracker.band[which], departure));
}

Run run_of(const StateSpace& s, double step, int levels) {
    Run run;
    run.system = &s;
    run.size = s.m.n;
    run.output = s.output[s.stage_count - 1];
    run.ladder = opamp_cascade::ladder(s.m, step, levels);
    return run;
}

// Levels enough that the deepest step h has ||M h||_1 <= 1/2.
int levels_for(const StateSpace& s, double step) {
    double reach = 2 * opamp_cascade::norm_1(s.m) * step;
    int levels = 1;
    while (reach > 1 && levels < 1100) {
        reach /= 2;
        ++levels;
    }
    return levels;
}

[[maybe_unused]] bool is_valid_input(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    return is_valid_cascade_circuit(stages) && is_valid_opamp(opamp);
}

}  // namespace

CascadeStepFigures cascade_step_figures(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    KESTRANE_EXPECT(is_valid_input(stages, opamp));
    const StateSpace s = opamp_cascade::state_space(stages, opamp);
    CascadeStepFigures figures;
    const opamp_cascade::TailBound tail = opamp_cascade::tail_bound(s);
    if (!tail.valid) return figures;
    const GridPlan plan = grid_plan(stages, opamp, s);
    const Run run = run_of(s, plan.step, plan.graded_levels + kLocatingLevels + 1);
    Tracker tracker;
    tracker.final_value = s.final_value;
    tracker.band[0] = 0.01 * std::fabs(s.final_value);
    tracker.band[1] = 0.001 * std::fabs(s.final_value);
    if (!walk(run, plan, tail, tracker)) return figures;

    const double final_value = s.final_value;
    figures.settles = true;
    figures.final_value = final_value;
    figures.initial_value = opamp_cascade::dot(run.output, run.start().z, run.size);
    const double overshoot = 100 * (tracker.peak.y - final_value) / final_value;
    if (overshoot > 0) {
        figures.overshoot_percent = overshoot;
        figures.peak_time_s = tracker.peak.t;
    }
    // The main edge: the first reaching of 90 %, from the last rise through 10 % before it
    // (from 0 when there is none: the response never lay below 10 % after the step).
    if (tracker.reach_high.found) {
        const double end = crossing(run, tracker.reach_high, 0.9 * final_value);
        figures.rise_start_s =
            tracker.rise_low.found ? crossing(run, tracker.rise_low, 0.1 * final_value) : 0;
        figures.rise_time_s = end - figures.rise_start_s;
    }
    figures.settling_1_percent_s = settling_time(run, tracker, 0);
    figures.settling_01_percent_s = settling_time(run, tracker, 1);
    figures.span_s = figures.settling_01_percent_s > 0
                         ? kSpanPerSettling * figures.settling_01_percent_s
                         : tracker.previous.t;
    return figures;
}

std::vector<StepSample> cascade_step_samples(std::span<const StageCircuit> stages,
                                             const OpAmp& opamp, double span_s, int count) {
    KESTRANE_EXPECT(is_valid_input(stages, opamp) && count >= 2 && span_s > 0 &&
                    std::isfinite(span_s));
    const StateSpace s = opamp_cascade::state_space(stages, opamp);
    const double step = span_s / (count - 1);
    const Run run = run_of(s, step, levels_for(s, step));
    Trajectory x = run.start();
    std::vector<StepSample> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (i > 0) x.z = opamp_cascade::advance(run.ladder, 0, x.z);
        samples[static_cast<std::size_t>(i)] = {i == count - 1 ? span_s : i * step, run.value(x)};
    }
    return samples;
}

double cascade_step_value(std::span<const StageCircuit> stages, const OpAmp& opamp, double t_s) {
    KESTRANE_EXPECT(is_valid_input(stages, opamp) && t_s >= 0 && std::isfinite(t_s));
    const StateSpace s = opamp_cascade::state_space(stages, opamp);
    Vector z{};
    z[static_cast<std::size_t>(s.states)] = 1;
    if (t_s == 0) return opamp_cascade::dot(s.output[s.stage_count - 1], z, s.m.n);
    const Run run = run_of(s, t_s, levels_for(s, t_s));
    return opamp_cascade::dot(run.output, opamp_cascade::advance(run.ladder, 0, z), s.m.n);
}

}  // namespace kestrane
