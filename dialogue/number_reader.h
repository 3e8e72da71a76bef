// Reading the numbers the user types: real numbers for the cutoff, R1 and the band, and the
// C-notation integer of the repeat answer. The readers never throw and never read past the
// first character that cannot continue the number (plus one put-back character at most).
#pragma once

#include <cstdint>
#include <string_view>

#include "input_cursor.h"

namespace kestrane {

enum class ReadStatus {
    ok,
    end_of_input,  // nothing but white space before the end of input
    not_a_number,  // the field does not start a number (no digit before any exponent)
    too_long,      // the number has more characters than allowed
};

// Longest number text accepted for the cutoff and R1, and for the band.
inline constexpr int kDesignNumberChars = 19;
inline constexpr int kBandNumberChars = 27;

struct RealRead {
    ReadStatus status = ReadStatus::end_of_input;
    double value = 0;  // meaningful when status is ok
};

// Reads a real number after skipping white space (space, tab, line feed, vertical tab, form
// feed, carriage return): an optional sign, digits with at most one decimal point, then
// optionally e or E, an optional sign and digits. An exponent marker that no digit follows
// does not count: the value is that of the text before it, and the last character taken
// (the exponent's sign, or else the marker) goes back to the input. A number that takes more
// than `max_chars` characters is too_long; the read then stops within two characters of the
// limit, leaving the rest of the number in the input.
RealRead read_real(InputCursor& in, int max_chars);

// The value of number text that read_real accepted (sign, digits, point, exponent): beyond
// the double range an infinity with its sign, below the normal double range a zero.
double decimal_text_value(std::string_view text);

// A double stored in single precision with the clamps the cutoff and R1 get: beyond the
// largest single-precision magnitude that magnitude, a non-zero value below the smallest
// normal magnitude that smallest normal magnitude, each with the value's sign.
float to_single_clamped(double value);

inline constexpr int kRepeatAnswerChars = 15;

struct IntegerRead {
    ReadStatus status = ReadStatus::end_of_input;
    std::int32_t value = 0;  // 0 when the answer is not a number
};

// Reads the repeat answer after skipping white space: an optional sign and an integer in C
// notation (0x or 0X hexadecimal, a leading 0 octal, else decimal), at most 15 characters.
// Values beyond the signed 32-bit range become 2147483647 or -2147483648. Status is
// not_a_number (value 0) when the answer does not begin with a number, end_of_input when the
// input ends before anything but white space.
IntegerRead read_repeat_answer(InputCursor& in);

}  // namespace kestrane
