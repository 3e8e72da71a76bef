#include "number_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

namespace kestrane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// What is left of the input after the reads so far.
std::string rest_of(InputCursor& in) {
    std::string rest;
    for (int c = in.take(); c != InputCursor::kEnd; c = in.take())
        rest += static_cast<char>(c);
    return rest;
}

struct RealCase {
    const char* input;
    int limit;
    ReadStatus status;
    double value;  // when ok
    const char* rest;
};

class RealReading : public testing::TestWithParam<RealCase> {};

TEST_P(RealReading, ValueAndWhatStaysInTheInput) {
    const RealCase& c = GetParam();
    std::istringstream stream(c.input);
    InputCursor in(stream);
    const RealRead read = read_real(in, c.limit);
    EXPECT_EQ(read.status, c.status);
    if (c.status == ReadStatus::ok) {
        EXPECT_EQ(read.value, c.value);
        EXPECT_EQ(std::signbit(read.value), std::signbit(c.value));
    }
    if (c.status != ReadStatus::too_long) {
        EXPECT_EQ(rest_of(in), c.rest);
    }
}

constexpr int kShort = kDesignNumberChars;
constexpr int kLong = kBandNumberChars;

INSTANTIATE_TEST_SUITE_P(Forms, RealReading,
                         testing::Values(RealCase{"1000", kShort, ReadStatus::ok, 1000, ""},
                                         RealCase{" \t\n\v\f\r 2.2\n", kShort, ReadStatus::ok, 2.2,
                                                  "\n"},
                                         RealCase{"-1", kShort, ReadStatus::ok, -1, ""},
                                         RealCase{"+3", kShort, ReadStatus::ok, 3, ""},
                                         RealCase{".5", kShort, ReadStatus::ok, 0.5, ""},
                                         RealCase{"5.", kShort, ReadStatus::ok, 5, ""},
                                         RealCase{"-.5e1x", kShort, ReadStatus::ok, -5, "x"},
                                         RealCase{"4.7E3", kShort, ReadStatus::ok, 4700, ""},
                                         RealCase{"1e-5", kShort, ReadStatus::ok, 1e-5, ""},
                                         RealCase{"1 10000", kShort, ReadStatus::ok, 1, " 10000"},
                                         RealCase{"1,5", kShort, ReadStatus::ok, 1, ",5"},
                                         RealCase{"1.2.3", kShort, ReadStatus::ok, 1.2, ".3"},
                                         RealCase{"0x1p3", kShort, ReadStatus::ok, 0, "x1p3"},
                                         RealCase{"12abc", kShort, ReadStatus::ok, 12, "abc"},
                                         RealCase{"-0", kShort, ReadStatus::ok, -0.0, ""}));

INSTANTIATE_TEST_SUITE_P(
    ExponentMarkerWithoutDigits, RealReading,
    testing::Values(RealCase{"1e+", kShort, ReadStatus::ok, 1, "+"},  // the e is taken
                    RealCase{"1e+x", kShort, ReadStatus::ok, 1, "+x"},
                    RealCase{"1E-\n", kShort, ReadStatus::ok, 1, "-\n"},
                    RealCase{"1e", kShort, ReadStatus::ok, 1, "e"},  // the e goes back
                    RealCase{"1ex", kShort, ReadStatus::ok, 1, "ex"},
                    RealCase{"2.5e 7", kShort, ReadStatus::ok, 2.5, "e 7"}));

INSTANTIATE_TEST_SUITE_P(
    NotNumbers, RealReading,
    testing::Values(RealCase{"abc", kShort, ReadStatus::not_a_number, 0, "abc"},
                    RealCase{"nan", kShort, ReadStatus::not_a_number, 0, "nan"},
                    RealCase{"inf", kShort, ReadStatus::not_a_number, 0, "inf"},
                    RealCase{"-infinity", kShort, ReadStatus::not_a_number, 0, "infinity"},
                    RealCase{"-", kShort, ReadStatus::not_a_number, 0, ""},
                    RealCase{".", kShort, ReadStatus::not_a_number, 0, ""},
                    RealCase{"-.e1", kShort, ReadStatus::not_a_number, 0, "e1"},
                    RealCase{"e5", kShort, ReadStatus::not_a_number, 0, "e5"},
                    RealCase{"+-1", kShort, ReadStatus::not_a_number, 0, "-1"},
                    RealCase{"\xff"
                             "1",
                             kShort, ReadStatus::not_a_number, 0,
                             "\xff"
                             "1"}));

