// The extras the command line adds to each design (the parts report, the op-amp figures, the
// netlist and bill-of-materials files) and the warnings on standard error, with the program run
// in-process.
#include "kestrane/console/design_extras.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "kestrane/console/dialogue.h"
#include "kestrane/console/program.h"
#include "kestrane/session/session.h"
#include "kestrane/text/parts_text.h"
#include "program_run.h"

namespace kestrane {
namespace {

using testing::Args;

using testing::ProgramRun;
using testing::run;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(1, '\n');
    return text;
}

// The number after `key` in a JSON text; not-a-number when the key is missing.
double json_number(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\"" + key + "\":");
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + key.size() + 3, nullptr);
}

const std::string kResultLines1k =
    "R1, Ohm: 10000\nR2, Ohm: 10253.1\nC1, nF: 23.132\nC2, nF: 11.109\n"
    "Passband, Hz: 0-300 (amplitude pulsation 0.005dB)\n";
const std::string kDesign1kInput = "1 10000 150 0";

// The best E96/E12 set of the 1 kHz, 10 kohm design by python3's exhaustive search of the same
// neighbourhood (R2 within a factor 5, C1 and C2 within a factor 4 of the search's parts), its
// figures on the real circuit by mpmath: cutoff 1002.30959004318 Hz (+0.230959004317933 %),
// Q 0.708093309950159 (+0.139516235717022 %). C1 and C2 are the doubles nearest 15 nF and
// 5.6 nF.
const std::string kBestSet1k =
    "R1, Ohm: 10000\nR2, Ohm: 30100\nC1, nF: 15\nC2, nF: 5.6\n"
    "Achieved cutoff: 1002.31 Hz (+0.23 %)\nQ: 0.708093 (+0.14 %)\n";

TEST(DesignExtras, PartsReportAfterTheResultLinesAndTheDeviationLine) {
    const std::string report = joined(parts_report_lines(design_filter(1, 10000), {}));
    EXPECT_NE(report.find("E12 C:\n" + kBestSet1k), std::string::npos) << report;

    ProgramRun r = run({"--fc", "1", "--r1", "10k", "--series", "E96,E12"});
    EXPECT_EQ(r.output, kResultLines1k + report);
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.status, 0);

    // The dialogue: the block and an empty line between the deviation line and the credits.
    const std::string plain = run({}, kDesign1kInput).output;
    const std::string deviation = "+/-0.000979251 radian.\n\n";
    const std::size_t credits = plain.find(deviation) + deviation.size();
    r = run({"--method", "best"}, kDesign1kInput);
    EXPECT_EQ(r.output, plain.substr(0, credits) + report + "\n" + plain.substr(credits));
    EXPECT_EQ(r.status, 0);
}

TEST(DesignExtras, OpAmpFiguresOfTheShownSet) {
    // mpmath on the best set's third-order response with 10 MHz, 100 dB and 50 ohm
    // (tests/tools/opamp_expected.py's tf and findroot): cutoff 1002.30268404834 Hz, slew rate
    // 0.00445307813239918 V/us for a 1 V input.
    // Its step from the residues at the poles: overshoot 4.36041836941 %, main edge
    // 0.000341075446784 s, settling 0.00104712779142 s and 0.00162938804852 s.
    ProgramRun r = run({"--fc", "1", "--r1", "10k", "--opamp", "10"});
    EXPECT_TRUE(r.output.starts_with(
        kResultLines1k +
        "Op-amp GBW 10 MHz, A0 100 dB, Ro 50 Ohm, with the best set of E96 R and E12 C:\n"
        "Cutoff with op-amp (-3 dB from the DC gain, first crossing), Hz: 1002.3\n"))
        << r.output;
    EXPECT_NE(r.output.find("\nSlew rate for a 1 V peak input sine, V/us: 0.00445308\n"
                            "Lowest gain above the cutoff, dB from 1: -"),
              std::string::npos);
    EXPECT_TRUE(r.output.ends_with(
        "\nStep overshoot, % of final value: 4.36042\n"
        "Step rise time, main edge 10-90 % of final value, s: 0.000341075\n"
        "Step settling to 1 % of final value, s: 0.00104713; to 0.1 %, s: 0.00162939\n"))
        << r.output;
    EXPECT_EQ(r.output.find("Standard parts"), std::string::npos);

    r = run({"--fc", "1", "--r1", "10k", "--opamp", "1,80,0", "--method", "nearest"});
    EXPECT_NE(r.output.find("\nOp-amp GBW 1 MHz, A0 80 dB, Ro 0 Ohm, with the nearest E96 R and "
                            "E12 C:\n"),
              std::string::npos);

    // Without a circuit to build, both say so instead of figures.
    r = run({"--fc", "-1", "--r1", "10k", "--opamp", "10", "--series", "E96,E12"});
    EXPECT_TRUE(r.output.ends_with(
        "\nNo circuit to build: the cutoff = -1 kHz is not above 0; no standard parts, ranges or "
        "yield\nNo circuit to build: the cutoff = -1 kHz is not above 0; no op-amp figures\n"))
        << r.output;
    EXPECT_EQ(r.errors, "");
}

