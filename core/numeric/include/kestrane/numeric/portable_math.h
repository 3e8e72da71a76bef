// Elementary functions that give the same bits on every platform: built only from + - * /,
// comparisons, exact scalings by powers of two (through the bits of the double) and integer
// arithmetic, each rounded as IEEE double arithmetic rounds it. The C library's functions may
// differ in the last place between glibc and the page's WebAssembly libc; these do not.
// Internal to the design core (and its tests and benchmark).
//
// Accuracy, measured against mpmath over 150 000 to 300 000 arguments per function, the
// awkward ones included (tests/portable_math_test.cpp holds a sample): every result lies
// within 1 unit in the last place of the exact value, that is, it is the correctly rounded
// value or its neighbour; the largest errors seen were 0.86 ulp (exp), 0.84 (log),
// 0.66 (log10), 0.77 (sin), 0.75 (cos) and 0.85 (atan2). Special values follow the C
// standard (infinities, zeros and not-a-numbers); errno and the floating-point exception
// flags are not set.
#pragma once

namespace kestrane::portable {

// e^x. Overflows to +infinity above about 709.78, underflows through the subnormals to +0
// below about -745.13.
double exp(double x);

// The natural logarithm. -infinity at +-0, not a number below 0, +infinity at +infinity.
double log(double x);

// The base-10 logarithm, with the same special values as log.
double log10(double x);

// Sine and cosine of x radians, for every finite x (arguments beyond 2^19 pi/2 are reduced
// with 1280 bits of 2/pi). Not a number for infinities and not-a-numbers.
double sin(double x);
double cos(double x);

// The angle of the point (x, y) in radians, in [-pi, pi], with the C standard's results at
// zeros and infinities (atan2(+-0, -0) is +-pi, atan2(+-inf, +inf) is +-pi/4, ...).
double atan2(double y, double x);

}  // namespace kestrane::portable
