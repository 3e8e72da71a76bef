// The records shared by the design core and the dialogue.
#pragma once

#include <cfloat>
#include <limits>

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the design arithmetic assumes IEEE 754 single and double precision");
static_assert(FLT_EVAL_METHOD == 0,
              "the design arithmetic rounds every operation to its own type: build 32-bit x86 "
              "with -msse2 -mfpmath=sse, not with the x87's extended precision");

namespace kestrane {

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
