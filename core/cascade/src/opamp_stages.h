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

// The polynomials in s of one stage that its loaded response is formed from (see
// cascade_opamp.h): its own N and D, and for the load terms Q and, of its input admittance,
// the drive 1 + e + s Ro C1 e less Ro Y e ("own"), C1 + C2 + s R2 C1 C2 ("through") and, for
// order 1, 1 + s R1 C1.
struct StagePolynomials {
    int order = 2;
    double c1 = 0;
    Cubic n;
    Cubic d;
    Cubic q;
    Cubic own;
    Cubic through;
    Cubic rc;
};

// A valid cascade with one op-amp, its polynomials formed once for evaluations at many
// frequencies; `loads` is false when no stage loads the one before (Ro = 0, or an ideal
// op-amp), where every load term is 0.
struct CascadePolynomials {
    OpAmpTerms t;
    bool loads = false;
    Cubic e;  // eps + s g
    int count = 0;
    StagePolynomials stage[kMaxStages];
};
CascadePolynomials cascade_polynomials(std::span<const StageCircuit> stages, const OpAmp& opamp);

// Every stage of the cascade at angular frequency `omega` >= 0 (rad/s), written to
// `out[0 .. count)`: the input admittances are carried back from the last stage.
void loaded_stages(const CascadePolynomials& cascade, double omega, LoadedStage* out);

// |H| of stages 1 to k together at omega, and d ln|H| / d omega.
struct GainSlope {
    double gain;
    double slope;
};
GainSlope output_gain(const CascadePolynomials& cascade, int k, double omega);

// |H| of stages 1 to k together at omega alone: the same value as output_gain's, bit for bit,
// without the derivatives.
double output_gain_only(const CascadePolynomials& cascade, int k, double omega);

// Every loaded stage's own |H| at omega, written to `gains[0 .. count)`: output_gain_only of
// stage k is 1 times these in signal order up to k.
void stage_gains(const CascadePolynomials& cascade, double omega, double* gains);

// 1 times gains[0 .. k) in signal order: output_gain_only from stage_gains.
double product_of(const double* gains, int k);

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
