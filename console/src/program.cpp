#include "kestrane/console/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "kestrane/console/command_line.h"
#include "kestrane/console/dialogue.h"
#include "kestrane/console/input_cursor.h"
#include "kestrane/model/design.h"
#include "kestrane/session/outputs.h"
#include "kestrane/session/session.h"
#include "kestrane/text/json_object.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"

namespace kestrane {
namespace {

constexpr std::string_view kVersionLine = "kestrane " KESTRANE_VERSION "\n";

// Writes `text` to `out` and puts it out; false when that fails.
bool put_out(std::ostream& out, std::string_view text) {
    out << text;
    out.flush();
    return !out.fail();
}

void complain(std::ostream& err, std::string_view message) {
    err << message << '\n';
    err.flush();
}

// "kestrane: cannot read standard input: Is a directory", and the like.
std::string stream_message(std::string_view what, int error) {
    return "kestrane: cannot " + std::string(what) + ": " + std::strerror(error);
}

// The message for `path` when it cannot be opened for writing, else "". A file that did not
// exist is removed again, so that checking leaves nothing behind.
std::string unwritable_file(const std::string& path) {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    std::FILE* const file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return "kestrane: cannot write " + quoted_whole(path) + ": " + std::strerror(errno);
    }
    std::fclose(file);
    if (!existed) std::filesystem::remove(path, ignored);
    return "";
}

// The first of the files `extras` names that cannot be written, with its message; "" when all
// can.
std::string unwritable_files(const DesignExtras& extras) {
    for (const std::string* path : {&extras.spice_path, &extras.bom_path}) {
        if (path->empty()) continue;
        const std::string problem = unwritable_file(*path);
        if (!problem.empty()) return problem;
    }
    return "";
}

struct Answer {
    bool made = false;
    std::string text;     // the results, or why the design was refused
    std::string warning;  // the design's warning line for standard error, or ""
};

// A made design's results with its extras: its result lines and extras_lines, or its JSON
// object with add_extras_members and a line end; for a cascade, its own lines or object.
std::string results_text(Session& session, const ProgramOptions& options) {
    const ReportAsks& asks = options.extras.asks;
    if (session.is_cascade()) {
        if (!options.json) return cascade_result_lines(session, asks);
        return cascade_result_object(session, asks).text() + "\n";
    }
    if (options.json) {
        JsonObject object = result_object(session);
        add_extras_members(object, session, asks);
        return object.text() + "\n";
    }
    std::string text = result_lines(session);
    for (const std::string& line : extras_lines(session, asks))
        text.append(line).append(1, '\n');
    return text;
}

// The answer to one design, made in `session`; `where` goes into its warning ("line 3: ", or
// "").
Answer answer(Session& session, const DesignRequest& request, const ProgramOptions& options,
              std::string_view where) {
    session.set_design(request.fc_khz, request.r1_ohm);
    session.set_band(request.band_hz);
    apply_asks(session, options.extras.asks);
    if (const CascadeOptions& cascade = options.cascade; cascade.response) {
        session.set_cascade(cascade.request());
        session.set_specification(cascade.pass_stop());
        session.set_compensate(cascade.compensate);
        if (!session.made()) return {false, cascade_refusal_text(session), ""};
        return {true, results_text(session, options), ""};
    }
    const Design& design = session.design();
    if (!design.made()) return {false, std::string(refusal_message(design.refusal)), ""};
    return {true, results_text(session, options), design_warning_line(design, where)};
}

// Puts out a made design's answer: its files, then its text, then its warning. False when a
// file or the output cannot be written (the file's message is on `err`), with nothing put out
// after the failure.
bool deliver(const Answer& result, Session& session, const DesignExtras& extras, std::ostream& out,
             std::ostream& err) {
    const std::string problem = write_extras_files(session, extras);
    if (!problem.empty()) {
        complain(err, problem);
        return false;
    }
    if (!put_out(out, result.text)) return false;
    if (!result.warning.empty()) complain(err, result.warning);
    return true;
}

int one_design(const ProgramOptions& options, std::ostream& out, std::ostream& err) {
    Session session;
    // Passband and stopband limits set the cutoff: then there is no --fc.
    const Answer result = answer(
        session, {options.fc_khz.value_or(0), *options.r1_ohm, options.band_hz}, options, "");
    if (!result.made) {
        complain(err, "kestrane: " + result.text);
        return kExitRefused;
    }
    return deliver(result, session, options.extras, out, err) ? kExitDone : kExitOutputFailed;
}

int designs_from_input(const ProgramOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err) {
    InputCursor input(in);
    Session session;
    int status = kExitDone;
    for (long long line_number = 1; input.peek() != InputCursor::kEnd; ++line_number) {
        const DesignLine line = parse_design_line(input.drop_line(), line_number);
        if (line.blank) continue;
        if (!line.error.empty()) {
            complain(err, line.error);
            status = kExitUsage;
            continue;
        }
        const std::string where = "line " + std::to_string(line_number) + ": ";
        const Answer result = answer(session, line.request, options, where);
        if (!result.made) {
            complain(err, "kestrane: " + where + result.text);
            if (status == kExitDone) status = kExitRefused;
            continue;
        }
        if (!deliver(result, session, options.extras, out, err)) return kExitOutputFailed;
    }
    if (input.read_error() != 0) {
        complain(err, stream_message("read standard input", input.read_error()));
        return kExitUsage;
    }
    return status;
}

// The mode the command line asks for, run.
int run_mode(const ProgramOptions& options, std::istream& in, std::ostream& out,
             std::ostream& err) {
    switch (options.mode) {
        case ProgramMode::dialogue: {
            DialogueOptions dialogue;
            dialogue.err = &err;
            dialogue.extras = options.extras;
            return run_dialogue(in, out, dialogue);
        }
        case ProgramMode::help:
            return put_out(out, usage_text()) ? kExitDone : kExitOutputFailed;
        case ProgramMode::version:
            return put_out(out, kVersionLine) ? kExitDone : kExitOutputFailed;
        case ProgramMode::one_design:
            return one_design(options, out, err);
        case ProgramMode::designs_from_input:
            return designs_from_input(options, in, out, err);
    }
    return kExitUsage;
}

}  // namespace

int run_program(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                std::ostream& err) {
    const CommandLine command = parse_command_line(args);
    if (!command.ok()) {
        complain(err, argument_error_message(command.error) + "\n" + std::string(kTryHelp));
        return kExitUsage;
    }
    const ProgramOptions& options = command.options;
    const bool designs = options.mode != ProgramMode::help && options.mode != ProgramMode::version;
    if (designs) {
        const std::string problem = unwritable_files(options.extras);
        if (!problem.empty()) {
            complain(err, problem);
            return kExitOutputFailed;
        }
    }
    errno = 0;
    const int status = run_mode(options, in, out, err);
    if (out.fail()) {
        // The write that failed set errno; a failure without one is an input or output error.
        complain(err, stream_message("write standard output", errno != 0 ? errno : EIO));
        return kExitOutputFailed;
    }
    return status;
}

}  // namespace kestrane
