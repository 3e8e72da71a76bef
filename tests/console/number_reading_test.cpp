// The console's number rules: every case goes through the pure scanner and through the
// streaming reader over the same text, and both must give the expected value and leave the
// expected rest.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kestrane/console/number_reader.h"
#include "kestrane/text/number_scan.h"

namespace kestrane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kShort = kDesignNumberChars;
constexpr int kLong = kBandNumberChars;

// What is left of the input after the reads so far.
std::string rest_of(InputCursor& in) {
    std::string rest;
    for (int c = in.take(); c != InputCursor::kEnd; c = in.take())
        rest += static_cast<char>(c);
    return rest;
}

struct RealCase {
    std::string input;
    int limit;
    ReadStatus status;
    double value;      // when ok
    std::string rest;  // what the read leaves, unless too long
};

ReadStatus as_read_status(ScanStatus status) {
    switch (status) {
        case ScanStatus::ok:
            return ReadStatus::ok;
        case ScanStatus::empty:
            return ReadStatus::end_of_input;
        case ScanStatus::not_a_number:
            return ReadStatus::not_a_number;
        default:
            return ReadStatus::too_long;
    }
}

void expect_value(double value, const RealCase& c) {
    if (c.status != ReadStatus::ok) return;
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(std::signbit(value), std::signbit(c.value));
}

void expect_read(const RealCase& c) {
    SCOPED_TRACE("input \"" + c.input + "\" limit " + std::to_string(c.limit));
    const RealScan scan = scan_real(c.input, c.limit);
    EXPECT_EQ(as_read_status(scan.status), c.status);
    expect_value(scan.value, c);
    if (c.status != ReadStatus::too_long) {
        EXPECT_EQ(c.input.substr(scan.taken), c.rest);
    }

    std::istringstream stream(c.input);
    InputCursor in(stream);
    const RealRead read = read_real(in, c.limit);
    EXPECT_EQ(read.status, c.status);
    expect_value(read.value, c);
    if (c.status != ReadStatus::too_long) {
        EXPECT_EQ(rest_of(in), c.rest);
    }
}

void expect_reads(const std::vector<RealCase>& cases) {
    for (const RealCase& c : cases)
        expect_read(c);
}

constexpr ReadStatus kOk = ReadStatus::ok;
constexpr ReadStatus kNotANumber = ReadStatus::not_a_number;
constexpr ReadStatus kTooLong = ReadStatus::too_long;
constexpr ReadStatus kEnd = ReadStatus::end_of_input;

TEST(NumberReading, Forms) {
    expect_reads({{"1000", kShort, kOk, 1000, ""},
                  {" \t\n\v\f 2.2\n", kShort, kOk, 2.2, "\n"},
                  {"-1", kShort, kOk, -1, ""},
                  {"+3", kShort, kOk, 3, ""},
                  {".5", kShort, kOk, 0.5, ""},
                  {"5.", kShort, kOk, 5, ""},
                  {"-.5e1x", kShort, kOk, -5, "x"},
                  {"4.7E3", kShort, kOk, 4700, ""},
                  {"1e-5", kShort, kOk, 1e-5, ""},
                  {"1 10000", kShort, kOk, 1, " 10000"},
                  {"1,5", kShort, kOk, 1, ",5"},
                  {"1.2.3", kShort, kOk, 1.2, ".3"},
                  {"0x1p3", kShort, kOk, 0, "x1p3"},
                  {"12abc", kShort, kOk, 12, "abc"},
                  {"-0", kShort, kOk, -0.0, ""},
                  {"0.1", kShort, kOk, 0.1, ""}});
}

TEST(NumberReading, ExponentMarkerWithoutDigits) {
    expect_reads({{"1e+", kShort, kOk, 1, "+"},  // the e is taken, the sign goes back
                  {"1e+x", kShort, kOk, 1, "+x"},
                  {"1E-\n", kShort, kOk, 1, "-\n"},
                  {"1e", kShort, kOk, 1, "e"},  // the e goes back
                  {"1ex", kShort, kOk, 1, "ex"},
                  {"2.5e 7", kShort, kOk, 2.5, "e 7"}});
}

TEST(NumberReading, NotNumbers) {
    expect_reads({{"abc", kShort, kNotANumber, 0, "abc"},
                  {"nan", kShort, kNotANumber, 0, "nan"},
                  {"inf", kShort, kNotANumber, 0, "inf"},
                  {"-infinity", kShort, kNotANumber, 0, "infinity"},
                  {"-", kShort, kNotANumber, 0, ""},
                  {".", kShort, kNotANumber, 0, ""},
                  {"-.e1", kShort, kNotANumber, 0, "e1"},
                  {"e5", kShort, kNotANumber, 0, "e5"},
                  {"+-1", kShort, kNotANumber, 0, "-1"},
                  {std::string("\0"
                               "1",
                               2),
                   kShort, kNotANumber, 0,
                   std::string("\0"
                               "1",
                               2)},
                  {"\xff"
                   "1",
                   kShort, kNotANumber, 0,
                   "\xff"
                   "1"},
                  {"", kShort, kEnd, 0, ""},
                  {" \n\t\n", kShort, kEnd, 0, ""}});
}

