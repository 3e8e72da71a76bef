#include "kestrane/console/console.h"

#include <string>

#include "kestrane/console/number_reader.h"
#include "kestrane/text/messages.h"

namespace kestrane {
namespace {

constexpr std::string_view kRepeatPrompt = "\n repeat? 1/0 ";

// Reports a rejected field with what is dropped of its line.
void report_rejected(Console& console, const RealRead& read, int max_chars) {
    const std::string rejected = read.text + console.in.drop_line();
    write_message(console, read.status == ReadStatus::too_long
                               ? too_long_message(rejected, max_chars)
                               : not_a_number_message(rejected));
}

}  // namespace

bool flush(Console& console) {
    console.out.flush();
    return !console.out.fail();
}

void write_message(Console& console, std::string_view line) {
    console.out << '\n' << line << '\n';
}

RealAnswer ask_real(Console& console, std::string_view prompt, int max_chars) {
    for (;;) {
        console.out << prompt;
        if (!flush(console)) return {AnswerStatus::output_failed, 0};
        const RealRead read = read_real(console.in, max_chars);
        if (read.status == ReadStatus::ok) return {AnswerStatus::ok, read.value};
        if (read.status == ReadStatus::end_of_input) return {AnswerStatus::input_ended, 0};
        report_rejected(console, read, max_chars);
    }
}

RepeatAnswer ask_repeat(Console& console) {
    console.out << kRepeatPrompt;
    if (!flush(console)) return {AnswerStatus::output_failed, 0};
    const IntegerRead read = read_repeat_answer(console.in);
    if (read.status == ReadStatus::end_of_input) return {AnswerStatus::input_ended, 0};
    return {AnswerStatus::ok, read.value};
}

}  // namespace kestrane
