// The command line: the parser over tables of argument lists, then the program run in-process
// for each mode with its output, messages and exit status.
#include "kestrane/console/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "full_buffer.h"
#include "kestrane/console/program.h"
#include "kestrane/text/json_object.h"
#include "program_run.h"

namespace kestrane {
namespace {

using testing::Args;
using testing_support::FullBuffer;

CommandLine parse(const Args& args) {
    return parse_command_line(args);
}

TEST(CommandLine, ModesAndValues) {
    struct Case {
        Args args;
        ProgramMode mode;
        std::optional<double> fc, r1, band;
        bool json;
    };
    const Case cases[] = {
        {{}, ProgramMode::dialogue, {}, {}, {}, false},
        {{"-h"}, ProgramMode::help, {}, {}, {}, false},
        {{"--fc", "1", "--help"}, ProgramMode::help, 1, {}, {}, false},  // help wins
        {{"--version", "--json"}, ProgramMode::version, {}, {}, {}, true},
        {{"--json"}, ProgramMode::designs_from_input, {}, {}, {}, true},
        {{"--fc", "1", "--r1", "10k", "--band", "150"},
         ProgramMode::one_design,
         1,
         1e4,
         150,
         false},
        {{"--r1=4.7M", "--json", "--fc=.5"}, ProgramMode::one_design, 0.5, 4.7e6, {}, true},
        {{"--fc", "-1", "--r1", "10\xC2\xB5"}, ProgramMode::one_design, -1, 1e-5, {}, false},
        {{"--fc", "2", "--r1", "2.2m", "--fc", "3e-3G"},
         ProgramMode::one_design,
         3e6,
         2.2e-3,
         {},
         false},  // the last --fc counts
        {{"--fc", "1e999", "--r1", "1", "--band", "-1e999"},
         ProgramMode::one_design,
         HUGE_VAL,
         1,
         -HUGE_VAL,
         false},
        // 19 characters for the cutoff and R1 and 27 for the band, the prefix not counted.
        {{"--fc", "1234567890123456789k", "--r1", "1", "--band", "123456789012345678901234567"},
         ProgramMode::one_design,
         1234567890123456789e3,
         1,
         123456789012345678901234567.0,
         false},
    };
    for (const Case& c : cases) {
        const CommandLine command = parse(c.args);
        SCOPED_TRACE(c.args.empty() ? "(none)" : std::string(c.args[0]));
        ASSERT_TRUE(command.ok()) << argument_error_message(command.error);
        EXPECT_EQ(command.options.mode, c.mode);
        EXPECT_EQ(command.options.fc_khz, c.fc);
        EXPECT_EQ(command.options.r1_ohm, c.r1);
        EXPECT_EQ(command.options.band_hz, c.band);
        EXPECT_EQ(command.options.json, c.json);
    }
}

TEST(CommandLine, TheFirstUnusableArgumentIsReported) {
    using P = ArgumentProblem;
    struct Case {
        Args args;
        ArgumentProblem problem;
        std::string_view argument;
        std::string_view option;
    };
    const Case cases[] = {
        {{"--bogus"}, P::unknown_option, "--bogus", ""},
        {{"--help", "--fcc=1"}, P::unknown_option, "--fcc=1", ""},
        {{"-h=1"}, P::unknown_option, "-h=1", ""},
        {{"1", "10000"}, P::stray_argument, "1", ""},
        {{"--json", "-"}, P::stray_argument, "-", ""},
        {{""}, P::stray_argument, "", ""},
        {{"--fc"}, P::missing_value, "--fc", "--fc"},
        {{"--json=yes"}, P::unwanted_value, "--json=yes", "--json"},
        {{"--fc", "1x", "--bogus"}, P::not_a_number, "1x", "--fc"},
        {{"--r1", "1Q"}, P::not_a_number, "1Q", "--r1"},
        {{"--fc", "--r1", "1"}, P::not_a_number, "--r1", "--fc"},
        {{"--fc="}, P::not_a_number, "", "--fc"},
        {{"--fc", " 1"}, P::not_a_number, " 1", "--fc"},
        {{"--fc", "1e"}, P::not_a_number, "1e", "--fc"},
        {{"--r1", "12345678901234567890"}, P::number_too_long, "12345678901234567890", "--r1"},
        {{"--band=1234567890123456789012345678"},
         P::number_too_long,
         "1234567890123456789012345678",
         "--band"},
        {{"--fc", "1"}, P::missing_option, "--fc", "--fc"},
        {{"--json", "--r1", "1"}, P::missing_option, "--r1", "--r1"},
        {{"--band", "150", "--json"}, P::missing_option, "--band", "--band"},
        // The extras' values: a field that is not a number is named on its own.
        {{"--series", "E96"}, P::bad_value, "E96", "--series"},
        {{"--series", "E96,f12"}, P::bad_value, "E96,f12", "--series"},
        {{"--series=E6,E12,E24"}, P::bad_value, "E6,E12,E24", "--series"},
        {{"--tolerance", "1,100"}, P::bad_value, "100", "--tolerance"},
        {{"--tolerance", "-1,5"}, P::bad_value, "-1", "--tolerance"},
        {{"--tolerance", "1,5,"}, P::bad_value, "1,5,", "--tolerance"},
        {{"--tolerance", "1,x"}, P::not_a_number, "x", "--tolerance"},
        {{"--tolerance", "12345678901234567890,1"},
         P::number_too_long,
         "12345678901234567890",
         "--tolerance"},
        {{"--method", "Best"}, P::bad_value, "Best", "--method"},
        {{"--opamp="}, P::not_a_number, "", "--opamp"},
        {{"--opamp", "0"}, P::bad_value, "0", "--opamp"},
        {{"--opamp", "10,0"}, P::bad_value, "0", "--opamp"},
        {{"--opamp", "10,1e-300"}, P::bad_value, "1e-300", "--opamp"},  // a gain of 1
        {{"--opamp", "10,100,-1"}, P::bad_value, "-1", "--opamp"},
        {{"--opamp", "10,,50"}, P::not_a_number, "", "--opamp"},
        {{"--opamp", "10,100,50,1"}, P::bad_value, "10,100,50,1", "--opamp"},
        {{"--opamp", "10,7000", "--spice", "f.cir"}, P::bad_value, "7000", "--opamp"},
        {{"--spice="}, P::bad_value, "", "--spice"},
        {{"--spice"}, P::missing_value, "--spice", "--spice"},
    };
    for (const Case& c : cases) {
        const CommandLine command = parse(c.args);
        SCOPED_TRACE(std::string(c.argument));
        EXPECT_EQ(command.error.problem, c.problem);
        EXPECT_EQ(command.error.argument, c.argument);
        EXPECT_EQ(command.error.option, c.option);
    }
}

TEST(CommandLine, ExtrasInEveryDesignMode) {
    using enum PreferredSeries;
    // Any parts option turns the report on with the others at their defaults.
    CommandLine command = parse({"--series", "e6,E192"});
    ASSERT_TRUE(command.ok());
    EXPECT_EQ(command.options.mode, ProgramMode::dialogue);
    ASSERT_TRUE(command.options.extras.asks.parts);
    EXPECT_EQ(command.options.extras.asks.parts->series.resistors, e6);
    EXPECT_EQ(command.options.extras.asks.parts->series.capacitors, e192);
    EXPECT_EQ(command.options.extras.asks.parts->method, PartsMethod::best);
    EXPECT_EQ(command.options.extras.asks.parts->tolerances.resistor_percent, 1);
    EXPECT_EQ(command.options.extras.asks.parts->tolerances.capacitor_percent, 5);
    EXPECT_FALSE(command.options.extras.asks.opamp);

    command = parse({"--method=nearest", "--tolerance", "500m,99.9", "--json"});
    ASSERT_TRUE(command.ok());
    EXPECT_EQ(command.options.mode, ProgramMode::designs_from_input);
    EXPECT_EQ(command.options.extras.asks.parts->method, PartsMethod::nearest);
    EXPECT_EQ(command.options.extras.asks.parts->tolerances.resistor_percent, 0.5);
    EXPECT_EQ(command.options.extras.asks.parts->tolerances.capacitor_percent, 99.9);

    // Omitted op-amp fields take their defaults; 60 dB is a gain of 1000.
    command = parse({"--fc", "1", "--r1", "1", "--opamp", "2.5", "--spice", "-out.cir"});
    ASSERT_TRUE(command.ok());
    EXPECT_EQ(command.options.mode, ProgramMode::one_design);
    EXPECT_FALSE(command.options.extras.asks.parts);
    ASSERT_TRUE(command.options.extras.asks.opamp);
    EXPECT_EQ(command.options.extras.asks.opamp->opamp.gbw_hz, 2.5e6);
    EXPECT_EQ(command.options.extras.asks.opamp->opamp.open_loop_gain, 1e5);
    EXPECT_EQ(command.options.extras.asks.opamp->opamp.output_resistance, 50);
    EXPECT_EQ(command.options.extras.spice_path, "-out.cir");
    command = parse({"--opamp", "1,60,0"});
    ASSERT_TRUE(command.ok());
    EXPECT_EQ(command.options.extras.asks.opamp->opamp.open_loop_gain, 1000);
    EXPECT_EQ(command.options.extras.asks.opamp->opamp.output_resistance, 0);
    EXPECT_TRUE(parse({"--opamp", "1,7000"}).ok());  // an infinite A0, without a netlist

    EXPECT_EQ(argument_error_message(parse({"--series", "E97,E12"}).error),
              "kestrane: --series \"E97,E12\" is not two of E6 to E192, like E96,E12");
    EXPECT_EQ(argument_error_message(parse({"--opamp", "10,100,-1"}).error),
              "kestrane: --opamp \"-1\" is not a finite Ro of 0 ohm or more");
}

// Every option the usage text names is one the parser knows and the manual page documents;
// every line fits 80 columns.
TEST(CommandLine, UsageTextOptionsAreKnownAndDocumentedWithinEightyColumns) {
    const std::string text = usage_text();
    std::ifstream manual_file(KESTRANE_MANUAL);
    const std::string manual{std::istreambuf_iterator<char>(manual_file), {}};
    ASSERT_FALSE(manual.empty()) << KESTRANE_MANUAL;
    std::set<std::string> options;
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        std::size_t end = at + 2;
        while (end < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-'))
            ++end;
        if (end > at + 2) options.insert(text.substr(at, end - at));
    }
    EXPECT_GE(options.size(), 12u);
    for (const std::string& option : options) {
        const CommandLine command = parse({option});
        EXPECT_NE(command.error.problem, ArgumentProblem::unknown_option) << option;
        std::string escaped;  // the manual writes each "-" as "\-"
        for (const char c : option)
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(escaped), std::string::npos) << option << " is not in the manual";
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        // Columns: UTF-8 bytes other than continuation bytes.
        const auto columns = std::count_if(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        });
        EXPECT_LE(columns, 80) << line;
    }
}

