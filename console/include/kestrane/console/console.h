// The console as the dialogue uses it: prompts and text out, numbers in.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "kestrane/console/input_cursor.h"

namespace kestrane {

struct Console {
    InputCursor in;
    std::ostream& out;
};

// What became of a question to the user.
enum class AnswerStatus {
    ok,             // the answer was read
    input_ended,    // the input ended (or could not be read) before an answer
    output_failed,  // the question could not be written out
};

struct RealAnswer {
    AnswerStatus status = AnswerStatus::input_ended;
    double value = 0;  // meaningful when ok
};

struct RepeatAnswer {
    AnswerStatus status = AnswerStatus::input_ended;
    std::int32_t value = 0;  // 0 when the answer is not a number
};

// Puts out everything written so far; false when the output cannot be written.
bool flush(Console& console);

// Writes `line` on a line of its own: a line feed, the text, a line feed.
void write_message(Console& console, std::string_view line);

// Writes `prompt`, puts the output out and reads a real number of at most `max_chars`
// characters. A field that is not a number, or is too long, is reported with the text that
// was dropped, the rest of its input line dropped, and the prompt written again.
RealAnswer ask_real(Console& console, std::string_view prompt, int max_chars);

// Writes the repeat prompt, puts the output out and reads the C-notation repeat answer; an
// answer that is not a number is 0.
RepeatAnswer ask_repeat(Console& console);

}  // namespace kestrane
