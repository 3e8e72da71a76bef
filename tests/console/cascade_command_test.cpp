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
    const auto number_after = [&](const std::string& key, std::size_t from) {
        const std::size_t at = r.output.find("\"" + key + "\":", from);
        return at == std::string::npos
                   ? std::nan("")
                   : std::strtod(r.output.c_str() + at + key.size() + 3, nullptr);
    };
    const std::size_t second = r.output.find("{\"order\":2");
    ASSERT_NE(second, std::string::npos) << r.output;
    EXPECT_NEAR(number_after("c1_farad", 0), 1 / w0r, 1e-15 / w0r);
    EXPECT_NEAR(number_after("c1_farad", second), 2 / w0r, 2e-15 / w0r);
    EXPECT_NEAR(number_after("c2_farad", second), 0.5 / w0r, 1e-15 / w0r);
    EXPECT_NEAR(number_after("q", second), 1, 1e-15);
    for (const char* key : {"\"response\":\"butterworth\"", "\"order\":3", "\"cutoff_hz\":1000",
                            "\"cutoff_rule\":\"-3db\"", "\"ripple_db\":null", "\"q\":null"}) {
        EXPECT_NE(r.output.find(key), std::string::npos) << key;
    }
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
