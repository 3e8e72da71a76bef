#include "console.h"

#include <string>

#include "number_reader.h"

namespace kestrane {
namespace {

constexpr std::string_view kNumberForm =
    "digits with an optional sign, decimal point and exponent, such as 1000, -2.5, .5 or 4.7e3.";

}  // namespace

void write_message(Console& console, std::string_view line) {
    console.out << '\n' << line << '\n';
}

std::optional<double> ask_real(Console& console, std::string_view prompt, int max_chars) {
    for (;;) {
        console.out << prompt;
        console.out.flush();
        const RealRead read = read_real(console.in, max_chars);
        switch (read.status) {
            case ReadStatus::ok:
                return read.value;
            case ReadStatus::end_of_input:
                return std::nullopt;
            case ReadStatus::not_a_number:
                write_message(console, std::string("Not a number: type ").append(kNumberForm));
                break;
            case ReadStatus::too_long:
                write_message(console, "Number too long: at most " + std::to_string(max_chars) +
                                           " characters, " + std::string(kNumberForm));
                break;
        }
        console.in.drop_line();
    }
}

}  // namespace kestrane
