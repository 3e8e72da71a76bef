// End-to-end: the built kestrane program as a process. The golden transcripts, prompts shown
// on an interactive pipe, the command line's exit statuses, and standard input and output that
// cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "console_texts.h"
#include "process_runner.h"

namespace kestrane {
namespace {

using testing_support::InteractiveProcess;
using testing_support::ProcessResult;
using testing_support::run_program;
using namespace expected;

const std::string kKestrane = KESTRANE_BINARY;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs a shell command line with $KESTRANE set to the program.
ProcessResult run_shell(const std::string& command, const std::string& input = "") {
    return run_program({"/bin/bash", "-c", "KESTRANE='" + kKestrane + "'; " + command}, input);
}

// The golden designs whose parts cannot be built as printed or miss the target, and their
// warnings. The figures are mpmath's real -3 dB cutoff and Q of the parts the transcripts print
// (six digits): design06 +2.1699 % and -0.1083 %; design10 -0.0020 % and -14.3259 %;
// design11's second design -18.8498 % and -2.8288 %, its fifth -31.7937 % and -5.8609 %.
// design05's 1e36 kHz cutoff makes C1 and C2 0 nF. The wording is the warnings' own.
const std::map<std::string, std::string> kGoldenWarnings = {
    {"design05.in", "kestrane: warning: positive inputs gave C1 = 0 nF, not above 0\n"},
    {"design06.in",
     "kestrane: warning: on the real circuit the printed parts miss: cutoff +2.17 %, Q -0.11 % "
     "(limits 1 %, 5 %)\n"},
    {"design10.in",
     "kestrane: warning: the whole-hertz design model misses: real cutoff 0.00 %, Q -14.33 % "
     "(limits 1 %, 5 %)\n"},
    {"design11.in",
     "kestrane: warning: the whole-hertz design model misses: real cutoff -18.85 %, Q -2.83 % "
     "(limits 1 %, 5 %)\n"
     "kestrane: warning: the whole-hertz design model misses: real cutoff -31.79 %, Q -5.86 % "
     "(limits 1 %, 5 %)\n"},
};

TEST(Program, GoldenTranscripts) {
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KESTRANE_GOLDEN_DIR)) {
        if (entry.path().extension() != ".in") continue;
        SCOPED_TRACE(entry.path().filename().string());
        auto expected_path = entry.path();
        expected_path.replace_extension(".out");
        const ProcessResult result = run_program({kKestrane}, read_file(entry.path()));
        EXPECT_EQ(result.output, read_file(expected_path));
        const auto warnings = kGoldenWarnings.find(entry.path().filename().string());
        EXPECT_EQ(result.errors, warnings == kGoldenWarnings.end() ? "" : warnings->second);
        EXPECT_EQ(result.exit_status, 0);
        ++seen;
    }
    EXPECT_EQ(seen, 13);
}

TEST(Program, ExitStatusOneWhenTheInputEndsInsideADesign) {
    const ProcessResult result = run_program({kKestrane}, "1 10000");
    EXPECT_TRUE(result.output.ends_with(kBandPrompt + kInputEnded));
    EXPECT_EQ(result.exit_status, 1);
}

TEST(Program, InputFarLargerThanAPipeThatIsNotAllRead) {
    // The program ends after the first design and leaves the rest of a megabyte unread: the
    // runner must neither block on its writes nor die of SIGPIPE.
    const ProcessResult result =
        run_program({kKestrane}, "1 10000 150 0\n" + std::string(1 << 20, ' '));
    EXPECT_FALSE(result.timed_out);
    EXPECT_TRUE(result.output.ends_with(kCredits + kRepeatPrompt));
    EXPECT_EQ(result.exit_status, 0);
}

TEST(Program, EveryPromptIsShownBeforeTheProgramWaits) {
    InteractiveProcess kestrane(kKestrane);
    ASSERT_TRUE(kestrane.wait_for_output_ending(kDrawing + kCutoffPrompt, 30));
    // A carriage return alone ends the number: the next prompt needs no further key.
    ASSERT_TRUE(kestrane.write("1\r"));
    ASSERT_TRUE(kestrane.wait_for_output_ending(kR1Prompt, 30));
    ASSERT_TRUE(kestrane.write("\n10000\n"));
    ASSERT_TRUE(kestrane.wait_for_output_ending(kBandPrompt, 30));
    ASSERT_TRUE(kestrane.write("150\n"));
    ASSERT_TRUE(kestrane.wait_for_output_ending(kRepeatPrompt, 30));
    ASSERT_TRUE(kestrane.write("0\n"));
    const ProcessResult result = kestrane.finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.output.find("\nR2, Ohm: 10253.1\n"), std::string::npos);
}

