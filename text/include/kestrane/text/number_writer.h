// Writing numbers the console's way: general notation with six significant digits.
#pragma once

#include <string>
#include <string_view>

namespace kestrane {

// `value` as the console prints it. The value is taken to 17 significant decimal digits,
// then cut to six with the seventh deciding upward (away from zero), so exact halves round
// up. Exponent notation when the decimal exponent X after that rounding is below -4 or at
// least 6, plain decimals otherwise; trailing zeros and a trailing point are dropped; the
// exponent has a sign and three digits ("1e+006"). Negative zero prints as "0"; infinities as
// "1.#INF" and "-1.#INF"; the not-a-number of an invalid operation as "-1.#IND", other
// not-a-numbers as "1.#QNAN" or "1.#SNAN" with a "-" before when the sign bit is set.
std::string format_number(double value);

// Which way format_bound rounds: towards minus infinity or towards plus infinity.
enum class BoundRounding { down, up };

// `value` in the console's notation with `digits` significant digits (1 to 17), rounded in
// `direction` from its exact binary value, so that a range's low end written rounded down and
// its high end rounded up still hold everything the range holds. The layout is format_number's
// with `digits` in place of six: exponent notation when the decimal exponent X after the
// rounding is below -4 or at least `digits`, trailing zeros dropped, "0" for both zeros, and the
// same texts for infinities and not-a-numbers. A value that the digits hold exactly is written
// as it is. The written value lies within one unit of the last digit of `value`, so within
// 10^(1 - digits) of it, relative.
std::string format_bound(double value, int digits, BoundRounding direction);

// `value` in engineering notation for people, with `unit` (UTF-8): three significant digits,
// correctly rounded, and an SI prefix that puts one to three digits before the point, then
// trailing zeros dropped: "16.1 µF", "10.2 kΩ", "22 nF", "1 kΩ" for 999.7 ohms. Prefixes run
// from p (10^-12) to G (10^9); beyond them, and for zero and values that are not finite, the
// console's format_number text and the unit ("0 Ω", "1.#INF Ω").
std::string engineering_text(double value, std::string_view unit);

// `value` in the shortest decimal text that reads back to the same double (C++'s to_chars),
// as JSON and CSV files hold numbers: "10253.1005859375", "2.313199588e-08"; "null" for a
// value that is not finite.
std::string shortest_text(double value);

}  // namespace kestrane
