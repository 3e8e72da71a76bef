// The exact step response of a transfer function, ready to evaluate at any time: the closed
// form of the second-order system (ideal op-amp) or the pole clusters of the general one.
// Internal to the design core, its tests and its benchmark.
//
// The general form. With Y(s) = N(s) / (s D(s)) and D = dn (s - p1)(s - p2)(s - p3),
// y(t) = N(0)/D(0) + sum over clusters C of poles of (e^{z t} v_C(z))[C], the divided
// difference over the cluster's poles of e^{z t} times v_C(z) = N(z) / (z dn prod_{j not in C}
// (z - p_j)). A cluster of one pole is its residue term c e^{p t}; poles closer than a tenth
// of their magnitude share a cluster, where the divided difference replaces residues that
// would grow without bound and cancel. By Leibniz's rule the divided difference is
// sum_l E[x_0..x_l](t) v[x_l..x_last]: the v-differences do not depend on t and are formed
// once (by the quotient rule, without cancellation), and the divided differences E of the
// exponential are formed at each t from sinh(w)/w and a Taylor series where the points are
// close, so that none cancels.
#pragma once

#include "kestrane/circuit/opamp.h"
#include "kestrane/numeric/polynomial.h"

namespace kestrane {

// Poles nearer each other than this fraction of their magnitude share a cluster.
inline constexpr double kClusterFraction = 0.1;

struct PoleCluster {
    int size = 0;
    Complex pole[3];
    Complex value_factor[3];  // v[x_l..x_last] for the response
    Complex slope_factor[3];  // the same with N(z)/(dn prod (z - p_j)), for its derivative
    double largest_real = 0;  // the largest real part of the cluster's poles (negative)
};

struct StepModel {
    double final_value = 0;    // N(0)/D(0)
    double initial_value = 0;  // y just after the step: N3/D3 with N of D's degree, else 0
    bool closed_form = false;  // the ideal op-amp's second-order system
    // Closed form: y = F (1 - e^{ct} (cosh(dt) - c sinh(dt)/d)), c = -b/2, d^2 = b^2/4 - g
    // for the monic s^2 + b s + g.
    double decay = 0;          // c
    double delta_squared = 0;  // d^2: negative under-damped, 0 critical, positive over-damped
    double pair_c = 0;         // g
    int cluster_count = 0;
    PoleCluster cluster[3];
    double largest_imaginary = 0;  // the largest |Im p| over the poles, rad/s
    double slowest_decay = 0;      // the least -Re p over the poles, 1/s
};

// The model of `h`, whose D has degree 2 or 3 with positive coefficients (a valid component
// set with a valid op-amp). With `closed_form_allowed`, a constant N over a D of degree 2 (the
// ideal op-amp) uses the closed form; otherwise the clusters, as for the general system.
StepModel make_step_model(const TransferFunction& h, bool closed_form_allowed = true);

// y(t) and y'(t) for t >= 0 (at 0, the values just after the step).
double step_value_at(const StepModel& model, double t);
double step_slope_at(const StepModel& model, double t);

// A bound on |y(t) - final| for t >= 0: the sum over clusters and Leibniz terms of
// t^l / l! e^{t Re p} |v[...]| (Hermite-Genocchi), which for a single pole is |c| e^{t Re p}.
double step_tail_bound(const StepModel& model, double t);

// The least time after which step_tail_bound stays at or below `fraction` |final|.
double settled_after(const StepModel& model, double fraction);

}  // namespace kestrane
