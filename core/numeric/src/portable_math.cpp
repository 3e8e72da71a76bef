#include "kestrane/numeric/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "kestrane/numeric/double_double.h"

// The polynomial coefficients and the split constants are those of the classic freely
// redistributable Sun fdlibm kernels (minimax approximations with known error bounds); the
// argument reductions and the error-free transformations around them are written here.

namespace kestrane::portable {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits_of(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}
// Sign, exponent and the top 20 bits of the significand.
std::int32_t high_word(double x) {
    return static_cast<std::int32_t>(bits_of(x) >> 32);
}
double with_high_word(double x, std::int32_t high) {
    const std::uint64_t low = bits_of(x) & 0xffffffffu;
    return from_bits((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low);
}
double with_low_word_cleared(double x) {
    return from_bits(bits_of(x) & 0xffffffff00000000u);
}

// 2^k for -1022 <= k <= 1023, exactly.
double power_of_two(int k) {
    return from_bits(static_cast<std::uint64_t>(k + 1023) << 52);
}

// x * 2^k for -2022 <= k <= 2046 with a single rounding, which happens only when the result
// is subnormal (or overflows).
double scaled(double x, int k) {
    if (k > 1023) return x * power_of_two(1023) * power_of_two(k - 1023);
    if (k < -1022) return x * power_of_two(k + 1000) * power_of_two(-1000);
    return x * power_of_two(k);
}

// ---- exp ----

constexpr double kLn2Hi = 0x1.62e42feep-1;  // 32 significant bits: k * kLn2Hi is exact
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;

}  // namespace

double exp(double x) {
    constexpr double kOverflow = 0x1.62e42fefa39efp+9;    // log(largest double)
    constexpr double kUnderflow = -0x1.74910d52d3051p+9;  // log(2^-1075)
    constexpr double kHalfLn2 = 0x1.62e42fefa39efp-2;
    constexpr double kThreeHalvesLn2 = 0x1.0a2b23f3bab73p+0;
    constexpr double kP1 = 1.66666666666666019037e-01;
    constexpr double kP2 = -2.77777777770155933842e-03;
    constexpr double kP3 = 6.61375632143793436117e-05;
    constexpr double kP4 = -1.65339022054652515390e-06;
    constexpr double kP5 = 4.13813679705723846039e-08;

    if (x != x) return x + x;
    if (x > kOverflow) return kInfinity;
    if (x < kUnderflow) return 0.0;
    const double ax = std::fabs(x);
    if (ax < 0x1p-28) return 1.0 + x;

    // x = k ln2 + r, |r| <= ln2 / 2, r held as hi - lo.
    int k = 0;
    double hi = x;
    double lo = 0;
    if (ax > kHalfLn2) {
        if (ax < kThreeHalvesLn2) {
            k = x > 0 ? 1 : -1;
        } else {
            k = static_cast<int>(kInvLn2 * x + (x > 0 ? 0.5 : -0.5));
        }
        const double dk = k;
        hi = x - dk * kLn2Hi;  // exact
        lo = dk * kLn2Lo;
    }
    const double r = hi - lo;
    // exp(r) = 1 + r + r c / (2 - c), c = r - r^2 R(r^2) with R a minimax fit.
    const double t = r * r;
    const double c = r - t * (kP1 + t * (kP2 + t * (kP3 + t * (kP4 + t * kP5))));
    if (k == 0) return 1.0 - ((r * c) / (c - 2.0) - r);
    const double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    return scaled(y, k);
}

// ---- log and log10 ----

namespace {

constexpr double kLg1 = 6.666666666666735130e-01;
constexpr double kLg2 = 3.999999999940941908e-01;
constexpr double kLg3 = 2.857142874366239149e-01;
constexpr double kLg4 = 2.222219843214978396e-01;
constexpr double kLg5 = 1.818357216161805012e-01;
constexpr double kLg6 = 1.531383769920937332e-01;
constexpr double kLg7 = 1.479819860511658591e-01;

// x = 2^k (1 + f) with sqrt(2)/2 <= 1 + f < sqrt(2), for finite x > 0.
struct LogArgument {
    int k;
    double f;
    std::int32_t top;  // the top 20 bits of the significand of 1 + f (or of 2(1 + f))
};

LogArgument log_argument(double x) {
    int k = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        k -= 54;
    }
    std::int32_t hx = high_word(x);
    k += (hx >> 20) - 1023;
    hx &= 0x000fffff;
    const std::int32_t i = (hx + 0x95f64) & 0x100000;
    const double m = with_high_word(x, hx | (i ^ 0x3ff00000));  // x or x/2 scaled into [1, 2)
    k += i >> 20;
    return {k, m - 1.0, hx};
}

// s (hfsq + R) with s = f / (2 + f), hfsq = f^2 / 2 and R a minimax fit in s^2: the part of
// log(1 + f) = f - hfsq + s (hfsq + R) beyond its first two terms.
double log1p_tail(double s, double hfsq) {
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
    const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
    return s * (hfsq + (t2 + t1));
}

bool log_special(double x, double& result) {
    if (x != x) {
        result = x + x;
    } else if (x < 0) {
        result = kNotANumber;
    } else if (x == 0) {
        result = -kInfinity;
    } else if (x == kInfinity) {
        result = x;
    } else {
        return false;
    }
    return true;
}

}  // namespace

