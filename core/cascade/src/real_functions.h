// Real functions the cascade's formulas need, built from + - * /, sqrt and the portable exp and
// log, so they give the same bits natively and in WebAssembly. Each stays accurate where the
// plain formula would cancel or overflow.
#pragma once

#include <numbers>

namespace kestrane::cascade_math {

// Decibels per neper of a power ratio: 10 log10(x) = kPowerDecibelsPerLog * ln(x).
inline constexpr double kPowerDecibelsPerLog = 10 / std::numbers::ln10;

// e^x - 1, accurate to a few ulps for small |x| too (Kahan: (u - 1) x / ln u with u = e^x).
double exp_minus_one(double x);

// ln(1 + x) for x > -1, accurate for small |x| too (Goldberg: ln(u) x / (u - 1), u = 1 + x).
double log_one_plus(double x);

// ln(1 + e^x) for any x, without overflow.
double log_one_plus_exp(double x);

// 10^(db/10) - 1: the power ratio of a loss of `db` decibels, less one.
double power_ratio_minus_one(double db);

// ln(10^(db/10) - 1) for db > 0, without overflow for large db.
double log_power_ratio_minus_one(double db);

// asinh(x) = ln(x + sqrt(x^2 + 1)) for 0 <= x <= 1e150.
double inverse_sinh(double x);

// acosh(e^L) for L >= 0 (0 for L <= 0), any size: L + ln(1 + sqrt(1 - e^(-2L))), the root
// formed from -expm1(-2L) so that it keeps its digits near L = 0.
double inverse_cosh_of_exp(double log_argument);

// cosh(t) and sinh(t) for 0 <= t <= 700; sinh from expm1, so small t keep their digits.
double hyperbolic_cosine(double t);
double hyperbolic_sine(double t);

// ln(cosh(t)) for t >= 0, any size.
double log_cosh(double t);

}  // namespace kestrane::cascade_math
