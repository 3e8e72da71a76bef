#include "kestrane/text/number_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "bound_cases.h"
#include "number_shape.h"

namespace kestrane {
namespace {

struct WriteCase {
    double value;
    const char* text;
};

void expect_texts(std::initializer_list<WriteCase> cases) {
    for (const WriteCase& c : cases)
        EXPECT_EQ(format_number(c.value), c.text) << "value " << c.value;
}

TEST(Writing, PlainDecimals) {
    expect_texts({{10000, "10000"},
                  {0, "0"},
                  {-0.0, "0"},
                  {1, "1"},
                  {-2.5, "-2.5"},
                  {300, "300"},
                  {123456, "123456"},
                  {0.0001, "0.0001"},
                  {0.000123456789, "0.000123457"},
                  {0.49000000953674316, "0.49"},  // single-precision 0.49
                  {10253.1005859375, "10253.1"},  // single-precision R2
                  {23.131995916366577, "23.132"},
                  {999999.4, "999999"}});
}

// Range ends rounded outward against exact rational arithmetic (tests/tools/bound_cases.py):
// 0.1 is a little above one tenth, so it rounds up to 0.1000001; a run of nines carries into
// the next decade; the layout is the console's with the digits asked for.
TEST(Writing, BoundsRoundDownAndUpFromTheExactValue) {
    for (const bound_cases::BoundCase& c : bound_cases::kCases) {
        EXPECT_EQ(format_bound(c.value, c.digits, BoundRounding::down), c.down)
            << c.value << " to " << c.digits << " digits";
        EXPECT_EQ(format_bound(c.value, c.digits, BoundRounding::up), c.up)
            << c.value << " to " << c.digits << " digits";
    }
    EXPECT_EQ(format_bound(-0.0, 7, BoundRounding::up), "0");
    EXPECT_EQ(format_bound(INFINITY, 7, BoundRounding::down), "1.#INF");
}

TEST(Writing, ExponentNotation) {
    expect_texts({{1e6, "1e+006"},
                  {1e-5, "1e-005"},
                  {1234567, "1.23457e+006"},
                  {-1e6, "-1e+006"},
                  {3.4028234663852886e38, "3.40282e+038"},
                  {1.1754943508222875e-38, "1.17549e-038"},
                  {1e-300, "1e-300"},
                  {1e300, "1e+300"},
                  {4.9406564584124654e-324, "4.94066e-324"},
                  {0.0000999994, "9.99994e-005"}});
}

// The 17-digit form decides: exact halves and 17-digit forms ending in 5 round up.
TEST(Writing, SeventhDigitRoundsUp) {
    expect_texts({{98730.25, "98730.3"},  // printf("%g") gives 98730.2
                  {76141.25, "76141.3"},  // printf("%g") gives 76141.2
                  {-98730.25, "-98730.3"},
                  {22.67625, "22.6763"},  // 22.676249999... to 17 digits ends in 5
                  {999999.5, "1e+006"},
                  {9.999995, "10"},
                  {0.000099999951, "0.0001"},
                  {1.000005, "1.00001"},
                  {2.000025, "2.00002"}});  // 2.0000249999999999
}

TEST(Writing, NotFinite) {
    expect_texts({{std::numeric_limits<double>::infinity(), "1.#INF"},
                  {-std::numeric_limits<double>::infinity(), "-1.#INF"},
                  {std::bit_cast<double>(0xFFF8000000000000u), "-1.#IND"},
                  {std::bit_cast<double>(0x7FF8000000000000u), "1.#QNAN"},
                  {std::bit_cast<double>(0xFFF8000000000001u), "-1.#QNAN"},
                  {std::bit_cast<double>(0x7FF0000000000001u), "1.#SNAN"},
                  {std::bit_cast<double>(0xFFF4000000000000u), "-1.#SNAN"}});
}

TEST(Writing, InvalidOperationPrintsAsIndefinite) {
    volatile double zero = 0;
    EXPECT_EQ(format_number(zero / zero), "-1.#IND");
}

// The decimal exponent of the printed value, read off the text.
int printed_exponent(const std::string& text) {
    const auto e = text.find('e');
    if (e != std::string::npos) return std::atoi(text.c_str() + e + 1);
    const auto first = text.find_first_of("123456789");
    const auto point = text.find('.');
    const auto point_at = point == std::string::npos ? text.size() : point;
    return first < point_at ? static_cast<int>(point_at - first - 1)
                            : -static_cast<int>(first - point_at);
}

TEST(Writing, RandomDoublesReadBackWithinHalfAUnitInTheSixthDigit) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> decade(-320, 307);
    std::uniform_real_distribution<double> mantissa(1, 10);
    for (int n = 0; n < 200000; ++n) {
        double value = mantissa(random) * std::pow(10.0, decade(random));
        if (!std::isfinite(value) || value == 0) continue;
        if (n % 2 == 1) value = -value;
        const std::string text = format_number(value);
        ASSERT_TRUE(expected::is_finite_console_number(text)) << text;

        const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        const double unit = std::pow(10.0, exponent - 5);
        const double back = std::strtod(text.c_str(), nullptr);
        ASSERT_LE(std::fabs(back - value), 0.5 * unit + 1e-11 * unit) << value << " " << text;

        const int shown = printed_exponent(text);
        ASSERT_TRUE(shown == exponent || shown == exponent + 1) << value << " " << text;
    }
}

TEST(Writing, NotationSwitchesAtExponentsMinusFiveAndSix) {
    EXPECT_EQ(format_number(0.00012345), "0.00012345");
    EXPECT_EQ(format_number(0.000012345), "1.2345e-005");
    EXPECT_EQ(format_number(999999), "999999");
    EXPECT_EQ(format_number(999999.49), "999999");
    EXPECT_EQ(format_number(999999.51), "1e+006");
    EXPECT_EQ(format_number(1000001), "1e+006");
}

TEST(Writing, EngineeringTextForPeople) {
    const std::pair<double, const char*> cases[] = {
        {1.61484e-5, "16.1 \u00B5F"}, {10253.1, "10.3 k\u03A9"}, {22e-9, "22 nF"},
        {-22e-9, "-22 nF"},           {999.7, "1 k\u03A9"},      {4.7e6, "4.7 M\u03A9"},
        {0.5e-12, "5e-013 F"},        {1e12, "1e+012 \u03A9"},   {0, "0 \u03A9"},
        {1.5e-12, "1.5 pF"},          {2.2e9, "2.2 G\u03A9"}};
    for (const auto& [value, text] : cases) {
        const std::string unit = text[std::string_view(text).size() - 1] == 'F' ? "F" : "\u03A9";
        EXPECT_EQ(engineering_text(value, unit), text) << value;
    }
}

TEST(Writing, ShortestTextReadsBackToTheSameDouble) {
    EXPECT_EQ(shortest_text(10253.1005859375), "10253.1005859375");
    EXPECT_EQ(shortest_text(0.1), "0.1");
    EXPECT_EQ(shortest_text(-2.5e-300), "-2.5e-300");
    EXPECT_EQ(shortest_text(std::numeric_limits<double>::infinity()), "null");
    std::mt19937_64 random(7);
    for (int i = 0; i < 1000; ++i) {
        const double value = std::bit_cast<double>(random() & 0x7FEFFFFFFFFFFFFFu);
        EXPECT_EQ(std::strtod(shortest_text(value).c_str(), nullptr), value);
    }
}

}  // namespace
}  // namespace kestrane
