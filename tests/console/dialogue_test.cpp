// The dialogue run in-process over string streams: whole transcripts and exit statuses.
#include "kestrane/console/dialogue.h"

#include <gtest/gtest.h>

#include <locale>
#include <sstream>
#include <string>

#include "console_texts.h"
#include "full_buffer.h"

namespace kestrane {
namespace {

using namespace expected;
using testing_support::FullBuffer;

// The 1 kHz, 10 kohm design with a band of 150 Hz, split where the reads fall.
const std::string kComponents1k =
    "\nR1, Ohm: 10000\nR2, Ohm: 10253.1\nC1, nF: 23.132\nC2, nF: 11.109\n"
    "\nPassband, Hz: 0-300 (amplitude pulsation 0.005dB)\n\n";
const std::string kDeviation1k = "+/-0.000979251 radian.\n\n";
const std::string kAfterR1 = kComponents1k + kBandPrompt + kDeviation1k + kCredits + kRepeatPrompt;
const std::string kDesign1k = kCutoffPrompt + kR1Prompt + kAfterR1;

struct Transcript {
    std::string output;
    int status;
};

Transcript run(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    const int status = run_dialogue(in, out);
    return {out.str(), status};
}

void expect_transcript(const std::string& input, const std::string& output, int status) {
    SCOPED_TRACE("input \"" + input + "\"");
    const Transcript t = run(input);
    EXPECT_EQ(t.output, output);
    EXPECT_EQ(t.status, status);
}

TEST(Dialogue, OneDesignInEveryLayoutOfTheInput) {
    for (const char* input : {"1\n10000\n150\n0\n", "1 10000 150 0", "1\r\n10000\r\n150\r\n0\r\n",
                              "\t1  10000\n\n150 0 trailing words"}) {
        expect_transcript(input, kDrawing + kDesign1k, kExitDone);
    }
}

TEST(Dialogue, AnAnswerAboveZeroRepeatsAndOthersEnd) {
    expect_transcript("1 10000 150 5\n", kDrawing + kDesign1k + kCutoffPrompt + "\n", kExitDone);
    expect_transcript("1 10000 150 y 1 10000 150 0\n", kDrawing + kDesign1k, kExitDone);
}

TEST(Dialogue, LeftoverOfTheRepeatAnswerAnswersTheNextCutoff) {
    // 1.5 repeats; .5 is the next cutoff, 0.5 kHz. With R1 = 3300 ohm, an independent
    // implementation gives these lines.
    const std::string second =
        kCutoffPrompt + kR1Prompt +
        "\nR1, Ohm: 3300\nR2, Ohm: 3375.6\nC1, nF: 140.307\nC2, nF: 67.4067\n"
        "\nPassband, Hz: 0-150 (amplitude pulsation 0.005dB)\n\n" +
        kBandPrompt + "+/-0.00686237 radian.\n\n" + kCredits + kRepeatPrompt;
    expect_transcript("1 10000 150 1.5 3300 200 0\n", kDrawing + kDesign1k + second, kExitDone);
}

TEST(Dialogue, ExtremeInputsAreDesignedAsTheyStand) {
    Transcript t = run("1 1e40 150 0\n");
    EXPECT_NE(t.output.find("\nR1, Ohm: 3.40282e+038\nR2, Ohm: 3.40282e+038\n"), std::string::npos);
    t = run("1 1e-40 150 0\n");
    EXPECT_NE(t.output.find("\nR1, Ohm: 1.17549e-038\n"), std::string::npos);
    EXPECT_TRUE(t.output.ends_with(kCredits + kRepeatPrompt));
    t = run("1e36 10000 150 0\n");
    EXPECT_NE(t.output.find("\nC1, nF: 0\nC2, nF: 0\n\nPassband, Hz: 0-1.#INF "),
              std::string::npos);
    EXPECT_NE(t.output.find(kBandPrompt + "+/-0 radian.\n"), std::string::npos);
    t = run("-1 10000 150 0\n");
    EXPECT_NE(t.output.find("\nPassband, Hz: 0--300 "), std::string::npos);
    EXPECT_NE(t.output.find("\nC1, nF: -23.1"), std::string::npos);
    t = run("1 10000 0 0\n");
    EXPECT_NE(t.output.find(kBandPrompt + "+/-0 radian.\n"), std::string::npos);
}

TEST(Dialogue, RejectedFieldsAreQuotedAndAskedAgain) {
    expect_transcript("abc 5\n1 10000 150 0",
                      kDrawing + kCutoffPrompt + not_a_number("abc 5") + kDesign1k, kExitDone);
    expect_transcript(
        "1 -x\n10000 150 0",
        kDrawing + kCutoffPrompt + kR1Prompt + not_a_number("-x") + kR1Prompt + kAfterR1,
        kExitDone);
    expect_transcript("1 10000 nan\n150 0",
                      kDrawing + kCutoffPrompt + kR1Prompt + kComponents1k + kBandPrompt +
                          not_a_number("nan") + kBandPrompt + kDeviation1k + kCredits +
                          kRepeatPrompt,
                      kExitDone);
    // "1e+" gives the cutoff 1 and leaves "+" for R1.
    expect_transcript(
        "1e+\n10000 150 0",
        kDrawing + kCutoffPrompt + kR1Prompt + not_a_number("+") + kR1Prompt + kAfterR1, kExitDone);
    // The character after a sign put back is kept (it was once lost).
    expect_transcript(
        "1e+-5\n10000 150 0",
        kDrawing + kCutoffPrompt + kR1Prompt + not_a_number("+-5") + kR1Prompt + kAfterR1,
        kExitDone);
}

TEST(Dialogue, NumbersLongerThanTheirLimitAreQuotedAndAskedAgain) {
    expect_transcript("1\n12345678901234567890 7\n10000 150 0",
                      kDrawing + kCutoffPrompt + kR1Prompt +
                          too_long("12345678901234567890 7", 19) + kR1Prompt + kAfterR1,
                      kExitDone);
    expect_transcript("1 10000 1234567890123456789012345678\n150 0",
                      kDrawing + kCutoffPrompt + kR1Prompt + kComponents1k + kBandPrompt +
                          too_long("1234567890123456789012345678", 27) + kBandPrompt +
                          kDeviation1k + kCredits + kRepeatPrompt,
                      kExitDone);
}

TEST(Dialogue, MessagesEscapeTheRejectedTextAndFitEightyColumns) {
    const std::string line(200, 'x');
    const Transcript t = run(line + "\n\"\\\x01\xe9\n");
    // 80 columns less the 60 of the message's own text leave 17 characters and "...".
    const std::string cut(17, 'x');
    EXPECT_NE(t.output.find(not_a_number(cut + "...")), std::string::npos);
    EXPECT_NE(t.output.find(not_a_number("\\\"\\\\\\x01\\xe9")), std::string::npos);
    std::istringstream lines(t.output);
    for (std::string l; std::getline(lines, l);)
        EXPECT_LE(l.size(), 80u) << l;
}

TEST(Dialogue, EndOfInputAtEachPrompt) {
    expect_transcript("", kDrawing + kCutoffPrompt + "\n", kExitDone);
    expect_transcript(" \n\n", kDrawing + kCutoffPrompt + "\n", kExitDone);
    expect_transcript("abc", kDrawing + kCutoffPrompt + not_a_number("abc") + kCutoffPrompt + "\n",
                      kExitDone);
    expect_transcript("1", kDrawing + kCutoffPrompt + kR1Prompt + kInputEnded, kExitInputEnded);
    expect_transcript(
        "1 10000\n",
        kDrawing + kCutoffPrompt + kR1Prompt + kComponents1k + kBandPrompt + kInputEnded,
        kExitInputEnded);
    expect_transcript("1 10000 150", kDrawing + kDesign1k + "\n", kExitDone);
}

TEST(Dialogue, InputsWithoutAFiniteStartAreRefused) {
    const std::string refused_start = kDrawing + kCutoffPrompt + kR1Prompt;
    expect_transcript("0 10000 1 10000 150 0", refused_start + kZeroRefused + kDesign1k, kExitDone);
    expect_transcript("1 0 1 10000 150 0", refused_start + kZeroRefused + kDesign1k, kExitDone);
    expect_transcript("1e-30 1e-30 1 10000 150 0", refused_start + kTinyRefused + kDesign1k,
                      kExitDone);
    expect_transcript("-1e-30 1e-30 1 10000 150 0", refused_start + kTinyRefused + kDesign1k,
                      kExitDone);
}

TEST(Dialogue, OutputThatCannotBeWrittenEndsTheDialogueWithStatusTwo) {
    for (const std::size_t room : {std::size_t{0}, std::size_t{100}, std::size_t{400}}) {
        SCOPED_TRACE(room);
        FullBuffer full(room);
        std::ostream out(&full);
        std::string designs;
        for (int i = 0; i < 10000; ++i)
            designs += "1 10000 150 1\n";
        std::istringstream endless_designs(designs);
        EXPECT_EQ(run_dialogue(endless_designs, out), kExitOutputFailed);
        EXPECT_LT(endless_designs.tellg(), 100);  // it stopped within two designs
    }
}

// A locale that writes numbers with a decimal comma and groups thousands.
struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(Dialogue, TheLocaleDoesNotChangeReadingOrWriting) {
    const std::locale comma(std::locale::classic(), new CommaDecimals);
    const std::locale previous = std::locale::global(comma);
    std::istringstream in("1.5 10000 150 0");
    std::ostringstream out;
    in.imbue(comma);
    out.imbue(comma);
    const int status = run_dialogue(in, out);
    std::locale::global(previous);
    EXPECT_EQ(status, kExitDone);
    EXPECT_EQ(out.str(), run("1.5 10000 150 0").output);
    EXPECT_NE(out.str().find("\nR1, Ohm: 10000\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrane
