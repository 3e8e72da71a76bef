// The cascade with an op-amp as a linear system, the exact exponential of its matrix, and the
// Lyapunov bound on its tail: the machinery under cascade_step.h. Internal to the cascade
// library and its tests.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "kestrane/cascade/cascade_opamp.h"

namespace kestrane::opamp_cascade {

// Three states a second-order stage, and the unit input.
inline constexpr int kMaxStates = 3 * kMaxStages + 1;

struct Matrix {
    int n = 0;
    double a[kMaxStates][kMaxStates] = {};
};

using Vector = std::array<double, kMaxStates>;

// The augmented system z' = M z, z = (states, u) with u = 1 constant after the step. Stage k's
// states, in order: for order 2 the voltage across C1 (x minus the output), across C2 (p) and,
// with a finite GBW, the op-amp's internal node; for order 1 across C1 (p) and the op-amp's
// node. Derivation in state_space.cpp.
struct StateSpace {
    int states = 0;  // without the input; the input is state `states`
    int stage_count = 0;
    Matrix m;                   // (states + 1) square, its last row zero
    Vector output[kMaxStages];  // stage k's output voltage, a row over z
    Vector final_state;         // the state at rest with u = 1
    double final_value = 0;
};
StateSpace state_space(std::span<const StageCircuit> stages, const OpAmp& opamp);

// The ladder F = e^{M T / 2^i} - I for i = 0 .. levels - 1, formed at the deepest level by its
// Taylor series (||M h||_1 <= 1/2) and up by (I + F)^2 - I = 2F + F F. Each F is kept by its
// columns (transposed: columns[i].a[j] is F's column j), for products taken a column at a time.
struct Ladder {
    double step = 0;  // T
    std::vector<Matrix> columns;
};
Ladder ladder(const Matrix& m, double step, int levels);

// z + F z: the state one step of the ladder's level `level` on.
Vector advance(const Ladder& ladder, int level, const Vector& z);

// advance of z and of w together, in one pass over F: the same operations, the same bits.
void advance_pair(const Ladder& ladder, int level, Vector& z, Vector& w);

// The state `t` >= 0 after z (t/T steps of T, then the binary digits of the remainder).
Vector advance_by(const Ladder& ladder, const Vector& z, double t);

double dot(const Vector& row, const Vector& z, int size);

// A bound on |y - final| that never increases along a trajectory: sqrt(c P^-1 c^T) times
// sqrt((x - x_f)^T P (x - x_f)), P from A^T P + P A = -I. Not valid when the check fails
// (an unstable cascade, or one too ill-conditioned for the check).
struct TailBound {
    bool valid = false;
    Matrix p;
    double output_factor = 0;  // sqrt(c P^-1 c^T)
    double bound(const StateSpace& system, const Vector& z) const;
};
TailBound tail_bound(const StateSpace& system);

// ||M||_1, the largest column sum of magnitudes.
double norm_1(const Matrix& m);

}  // namespace kestrane::opamp_cascade
