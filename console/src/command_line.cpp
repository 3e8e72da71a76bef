#include "kestrane/console/command_line.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "kestrane/text/cascade_text.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_scan.h"
#include "kestrane/text/spice_netlist.h"

namespace kestrane {
namespace {

// Applies an option's value (empty for an option without one) to the options; returns the
// problem with the value, if any (the parser fills in the option, and the argument when the
// problem does not name one: a field of the value).
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

ArgumentError bad_value(std::string_view argument, std::string_view expected) {
    ArgumentError error = problem_of(ArgumentProblem::bad_value);
    error.argument = argument;
    error.expected = expected;
    return error;
}

// The fields of a value separated by commas, empty ones included ("1,,5" has three).
std::vector<std::string_view> comma_fields(std::string_view value) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(value.substr(start));
            return fields;
        }
        fields.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
}

// `field` read as a number into `value`; the problem names the field.
ArgumentError read_field(std::string_view field, double& value) {
    const ValueRead read = read_value(field, kDesignNumberChars);
    if (read.problem != ArgumentProblem::none) {
        ArgumentError error = problem_of(read.problem, kDesignNumberChars);
        error.argument = field;
        return error;
    }
    value = read.value;
    return {};
}

PartsOptions& parts_options(ProgramOptions& options) {
    if (!options.extras.asks.parts) options.extras.asks.parts = PartsOptions{};
    return *options.extras.asks.parts;
}

ArgumentError set_series(ProgramOptions& options, std::string_view value) {
    const std::vector<std::string_view> names = comma_fields(value);
    std::optional<PreferredSeries> resistors, capacitors;
    if (names.size() == 2) {
        resistors = series_from_name(names[0]);
        capacitors = series_from_name(names[1]);
    }
    if (!resistors || !capacitors) {
        return bad_value(value, "two of E6 to E192, like E96,E12");
    }
    parts_options(options).series = {*resistors, *capacitors};
    return {};
}

ArgumentError set_tolerances(ProgramOptions& options, std::string_view value) {
    const std::vector<std::string_view> fields = comma_fields(value);
    if (fields.size() != 2) return bad_value(value, "two tolerances in percent, like 1,5");
    double percent[2] = {0, 0};
    for (std::size_t i = 0; i < 2; ++i) {
        const ArgumentError error = read_field(fields[i], percent[i]);
        if (error.problem != ArgumentProblem::none) return error;
        if (!are_tolerances({percent[i], 0})) {
            return bad_value(fields[i], "a tolerance from 0 to below 100 %");
        }
    }
    parts_options(options).tolerances = {percent[0], percent[1]};
    return {};
}

ArgumentError set_method(ProgramOptions& options, std::string_view value) {
    const std::optional<PartsMethod> method = method_from_name(value);
    if (!method) return bad_value(value, "best or nearest");
    parts_options(options).method = *method;
    return {};
}

// The problem with an op-amp field that opamp_from_fields refused, or that makes no valid
// op-amp (a gain in dB so small that 10^(dB/20) rounds to 1); none when all were taken.
ArgumentError refused_field(const OpAmpReading& reading,
                            const std::vector<std::string_view>& fields) {
    OpAmpField refused = reading.refused;
    if (refused == OpAmpField::none && !is_valid_opamp(reading.opamp)) {
        refused = OpAmpField::open_loop_gain;
    }
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : ""; };
    switch (refused) {
        case OpAmpField::none:
            break;
        case OpAmpField::gbw:
            return bad_value(field(0), "a finite GBW above 0 MHz");
        case OpAmpField::open_loop_gain:
            return bad_value(field(1), "a finite A0 above 0 dB, a gain above 1");
        case OpAmpField::output_resistance:
            return bad_value(field(2), "a finite Ro of 0 ohm or more");
    }
    return {};
}

ArgumentError set_opamp(ProgramOptions& options, std::string_view value) {
    const std::vector<std::string_view> fields = comma_fields(value);
    if (fields.size() > 3) return bad_value(value, "GBW_MHZ[,A0_DB[,ROUT_OHM]], like 10,100,50");
    OpAmpChoice choice;
    double* const values[3] = {&choice.gbw_mhz, &choice.open_loop_gain_db, &choice.output_ohm};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ArgumentError error = read_field(fields[i], *values[i]);
        if (error.problem != ArgumentProblem::none) return error;
    }
    const OpAmpReading reading =
        opamp_from_fields(choice.gbw_mhz, choice.open_loop_gain_db, choice.output_ohm);
    const ArgumentError error = refused_field(reading, fields);
    if (error.problem != ArgumentProblem::none) return error;
    choice.opamp = reading.opamp;
    options.extras.asks.opamp = choice;
    options.opamp_gain_text = fields.size() > 1 ? fields[1] : "";
    return {};
}

