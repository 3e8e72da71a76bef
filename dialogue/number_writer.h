// Writing numbers the console's way: general notation with six significant digits.
#pragma once

#include <string>

namespace kestrane {

// `value` as the console prints it. The value is taken to 17 significant decimal digits,
// then cut to six with the seventh deciding upward (away from zero), so exact halves round
// up. Exponent notation when the decimal exponent X after that rounding is below -4 or at
// least 6, plain decimals otherwise; trailing zeros and a trailing point are dropped; the
// exponent has a sign and three digits ("1e+006"). Negative zero prints as "0"; infinities as
// "1.#INF" and "-1.#INF"; the not-a-number of an invalid operation as "-1.#IND", other
// not-a-numbers as "1.#QNAN" or "1.#SNAN" with a "-" before when the sign bit is set.
std::string format_number(double value);

}  // namespace kestrane