double log(double x) {
    double special = 0;
    if (log_special(x, special)) return special;
    const LogArgument a = log_argument(x);
    const double f = a.f;
    const double dk = a.k;
    if (((2 + a.top) & 0x000fffff) < 3) {  // |f| < 2^-20
        if (f == 0) return a.k == 0 ? 0.0 : dk * kLn2Hi + dk * kLn2Lo;
        const double r = f * f * (0.5 - 0.33333333333333333 * f);
        if (a.k == 0) return f - r;
        return dk * kLn2Hi - ((r - dk * kLn2Lo) - f);
    }
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
    const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
    const double r = t2 + t1;
    // Near the ends of the range f^2/2 is formed apart, so that its rounding counts less.
    const std::int32_t far_from_one = (a.top - 0x6147a) | (0x6b851 - a.top);
    if (far_from_one > 0) {
        const double hfsq = 0.5 * f * f;
        if (a.k == 0) return f - (hfsq - s * (hfsq + r));
        return dk * kLn2Hi - ((hfsq - (s * (hfsq + r) + dk * kLn2Lo)) - f);
    }
    if (a.k == 0) return f - s * (f - r);
    return dk * kLn2Hi - ((s * (f - r) - dk * kLn2Lo) - f);
}

double log10(double x) {
    constexpr double kInvLn10Hi = 0x1.bcb7b152p-2;  // 33 bits: hi * kInvLn10Hi is exact
    constexpr double kInvLn10Lo = 0x1.b9438ca9aadd5p-36;
    constexpr double kLog10Of2Hi = 0x1.34413509f6p-2;  // 40 bits: k * kLog10Of2Hi is exact
    constexpr double kLog10Of2Lo = 0x1.9fef311f12b36p-42;

    double special = 0;
    if (log_special(x, special)) return special;
    if (x == 1.0) return 0.0;
    const LogArgument a = log_argument(x);
    const double f = a.f;
    const double y = a.k;
    const double hfsq = 0.5 * f * f;
    const double tail = log1p_tail(f / (2.0 + f), hfsq);
    // log(1 + f) = hi + lo with hi of 21 significant bits, so that hi / ln 10 splits exactly.
    const double hi = with_low_word_cleared(f - hfsq);
    const double lo = (f - hi) - hfsq + tail;
    double value_hi = hi * kInvLn10Hi;
    const double y_hi = y * kLog10Of2Hi;
    double value_lo = y * kLog10Of2Lo + (lo + hi) * kInvLn10Lo + lo * kInvLn10Hi;
    const double w = y_hi + value_hi;
    value_lo += (y_hi - w) + value_hi;
    value_hi = w;
    return value_lo + value_hi;
}

// ---- sin and cos ----

