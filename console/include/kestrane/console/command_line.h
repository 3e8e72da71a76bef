// The program's command line: the options, what they ask for, and the messages for a command
// line that cannot be used. Pure: no input or output, and nothing thrown on any arguments.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kestrane/cascade/order.h"
#include "kestrane/cascade/request.h"
#include "kestrane/console/design_extras.h"

namespace kestrane {

// What a command line asks the program to do.
enum class ProgramMode {
    dialogue,            // neither --fc and --r1 nor --json: the console dialogue
    help,                // -h or --help: the usage text
    version,             // --version: the name and version
    one_design,          // --fc and --r1: one design's results, without prompts
    designs_from_input,  // --json without --fc and --r1: one design per line of the input
};

// A filter of any order, as --response and its options ask for it.
struct CascadeOptions {
    std::optional<Response> response;
    std::optional<int> order;              // --order, a whole number from 1 to 10
    std::optional<double> ripple_db;       // --ripple, 0.01 to 3 dB
    bool ripple_edge = false;              // --ripple-edge
    std::optional<PassStopSpec> passband;  // --passband KHZ,DB (passband fields only)
    std::optional<PassStopSpec> stopband;  // --stopband KHZ,DB (stopband fields only)
    bool compensate = false;               // --compensate
    std::string_view order_text;           // --order as given, for messages
    std::string_view ripple_text;          // --ripple as given, for messages

    // The request these options make (the order 0 when --passband and --stopband set it).
    CascadeRequest request() const;
    // The limits of --passband and --stopband, when both are given.
    std::optional<PassStopSpec> pass_stop() const;
};

// The options as given. Values are as read (doubles, with SI prefixes applied), before any
// rounding to single precision.
struct ProgramOptions {
    ProgramMode mode = ProgramMode::dialogue;
    bool help = false;
    bool version = false;
    bool json = false;  // results as one JSON object per design
    std::optional<double> fc_khz;
    std::optional<double> r1_ohm;
    std::optional<double> band_hz;
    DesignExtras extras;     // what each design reports besides its result lines, in every mode
    CascadeOptions cascade;  // with --response: a filter of any order instead of the search
    std::string_view opamp_gain_text;  // --opamp's A0 field as given, for messages
};

// Why a command line, or a value, cannot be used.
enum class ArgumentProblem {
    none,
    unknown_option,   // `argument` is not one of the options
    stray_argument,   // `argument` is not an option at all
    missing_value,    // `option` needs a value, and none followed it
    unwanted_value,   // `option` takes no value, but `argument` gives it one with "="
    not_a_number,     // `argument`, the value of `option`, is not one number and nothing else
    number_too_long,  // `argument`, the value of `option`, has more than `max_chars` characters
    missing_option,   // `option` was given without `needs`
    bad_value,        // `argument`, the value of `option` or a field of it, is not `expected`
    conflicting,      // `option` cannot go with `needs`: `why` says why
    bad_filter,       // the filter `option` asks for cannot be made: `why` says why
};

struct ArgumentError {
    ArgumentProblem problem = ArgumentProblem::none;
    std::string_view argument;  // the offending argument or value, as given
    std::string_view option;    // the option concerned, by its long name ("--fc")
    std::string_view needs;     // for missing_option: the options `option` needs
    int max_chars = 0;          // for number_too_long: the longest number allowed
    std::string_view expected;  // for bad_value: what the value must be, as a phrase
    std::string why;            // for conflicting and bad_filter: why, a sentence
};

struct CommandLine {
    ProgramOptions options;
    ArgumentError error;  // problem is none when the command line can be used

    bool ok() const { return error.problem == ArgumentProblem::none; }
};

// Reads `args` (the arguments after the program's name). Options may come in any order; a
// value follows its option as the next argument or after "=" ("--fc 1", "--fc=1"), and the
// next argument is the value even when it starts with "-" ("--fc -1"). An option given twice
// keeps its last value. Stops at the first argument that cannot be used and reports it. The
// mode: help when -h or --help is given, else version when --version is, else one_design
// with both --fc and --r1, designs_from_input with --json alone, else the dialogue; --fc or
// --r1 alone, and --band without both, are missing_option. Any of --series, --tolerance and
// --method turns the parts report on, the others at their defaults (E96,E12; 1,5; best).
// Values: --series two series names as series_name writes them ("E96,E12", resistors first);
// --tolerance two numbers as read_value reads them, each from 0 to below 100 (are_tolerances);
// --method best or nearest (method_from_name); --opamp one to three numbers
// "GBW_MHZ[,A0_DB[,ROUT_OHM]]" that opamp_from_fields takes and that make a valid op-amp (with
// --spice, one whose netlist_refusal_of is empty); --spice and --bom a file name, not empty. Values
// that are not so are bad_value (a field that is not a number: not_a_number or number_too_long,
// naming that field). The string views in the result point into `args`, which must outlive it.
CommandLine parse_command_line(std::span<const std::string_view> args);

struct ValueRead {
    ArgumentProblem problem = ArgumentProblem::none;  // none, not_a_number or number_too_long
    double value = 0;                                 // meaningful when problem is none
};

// `text` read as a value: the whole of it must be one real number in the console's notation
// of at most `max_chars` characters (scan_prefixed_real), with an optional SI prefix and
// nothing before or after it. Values beyond the double range are infinities with their sign.
ValueRead read_value(std::string_view text, int max_chars);

// One design of standard input's design mode: a line "fc r1 [band]".
struct DesignRequest {
    double fc_khz = 0;
    double r1_ohm = 0;
    std::optional<double> band_hz;
};

struct DesignLine {
    bool blank = false;     // nothing but white space: no design, and no error
    DesignRequest request;  // when not blank and `error` is empty
    std::string error;      // why the line cannot be used, a whole message as below
};

// Line `line_number` of the input (without its line end) read as a design: two or three
// fields separated by white space, each a value as read_value reads it (the cutoff and R1 of
// at most 19 characters, the band of at most 27).
DesignLine parse_design_line(std::string_view line, long long line_number);

// The usage text that --help prints: the ways to run the program, every option, the value
// notation and the exit statuses. Lines end in "\n" and fit 80 columns.
std::string usage_text();

// Written on standard error after the message for a command line that cannot be used.
inline constexpr std::string_view kTryHelp = "Try 'kestrane --help'.";

// The one-line message for a command line that cannot be used (`error.problem` is not none),
// beginning "kestrane: ", without a line end; arguments are quoted with control characters,
// bytes above 127, quotes and backslashes escaped, and cut short to fit 80 columns.
std::string argument_error_message(const ArgumentError& error);

// The message for a value that cannot be used (`problem` not_a_number or number_too_long),
// in the same form: `where` (such as "--fc" or "line 3: fc") and the quoted `value`.
std::string bad_value_message(std::string_view where, std::string_view value,
                              ArgumentProblem problem, int max_chars);

}  // namespace kestrane
