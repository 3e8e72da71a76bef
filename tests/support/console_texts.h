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
inline const std::string kNotANumberStart = "\nNot a number: \"";
inline const std::string kNotANumberEnd = "\". Numbers look like 1000, -2.5, .5 or 4.7e3.\n";
inline const std::string kTooLongStart = "\nNumber too long: \"";
inline std::string too_long_end(int limit) {
    return "\". At most " + std::to_string(limit) + " characters.\n";
}
// `shown` is the rejected text as the message quotes it.
inline std::string not_a_number(std::string_view shown) {
    return kNotANumberStart + std::string(shown) + kNotANumberEnd;
}
inline std::string too_long(std::string_view shown, int limit) {
    return kTooLongStart + std::string(shown) + too_long_end(limit);
}
inline const std::string kInputEnded = message("Input ended before the design was complete.");
inline const std::string kZeroRefused =
    message("Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.");
inline const std::string kTinyRefused =
    message("Cannot design: 2 x R1 x cutoff is so small that C1 and C2 would be infinite.");

}  // namespace kestrane::expected