TEST(Program, CommandLineExitStatusesAndStreams) {
    ProcessResult result = run_program({kKestrane, "--help"}, "");
    EXPECT_TRUE(result.output.starts_with("Usage: kestrane")) << result.output;
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.exit_status, 0);
    result = run_program({kKestrane, "--version"}, "");
    EXPECT_EQ(result.output, "kestrane 1.0\n");
    EXPECT_EQ(result.exit_status, 0);
    for (const std::vector<std::string>& usage_error :
         {std::vector<std::string>{kKestrane, "--fc", "1", "--bogus"},
          {kKestrane, "stray"},
          {kKestrane, "--fc", "1", "--r1", "10x"}}) {
        SCOPED_TRACE(usage_error.back());
        result = run_program(usage_error, "1 10000 150 0\n");
        EXPECT_EQ(result.output, "");
        EXPECT_TRUE(result.errors.ends_with("\nTry 'kestrane --help'.\n")) << result.errors;
        EXPECT_EQ(result.exit_status, 2);
    }
    result = run_program({kKestrane, "--fc", "1", "--r1", "10k", "--band", "150", "--json"}, "");
    EXPECT_TRUE(result.output.starts_with("{\"r1_ohm\":10000,\"r2_ohm\":10253.1005859375,"));
    EXPECT_EQ(result.exit_status, 0);
    result = run_program({kKestrane, "--fc", "0", "--r1", "10k"}, "");
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.exit_status, 1);
    result = run_program({kKestrane, "--json"}, "1 10k\n1 x\n");
    EXPECT_TRUE(result.output.ends_with("\"passband_hz\":300}\n"));
    EXPECT_NE(result.errors.find("line 2"), std::string::npos);
    EXPECT_EQ(result.exit_status, 2);
}

TEST(Program, UnreadableStandardInputIsTheEndOfInput) {
    for (const char* redirect : {"<&-", "< /"}) {
        SCOPED_TRACE(redirect);
        const ProcessResult result = run_shell(std::string("\"$KESTRANE\" ") + redirect);
        EXPECT_EQ(result.output, kDrawing + kCutoffPrompt + "\n");
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.exit_status, 0);
    }
}

TEST(Program, DesignsFromAnUnreadableInputAreAnError) {
    for (const char* redirect : {"<&-", "< /"}) {
        SCOPED_TRACE(redirect);
        const ProcessResult result = run_shell(std::string("\"$KESTRANE\" --json ") + redirect);
        EXPECT_EQ(result.output, "");
        EXPECT_TRUE(result.errors.starts_with("kestrane: cannot read standard input: "))
            << result.errors;
        EXPECT_EQ(result.exit_status, 2);
    }
}

TEST(Program, OutputThatCannotBeWrittenGivesStatusTwo) {
    // Every mode says what failed: the dialogue, one design, the usage text.
    const std::string full = "kestrane: cannot write standard output: No space left on device\n";
    for (const char* command :
         {"\"$KESTRANE\" > /dev/full", "\"$KESTRANE\" --fc 1 --r1 10k > /dev/full",
          "\"$KESTRANE\" --json < <(echo 1 10k) > /dev/full",
          "\"$KESTRANE\" --version > /dev/full"}) {
        SCOPED_TRACE(command);
        const ProcessResult result = run_shell(command, "1 10000 150 0\n");
        EXPECT_EQ(result.errors, full);
        EXPECT_EQ(result.exit_status, 2);
    }
    ProcessResult result;

    // With SIGPIPE ignored, a reader that goes away must still stop an endless dialogue.
    result = run_shell(
        "trap '' PIPE; yes '1 10000 150 1' | \"$KESTRANE\" | head -c 10 > /dev/null;"
        " exit ${PIPESTATUS[1]}");
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 2);

    // Designs from standard input likewise; without the trap SIGPIPE ends them (128 + 13).
    for (const char* trap : {"trap '' PIPE; ", ""}) {
        SCOPED_TRACE(trap);
        result = run_shell(std::string(trap) +
                           "yes '1 10k 150' | \"$KESTRANE\" --json | head -c 10 > /dev/null;"
                           " exit ${PIPESTATUS[1]}");
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(result.exit_status, *trap != '\0' ? 2 : 141);
    }
}

}  // namespace
}  // namespace kestrane
