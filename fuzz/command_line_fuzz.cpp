// Fuzzes the command line: arbitrary argument lists (and a few lines of standard input) run
// through the program in-process, filters of any order (--response and its options) among
// them. It must never crash; an argument list it cannot use writes
// nothing on standard output, exactly one message and the hint on standard error, and gives
// status 2; every other outcome keeps to its mode's streams and statuses, with nothing but
// designs' warnings on standard error when the status is 0.
//
// Input layout: the arguments separated by NUL bytes; after two NUL bytes in a row, the
// standard input (at most four lines are kept: each is a whole design).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/console/command_line.h"
#include "kestrane/console/program.h"

namespace {

constexpr std::size_t kMaxInputLines = 4;

[[noreturn]] void fail(const char* what, std::string_view output, std::string_view errors) {
    std::fprintf(stderr, "command_line_fuzz: %s\n--- stdout:\n%.*s\n--- stderr:\n%.*s\n", what,
                 static_cast<int>(output.size()), output.data(), static_cast<int>(errors.size()),
                 errors.data());
    __builtin_trap();
}

// The input up to its kMaxInputLines-th line feed.
std::string_view first_lines(std::string_view input) {
    std::size_t end = 0;
    for (std::size_t lines = 0; lines < kMaxInputLines && end < input.size(); ++lines) {
        const std::size_t line_end = input.find('\n', end);
        end = line_end == std::string_view::npos ? input.size() : line_end + 1;
    }
    return input.substr(0, end);
}

// Every line of `text` is a design's warning: "kestrane: warning: " or, for a line of the
// input, "kestrane: line N: warning: ".
bool all_warnings(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;
        std::string_view line = text.substr(0, end);
        if (!line.starts_with("kestrane: ")) return false;
        line.remove_prefix(10);
        if (line.starts_with("line ")) line.remove_prefix(line.find(": ") + 2);
        if (!line.starts_with("warning: ")) return false;
        text.remove_prefix(end + 1);
    }
    return true;
}

// Every line of `text` starts with "kestrane: ".
bool all_messages(std::string_view text) {
    while (!text.empty()) {
        if (!text.starts_with("kestrane: ")) return false;
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;
        text.remove_prefix(end + 1);
    }
    return true;
}

// Every line of `text` is one JSON object of a design: the search's, or a filter of any
// order's.
bool all_json_designs(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;
        const std::string_view line = text.substr(0, end);
        const bool opens = line.starts_with("{\"r1_ohm\":") || line.starts_with("{\"response\":");
        if (!opens || !line.ends_with("}")) return false;
        text.remove_prefix(end + 1);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t input_start = bytes.find(std::string_view("\0\0", 2));
    const std::string_view arguments = bytes.substr(0, input_start);
    const std::string_view input =
        input_start == std::string_view::npos ? "" : first_lines(bytes.substr(input_start + 2));
    std::vector<std::string_view> args;
    for (std::size_t start = 0; start <= arguments.size() && !arguments.empty();) {
        const std::size_t end = std::min(arguments.find('\0', start), arguments.size());
        args.push_back(arguments.substr(start, end - start));
        start = end + 1;
    }

    const kestrane::CommandLine command = kestrane::parse_command_line(args);
    // The dialogue is dialogue_fuzz's ground; no file is written while fuzzing.
    if (command.ok() && command.options.mode == kestrane::ProgramMode::dialogue) return 0;
    if (command.ok() && !command.options.extras.spice_path.empty()) return 0;
    if (command.ok() && !command.options.extras.bom_path.empty()) return 0;

    std::istringstream in{std::string(input)};
    std::ostringstream out, err;
    const int status = kestrane::run_program(args, in, out, err);
    const std::string output = out.str();
    const std::string errors = err.str();
    if (!command.ok()) {
        if (status != kestrane::kExitUsage) fail("usage error without status 2", output, errors);
        if (!output.empty()) fail("output after a usage error", output, errors);
        const std::string expected = kestrane::argument_error_message(command.error) + "\n" +
                                     std::string(kestrane::kTryHelp) + "\n";
        if (errors != expected) fail("not the usage error's message", output, errors);
        return 0;
    }
    if (status < 0 || status > 2) fail("unknown exit status", output, errors);
    if (!all_messages(errors)) fail("standard error is not messages", output, errors);
    if (status == 0 && !all_warnings(errors)) fail("messages with status 0", output, errors);
    switch (command.options.mode) {
        case kestrane::ProgramMode::help:
            if (output != kestrane::usage_text()) fail("not the usage text", output, errors);
            break;
        case kestrane::ProgramMode::version:
            if (!output.starts_with("kestrane ")) fail("not the version", output, errors);
            break;
        case kestrane::ProgramMode::one_design:
            if ((status == 0) == output.empty())
                fail("results do not match status", output, errors);
            if (command.options.json && !all_json_designs(output))
                fail("not one JSON object", output, errors);
            break;
        case kestrane::ProgramMode::designs_from_input:
            if (!all_json_designs(output)) fail("not JSON objects", output, errors);
            break;
        case kestrane::ProgramMode::dialogue:
            break;
    }
    return 0;
}
