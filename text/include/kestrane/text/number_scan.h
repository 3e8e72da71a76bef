// The console's number rules over text: the real numbers of the cutoff, R1 and the band, as a
// pure scan with no input or output. The console's streaming reader and the page's fields
// both read through it.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrane {

// Longest number text accepted for the cutoff and R1, and for the band.
inline constexpr int kDesignNumberChars = 19;
inline constexpr int kBandNumberChars = 27;

enum class ScanStatus {
    ok,
    empty,         // nothing but white space
    not_a_number,  // the field does not start a number (no digit before any exponent)
    too_long,      // the number takes more characters than allowed
};

struct RealScan {
    ScanStatus status = ScanStatus::empty;
    double value = 0;       // meaningful when ok
    std::size_t taken = 0;  // characters taken: the white space before the number, then the
                            // number's own characters (all of `text` when empty)
};

// True for the white space skipped before a number: space, tab, line feed, vertical tab,
// form feed and carriage return.
bool is_number_space(int c);

// Scans one real number at the start of `text` after its white space: an optional sign,
// digits with at most one decimal point, then optionally e or E, an optional sign and digits.
// At least one digit must come before the exponent. An exponent marker that no digit follows
// adds nothing to the value: the last character taken (the exponent's sign, or else the
// marker) is not taken, and with a sign the marker stays taken without counting in the value.
// The characters the number takes (its sign, digits, point and any marker taken) may be at
// most `max_chars` (any value >= 0); more is too_long. Beyond the double range the value is an
// infinity with its sign, below the normal double range a zero with its sign. For
// not_a_number and too_long, `taken` covers the characters that could still have been part of
// a number. Never reads past `text`.
RealScan scan_real(std::string_view text, int max_chars);

// scan_real, then directly after the number an optional SI prefix that scales it: p (10^-12),
// n, u or a micro sign (U+00B5 or U+03BC, in UTF-8), m (milli), k or K (kilo, as resistors
// are marked: 4K7 aside, "4.7K"), M (mega) or G (10^9). The value is the
// number with its decimal exponent moved by the prefix and converted once, so "4.7n" is the
// double nearest 4.7e-9 (not 4.7 x 10^-9 rounded twice), with the overflow and underflow rules
// of scan_real; `taken` includes the prefix. `max_chars` counts the number's characters only.
RealScan scan_prefixed_real(std::string_view text, int max_chars);

// The length of the longest start of `text` that could begin a real number or continue one
// to the point where it ends: a sign, digits and a point, then after at least one digit a
// marker, an exponent sign and exponent digits. A streaming reader takes a character only
// while the text stays such a start, so it never takes one past the number's end.
std::size_t number_prefix_length(std::string_view text);

}  // namespace kestrane
