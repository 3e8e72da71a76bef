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

// The grid up to where the tail bound shows 1e-6 of the final value, with every extremum in
// place. Empty when the bound is never reached.
std::vector<Node> grid_nodes(const Run& run, const GridPlan& plan,
                             const opamp_cascade::TailBound& tail) {
    const StateSpace& s = *run.system;
    const double limit = kHorizonFraction * std::fabs(s.final_value);
    std::vector<Node> grid;
    Trajectory x = run.start();
    double t = 0;
    for (int level = plan.graded_levels; level >= 1; --level) {
        for (int k = 0; k < kStepsPerLevel; ++k) {
            grid.push_back(run.node(t, x, level));
            x = advanced(run.ladder, level, x);
            t += std::ldexp(plan.step, -level);
        }
    }
    const double graded_end = t;
    bool settled = false;
    for (int k = 0; k <= kMostSteps && !settled; ++k) {
        t = graded_end + k * plan.step;
        if (k > 0) x = advanced(run.ladder, 0, x);
        grid.push_back(run.node(t, x, 0));
        settled = tail.bound(s, x.z) <= limit;
    }
    if (!settled) return {};
    // Extrema where the slope changes sign between neighbours.
    std::vector<Node> nodes;
    for (std::size_t j = 0; j < grid.size(); ++j) {
        nodes.push_back(grid[j]);
        if (j + 1 == grid.size()) break;
        const Node& a = grid[j];
        const Node& b = grid[j + 1];
        if ((a.slope > 0 && b.slope <= 0) || (a.slope < 0 && b.slope >= 0)) {
            const Node e =
                locate(run, a, b.t - a.t, [&run](const Trajectory& v) { return run.slope(v); });
            if (e.t > a.t) nodes.push_back(e);
        }
    }
    return nodes;
}

// The time in (a, b) where y passes `level` (a and b on either side, y monotonic between).
double crossing(const Run& run, const Node& a, const Node& b, double level) {
    return locate(run, a, b.t - a.t, [&](const Trajectory& v) { return run.value(v) - level; }).t;
}

struct Edge {
    double start;
    double end;
};

// The main edge: the first reaching of 90 %, and the last upward crossing of 10 % before it.
Edge main_edge(const Run& run, const std::vector<Node>& nodes, double final_value) {
    const double high = 0.9 * final_value;
    const double low = 0.1 * final_value;
    std::size_t reach = 0;
    while (reach < nodes.size() && nodes[reach].y < high)
        ++reach;
    if (reach == 0 || reach == nodes.size()) return {0, 0};
    const double end = crossing(run, nodes[reach - 1], nodes[reach], high);
    for (std::size_t j = reach; j-- > 0;) {
        if (nodes[j].y < low && nodes[j + 1].y >= low) {
            return {crossing(run, nodes[j], nodes[j + 1], low), end};
        }
    }
    return {0, end};
}

// The last time |y - final| exceeds fraction |final|.
double settling_time(const Run& run, const std::vector<Node>& nodes, double final_value,
                     double fraction) {
    const double band = fraction * std::fabs(final_value);
    for (std::size_t j = nodes.size() - 1; j-- > 0;) {
        const double departure = nodes[j].y - final_value;
        if (std::fabs(departure) > band) {
            return crossing(run, nodes[j], nodes[j + 1],
                            final_value + std::copysign(band, departure));
        }
    }
    return 0;
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

bool is_valid_input(std::span<const StageCircuit> stages, const OpAmp& opamp) {
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
    const std::vector<Node> nodes = grid_nodes(run, plan, tail);
    if (nodes.empty()) return figures;

    const double final_value = s.final_value;
    figures.settles = true;
    figures.final_value = final_value;
    figures.initial_value = nodes.front().y;
    for (const Node& node : nodes) {
        const double overshoot = 100 * (node.y - final_value) / final_value;
        if (overshoot > figures.overshoot_percent) {
            figures.overshoot_percent = overshoot;
            figures.peak_time_s = node.t;
        }
    }
    const Edge edge = main_edge(run, nodes, final_value);
    figures.rise_start_s = edge.start;
    figures.rise_time_s = edge.end - edge.start;
    figures.settling_1_percent_s = settling_time(run, nodes, final_value, 0.01);
    figures.settling_01_percent_s = settling_time(run, nodes, final_value, 0.001);
    figures.span_s = figures.settling_01_percent_s > 0
                         ? kSpanPerSettling * figures.settling_01_percent_s
                         : nodes.back().t;
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