template <std::string DesignExtras::*path>
ArgumentError set_path(ProgramOptions& options, std::string_view value) {
    if (value.empty()) return bad_value(value, "a file name");
    options.extras.*path = std::string(value);
    return {};
}

ArgumentError set_response(ProgramOptions& options, std::string_view value) {
    const std::optional<Response> response = response_from_name(value);
    if (!response) return bad_value(value, "butterworth, bessel, chebyshev or linkwitz-riley");
    options.cascade.response = response;
    return {};
}

ArgumentError set_order(ProgramOptions& options, std::string_view value) {
    const ValueRead read = read_value(value, kDesignNumberChars);
    const bool whole =
        read.problem == ArgumentProblem::none && read.value == std::floor(read.value);
    if (!whole || read.value < 1 || read.value > kMaxOrder) {
        return bad_value(value, "a whole order from 1 to 10");
    }
    options.cascade.order = static_cast<int>(read.value);
    options.cascade.order_text = value;
    return {};
}

ArgumentError set_ripple(ProgramOptions& options, std::string_view value) {
    const ValueRead read = read_value(value, kDesignNumberChars);
    if (read.problem != ArgumentProblem::none) return problem_of(read.problem, kDesignNumberChars);
    if (!(read.value >= kMinRippleDb && read.value <= kMaxRippleDb)) {
        return bad_value(value, "a ripple from 0.01 to 3 dB");
    }
    options.cascade.ripple_db = read.value;
    options.cascade.ripple_text = value;
    return {};
}

// "KHZ,DB": an edge in kilohertz and a loss in dB, each a number.
ArgumentError read_edge(std::string_view value, double& hz, double& db) {
    const std::vector<std::string_view> fields = comma_fields(value);
    if (fields.size() != 2) return bad_value(value, "an edge and a loss, KHZ,DB, like 1,3");
    double khz = 0;
    ArgumentError error = read_field(fields[0], khz);
    if (error.problem == ArgumentProblem::none) error = read_field(fields[1], db);
    if (error.problem != ArgumentProblem::none) return error;
    if (!(khz > 0 && std::isfinite(khz))) return bad_value(fields[0], "an edge above 0 kHz");
    if (!(db > 0 && std::isfinite(db))) return bad_value(fields[1], "a loss above 0 dB");
    hz = khz * 1000;
    return {};
}

ArgumentError set_passband(ProgramOptions& options, std::string_view value) {
    PassStopSpec edge;
    const ArgumentError error = read_edge(value, edge.passband_hz, edge.passband_loss_db);
    if (error.problem == ArgumentProblem::none) options.cascade.passband = edge;
    return error;
}

ArgumentError set_stopband(ProgramOptions& options, std::string_view value) {
    PassStopSpec edge;
    const ArgumentError error = read_edge(value, edge.stopband_hz, edge.stopband_loss_db);
    if (error.problem == ArgumentProblem::none) options.cascade.stopband = edge;
    return error;
}

