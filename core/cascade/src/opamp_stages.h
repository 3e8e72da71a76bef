// The loaded stages of a cascade with an op-amp at one frequency, each stage's dominant poles,
// and the graded frequency grid the searches walk: what cascade_opamp.cpp, compensation.cpp and
// the tests share. Internal to the cascade library. Formulas in cascade_opamp.h.
#pragma once

#include <span>

#include "core_arithmetic.h"
#include "kestrane/cascade/cascade_opamp.h"

namespace kestrane::opamp_cascade {

// The op-amp as the formulas use it: e(s) = 1/A(s) = eps + s g.
struct OpAmpTerms {
    double eps = 0;  // 1/A0, 0 for an infinite A0
    double g = 0;    // 1/(2 pi GBW) in seconds, 0 for an infinite GBW
    double ro = 0;   // Ro, ohms
};
OpAmpTerms terms_of(const OpAmp& opamp);

// One loaded stage at s = j omega.
struct LoadedStage {
    Complex h;          // H(j omega) of the stage with its load
    Complex log_slope;  // H'(s) / H(s), d/ds at s = j omega
    Complex load;  // z = Ro Y e Q / D (order 2) or Ro Y e / (1 + e) (order 1): H = H_own / (1 + z)
    Complex load_slope;  // dz/ds
};

// Every stage of a valid cascade at angular frequency `omega` >= 0 (rad/s), written to
// `out[0 .. stages.size())`: the input admittances are carried back from the last stage.
void loaded_stages(std::span<const StageCircuit> stages, const OpAmp& opamp, double omega,
                   LoadedStage* out);

// |H| of stages 1 to k together at omega, and d ln|H| / d omega.
struct GainSlope {
    double gain;
    double slope;
};
GainSlope output_gain(std::span<const StageCircuit> stages, const OpAmp& opamp, int k,
                      double omega);

// The dominant poles of a stage's own transfer function as circuit.h's dominant_q takes them:
// for order 2 the monic quadratic s^2 + b s + c of its complex pair, or of its two real poles
// of least magnitude (D found at the scale of sqrt(D0/D2), scaled by a power of two), omega =
// sqrt(c), q = sqrt(c)/b; for order 1 its real pole of least magnitude, q not a number.
struct DominantPoles {
    double omega;
    double q;
};
DominantPoles dominant_poles(const StageCircuit& stage, const OpAmp& opamp);

// The largest magnitude of the poles and zeros of every stage's own transfer function, rad/s.
double largest_root_magnitude(std::span<const StageCircuit> stages, const OpAmp& opamp);

// The graded frequency grid (angular): relative steps at most 5 %, a tenth of the relative
// distance to every stage's dominant omega and a tenth of every second-order stage's 1/q.
struct Grid {
    int count = 0;
    DominantPoles stage[kMaxStages];
    double lowest = 0;   // the least dominant omega (times q when q < 1)
    double highest = 0;  // the largest dominant omega

    double next(double omega) const;
};
Grid grid_of(std::span<const StageCircuit> stages, const OpAmp& opamp);

}  // namespace kestrane::opamp_cascade
