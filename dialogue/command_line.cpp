#include "command_line.h"

#include <algorithm>
#include <vector>

#include "messages.h"
#include "number_scan.h"

namespace kestrane {
namespace {

// Applies an option's value (empty for an option without one) to the options; returns the
// problem with the value, if any (the parser fills in the argument and the option).
using ApplyOption = ArgumentError (*)(ProgramOptions& options, std::string_view value);

struct OptionEntry {
    std::string_view short_name;  // "-h", or empty
    std::string_view long_name;   // "--help"
    std::string_view value_name;  // shown in the usage text; empty for an option without value
    std::string_view help;        // its line in the usage text
    ApplyOption apply;
};

ArgumentError problem_of(ArgumentProblem problem, int max_chars = 0) {
    ArgumentError error;
    error.problem = problem;
    error.max_chars = max_chars;
    return error;
}

template <bool ProgramOptions::*flag>
ArgumentError set_flag(ProgramOptions& options, std::string_view) {
    options.*flag = true;
    return {};
}

template <std::optional<double> ProgramOptions::*field, int max_chars>
ArgumentError set_number(ProgramOptions& options, std::string_view value) {
    const ValueRead read = read_value(value, max_chars);
    if (read.problem != ArgumentProblem::none) return problem_of(read.problem, max_chars);
    options.*field = read.value;
    return {};
}

// Every option: a new one is one more entry here (and its field in ProgramOptions).
constexpr OptionEntry kOptions[] = {
    {"-h", "--help", "", "print this help and exit", set_flag<&ProgramOptions::help>},
    {"", "--version", "", "print the name and version and exit",
     set_flag<&ProgramOptions::version>},
    {"", "--fc", "KHZ", "the cutoff in kilohertz",
     set_number<&ProgramOptions::fc_khz, kDesignNumberChars>},
    {"", "--r1", "OHM", "R1 in ohms", set_number<&ProgramOptions::r1_ohm, kDesignNumberChars>},
    {"", "--band", "HZ", "the band of the phase deviation, in hertz (optional)",
     set_number<&ProgramOptions::band_hz, kBandNumberChars>},
    {"", "--json", "", "one JSON object per design, on one line", set_flag<&ProgramOptions::json>},
};

const OptionEntry* find_option(std::string_view name) {
    for (const OptionEntry& option : kOptions) {
        if (name == option.long_name || (!option.short_name.empty() && name == option.short_name))
            return &option;
    }
    return nullptr;
}

ArgumentError error_at(ArgumentProblem problem, std::string_view argument,
                       std::string_view option = {}) {
    ArgumentError error = problem_of(problem);
    error.argument = argument;
    error.option = option;
    return error;
}

ArgumentError missing_option(std::string_view option, std::string_view needs) {
    ArgumentError error = error_at(ArgumentProblem::missing_option, option, option);
    error.needs = needs;
    return error;
}

// Sets the mode from the options given; an error when they do not make one.
ArgumentError choose_mode(ProgramOptions& options) {
    const bool fc = options.fc_khz.has_value();
    const bool r1 = options.r1_ohm.has_value();
    if (options.help) {
        options.mode = ProgramMode::help;
    } else if (options.version) {
        options.mode = ProgramMode::version;
    } else if (fc != r1) {
        return fc ? missing_option("--fc", "--r1") : missing_option("--r1", "--fc");
    } else if (options.band_hz && !fc) {
        return missing_option("--band", "--fc and --r1");
    } else if (fc) {
        options.mode = ProgramMode::one_design;
    } else if (options.json) {
        options.mode = ProgramMode::designs_from_input;
    } else {
        options.mode = ProgramMode::dialogue;
    }
    return {};
}

// "  -h, --help" or "      --fc KHZ": an option as the usage text names it.
std::string option_synopsis(const OptionEntry& option) {
    std::string text = "  ";
    text += option.short_name.empty() ? "    " : std::string(option.short_name) + ", ";
    text += option.long_name;
    if (!option.value_name.empty()) text.append(1, ' ').append(option.value_name);
    return text;
}

constexpr std::string_view kUsageStart =
    "Usage: kestrane\n"
    "       kestrane --fc KHZ --r1 OHM [--band HZ] [--json]\n"
    "       kestrane --json < DESIGNS\n"
    "Design a unity-gain Sallen-Key low-pass filter.\n"
    "\n"
    "With no arguments, the design dialogue runs on standard input and output.\n"
    "With --fc and --r1, one design's result lines are printed, without prompts.\n"
    "With --json alone, each line of standard input is one design, \"fc r1 [band]\",\n"
    "answered by one line of JSON; empty lines are skipped.\n"
    "\n"
    "Options:\n";

constexpr std::string_view kUsageEnd =
    "\n"
    "JSON keys: r1_ohm, r2_ohm, c1_farad, c2_farad, passband_hz and deviation_rad\n"
    "(half the deviation, as printed; only with a band), each number the exact value\n"
    "of the result, written as the shortest text that reads back to it.\n"
    "\n"
    "Values are numbers like 1000, -2.5, .5 or 4.7e3, with an optional SI prefix:\n"
    "p, n, u or \u00B5, m, k, M, G (10k is 10000, 4.7n is 4.7e-9).\n"
    "\n"
    "Exit status: 0 done; 1 a design was refused (or, in the dialogue, the input\n"
    "ended in the middle of a design); 2 a usage error, a bad value, or standard\n"
    "output could not be written.\n";

// The fields of a design line, split at white space.
std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        if (is_number_space(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && !is_number_space(static_cast<unsigned char>(line[i])))
            ++i;
        fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

}  // namespace

ValueRead read_value(std::string_view text, int max_chars) {
    if (text.empty() || is_number_space(static_cast<unsigned char>(text.front())))
        return {ArgumentProblem::not_a_number, 0};
    const RealScan scan = scan_prefixed_real(text, max_chars);
    if (scan.status == ScanStatus::too_long) return {ArgumentProblem::number_too_long, 0};
    if (scan.status != ScanStatus::ok || scan.taken != text.size())
        return {ArgumentProblem::not_a_number, 0};
    return {ArgumentProblem::none, scan.value};
}

CommandLine parse_command_line(std::span<const std::string_view> args) {
    CommandLine result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg.size() < 2 || arg.front() != '-') {
            result.error = error_at(ArgumentProblem::stray_argument, arg);
            return result;
        }
        const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
        const OptionEntry* const option = find_option(arg.substr(0, equals));
        if (option == nullptr) {
            result.error = error_at(ArgumentProblem::unknown_option, arg);
            return result;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
            if (option->value_name.empty()) {
                result.error = error_at(ArgumentProblem::unwanted_value, arg, option->long_name);
                return result;
            }
        } else if (!option->value_name.empty()) {
            if (i + 1 == args.size()) {
                result.error = error_at(ArgumentProblem::missing_value, arg, option->long_name);
                return result;
            }
            value = args[++i];
        }
        result.error = option->apply(result.options, value);
        if (!result.ok()) {
            result.error.argument = value;
            result.error.option = option->long_name;
            return result;
        }
    }
    result.error = choose_mode(result.options);
    return result;
}