TEST(NumberReading, LengthLimits) {
    expect_reads({
        {"1234567890123456789", kShort, kOk, 1234567890123456789.0, ""},
        {"-123456789012345678 ", kShort, kOk, -123456789012345678.0, " "},
        {"12345678901234567890", kShort, kTooLong, 0, ""},
        {"-1234567890123456789", kShort, kTooLong, 0, ""},
        {"1.00000000000000e+10", kShort, kTooLong, 0, ""},
        {"1.0000000000000e+10", kShort, kOk, 1e10, ""},
        // A marker that goes back does not count; one that is taken does.
        {"1234567890123456789e", kShort, kOk, 1234567890123456789.0, "e"},
        {"1234567890123456789e+", kShort, kTooLong, 0, ""},
        {"123456789012345678e+", kShort, kOk, 123456789012345678.0, "+"},
        {"123456789012345678901234567", kLong, kOk, 123456789012345678901234567.0, ""},
        {"1234567890123456789012345678", kLong, kTooLong, 0, ""},
        {"00000000000000000000000000000000001", kLong, kTooLong, 0, ""},
        {"7", 0, kTooLong, 0, ""},
        {std::string(100, '9'), 40, kTooLong, 0, ""},  // past any fixed buffer
    });
}

TEST(NumberReading, BeyondTheDoubleRange) {
    expect_reads({{"1e400", kShort, kOk, kInf, ""},
                  {"-1e400", kShort, kOk, -kInf, ""},
                  {"1e999999999999999", kShort, kOk, kInf, ""},
                  {"0.000001e-999999", kShort, kOk, 0, ""},
                  {"1e-400", kShort, kOk, 0, ""},
                  {"-1e-400", kShort, kOk, -0.0, ""},
                  {"1e-310", kShort, kOk, 0, ""},  // subnormal
                  {"2.2250738585072014e-308", kLong, kOk, 2.2250738585072014e-308, ""},
                  {"0e99999", kShort, kOk, 0, ""},
                  {"1.7976931348623157e308", kLong, kOk, 1.7976931348623157e308, ""}});
}

TEST(NumberReading, ScannerCountsTheWhiteSpaceItSkips) {
    const RealScan scan = scan_real("  12 x", kShort);
    EXPECT_EQ(scan.status, ScanStatus::ok);
    EXPECT_EQ(scan.taken, 4u);
    EXPECT_EQ(scan_real(" \t", kShort).taken, 2u);
}

TEST(NumberReading, SiPrefixesMoveTheDecimalExponent) {
    struct Case {
        const char* text;
        double value;  // the double nearest the decimal the text means
        std::size_t taken;
    };
    const Case cases[] = {{"10k", 10000, 3},
                          {"1K", 1000, 2},  // kilo as resistors are marked; M stays mega
                          {"4.7K", 4700, 4},
                          {" 4.7n ", 4.7e-9, 5},  // 4.7 * 1e-9 would round twice, to 4.7e-9 + 1ulp
                          {"4.7u", 4.7e-6, 4},
                          {"4.7\xC2\xB5", 4.7e-6, 5},
                          {"4.7\xCE\xBC", 4.7e-6, 5},
                          {"1M", 1e6, 2},
                          {"1m", 1e-3, 2},
                          {"-2.2e3k", -2.2e6, 7},
                          {"3.3e-3G", 3.3e6, 7},
                          {"1.5p", 1.5e-12, 4},
                          {"1e308k", HUGE_VAL, 6},
                          {"1e-320p", 0, 7},
                          {"7x", 7, 1}};
    for (const Case& c : cases) {
        const RealScan scan = scan_prefixed_real(c.text, kShort);
        EXPECT_EQ(scan.status, ScanStatus::ok) << c.text;
        EXPECT_EQ(scan.value, c.value) << c.text;
        EXPECT_EQ(scan.taken, c.taken) << c.text;
    }
    EXPECT_NE(4.7 * 1e-9, 4.7e-9);  // the case above is one a product gets wrong
    EXPECT_EQ(scan_prefixed_real("k", kShort).status, ScanStatus::not_a_number);
    EXPECT_EQ(scan_prefixed_real("1234567890123456789k", kShort).value, 1234567890123456789e3);
    EXPECT_EQ(scan_prefixed_real("12345678901234567890k", kShort).status, ScanStatus::too_long);
}