INSTANTIATE_TEST_SUITE_P(EndOfInput, RealReading,
                         testing::Values(RealCase{"", kShort, ReadStatus::end_of_input, 0, ""},
                                         RealCase{" \n\t\r\n", kShort, ReadStatus::end_of_input, 0,
                                                  ""}));

INSTANTIATE_TEST_SUITE_P(
    Limits, RealReading,
    testing::Values(
        RealCase{"1234567890123456789", kShort, ReadStatus::ok, 1234567890123456789.0, ""},
        RealCase{"-123456789012345678 ", kShort, ReadStatus::ok, -123456789012345678.0, " "},
        RealCase{"12345678901234567890", kShort, ReadStatus::too_long, 0, ""},
        RealCase{"-1234567890123456789", kShort, ReadStatus::too_long, 0, ""},
        RealCase{"1.00000000000000e+10", kShort, ReadStatus::too_long, 0, ""},
        RealCase{"1.0000000000000e+10", kShort, ReadStatus::ok, 1e10, ""},
        // A marker that goes back does not count; one that is taken does.
        RealCase{"1234567890123456789e", kShort, ReadStatus::ok, 1234567890123456789.0, "e"},
        RealCase{"1234567890123456789e+", kShort, ReadStatus::too_long, 0, ""},
        RealCase{"123456789012345678901234567", kLong, ReadStatus::ok,
                 123456789012345678901234567.0, ""},
        RealCase{"1234567890123456789012345678", kLong, ReadStatus::too_long, 0, ""},
        RealCase{"00000000000000000000000000000000001", kLong, ReadStatus::too_long, 0, ""}));

INSTANTIATE_TEST_SUITE_P(
    BeyondTheDoubleRange, RealReading,
    testing::Values(
        RealCase{"1e400", kShort, ReadStatus::ok, kInf, ""},
        RealCase{"-1e400", kShort, ReadStatus::ok, -kInf, ""},
        RealCase{"1e999999999999999", kShort, ReadStatus::ok, kInf, ""},
        RealCase{"0.000001e-999999", kShort, ReadStatus::ok, 0, ""},
        RealCase{"1e-400", kShort, ReadStatus::ok, 0, ""},
        RealCase{"-1e-400", kShort, ReadStatus::ok, -0.0, ""},
        RealCase{"1e-310", kShort, ReadStatus::ok, 0, ""},  // subnormal
        RealCase{"2.2250738585072014e-308", kLong, ReadStatus::ok, 2.2250738585072014e-308, ""},
        RealCase{"0e99999", kShort, ReadStatus::ok, 0, ""},
        RealCase{"1.7976931348623157e308", kLong, ReadStatus::ok, 1.7976931348623157e308, ""}));

TEST(RealReading, NulIsNeitherSpaceNorEnd) {
    std::istringstream stream(
        std::string("\0"
                    "1",
                    2));
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::not_a_number);
    EXPECT_EQ(in.take(), 0);
    EXPECT_EQ(read_real(in, kShort).value, 1);
}

TEST(RealReading, CarriageReturnBeforeLineFeedIsDropped) {
    std::istringstream stream("1\r\n2\r3\r\n");
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).value, 1);
    EXPECT_EQ(in.take(), '\n');
    EXPECT_EQ(read_real(in, kShort).value, 2);
    EXPECT_EQ(rest_of(in), "\r3\n");
}

TEST(RealReading, AfterTheEndEveryReadEndsAtOnce) {
    std::istringstream stream("7");
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).value, 7);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::end_of_input);
    EXPECT_EQ(read_repeat_answer(in).status, ReadStatus::end_of_input);
}