TEST(DesignExtras, AStandardSetBeyondTheFloatRangeIsACircuitLikeAnyOther) {
    // R1 of 1e40 is held as the largest float, 3.40282e38; the E48 member nearest to it is
    // 3.48e38, beyond the float range but a double: the set has figures, and warnings.
    for (const char* method : {"best", "nearest"}) {
        SCOPED_TRACE(method);
        const ProgramRun r = run({"--fc", "1", "--r1", "1e40", "--series", "E48,E6", "--method",
                                  method, "--opamp", "10"});
        EXPECT_NE(r.output.find("\nR1, Ohm: 3.48e+038\nR2, Ohm: "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Achieved cutoff"), std::string::npos);
        EXPECT_NE(r.output.find("Warning: the standard set's R1 = 3.48e+038 Ohm is above 10 MOhm"),
                  std::string::npos);
        EXPECT_EQ(r.status, 0);
    }
}

TEST(DesignExtras, FilesHoldTheLastDesign) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("kestrane_extras_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "design.cir").string();
    const auto file_text = [&] {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };

    // Two designs in the dialogue: the file holds the second; standard output is unchanged.
    const std::string input = "2.2 4700 1000 1 1 10000 150 0";
    ProgramRun r = run({"--spice", path}, input);
    EXPECT_EQ(r.output, run({}, input).output);
    EXPECT_EQ(r.status, 0);
    Session session;
    session.set_design(1, 10000);
    apply_asks(session, {});
    const std::string netlist = file_text();
    EXPECT_EQ(netlist, session.netlist());
    // The best set (see kBestSet1k) with the default op-amp, as the design names it.
    for (const char* line :
         {"\n* Design: cutoff 1000 Hz, R1 10000 ohm, parts E96 R and E12 C, best set\n",
          "\nR2 x p 3.0100000000000000e+04\n", "\nC1 x out 1.4999999999999999e-08\n",
          "\nRA a 0 1.0000000000000000e+05\n", "\nRO b out 5.0000000000000000e+01\n"}) {
        EXPECT_NE(netlist.find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(netlist.ends_with("\n.end\n"));

    r = run({"--fc", "-1", "--r1", "10k", "--spice", path});
    EXPECT_TRUE(file_text().ends_with(
        "\n* No circuit to build: the cutoff = -1 kHz is not above 0; no netlist\n.end\n"));

    // The bill of materials of the best set (see kBestSet1k) at the tolerances asked for.
    r = run({"--fc", "1", "--r1", "10k", "--tolerance", "2,10", "--bom", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file_text(),
              "Reference,Value,Unit,Series,Tolerance,Quantity\nR1,10000,ohm,E96,2%,1\n"
              "R2,30100,ohm,E96,2%,1\nC1,15,nF,E12,10%,1\nC2,5.6,nF,E12,10%,1\n"
              "U1,10,MHz GBW,,,1\n");

    // A file that cannot be written is found before anything is printed: its message, status
    // 2 and nothing on standard output, in every mode that makes designs.
    const std::string missing = (folder / "missing" / "design.cir").string();
    const std::string message =
        "kestrane: cannot write \"" + missing + "\": No such file or directory\n";
    for (const Args& args :
         {Args{"--fc", "1", "--r1", "10k", "--spice", missing}, Args{"--json", "--spice", missing},
          Args{"--spice", missing}, Args{"--fc", "1", "--r1", "10k", "--bom", missing}}) {
        r = run(args, input);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.errors, message);
        EXPECT_EQ(r.status, kExitOutputFailed);
    }
    // The check leaves no file behind where there was none.
    const std::string fresh = (folder / "fresh.cir").string();
    EXPECT_EQ(run({"--json", "--spice", fresh}, "").status, 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    std::filesystem::remove_all(folder);
}

TEST(DesignExtras, JsonNestsThePartsAndTheOpAmp) {
    ProgramRun r =
        run({"--fc", "1", "--r1", "10k", "--json", "--tolerance", "1,5", "--opamp", "10"});
    // The search's parts as in command_line_test, then the best set's doubles (kBestSet1k).
    EXPECT_TRUE(r.output.starts_with(
        "{\"r1_ohm\":10000,\"r2_ohm\":10253.1005859375,\"c1_farad\":2.3131995874337008e-08,"
        "\"c2_farad\":1.110899994216652e-08,\"passband_hz\":300,\"parts\":{\"method\":\"best\","
        "\"resistor_series\":\"E96\",\"capacitor_series\":\"E12\","
        "\"resistor_tolerance_percent\":1,\"capacitor_tolerance_percent\":5,\"r1_ohm\":10000,"
        "\"r2_ohm\":30100,\"c1_farad\":1.5e-08,\"c2_farad\":5.6e-09,"
        "\"cutoff_hz\":"))
        << r.output;
    const std::size_t opamp = r.output.find(
        ",\"opamp\":{\"gbw_mhz\":10,\"open_loop_gain_db\":100,"
        "\"output_ohm\":50,\"cutoff_hz\":");
    ASSERT_NE(opamp, std::string::npos) << r.output;
    const std::string parts = r.output.substr(0, opamp);
    EXPECT_NEAR(json_number(parts, "cutoff_error_percent"), 0.230959004317933, 1e-12);
    EXPECT_NEAR(json_number(parts, "q_error_percent"), 0.139516235717022, 1e-12);
    // Yield counts of an independent implementation (parts_text_test): 2050, 4089, 9513.
    EXPECT_TRUE(
        parts.ends_with("\"yield\":{\"draws\":10000,\"within_1_percent\":20.5,"
                        "\"within_2_percent\":40.89,\"within_5_percent\":95.13},"
                        "\"warnings\":[]}"))
        << parts;
    const std::string figures = r.output.substr(opamp);
    EXPECT_NEAR(json_number(figures, "cutoff_hz"), 1002.30268404834, 1e-8);
    EXPECT_EQ(json_number(figures, "slew_input_peak_v"), 1);
    EXPECT_NEAR(json_number(figures, "slew_rate_v_per_us"), 0.00445307813239918, 1e-15);
    // The limit (Ro||R2) / (R1 + Ro||R2) of 10 k, 30.1 k and 50 ohm: -46.0782659018 dB.
    EXPECT_NEAR(json_number(figures, "high_frequency_gain_db"), -46.0782659018, 1e-9);
    EXPECT_NEAR(json_number(figures, "step_overshoot_percent"), 4.36041836941, 1e-9);
    EXPECT_NEAR(json_number(figures, "step_rise_time_s"), 0.000341075446784, 1e-14);
    EXPECT_NEAR(json_number(figures, "step_settling_1_percent_s"), 0.00104712779142, 1e-14);
    EXPECT_NEAR(json_number(figures, "step_settling_01_percent_s"), 0.00162938804852, 1e-14);
    EXPECT_TRUE(r.output.ends_with("}}\n"));

    // The warnings as objects; the design's search parts have none to show.
    r = run({"--fc", "1.5m", "--r1", "10k", "--json", "--method", "nearest"});
    EXPECT_NE(r.output.find("\"warnings\":[{\"kind\":\"nonpositive_part\",\"text\":\"Warning: "
                            "positive inputs gave C1 = -2514.3 nF"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("\"name\":\"C1\",\"value\":-2.5143"), std::string::npos);
    EXPECT_NE(r.output.find(",\"whole_hertz\":true},{\"kind\":\"no_circuit\""), std::string::npos);
    EXPECT_EQ(r.output.find("\"r2_ohm\":", r.output.find("\"parts\"")), std::string::npos);
    EXPECT_EQ(r.errors, design_warning_line(design_filter(0.0015, 10000)) + "\n");
    // Without parts options the object stays as it was, and the warning is still written.
    r = run({"--fc", "1.5m", "--r1", "10k", "--json"});
    EXPECT_EQ(r.output.find("parts"), std::string::npos);
    EXPECT_EQ(r.errors, design_warning_line(design_filter(0.0015, 10000)) + "\n");
    // Designs from standard input name the line of a warning.
    r = run({"--json", "--series", "E96,E12"}, "1 10k\n5.5m 10k\n");
    const std::size_t second_line = r.output.find('\n') + 1;
    EXPECT_LT(r.output.find("\"parts\":{"), second_line);
    EXPECT_NE(r.output.find("\"parts\":{", second_line), std::string::npos);
    EXPECT_TRUE(r.errors.starts_with("kestrane: line 2: warning: the whole-hertz design model"))
        << r.errors;
    EXPECT_EQ(r.status, 0);
}

TEST(DesignExtras, WarningOnStandardErrorAfterTheComponentLines) {
    for (const double fc_khz : {0.0055, 0.0015}) {
        const std::string input = std::to_string(fc_khz) + " 10000 2 0";
        SCOPED_TRACE(input);
        const std::string warning = design_warning_line(design_filter(fc_khz, 10000)) + "\n";
        ASSERT_NE(warning, "\n");
        // Standard output as the dialogue writes it without anywhere for warnings.
        std::istringstream plain_in(input);
        std::ostringstream plain;
        run_dialogue(plain_in, plain);
        const ProgramRun r = run({}, input);
        EXPECT_EQ(r.output, plain.str());
        EXPECT_EQ(r.errors, warning);
        EXPECT_EQ(r.status, 0);

        // Both streams into one: the warning comes right after the C2 line.
        std::stringbuf shared;
        std::ostream out(&shared), err(&shared);
        std::istringstream in(input);
        const Args none;
        run_program(none, in, out, err);
        const std::size_t after_c2 = plain.str().find('\n', plain.str().find("C2, nF: ")) + 1;
        EXPECT_EQ(shared.str(), plain.str().insert(after_c2, warning));

        const std::string fc = std::to_string(fc_khz);
        const ProgramRun one = run({"--fc", fc, "--r1", "10000"});
        EXPECT_EQ(one.errors, warning);
        EXPECT_EQ(one.output.find("warning"), std::string::npos);
        EXPECT_EQ(one.status, 0);
    }
}

}  // namespace
}  // namespace kestrane