DesignLine parse_design_line(std::string_view line, long long line_number) {
    DesignLine result;
    const std::vector<std::string_view> fields = split_fields(line);
    if (fields.empty()) {
        result.blank = true;
        return result;
    }
    const std::string where = "line " + std::to_string(line_number) + ": ";
    if (fields.size() < 2 || fields.size() > 3) {
        const std::size_t start = static_cast<std::size_t>(fields.front().data() - line.data());
        const std::size_t end =
            static_cast<std::size_t>(fields.back().data() - line.data()) + fields.back().size();
        result.error = quoted_message("kestrane: " + where + "expected fc r1 [band], not ",
                                      line.substr(start, end - start), "");
        return result;
    }
    constexpr std::string_view kNames[] = {"fc", "r1", "band"};
    constexpr int kLimits[] = {kDesignNumberChars, kDesignNumberChars, kBandNumberChars};
    double values[3] = {0, 0, 0};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ValueRead read = read_value(fields[i], kLimits[i]);
        if (read.problem != ArgumentProblem::none) {
            result.error = bad_value_message(where + std::string(kNames[i]), fields[i],
                                             read.problem, kLimits[i]);
            return result;
        }
        values[i] = read.value;
    }
    result.request.fc_khz = values[0];
    result.request.r1_ohm = values[1];
    if (fields.size() == 3) result.request.band_hz = values[2];
    return result;
}

std::string usage_text() {
    std::size_t width = 0;
    for (const OptionEntry& option : kOptions)
        width = std::max(width, option_synopsis(option).size());
    std::string text(kUsageStart);
    for (const OptionEntry& option : kOptions) {
        const std::string synopsis = option_synopsis(option);
        text.append(synopsis).append(width + 2 - synopsis.size(), ' ');
        text.append(option.help).append(1, '\n');
    }
    return text.append(kUsageEnd);
}

std::string bad_value_message(std::string_view where, std::string_view value,
                              ArgumentProblem problem, int max_chars) {
    const std::string prefix = "kestrane: " + std::string(where) + " ";
    if (problem == ArgumentProblem::number_too_long) {
        return quoted_message(prefix, value,
                              " has more than " + std::to_string(max_chars) + " characters");
    }
    return quoted_message(prefix, value, " is not a number like 1000, -2.5, 4.7e3 or 10k");
}

std::string argument_error_message(const ArgumentError& error) {
    const std::string option(error.option);
    switch (error.problem) {
        case ArgumentProblem::unknown_option:
            return quoted_message("kestrane: unknown option ", error.argument, "");
        case ArgumentProblem::stray_argument:
            return quoted_message("kestrane: unexpected argument ", error.argument, "");
        case ArgumentProblem::missing_value:
            return "kestrane: " + option + " needs a value";
        case ArgumentProblem::unwanted_value:
            return quoted_message("kestrane: " + option + " takes no value: ", error.argument, "");
        case ArgumentProblem::not_a_number:
        case ArgumentProblem::number_too_long:
            return bad_value_message(error.option, error.argument, error.problem, error.max_chars);
        case ArgumentProblem::missing_option:
            return "kestrane: " + option + " needs " + std::string(error.needs);
        case ArgumentProblem::none:
            break;
    }
    return "kestrane: no error";
}

}  // namespace kestrane
