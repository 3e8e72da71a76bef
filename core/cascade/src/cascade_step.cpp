#include "kestrane/cascade/cascade_step.h"

#include <cmath>
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
    return {opamp_cascade::advance(ladder, level, x.z), opamp_cascade::advance(ladder, level, x.w)};
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

// The last time in [a.t, a.t + length] at which f keeps the sign it has at a, to 2^-48 of a
// step, with the state there: f changes sign once in the interval (it is monotonic there).
template <class F>
Node locate(const Run& run, const Node& a, double length, F f) {
    Trajectory x = a.x;
    double tau = 0;
    const bool positive = f(x) > 0;
    const int levels = static_cast<int>(run.ladder.f.size());
    for (int level = a.level; level < levels; ++level) {
        const double h = std::ldexp(run.ladder.step, -level);
        if (tau + h > length * (1 + 1e-12)) continue;
        const Trajectory next = advanced(run.ladder, level, x);
        const double v = f(next);
        if (v != 0 && (v > 0) == positive) {
            x = next;
            tau += h;
        }
    }
    return run.node(a.t + tau, x, a.level);
}

// A stretch between two neighbouring nodes, over which y is monotonic.
struct Interval {
    bool found = false;
    Node a;
    Node b;
};

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
};

// Walks the grid up to where the tail bound shows 1e-6 of the final value, locating every
// extremum between grid points, and feeds the nodes to the tracker. False when the bound is
// never reached.
bool walk(const Run& run, const GridPlan& plan, const opamp_cascade::TailBound& tail,
          Tracker& tracker) {
    const StateSpace& s = *run.system;
    const double limit = kHorizonFraction * std::fabs(s.final_value);
    bool has_previous = false;
    Node previous;
    const auto visit = [&](const Node& node) {
        if (has_previous &&
            ((previous.slope > 0 && node.slope <= 0) || (previous.slope < 0 && node.slope >= 0))) {
            const Node e = locate(run, previous, node.t - previous.t,
                                  [&run](const Trajectory& v) { return run.slope(v); });
            if (e.t > previous.t) tracker.add(e);
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
        if (tail.bound(s, x.z) <= limit) return true;
    }
    return false;
}

// The time in (a, b) where y passes `level` (a and b on either side, y monotonic between).
double crossing(const Run& run, const Interval& i, double level) {
    const auto f = [&](const Trajectory& v) { return run.value(v) - level; };
    return locate(run, i.a, i.b.t - i.a.t, f).t;
}

// The last time |y - final| exceeds the band, 0 when it never does.
double settling_time(const Run& run, const Tracker& tracker, int which) {
    const Interval& i = tracker.outside[which];
    if (!i.found) return 0;
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