TEST(JsonObject, NestsObjectsAndEscapesKeys) {
    JsonObject inner;
    inner.add_number("gbw_hz", 1e6).add_number("a0", -0.5);
    JsonObject outer;
    outer.add_number("x", 0.1).add_object("opamp", inner).add_object("none", JsonObject());
    outer.add_number("q\"\\\n", HUGE_VAL);
    EXPECT_EQ(outer.text(),
              "{\"x\":0.1,\"opamp\":{\"gbw_hz\":1e+06,\"a0\":-0.5},\"none\":{},"
              "\"q\\\"\\\\\\u000a\":null}");
    // Strings are escaped as keys are; arrays hold objects.
    JsonObject warning;
    warning
        .add_string("text",
                    "C1 = \"-2\"\t\xC2\xB5"
                    "F")
        .add_bool("whole_hertz", false);
    const JsonObject items[] = {warning, JsonObject().add_bool("b", true)};
    EXPECT_EQ(JsonObject().add_array("w", items).add_array("none", {}).text(),
              "{\"w\":[{\"text\":\"C1 = \\\"-2\\\"\\u0009\xC2\xB5"
              "F\",\"whole_hertz\":false},"
              "{\"b\":true}],\"none\":[]}");
}

using testing::ProgramRun;
using testing::run;

