// The records shared by the design core and its callers, and the one way the core turns a
// double into a single-precision value.
#pragma once

#include <cfloat>
#include <cmath>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the design arithmetic assumes IEEE 754 single and double precision");
static_assert(FLT_EVAL_METHOD == 0,
              "the design arithmetic rounds every operation to its own type: build 32-bit x86 "
              "with -msse2 -mfpmath=sse, not with the x87's extended precision");

namespace kestrane {

// `value` rounded to single precision as IEEE arithmetic rounds it: to the nearest float, ties
// to even, and from 2^128 - 2^103 (the largest float plus half its last place) on to an
// infinity with the value's sign. C++ leaves a cast of a double beyond the float range
// undefined, so that case is spelled out here; every conversion of a double to a float in the
// design core goes through this function. A not-a-number stays one.
inline float to_single(double value) {
    constexpr double kRoundsToInfinity = 0x1.ffffffp+127;
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    if (std::fabs(value) >= kRoundsToInfinity) return value > 0 ? kInfinity : -kInfinity;
    return static_cast<float>(value);
}

// A number the user typed stored in single precision, as the cutoff and R1 are: beyond the
// largest single-precision magnitude that magnitude, a non-zero value below the smallest
// normal magnitude that smallest normal magnitude, each with the value's sign; otherwise
// to_single. Infinities clamp like any large magnitude; a not-a-number stays one.
inline float to_single_clamped(double value) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kSmallestNormal = std::numeric_limits<float>::min();
    const double magnitude = std::fabs(value);
    if (magnitude > kLargest) return to_single(std::copysign(kLargest, value));
    if (magnitude != 0 && magnitude < kSmallestNormal) {
        return to_single(std::copysign(kSmallestNormal, value));
    }
    return to_single(value);
}

// The four parts of the filter. R1 and R2 in ohms, C1 and C2 in farads, each held in
// single precision. R1 is the user's value; the search changes only R2, C1 and C2.
struct FilterComponents {
    float R1 = 0;
    float R2 = 0;
    float C1 = 0;
    float C2 = 0;
};

// What one design aims at, formed once from the cutoff the user typed (make_targets).
struct DesignTargets {
    float cutoff_hz = 0;    // the cutoff in hertz
    float flat_top_hz = 0;  // the top of the band that must be flat, a third of the cutoff
    float probe_hz = 0;     // the first frequency the passband search tries, 500 x cutoff
};

}  // namespace kestrane
