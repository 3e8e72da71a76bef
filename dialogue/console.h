// The console as the dialogue uses it: prompts and text out, numbers in.
#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "input_cursor.h"

namespace kestrane {

struct Console {
    InputCursor in;
    std::ostream& out;
};

// Writes `line` on a line of its own: a line feed, the text, a line feed.
void write_message(Console& console, std::string_view line);

// Writes `prompt` and reads a real number of at most `max_chars` characters. A field that is
// not a number, or is too long, is reported, the rest of its input line dropped, and the
// prompt written again. Returns no value at the end of input. Output is put out before
// every read.
std::optional<double> ask_real(Console& console, std::string_view prompt, int max_chars);

// The line written when the input ends in the middle of a design.
inline constexpr std::string_view kInputEndedMessage =
    "Input ended before the design was complete.";

}  // namespace kestrane
