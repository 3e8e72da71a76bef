#include "kestrane/console/dialogue.h"

#include <string>
#include <vector>

#include "kestrane/console/console.h"
#include "kestrane/console/figures_report.h"
#include "kestrane/model/design.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_scan.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"

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

// The credit block closes every design as it always has. Its "Kestrane 1.0" is part of the
// dialogue that scripts and the golden transcripts match byte for byte, so it stays as it
// was first written whatever version --version reports.
constexpr std::string_view kCredits =
    "Soft by Quillfen\n"
    "quillfen@example.com\n"
    "Kestrane 1.0\n";

enum class DesignOutcome {
    completed,
    refused,
    input_ended_at_start,
    input_ended_inside,
    output_failed
};

DesignOutcome unanswered(AnswerStatus status, DesignOutcome when_input_ended) {
    return status == AnswerStatus::output_failed ? DesignOutcome::output_failed : when_input_ended;
}

void write_components(Console& console, const FilterComponents& c) {
    console.out << '\n'
                << r1_line(c.R1) << '\n'
                << r2_line(c.R2) << '\n'
                << c1_line(c.C1) << '\n'
                << c2_line(c.C2) << '\n';
}

void complain(std::ostream* err, std::string_view line) {
    if (err == nullptr) return;
    *err << line << '\n';
    err->flush();
}

// The design's warning, if any, after the output so far; false when that output fails.
bool warn(Console& console, const Design& design, std::ostream* err) {
    if (err == nullptr) return true;
    const std::string warning = design_warning_line(design);
    if (warning.empty()) return true;
    if (!flush(console)) return false;
    complain(err, warning);
    return true;
}

// The design's extras: their lines, then the files.
DesignOutcome write_extras(Console& console, Session& session, const DialogueOptions& options) {
    const DesignExtras& extras = options.extras;
    if (!extras.any()) return DesignOutcome::completed;
    apply_asks(session, extras.asks);
    const std::vector<std::string> lines = extras_lines(session, extras.asks);
    for (const std::string& line : lines)
        console.out << line << '\n';
    if (!lines.empty()) console.out << '\n';
    const std::string problem = write_extras_files(session, extras);
    if (problem.empty()) return DesignOutcome::completed;
    if (!flush(console)) return DesignOutcome::output_failed;
    complain(options.err, problem);
    return DesignOutcome::output_failed;
}

// One design from the cutoff prompt to the credit block.
DesignOutcome run_design(Console& console, const DialogueOptions& options) {
    const RealAnswer fc_khz = ask_real(console, "vvod fc, kHz: ", kDesignNumberChars);
    if (fc_khz.status != AnswerStatus::ok) {
        return unanswered(fc_khz.status, DesignOutcome::input_ended_at_start);
    }
    const RealAnswer r1_ohm = ask_real(console, "vvod R1, Ohm: ", kDesignNumberChars);
    if (r1_ohm.status != AnswerStatus::ok) {
        return unanswered(r1_ohm.status, DesignOutcome::input_ended_inside);
    }
    Session session;
    session.set_design(fc_khz.value, r1_ohm.value);
    const Design& design = session.design();
    if (!design.made()) {
        write_message(console, refusal_message(design.refusal));
        return DesignOutcome::refused;
    }
    write_components(console, design.components);
    if (!warn(console, design, options.err)) return DesignOutcome::output_failed;

    const AnswerStatus figures = report_figures(console, design);
    if (figures != AnswerStatus::ok) {
        return unanswered(figures, DesignOutcome::input_ended_inside);
    }
    const DesignOutcome extras = write_extras(console, session, options);
    if (extras != DesignOutcome::completed) return extras;
    console.out << kCredits;
    return DesignOutcome::completed;
}

// The exit status of a dialogue that ends after `outcome`, with the last words written.
int closing_status(Console& console, DesignOutcome outcome) {
    if (outcome == DesignOutcome::output_failed) return kExitOutputFailed;
    int status = kExitDone;
    if (outcome == DesignOutcome::input_ended_at_start) {
        console.out << '\n';
    } else if (outcome == DesignOutcome::input_ended_inside) {
        write_message(console, kInputEndedMessage);
        status = kExitInputEnded;
    }
    return flush(console) ? status : kExitOutputFailed;
}

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, const DialogueOptions& options) {
    Console console{InputCursor(in), out};
    out << kDrawing;
    for (int designs = 0;;) {
        const DesignOutcome outcome = run_design(console, options);
        if (outcome == DesignOutcome::refused) continue;
        if (outcome != DesignOutcome::completed || ++designs >= options.max_designs) {
            return closing_status(console, outcome);
        }
        const RepeatAnswer again = ask_repeat(console);
        if (again.status == AnswerStatus::output_failed) return kExitOutputFailed;
        if (again.status == AnswerStatus::input_ended) {
            return closing_status(console, DesignOutcome::input_ended_at_start);
        }
        if (again.value <= 0) return closing_status(console, DesignOutcome::completed);
    }
}

}  // namespace kestrane