const std::string kTryHelp = "Try 'kestrane --help'.\n";

// The 1 kHz, 10 kohm design's single-precision results as exact doubles, from the floats
// nearest the printed values 10253.1006, 2.31319959e-08 and 1.11089999e-08 (python3:
// struct.unpack('f', struct.pack('f', x))[0], written with repr). The deviation for 150 Hz is
// half the float-rounded largest deviation of python3's own run of the 500-point comparison
// (math.atan): 0.000979250529780984.
const std::string kJson1k =
    "{\"r1_ohm\":10000,\"r2_ohm\":10253.1005859375,\"c1_farad\":2.3131995874337008e-08,"
    "\"c2_farad\":1.110899994216652e-08,\"passband_hz\":300";
const std::string kJson1kBand150 = kJson1k + ",\"deviation_rad\":0.000979250529780984}\n";

TEST(RunProgram, HelpAndVersionGoToStandardOutput) {
    for (const char* help : {"-h", "--help"}) {
        const ProgramRun r = run({help});
        EXPECT_EQ(r.output, usage_text());
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(r.status, 0);
    }
    const ProgramRun r = run({"--version"});
    EXPECT_EQ(r.output, "kestrane 1.0\n");
    EXPECT_EQ(r.status, 0);
}

TEST(RunProgram, UsageErrorsWriteOnlyToStandardErrorWithStatusTwo) {
    const struct {
        Args args;
        std::string message;
    } cases[] = {
        {{"--bogus"}, "kestrane: unknown option \"--bogus\""},
        {{"stray\x01\xC3\xA9"}, "kestrane: unexpected argument \"stray\\x01\\xc3\\xa9\""},
        {{"--fc", "1", "--r1", "10q"},
         "kestrane: --r1 \"10q\" is not a number like 1000, -2.5, 4.7e3 or 10k"},
        {{"--fc", "1"}, "kestrane: --fc needs --r1"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = run(c.args, "1 10000 150 0\n");
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.errors, c.message + "\n" + kTryHelp);
        EXPECT_EQ(r.status, kExitUsage);
    }
}