// A stream buffer whose reads fail the way a file's do: by throwing.
class FailingBuffer : public std::streambuf {
  protected:
    int_type underflow() override { throw std::runtime_error("read error"); }
};

TEST(InputCursor, ReadErrorIsTheEndOfInput) {
    FailingBuffer failing;
    std::istream stream(&failing);
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::end_of_input);
    EXPECT_EQ(read_repeat_answer(in).status, ReadStatus::end_of_input);
    EXPECT_EQ(in.drop_line(), "");
}

// The cursor fetches one character at a time, so this buffer shows how far it looked ahead.
class CountingBuffer : public std::streambuf {
  public:
    explicit CountingBuffer(std::string text) : text_(std::move(text)) {}
    std::size_t fetched = 0;

  protected:
    int_type underflow() override {
        return fetched < text_.size() ? traits_type::to_int_type(text_[fetched])
                                      : traits_type::eof();
    }
    int_type uflow() override {
        const int_type c = underflow();
        if (c != traits_type::eof()) ++fetched;
        return c;
    }

  private:
    std::string text_;
};

TEST(InputCursor, CarriageReturnEndsTheNumberWithoutWaitingForMore) {
    CountingBuffer buffer("1\r\n2\r3\r\r\n");
    std::istream stream(&buffer);
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).value, 1);
    EXPECT_EQ(buffer.fetched, 2u);              // "1" and the CR, not the LF behind it
    EXPECT_EQ(in.take(), '\n');                 // the CR, as a line end
    EXPECT_EQ(read_real(in, kShort).value, 2);  // the LF of the pair is gone
    EXPECT_EQ(rest_of(in), "\n3\n\n");          // a lone CR is a line end of its own
}

TEST(InputCursor, SecondPutBackIsAPreconditionFailure) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are asserted in builds without NDEBUG, such as the "
                    "sanitizer build";
#else
    std::istringstream stream("ab");
    InputCursor in(stream);
    in.take();
    in.take();
    in.put_back('b');
    EXPECT_DEATH(in.put_back('a'), "one character");
#endif
}

TEST(InputCursor, DropLineReturnsWhatItDrops) {
    std::istringstream stream("junk 5\r\n6");
    InputCursor in(stream);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::not_a_number);
    EXPECT_EQ(in.drop_line(), "junk 5");
    EXPECT_EQ(read_real(in, kShort).value, 6);
    EXPECT_EQ(read_real(in, kShort).status, ReadStatus::end_of_input);
}

struct RepeatCase {
    std::string input;
    ReadStatus status;
    std::int32_t value;
    std::string rest;  // when ok
};

TEST(RepeatAnswer, CNotationIntegers) {
    const std::vector<RepeatCase> cases = {
        {"1", kOk, 1, ""},
        {"5\n", kOk, 5, "\n"},
        {"  -1", kOk, -1, ""},
        {"+7", kOk, 7, ""},
        {"0", kOk, 0, ""},
        {"010", kOk, 8, ""},
        {"08", kOk, 0, "8"},
        {"0x1", kOk, 1, ""},
        {"0X1f", kOk, 31, ""},
        {"-0x10", kOk, -16, ""},
        {"1.5", kOk, 1, ".5"},
        {"2147483647", kOk, INT32_MAX, ""},
        {"2147483648", kOk, INT32_MAX, ""},
        {"-2147483648", kOk, INT32_MIN, ""},
        {"-2147483649", kOk, INT32_MIN, ""},
        {"0xFFFFFFFF", kOk, INT32_MAX, ""},
        {"999999999999999", kOk, INT32_MAX, ""},
        {"0000000000000001", kOk, 0, "1"},  // 15 characters taken
        {"-00000000000009", kOk, 0, "9"},   // 9 is not octal
        {"1234567890123456", kOk, INT32_MAX, "6"},
        {"y", kNotANumber, 0, ""},
        {"-", kNotANumber, 0, ""},
        {"x1", kNotANumber, 0, ""},
        {"", kEnd, 0, ""},
        {"\r\n ", kEnd, 0, ""},
    };
    for (const RepeatCase& c : cases) {
        SCOPED_TRACE("answer \"" + c.input + "\"");
        std::istringstream stream(c.input);
        InputCursor in(stream);
        const IntegerRead read = read_repeat_answer(in);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.value, c.value);
        if (c.status == kOk) {
            EXPECT_EQ(rest_of(in), c.rest);
        }
    }
}

}  // namespace
}  // namespace kestrane
