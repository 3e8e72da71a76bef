// The ideal cascade: the normalised poles of each family, the stages that realise them at a
// cutoff in hertz, and the exact parts of one stage. Everything is the real circuit's
// mathematics: exact 2 pi, continuous frequency, parts as doubles.
//
// Cutoff conventions, each at 1 rad/s for the normalised poles:
//  - Butterworth and Bessel: the -3.0103 dB point, |H| = 1/sqrt(2) (for Bessel this is
//    scipy's norm='mag'; Bessel cutoffs normalised for phase or for group delay lie elsewhere);
//  - Chebyshev type I: by default the -3.0103 dB point relative to the DC gain (every stage has
//    unity gain at DC, so an even order's ripple peaks lie r dB above 0 dB); on request the
//    ripple edge, where the gain last leaves the ripple band (scipy's cheby1 Wn);
//  - Linkwitz-Riley: the -6.02 dB point, |H| = 1/2 (each of its two Butterworths' -3 dB).
#pragma once

#include <span>

#include "kestrane/cascade/request.h"

namespace kestrane {

// A pole in rad/s.
struct Pole {
    double re = 0;
    double im = 0;
};

struct PoleSet {
    int count = 0;
    Pole poles[kMaxOrder];
};

// The request's poles with its cutoff at 1 rad/s, stage by stage in the cascade's order: the
// first-order stage's real pole, then for each second-order stage its pole with the positive
// (or, for a doubled real pole, zero) imaginary part followed by its conjugate. A request that
// validate_request refuses gives an empty set.
PoleSet normalised_poles(const CascadeRequest& request);

// One stage: order 2 is a unity-gain Sallen-Key stage of natural frequency f0 and quality
// factor Q = |p| / (2 |Re p|); order 1 is an RC into a follower with f0 = |p| / (2 pi) and q
// not a number (a first-order stage has no Q).
struct Stage {
    int order = 2;
    double f0_hz = 0;
    double q = 0;
};

struct CascadeDesign {
    CascadeRequest request;
    double cutoff_hz = 0;
    int stage_count = 0;  // 0 when the request or the cutoff was refused
    Stage stages[kMaxStages];
};

// The cascade for `request` with its cutoff (in the request's convention) at `cutoff_hz`: the
// stages in order of rising Q, the first-order stage (if any) first; f0 = |p| cutoff_hz with p
// the normalised pole (|p| lies within 0.09 to 21, so every f0 suits cascade_response.h). A
// request that validate_request refuses, or a cutoff outside 1e-280 to 1e280 Hz
// (not-a-numbers included), gives a design with no stages.
CascadeDesign design_cascade(const CascadeRequest& request, double cutoff_hz);

// The design's stages (stage_count of them).
std::span<const Stage> stages_of(const CascadeDesign& design);

// The exact parts of one stage around resistors of `r_ohm` ohms: for order 2, R1 = R2 = R,
// C1 = 2Q / (w0 R) and C2 = 1 / (2 Q w0 R) with w0 = 2 pi f0, so that R1 R2 C1 C2 = 1/w0^2
// and C2 (R1 + R2) = 1 / (Q w0); for order 1, R1 = R and C1 = 1 / (w0 R), R2 and C2 not a
// number. Parts of a stage with f0, Q or R not positive and finite are not a number.
struct StageParts {
    double R1 = 0;
    double R2 = 0;
    double C1 = 0;
    double C2 = 0;
};
StageParts exact_stage_parts(const Stage& stage, double r_ohm);

}  // namespace kestrane
