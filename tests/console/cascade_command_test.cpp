// Filters of any order on the command line: what a bad request gets, and what a design prints
// (the stages' exact parts against the closed forms, the JSON keys, the order a specification
// needs), with the program run in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "kestrane/console/program.h"
#include "program_run.h"

namespace kestrane {
namespace {

using testing::Args;
using testing::run;

// The number after the first "key": at or after `from` in `text`, not a number without one.
double number_after(const std::string& text, const std::string& key, std::size_t from = 0) {
    const std::size_t at = text.find("\"" + key + "\":", from);
    return at == std::string::npos ? std::nan("")
                                   : std::strtod(text.c_str() + at + key.size() + 3, nullptr);
}

TEST(CascadeCommand, BadRequestsAreUsageErrorsWithOneMessage) {
    const Args base{"--fc", "1", "--r1", "10k"};
    const struct {
        Args args;
        const char* says;
    } cases[] = {
        {{"--response", "butterworth", "--order", "0"}, "--order \"0\" is not a whole order"},
        {{"--response", "butterworth", "--order", "11"}, "--order \"11\" is not a whole order"},
        {{"--response", "butterworth", "--order", "2.5"}, "--order \"2.5\" is not a whole order"},
        {{"--response", "chebyshev", "--order", "3", "--ripple", "0"}, "a ripple from 0.01"},
        {{"--response", "chebyshev", "--order", "3", "--ripple", "5"}, "a ripple from 0.01"},
        {{"--response", "linkwitz-riley", "--order", "5"}, "of even order: 5 is odd"},
        {{"--response", "bessel", "--order", "3", "--ripple", "1"}, "Only a Chebyshev"},
        {{"--response", "elliptic", "--order", "3"}, "is not butterworth, bessel"},
        {{"--order", "3"}, "--order needs --response"},
    };
    for (const auto& c : cases) {
        Args args = c.args;
        args.insert(args.end(), base.begin(), base.end());
        const testing::ProgramRun r = run(args);
        SCOPED_TRACE(r.errors);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output, "");
        EXPECT_NE(r.errors.find(c.says), std::string::npos);
        EXPECT_TRUE(r.errors.ends_with("\nTry 'kestrane --help'.\n"));
    }
    const Args specifications[] = {
        {"--response", "butterworth", "--passband", "5,1", "--stopband", "1,40", "--r1", "10k"},
        {"--response", "butterworth", "--passband", "1,40", "--stopband", "5,30", "--r1", "10k"},
        {"--response", "butterworth", "--passband", "1,1", "--stopband", "5,40", "--order", "3",
         "--r1", "10k"},
        {"--response", "butterworth", "--passband", "-1,1", "--stopband", "5,40", "--r1", "10k"},
        {"--response", "butterworth", "--order", "3", "--fc", "0", "--r1", "10k"},
        {"--response", "butterworth", "--order", "3", "--fc", "1", "--r1", "-10k"},
    };
    for (const Args& args : specifications) {
        const testing::ProgramRun r = run(args);
        EXPECT_EQ(r.status, 2) << r.errors;
        EXPECT_EQ(r.output, "");
    }
}

TEST(CascadeCommand, StagesHoldTheClosedFormsParts) {
    // A 3rd-order Butterworth at 1 kHz: a real pole at w0 and a pair at w0 with Q = 1, so
    // C = 1/(w0 R) for the first stage, C1 = 2Q/(w0 R) and C2 = 1/(2Q w0 R) for the second.
    const testing::ProgramRun r =
        run({"--response", "butterworth", "--order", "3", "--fc", "1", "--r1", "10k", "--json"});
    ASSERT_EQ(r.status, 0) << r.errors;
    const double w0r = 2 * std::numbers::pi * 1000 * 10000;
    const auto number_at = [&](const std::string& key, std::size_t from) {
        return number_after(r.output, key, from);
    };
    const std::size_t second = r.output.find("{\"order\":2");
    ASSERT_NE(second, std::string::npos) << r.output;
    EXPECT_NEAR(number_at("c1_farad", 0), 1 / w0r, 1e-15 / w0r);
    EXPECT_NEAR(number_at("c1_farad", second), 2 / w0r, 2e-15 / w0r);
    EXPECT_NEAR(number_at("c2_farad", second), 0.5 / w0r, 1e-15 / w0r);
    EXPECT_NEAR(number_at("q", second), 1, 1e-15);
    for (const char* key : {"\"response\":\"butterworth\"", "\"order\":3", "\"cutoff_hz\":1000",
                            "\"cutoff_rule\":\"-3db\"", "\"ripple_db\":null", "\"q\":null"}) {
        EXPECT_NE(r.output.find(key), std::string::npos) << key;
    }
}

TEST(CascadeCommand, StandardPartsCarryTheirOwnFiguresAndRanges) {
    const Args args{"--response", "butterworth", "--order", "3",       "--fc",
                    "1",          "--r1",        "10k",     "--json",  "--series",
                    "E96,E12",    "--tolerance", "1,5",     "--opamp", "10"};
    testing::ProgramRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::size_t standard = r.output.find("\"standard\":");
    const std::size_t second = r.output.find("{\"order\":2", standard);
    ASSERT_NE(second, std::string::npos) << r.output;
    // The built second-order stage's f0 and Q from its own parts: 1/(2 pi sqrt(R1 R2 C1 C2))
    // and sqrt(R1 R2 C1 C2) / (C2 (R1 + R2)).
    const double r1 = number_after(r.output, "r1_ohm", second);
    const double r2 = number_after(r.output, "r2_ohm", second);
    const double c1 = number_after(r.output, "c1_farad", second);
    const double c2 = number_after(r.output, "c2_farad", second);
    const double root = std::sqrt(r1 * r2 * c1 * c2);
    EXPECT_NEAR(number_after(r.output, "f0_hz", second), 1 / (2 * std::numbers::pi * root), 1e-9);
    const double q = root / (c2 * (r1 + r2));
    EXPECT_NEAR(number_after(r.output, "q", second), q, 1e-12);
    // Its Q range over 1 % R and 5 % C holds the nominal Q and lies within the worst-case
    // bounds of Q's factors: sqrt(R1 R2 C1 C2) moves by (1.01 * 1.05), C2 (R1 + R2) likewise.
    const std::size_t range = r.output.find("\"q_range\":[", second);
    ASSERT_NE(range, std::string::npos) << r.output;
    const double low = std::strtod(r.output.c_str() + range + 11, nullptr);
    const double high = std::strtod(r.output.c_str() + r.output.find(',', range) + 1, nullptr);
    EXPECT_LT(low, q);
    EXPECT_GT(high, q);
    EXPECT_GT(low, q * (0.99 * 0.95) / (1.01 * 1.05));
    EXPECT_LT(high, q * (1.01 * 1.05) / (0.99 * 0.95));
    EXPECT_NE(r.output.find("\"needed_gbw_hz\":", standard), std::string::npos);
    // Parts beyond every series' decades: no set, and the op-amp object says why.
    Args unbuildable = args;
    unbuildable[7] = "1e300";
    r = run(unbuildable);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.output.find("\"buildable\":false"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"no_circuit\":\"No circuit to build"), std::string::npos);
}

TEST(CascadeCommand, ASpecificationGetsItsOrderOrSaysWhichItNeeds) {
    // A Butterworth of order n meets 1 dB at 1 kHz and 40 dB at 3 kHz when
    // n >= log((10^4 - 1)/(10^0.1 - 1)) / (2 log 3) = 4.80: order 5.
    testing::ProgramRun r = run({"--response", "butterworth", "--passband", "1,1", "--stopband",
                                 "3,40", "--r1", "10k", "--json"});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.output.find("\"order\":5"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"passband_loss_db\":"), std::string::npos);
    // 100 dB an octave above needs n >= log((10^10 - 1)/(10^0.1 - 1)) / (2 log 2) = 17.6.
    r = run(
        {"--response", "butterworth", "--passband", "1,1", "--stopband", "2,100", "--r1", "10k"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.errors,
              "kestrane: No order up to 10 meets the specification: a Butterworth needs order "
              "18.\n");
}

}  // namespace
}  // namespace kestrane
