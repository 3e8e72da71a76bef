#include "real_functions.h"

#include <cmath>

#include "core_arithmetic.h"

namespace kestrane::cascade_math {

double exp_minus_one(double x) {
    const double u = portable::exp(x);
    if (!(std::fabs(x) < 1)) return u - 1;
    if (u == 1) return x;
    return (u - 1) * x / portable::log(u);
}

double log_one_plus(double x) {
    const double u = 1 + x;
    if (!(std::fabs(x) < 1)) return portable::log(u);
    if (u == 1) return x;
    return portable::log(u) * x / (u - 1);
}

double log_one_plus_exp(double x) {
    if (x > 0) return x + log_one_plus(portable::exp(-x));
    return log_one_plus(portable::exp(x));
}

double power_ratio_minus_one(double db) {
    return exp_minus_one(db * (std::numbers::ln10 / 10));
}

double log_power_ratio_minus_one(double db) {
    const double x = db * (std::numbers::ln10 / 10);
    // Above x = 1, 10^(db/10) - 1 = e^x (1 - e^-x): the logarithm of each factor.
    if (x > 1) return x + log_one_plus(-portable::exp(-x));
    return portable::log(exp_minus_one(x));
}

double inverse_sinh(double x) {
    return portable::log(x + std::sqrt(x * x + 1));
}

double inverse_cosh_of_exp(double log_argument) {
    if (!(log_argument > 0)) return 0;
    const double root = std::sqrt(-exp_minus_one(-2 * log_argument));
    return log_argument + log_one_plus(root);
}

double hyperbolic_cosine(double t) {
    const double e = portable::exp(t);
    return (e + 1 / e) / 2;
}

double hyperbolic_sine(double t) {
    // (e^t - e^-t) / 2 with e^t = 1 + m: (m + m / (1 + m)) / 2.
    const double m = exp_minus_one(t);
    return (m + m / (1 + m)) / 2;
}

double log_cosh(double t) {
    // cosh t = 1 + 2 sinh^2(t/2): exact at 0 and keeps its digits for small t.
    if (t < 20) {
        const double s = hyperbolic_sine(t / 2);
        return log_one_plus(2 * s * s);
    }
    return t + log_one_plus(portable::exp(-2 * t)) - std::numbers::ln2;
}

}  // namespace kestrane::cascade_math