TEST(RunProgram, OneDesignAsResultLinesOrJson) {
    ProgramRun r = run({"--fc", "1", "--r1", "10k", "--band", "150"});
    EXPECT_EQ(r.output,
              "R1, Ohm: 10000\nR2, Ohm: 10253.1\nC1, nF: 23.132\nC2, nF: 11.109\n"
              "Passband, Hz: 0-300 (amplitude pulsation 0.005dB)\n+/-0.000979251 radian.\n");
    EXPECT_EQ(r.status, 0);
    r = run({"--json", "--fc", "1e-3k", "--band", "0.15k", "--r1", "1e4"});
    EXPECT_EQ(r.output, kJson1kBand150);
    EXPECT_EQ(r.errors, "");
    r = run({"--fc", "1", "--r1", "10k", "--json"});
    EXPECT_EQ(r.output, kJson1k + "}\n");
    // A band of 1e999 is an infinity, over which the deviation is 0; a cutoff of 1e36 kHz
    // has an infinite passband edge, which JSON writes as null.
    r = run({"--fc", "1", "--r1", "10k", "--band", "1e999", "--json"});
    EXPECT_TRUE(r.output.ends_with(",\"deviation_rad\":0}\n")) << r.output;
    r = run({"--fc", "1e36", "--r1", "10k", "--json"});
    EXPECT_TRUE(r.output.ends_with(",\"passband_hz\":null}\n")) << r.output;
}

TEST(RunProgram, ARefusedDesignIsReportedWithStatusOne) {
    const ProgramRun r = run({"--fc", "1", "--r1", "0"});
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.errors, "kestrane: Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.\n");
    EXPECT_EQ(r.status, kExitRefused);
}

TEST(RunProgram, DesignsFromStandardInputOneJsonLineEach) {
    ProgramRun r =
        run({"--json"}, "1 10k 150\n\n \t\r\n1e-3k 10000\r\nabc 1\n1 2 3 4\n0 1\n1 1e4 150");
    EXPECT_EQ(r.output, kJson1kBand150 + kJson1k + "}\n" + kJson1kBand150);
    EXPECT_EQ(r.errors,
              "kestrane: line 5: fc \"abc\" is not a number like 1000, -2.5, 4.7e3 or 10k\n"
              "kestrane: line 6: expected fc r1 [band], not \"1 2 3 4\"\n"
              "kestrane: line 7: Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.\n");
    EXPECT_EQ(r.status, kExitUsage);  // a bad line outweighs a refused design

    r = run({"--json"}, "0 1\n1 10k 150\n");
    EXPECT_EQ(r.output, kJson1kBand150);
    EXPECT_EQ(r.status, kExitRefused);
    r = run({"--json"}, "1 12345678901234567890\n1\n");
    EXPECT_EQ(r.errors,
              "kestrane: line 1: r1 \"12345678901234567890\" has more than 19 characters\n"
              "kestrane: line 2: expected fc r1 [band], not \"1\"\n");
    EXPECT_EQ(run({"--json"}, "").status, 0);
}

TEST(RunProgram, OutputThatCannotBeWrittenStopsAtOnceWithStatusTwo) {
    FullBuffer full(0);
    std::ostream out(&full);
    std::ostringstream err;
    std::istringstream none;
    const Args version = {"--version"};
    EXPECT_EQ(run_program(version, none, out, err), kExitOutputFailed);

    // Every line a design: the program stops at the first answer it cannot put out.
    std::string designs;
    for (int i = 0; i < 1000; ++i)
        designs += "1 10000\n";
    std::istringstream endless_designs(designs);
    FullBuffer room_for_one(kJson1k.size() + 2);
    std::ostream one(&room_for_one);
    const Args json = {"--json"};
    EXPECT_EQ(run_program(json, endless_designs, one, err), kExitOutputFailed);
    EXPECT_EQ(room_for_one.written, kJson1k + "}\n");
    EXPECT_LT(endless_designs.tellg(), 100);
}

}  // namespace
}  // namespace kestrane
