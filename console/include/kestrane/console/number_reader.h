// Reading the numbers the user types from the console's input: real numbers for the cutoff,
// R1 and the band (by the rules of number_scan.h), and the C-notation integer of the repeat
// answer. The readers never throw and never take a character past the one that ends the
// number (of which at most one is taken and put back).
#pragma once

#include <cstdint>
#include <string>

#include "kestrane/console/input_cursor.h"
#include "kestrane/text/number_scan.h"

namespace kestrane {

enum class ReadStatus {
    ok,
    end_of_input,  // nothing but white space before the end of input
    not_a_number,  // the field does not start a number (no digit before any exponent)
    too_long,      // the number has more characters than allowed
};

struct RealRead {
    ReadStatus status = ReadStatus::end_of_input;
    double value = 0;  // meaningful when status is ok
    std::string text;  // the characters the read took after the white space
};

// Reads a real number after skipping white space, by the rules of scan_real, taking
// characters only while they can still belong to the number. A number that takes more than
// `max_chars` characters (max_chars >= 0) is too_long; the read then stops within two
// characters past the limit, leaving the rest of the number in the input.
RealRead read_real(InputCursor& in, int max_chars);

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
