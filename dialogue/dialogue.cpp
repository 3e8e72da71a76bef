#include "dialogue.h"

#include <optional>

#include "console.h"
#include "figures_report.h"
#include "number_reader.h"
#include "number_writer.h"
#include "response.h"
#include "search.h"

namespace kestrane {
namespace {

constexpr std::string_view kDrawing =
    "           _____________________\n"
    "          |                     |\n"
    "         === C1                 |\n"
    "          |                     |\n"
    ">---R1----*----R2----*----OPA>--*--->\n"
    "                     |\n"
    "                    === C2\n"
    "                    _|_\n"
    "\n";

constexpr std::string_view kCredits =
    "Soft by Quillfen\n"
    "quillfen@example.com\n"
    "Kestrane 1.0\n";

enum class DesignOutcome { completed, refused, input_ended_at_start, input_ended_inside };

void write_components(Console& console, const FilterComponents& c) {
    console.out << "\nR1, Ohm: " << format_number(c.R1) << "\nR2, Ohm: " << format_number(c.R2)
                << "\nC1, nF: " << format_number(c.C1 * 1e9)
                << "\nC2, nF: " << format_number(c.C2 * 1e9) << '\n';
}

std::string_view refusal_reason(float fc_khz, float r1) {
    if (fc_khz == 0 || r1 == 0)
        return "Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.";
    return "Cannot design: 2 x R1 x cutoff is so small that C1 and C2 exceed the "
           "single-precision range.";
}

// One design from the cutoff prompt to the credit block.
DesignOutcome run_design(Console& console) {
    const auto fc_khz = ask_real(console, "vvod fc, kHz: ", kDesignNumberChars);
    if (!fc_khz) return DesignOutcome::input_ended_at_start;
    const float cutoff = to_single_clamped(*fc_khz);
    const DesignTargets targets = make_targets(cutoff);

    const auto r1_ohm = ask_real(console, "vvod R1, Ohm: ", kDesignNumberChars);
    if (!r1_ohm) return DesignOutcome::input_ended_inside;
    const float r1 = to_single_clamped(*r1_ohm);
    FilterComponents components = starting_point(r1, targets);
    if (!is_finite_design(components)) {
        write_message(console, refusal_reason(cutoff, r1));
        return DesignOutcome::refused;
    }
    search_components(components, targets);
    write_components(console, components);

    if (!report_figures(console, components, targets)) return DesignOutcome::input_ended_inside;
    console.out << kCredits;
    return DesignOutcome::completed;
}

// Asks whether to design again; end of input and answers that are not numbers count as no.
bool wants_another(Console& console) {
    console.out << "\n repeat? 1/0 ";
    console.out.flush();
    const IntegerRead answer = read_repeat_answer(console.in);
    if (answer.status == ReadStatus::end_of_input) console.out << '\n';
    return answer.status == ReadStatus::ok && answer.value > 0;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, const DialogueOptions& options) {
    Console console{InputCursor(in), out};
    out << kDrawing;
    int exit_status = 0;
    for (int designs = 0;;) {
        const DesignOutcome outcome = run_design(console);
        if (outcome == DesignOutcome::refused) continue;
        if (outcome == DesignOutcome::input_ended_at_start) {
            out << '\n';
            break;
        }
        if (outcome == DesignOutcome::input_ended_inside) {
            write_message(console, kInputEndedMessage);
            exit_status = 1;
            break;
        }
        if (++designs >= options.max_designs || !wants_another(console)) break;
    }
    out.flush();
    return exit_status;
}

}  // namespace kestrane