namespace {

// The bits of 2/pi after the binary point, most significant first (computed with mpmath:
// floor(2/pi * 2^1280)).
constexpr int kTwoOverPiWords = 20;
constexpr std::uint64_t kTwoOverPi[kTwoOverPiWords] = {
    0xa2f9836e4e441529, 0xfc2757d1f534ddc0, 0xdb6295993c439041, 0xfe5163abdebbc561,
    0xb7246e3a424dd2e0, 0x06492eea09d1921c, 0xfe1deb1cb129a73e, 0xe88235f52ebb4484,
    0xe99c7026b45f7e41, 0x3991d639835339f4, 0x9c845f8bbdf9283b, 0x1ff897ffde05980f,
    0xef2f118b5a0a6d1f, 0x6d367ecf27cb09b7, 0x4f463f669e5fea2d, 0x7527bac7ebe5f17b,
    0x3d0739f78a5292ea, 0x6bfb5fb11f8d5d08, 0x56033046fc7b6bab, 0xf0cfbc209af4361d};

constexpr double kPiOver4 = 0x1.921fb54442d18p-1;
constexpr double kThreePiOver4 = 0x1.2d97c7f3321d2p+1;
constexpr double kPiOver2Hi = 0x1.921fb54442d18p+0;
constexpr double kPiOver2Lo = 0x1.1a62633145c07p-54;
constexpr double kPiHi = 0x1.921fb54442d18p+1;
constexpr double kPiLo = 0x1.1a62633145c07p-53;
constexpr double kTwoOverPiRounded = 0x1.45f306dc9c883p-1;
// pi/2 in three parts: 33 bits, 33 bits, then 53 bits (rounded).
constexpr double kPiOver2Part1 = 0x1.921fb544p+0;
constexpr double kPiOver2Part2 = 0x1.0b4611a6p-34;
constexpr double kPiOver2Part3 = 0x1.3198a2e037073p-69;
// Below this the three-part reduction is exact enough: n < 2^19, so n times a 33-bit part
// is exact.
constexpr double kMediumLimit = 0x1.921fb54442d18p+19;

// |x| = quadrant * pi/2 + (hi + lo) modulo 2 pi, |hi + lo| <= about pi/4.
struct Reduced {
    unsigned quadrant;
    double hi;
    double lo;
};

Reduced reduce_medium(double ax) {
    const double fn = (ax * kTwoOverPiRounded + 0x1.8p52) - 0x1.8p52;  // nearest integer
    const double a = ax - fn * kPiOver2Part1;                          // exact
    const double b = fn * kPiOver2Part2;                               // exact
    const DoubleDouble s = two_sum(a, -b);
    const DoubleDouble r = fast_two_sum(s.hi, s.lo - fn * kPiOver2Part3);
    return {static_cast<unsigned>(static_cast<int>(fn)) & 3u, r.hi, r.lo};
}

// 64 bits of 2/pi from bit `first` on (bit 1 is the first after the binary point); bits at
// 0 and before are 0.
std::uint64_t two_over_pi_bits(int first) {
    if (first <= -63) return 0;
    if (first <= 0) return kTwoOverPi[0] >> (1 - first);
    const int word = (first - 1) / 64;
    const int shift = (first - 1) % 64;
    std::uint64_t bits = kTwoOverPi[word] << shift;
    if (shift != 0 && word + 1 < kTwoOverPiWords) bits |= kTwoOverPi[word + 1] >> (64 - shift);
    return bits;
}

// Payne and Hanek's reduction for ax >= kMediumLimit: ax = m 2^e with m an integer of 53
// bits; the bits of 2/pi that give multiples of 4 in m 2^e (2/pi) are skipped, and the next
// 192 bits, times m, give the quadrant and 190 bits of the fraction.
Reduced reduce_large(double ax) {
    const std::uint64_t bits = bits_of(ax);
    const int e = static_cast<int>(bits >> 52) - 1075;
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int first = e - 1;
    const std::uint64_t w2 = two_over_pi_bits(first);
    const std::uint64_t w1 = two_over_pi_bits(first + 64);
    const std::uint64_t w0 = two_over_pi_bits(first + 128);

    // p = m * (w2 w1 w0) in 32-bit limbs, least significant first; ax 2/pi = p 2^-190.
    const std::uint32_t ml[2] = {static_cast<std::uint32_t>(m),
                                 static_cast<std::uint32_t>(m >> 32)};
    const std::uint32_t wl[6] = {
        static_cast<std::uint32_t>(w0), static_cast<std::uint32_t>(w0 >> 32),
        static_cast<std::uint32_t>(w1), static_cast<std::uint32_t>(w1 >> 32),
        static_cast<std::uint32_t>(w2), static_cast<std::uint32_t>(w2 >> 32)};
    std::uint32_t p[8] = {};
    for (int i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < 6; ++j) {
            const std::uint64_t t = std::uint64_t{ml[i]} * wl[j] + p[i + j] + carry;
            p[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        p[i + 6] = static_cast<std::uint32_t>(carry);
    }
    unsigned quadrant = (p[5] >> 30) & 3u;
    p[5] &= 0x3fffffffu;  // the fraction: bits 0 to 189
    const bool upper_half = (p[5] & 0x20000000u) != 0;
    if (upper_half) {  // fraction - 1: negate within 190 bits
        quadrant = (quadrant + 1) & 3u;
        std::uint64_t borrow = 1;
        for (int k = 0; k < 6; ++k) {
            const std::uint64_t t = std::uint64_t{static_cast<std::uint32_t>(~p[k])} + borrow;
            p[k] = static_cast<std::uint32_t>(t);
            borrow = t >> 32;
        }
        p[5] &= 0x3fffffffu;
    }
    // The fraction as hi + lo, from its most significant limb down.
    DoubleDouble fraction{0, 0};
    for (int k = 5; k >= 0; --k) {
        const double term = static_cast<double>(p[k]) * power_of_two(32 * k - 190);
        const DoubleDouble s = two_sum(fraction.hi, term);
        fraction.hi = s.hi;
        fraction.lo += s.lo;
    }
    fraction = fast_two_sum(fraction.hi, fraction.lo);
    // Times pi/2.
    DoubleDouble r = two_product(fraction.hi, kPiOver2Hi);
    r.lo += fraction.hi * kPiOver2Lo + fraction.lo * kPiOver2Hi;
    r = fast_two_sum(r.hi, r.lo);
    if (upper_half) r = {-r.hi, -r.lo};
    return {quadrant, r.hi, r.lo};
}

// sin(x + y) for |x + y| <= about pi/4, |y| below half an ulp of x.
double sin_kernel(double x, double y) {
    constexpr double kS1 = -1.66666666666666324348e-01;
    constexpr double kS2 = 8.33333333332248946124e-03;
    constexpr double kS3 = -1.98412698298579493134e-04;
    constexpr double kS4 = 2.75573137070700676789e-06;
    constexpr double kS5 = -2.50507602534068634195e-08;
    constexpr double kS6 = 1.58969099521155010221e-10;
    const double z = x * x;
    const double w = z * z;
    const double r = kS2 + z * (kS3 + z * kS4) + z * w * (kS5 + z * kS6);
    const double v = z * x;
    if (y == 0) return x + v * (kS1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * kS1);
}

// cos(x + y) for |x + y| <= about pi/4, |y| below half an ulp of x.
double cos_kernel(double x, double y) {
    constexpr double kC1 = 4.16666666666666019037e-02;
    constexpr double kC2 = -1.38888888888741095749e-03;
    constexpr double kC3 = 2.48015872894767294178e-05;
    constexpr double kC4 = -2.75573143513906633035e-07;
    constexpr double kC5 = 2.08757232129817482790e-09;
    constexpr double kC6 = -1.13596475577881948265e-11;
    const double z = x * x;
    double w = z * z;
    const double r = z * (kC1 + z * (kC2 + z * kC3)) + w * w * (kC4 + z * (kC5 + z * kC6));
    const double hz = 0.5 * z;
    w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

Reduced reduce(double ax) {
    return ax < kMediumLimit ? reduce_medium(ax) : reduce_large(ax);
}

}  // namespace

double sin(double x) {
    const double ax = std::fabs(x);
    if (ax <= kPiOver4) return ax < 0x1p-27 ? x : sin_kernel(x, 0.0);
    if (!(ax < kInfinity)) return kNotANumber;
    const Reduced r = reduce(ax);
    double value = 0;
    switch (r.quadrant) {
        case 0:
            value = sin_kernel(r.hi, r.lo);
            break;
        case 1:
            value = cos_kernel(r.hi, r.lo);
            break;
        case 2:
            value = -sin_kernel(r.hi, r.lo);
            break;
        default:
            value = -cos_kernel(r.hi, r.lo);
            break;
    }
    return x < 0 ? -value : value;
}

double cos(double x) {
    const double ax = std::fabs(x);
    if (ax <= kPiOver4) return ax < 0x1p-27 ? 1.0 : cos_kernel(x, 0.0);
    if (!(ax < kInfinity)) return kNotANumber;
    const Reduced r = reduce(ax);
    switch (r.quadrant) {
        case 0:
            return cos_kernel(r.hi, r.lo);
        case 1:
            return -sin_kernel(r.hi, r.lo);
        case 2:
            return -cos_kernel(r.hi, r.lo);
        default:
            return sin_kernel(r.hi, r.lo);
    }
}

// ---- atan2 ----

namespace {

// atan(q) + c for 0 <= q <= 1 and |c| far below an ulp of q, as head + tail with head a
// constant or q itself, so that a caller adding it to pi or pi/2 rounds only once. The
// correction c carries the rounding of the quotient q, which the caller knows.
DoubleDouble atan_of_quotient(double q, double c) {
    constexpr double kAtanHi[2] = {0x1.dac670561bb4fp-2, 0x1.921fb54442d18p-1};  // 0.5, 1
    constexpr double kAtanLo[2] = {0x1.a2b7f222f65e2p-56, 0x1.1a62633145c07p-55};
    constexpr double kT[11] = {
        3.33333333333329318027e-01,  -1.99999999998764832476e-01, 1.42857142725034663711e-01,
        -1.11111104054623557880e-01, 9.09088713343650656196e-02,  -7.69187620504482999495e-02,
        6.66107313738753120669e-02,  -5.83357013379057348645e-02, 4.97687799461593236017e-02,
        -3.65315727442169155270e-02, 1.62858201153657823623e-02};
    int id = -1;
    double t = q;
    if (q < 0.4375) {
        if (q < 0x1p-27) return {q, c};
    } else if (q < 0.6875) {
        id = 0;  // atan(q) = atan(1/2) + atan(t)
        t = (2.0 * q - 1.0) / (2.0 + q);
    } else {
        id = 1;  // atan(q) = atan(1) + atan(t)
        t = (q - 1.0) / (q + 1.0);
    }
    const double z = t * t;
    const double w = z * z;
    const double s1 =
        z * (kT[0] + w * (kT[2] + w * (kT[4] + w * (kT[6] + w * (kT[8] + w * kT[10])))));
    const double s2 = w * (kT[1] + w * (kT[3] + w * (kT[5] + w * (kT[7] + w * kT[9]))));
    if (id < 0) return {t, -(t * (s1 + s2) - c)};
    return {kAtanHi[id], -((t * (s1 + s2) - (kAtanLo[id] + c)) - t)};
}

// atan(num / den) for 0 < num <= den finite, as atan_of_quotient gives it: the quotient with
// the correction for its rounding, from the exact residual num - q den.
DoubleDouble atan_of_ratio(double num, double den) {
    int den_exponent = 0;
    std::frexp(den, &den_exponent);
    int num_exponent = 0;
    std::frexp(num, &num_exponent);
    if (num_exponent < den_exponent - 60) return {num / den, 0};  // atan(q) = q - q^3/3: q
    const double n = scaled(num, -den_exponent);                  // exact: both stay normal
    const double d = scaled(den, -den_exponent);
    const double q = n / d;
    const DoubleDouble qd = two_product(q, d);
    const double residual = (n - qd.hi) - qd.lo;
    const double correction = (residual / d) / (1.0 + q * q);
    return atan_of_quotient(q, correction);
}

// base + sign * a for base = base_hi + base_lo, rounded once.
double add_angle(double base_hi, double base_lo, double sign, DoubleDouble a) {
    const DoubleDouble s = two_sum(base_hi, sign * a.hi);
    return s.hi + ((s.lo + sign * a.lo) + base_lo);
}

}  // namespace

double atan2(double y, double x) {
    if (x != x || y != y) return x + y;
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const bool x_negative = std::signbit(x);
    if (ay == 0) return x_negative ? std::copysign(kPiHi, y) : y;
    if (ax == 0) return std::copysign(kPiOver2Hi, y);
    if (ax == kInfinity) {
        if (ay == kInfinity) {
            return std::copysign(x_negative ? kThreePiOver4 : kPiOver4, y);
        }
        return x_negative ? std::copysign(kPiHi, y) : std::copysign(0.0, y);
    }
    if (ay == kInfinity) return std::copysign(kPiOver2Hi, y);

    double angle = 0;
    if (ay <= ax) {
        const DoubleDouble a = atan_of_ratio(ay, ax);  // at most pi/4
        angle = x_negative ? add_angle(kPiHi, kPiLo, -1, a) : a.hi + a.lo;
    } else {
        const DoubleDouble a = atan_of_ratio(ax, ay);
        angle = add_angle(kPiOver2Hi, kPiOver2Lo, x_negative ? 1 : -1, a);
    }
    return std::copysign(angle, y);
}

}  // namespace kestrane::portable
