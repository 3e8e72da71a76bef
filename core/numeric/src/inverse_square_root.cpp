#include "kestrane/numeric/inverse_square_root.h"

#include <limits>

namespace kestrane::inverse_sqrt {
namespace {

__extension__ typedef unsigned __int128 Wide;  // GCC's and Clang's, WebAssembly's too

// A finite positive double as significand * 2^exponent with 2^52 <= significand < 2^53
// (subnormals too: frexp normalises them).
struct Binary {
    std::uint64_t significand;
    int exponent;
};

Binary binary_of(double value) {
    int exponent = 0;
    const double fraction = std::frexp(value, &exponent);  // in [1/2, 1), exact
    return {static_cast<std::uint64_t>(std::ldexp(fraction, 53)), exponent - 53};
}

}  // namespace

// With x = X * 2^ex and y = Y * 2^ey, the midpoint above y is m = (2Y + 1) * 2^(ey - 1)
// (also when Y + 1 = 2^53 starts the next binade), and x^-1/2 > m exactly when x*m^2 < 1:
// X * (2Y + 1)^2 < 2^K with K = 2 - ex - 2ey. The product has 158 to 161 bits: (2Y + 1)^2 has
// at most 108, so it fits 128, and X times it is formed as high * 2^64 + low in two 128-bit
// products. Since 2^K is a multiple of 2^64 wherever the comparison is not settled by the
// product's size, comparing `high` with 2^(K - 64) decides.
bool lies_above_midpoint(double x, double y) {
    const Binary bx = binary_of(x), by = binary_of(y);
    const int k = 2 - bx.exponent - 2 * by.exponent;
    if (k <= 158) return false;  // the product is at least 2^158
    if (k >= 161) return true;   // and below 2^161
    const std::uint64_t odd = 2 * by.significand + 1;
    const Wide square = static_cast<Wide>(odd) * odd;
    const auto square_low = static_cast<std::uint64_t>(square);
    const auto square_high = static_cast<std::uint64_t>(square >> 64);
    const Wide low_product = static_cast<Wide>(bx.significand) * square_low;
    const Wide high = static_cast<Wide>(bx.significand) * square_high + (low_product >> 64);
    return high < (static_cast<Wide>(1) << (k - 64));
}

// 1/sqrt(x) is within two units in the last place of x^-1/2 (two correctly rounded steps), so
// a few steps of the exact decision reach the nearest double: up while x^-1/2 lies above the
// midpoint above y, then down while it lies below the midpoint below y.
double decided_exactly(double x) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (x == 0) return kInfinity;
    if (!(x > 0)) return std::numeric_limits<double>::quiet_NaN();
    if (x == kInfinity) return 0;
    double y = 1.0 / std::sqrt(x);  // finite and normal: 2^-512 < y < 2^538
    while (lies_above_midpoint(x, y))
        y = std::nextafter(y, kInfinity);
    while (!lies_above_midpoint(x, std::nextafter(y, 0.0)))
        y = std::nextafter(y, 0.0);
    return y;
}

}  // namespace kestrane::inverse_sqrt