template <bool CascadeOptions::*flag>
ArgumentError set_cascade_flag(ProgramOptions& options, std::string_view) {
    options.cascade.*flag = true;
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
    {"", "--band", "HZ", "the phase deviation's band, in hertz (optional)",
     set_number<&ProgramOptions::band_hz, kBandNumberChars>},
    {"", "--json", "", "one JSON object per design, on one line", set_flag<&ProgramOptions::json>},
    {"", "--series", "R,C", "standard series, E6 to E192 in any case (E96,E12)", set_series},
    {"", "--tolerance", "R,C", "their tolerances in percent, 0 to below 100 (1,5)", set_tolerances},
    {"", "--method", "best|nearest", "the best set, or each part's nearest (best)", set_method},
    {"", "--opamp", "MHZ[,DB[,OHM]]", "op-amp figures: GBW, A0 (100 dB), Ro (50 ohm)", set_opamp},
    {"", "--spice", "FILE", "write the shown set's SPICE netlist to FILE",
     set_path<&DesignExtras::spice_path>},
    {"", "--bom", "FILE", "write the shown set's bill of materials to FILE",
     set_path<&DesignExtras::bom_path>},
    {"", "--response", "NAME", "butterworth, bessel, chebyshev or linkwitz-riley", set_response},
    {"", "--order", "N", "the filter's order, 1 to 10 (with --response)", set_order},
    {"", "--ripple", "DB", "a Chebyshev's passband ripple, 0.01 to 3 dB", set_ripple},
    {"", "--ripple-edge", "", "a Chebyshev's cutoff is its ripple band's edge",
     set_cascade_flag<&CascadeOptions::ripple_edge>},
    {"", "--passband", "KHZ,DB", "the order from a passband edge and its most loss", set_passband},
    {"", "--stopband", "KHZ,DB", "... and a stopband edge and its least loss", set_stopband},
    {"", "--compensate", "", "each stage's parts compensated for the op-amp",
     set_cascade_flag<&CascadeOptions::compensate>},
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

ArgumentError conflicting(std::string_view option, std::string_view other, std::string why) {
    ArgumentError error = error_at(ArgumentProblem::conflicting, option, option);
    error.needs = other;
    error.why = std::move(why);
    return error;
}

ArgumentError bad_filter(std::string_view option, std::string why) {
    ArgumentError error = error_at(ArgumentProblem::bad_filter, option, option);
    error.why = std::move(why);
    return error;
}

// The options of a filter of any order that need --response, in the order they are checked.
std::string_view option_needing_response(const CascadeOptions& c) {
    if (c.order) return "--order";
    if (c.ripple_db) return "--ripple";
    if (c.ripple_edge) return "--ripple-edge";
    if (c.passband) return "--passband";
    if (c.stopband) return "--stopband";
    if (c.compensate) return "--compensate";
    return "";
}

// The filter of any order the options ask for, checked: the combination, then the request or
// the passband and stopband limits. Messages for what cannot be made are the filter texts' own.
ArgumentError check_cascade(const ProgramOptions& options) {
    const CascadeOptions& c = options.cascade;
    if (!c.response) {
        const std::string_view option = option_needing_response(c);
        return option.empty() ? ArgumentError{} : missing_option(option, "--response");
    }
    const auto positive = [](const std::optional<double>& value) {
        return !value || (*value > 0 && std::isfinite(*value));
    };
    if (!positive(options.fc_khz)) {
        return bad_filter("--fc", "A filter of any order needs a cutoff above 0 and finite.");
    }
    if (!positive(options.r1_ohm)) {
        return bad_filter("--r1", "A filter of any order needs an R1 above 0 and finite.");
    }
    if (c.passband || c.stopband) {
        if (c.order) {
            return conflicting("--order", "--passband and --stopband",
                               "the specification sets the order");
        }
        if (options.fc_khz) {
            return conflicting("--fc", "--passband and --stopband",
                               "the specification sets the cutoff");
        }
        if (!c.passband) return missing_option("--stopband", "--passband");
        if (!c.stopband) return missing_option("--passband", "--stopband");
        const CascadeRequest request = c.request();
        const SpecError error =
            choose_order(request.response, *c.pass_stop(), request.ripple_db, request.edge).error;
        if (error != SpecError::none) return bad_filter("--passband", spec_error_message(error));
        return {};
    }
    if (!c.order) return missing_option("--response", "--order, or --passband and --stopband");
    const CascadeRequest request = c.request();
    const RequestError error = validate_request(request);
    if (error != RequestError::none) {
        return bad_filter("--response", request_error_message(error, request));
    }
    return {};
}

// Sets the mode from the options given; an error when they do not make one.
ArgumentError choose_mode(ProgramOptions& options) {
    const bool fc = options.fc_khz.has_value();
    const bool r1 = options.r1_ohm.has_value();
    if (options.help) {
        options.mode = ProgramMode::help;
    } else if (options.version) {
        options.mode = ProgramMode::version;
    } else if (const ArgumentError cascade = check_cascade(options);
               cascade.problem != ArgumentProblem::none) {
        return cascade;
    } else if (options.cascade.pass_stop()) {
        if (!r1) return missing_option("--passband", "--r1");
        options.mode = ProgramMode::one_design;
    } else if (options.cascade.response && !r1 && !options.json) {
        return missing_option("--response", "--fc and --r1, or --json");
    } else if (fc != r1) {
        return fc ? missing_option("--fc", "--r1") : missing_option("--r1", "--fc");
    } else if (options.band_hz && !fc) {
        return missing_option("--band", "--fc and --r1");
    } else if (!options.extras.spice_path.empty() && options.extras.asks.opamp &&
               !netlist_refusal_of(options.extras.asks.opamp->opamp).empty()) {
        ArgumentError error =
            bad_value(options.opamp_gain_text, "an A0 below about 6165 dB, which --spice needs");
        error.option = "--opamp";
        return error;
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
    "Usage: kestrane [EXTRAS]\n"
    "       kestrane --fc KHZ --r1 OHM [--band HZ] [--json] [EXTRAS]\n"
    "       kestrane --json [EXTRAS] < DESIGNS\n"
    "Design a unity-gain Sallen-Key low-pass filter.\n"
    "\n"
    "Without --fc, --r1 and --json, the design dialogue runs on standard input and\n"
    "output. With --fc and --r1, one design's result lines are printed, without\n"
    "prompts. With --json alone, each line of standard input is one design,\n"
    "\"fc r1 [band]\", answered by one line of JSON; empty lines are skipped.\n"
    "EXTRAS are --series, --tolerance, --method, --opamp, --spice and --bom.\n"
    "\n"
    "Options:\n";

constexpr std::string_view kUsageEnd =
    "\n"
    "Any of --series, --tolerance and --method prints the parts report after each\n"
    "design's deviation line (with --fc, after its result lines): the set of\n"
    "standard parts, its cutoff, Q and f0 on the real circuit, the cutoff and Q\n"
    "over the tolerances, the yield of 10000 builds, and warnings. --opamp prints\n"
    "the op-amp's figures for that set (without parts options, the best set of\n"
    "E96 R and E12 C). --spice writes the netlist of that set with the op-amp\n"
    "(10,100,50 without --opamp) after each design, so the file holds the last\n"
    "design made; --bom its bill of materials likewise.\n"
    "\n"
    "A design whose parts cannot be built as printed (positive inputs gave a part\n"
    "of 0 or below) or miss the target on the real circuit (the cutoff by more\n"
    "than 1 %, Q by more than 5 %) gets one \"kestrane: warning: ...\" line on\n"
    "standard error; standard output and the exit status stay as they are.\n"
    "\n"
    "JSON keys: r1_ohm, r2_ohm, c1_farad, c2_farad, passband_hz and deviation_rad\n"
    "(half the deviation, as printed; only with a band), each number the exact value\n"
    "of the result, written as the shortest text that reads back to it; with parts\n"
    "options a \"parts\" object, with --opamp an \"opamp\" object (see kestrane(1)).\n"
    "\n"
    "Values are numbers like 1000, -2.5, .5 or 4.7e3, with an optional SI prefix:\n"
    "p, n, u or \u00B5, m (milli), k or K (kilo), M (mega), G (10k and 10K are\n"
    "10000, 4.7n is 4.7e-9, 1M is 1e6 and 1m is 0.001).\n"
    "\n"
    "Exit status: 0 done; 1 a design was refused (or, in the dialogue, the input\n"
    "ended in the middle of a design); 2 a usage error, a bad value, standard\n"
    "input that --json cannot read, or standard output or the --spice file could\n"
    "not be written (checked before anything is printed).\n";

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

CascadeRequest CascadeOptions::request() const {
    CascadeRequest request;
    request.response = response.value_or(Response::butterworth);
    request.order = order.value_or(0);
    request.ripple_db = ripple_db.value_or(kNoRipple);
    request.edge = ripple_edge ? ChebyshevEdge::ripple_edge : ChebyshevEdge::minus_3db;
    return request;
}

std::optional<PassStopSpec> CascadeOptions::pass_stop() const {
    if (!passband || !stopband) return std::nullopt;
    PassStopSpec spec = *passband;
    spec.stopband_hz = stopband->stopband_hz;
    spec.stopband_loss_db = stopband->stopband_loss_db;
    return spec;
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
            if (result.error.argument.data() == nullptr) result.error.argument = value;
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
        case ArgumentProblem::bad_value:
            return quoted_message("kestrane: " + option + " ", error.argument,
                                  " is not " + std::string(error.expected));
        case ArgumentProblem::conflicting:
            return "kestrane: " + option + " cannot go with " + std::string(error.needs) + ": " +
                   error.why;
        case ArgumentProblem::bad_filter:
            return "kestrane: " + error.why;
        case ArgumentProblem::none:
            break;
    }
    return "kestrane: no error";
}

}  // namespace kestrane
