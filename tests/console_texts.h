// The console's fixed texts as the tests expect them, written out independently of the
// program's own copies.
#pragma once

#include <string>
#include <string_view>

namespace kestrane::expected {

inline const std::string kDrawing =
    "           _____________________\n"
    "          |                     |\n"
    "         === C1                 |\n"
    "          |                     |\n"
    ">---R1----*----R2----*----OPA>--*--->\n"
    "                     |\n"
    "                    === C2\n"
    "                    _|_\n"
    "\n";
inline const std::string kCutoffPrompt = "vvod fc, kHz: ";
inline const std::string kR1Prompt = "vvod R1, Ohm: ";
inline const std::string kBandPrompt = "Phase-frequency variation in a band of, Hz: 0-";
inline const std::string kCredits = "Soft by Quillfen\nquillfen@example.com\nKestrane 1.0\n";
inline const std::string kRepeatPrompt = "\n repeat? 1/0 ";

// Messages are written on lines of their own.
inline std::string message(std::string_view text) {
    std::string line(1, '\n');
    return line.append(text).append(1, '\n');
}
inline const std::string kNumberForm =
    "digits with an optional sign, decimal point and exponent, such as 1000, -2.5, .5 or 4.7e3.";
inline const std::string kNotANumber = message("Not a number: type " + kNumberForm);
inline std::string too_long(int limit) {
    return message("Number too long: at most " + std::to_string(limit) + " characters, " +
                   kNumberForm);
}
inline const std::string kInputEnded = message("Input ended before the design was complete.");
inline const std::string kZeroRefused =
    message("Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.");
inline const std::string kTinyRefused = message(
    "Cannot design: 2 x R1 x cutoff is so small that C1 and C2 exceed the single-precision "
    "range.");

}  // namespace kestrane::expected