TEST(RealReading, DropLineTakesThroughTheNextLineFeed) {
    std::istringstream stream("junk 5\r\n6");
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::not_a_number);
    in.drop_line();
    EXPECT_EQ(read_real(in, kShort).value, 6);
}

TEST(SingleClamps, RangeEndsKeepTheirSign) {
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr float kMin = std::numeric_limits<float>::min();
    EXPECT_EQ(to_single_clamped(1e40), kMax);
    EXPECT_EQ(to_single_clamped(-1e40), -kMax);
    EXPECT_EQ(to_single_clamped(kInf), kMax);
    EXPECT_EQ(to_single_clamped(-kInf), -kMax);
    EXPECT_EQ(to_single_clamped(1e-40), kMin);
    EXPECT_EQ(to_single_clamped(-1e-40), -kMin);
    EXPECT_EQ(to_single_clamped(1e-300), kMin);
    EXPECT_EQ(to_single_clamped(0.0), 0.0f);
    EXPECT_EQ(to_single_clamped(98730.25), 98730.25f);
    EXPECT_EQ(to_single_clamped(0.1), 0.1f);  // rounds to nearest in between
}

struct RepeatCase {
    const char* input;
    ReadStatus status;
    std::int32_t value;
    const char* rest;
};

class RepeatReading : public testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatReading, CNotationIntegers) {
    const RepeatCase& c = GetParam();
    std::istringstream stream(c.input);
    InputCursor in(stream);
    const IntegerRead read = read_repeat_answer(in);
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.value, c.value);
    if (c.status == ReadStatus::ok) {
        EXPECT_EQ(rest_of(in), c.rest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RepeatReading,
    testing::Values(
        RepeatCase{"1", ReadStatus::ok, 1, ""}, RepeatCase{"5\n", ReadStatus::ok, 5, "\n"},
        RepeatCase{"  -1", ReadStatus::ok, -1, ""}, RepeatCase{"+7", ReadStatus::ok, 7, ""},
        RepeatCase{"0", ReadStatus::ok, 0, ""}, RepeatCase{"010", ReadStatus::ok, 8, ""},
        RepeatCase{"08", ReadStatus::ok, 0, "8"}, RepeatCase{"0x1", ReadStatus::ok, 1, ""},
        RepeatCase{"0X1f", ReadStatus::ok, 31, ""}, RepeatCase{"-0x10", ReadStatus::ok, -16, ""},
        RepeatCase{"1.5", ReadStatus::ok, 1, ".5"},
        RepeatCase{"2147483647", ReadStatus::ok, INT32_MAX, ""},
        RepeatCase{"2147483648", ReadStatus::ok, INT32_MAX, ""},
        RepeatCase{"-2147483648", ReadStatus::ok, INT32_MIN, ""},
        RepeatCase{"-2147483649", ReadStatus::ok, INT32_MIN, ""},
        RepeatCase{"0xFFFFFFFF", ReadStatus::ok, INT32_MAX, ""},
        RepeatCase{"999999999999999", ReadStatus::ok, INT32_MAX, ""},
        RepeatCase{"000000000000001", ReadStatus::ok, 1, ""},
        RepeatCase{"0000000000000001", ReadStatus::ok, 0, "1"},  // 15 taken
        RepeatCase{"-00000000000009", ReadStatus::ok, 0, "9"},   // 9 is not octal
        RepeatCase{"1234567890123456", ReadStatus::ok, INT32_MAX, "6"},
        RepeatCase{"y", ReadStatus::not_a_number, 0, ""},
        RepeatCase{"-", ReadStatus::not_a_number, 0, ""},
        RepeatCase{"x1", ReadStatus::not_a_number, 0, ""},
        RepeatCase{"", ReadStatus::end_of_input, 0, ""},
        RepeatCase{"\r\n ", ReadStatus::end_of_input, 0, ""}));

}  // namespace
}  // namespace kestrane
