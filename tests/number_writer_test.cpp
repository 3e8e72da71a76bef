#include "number_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace kestrane {
namespace {

struct WriteCase {
    double value;
    const char* text;
};

class Writing : public testing::TestWithParam<WriteCase> {};

TEST_P(Writing, SixSignificantDigits) {
    EXPECT_EQ(format_number(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Plain, Writing,
    testing::Values(WriteCase{10000, "10000"}, WriteCase{0, "0"}, WriteCase{-0.0, "0"},
                    WriteCase{1, "1"}, WriteCase{100, "100"}, WriteCase{-2.5, "-2.5"},
                    WriteCase{300, "300"}, WriteCase{123456, "123456"}, WriteCase{0.0001, "0.0001"},
                    WriteCase{0.000123456789, "0.000123457"},
                    WriteCase{0.49000000953674316, "0.49"},  // single-precision 0.49
                    WriteCase{10253.1005859375, "10253.1"},  // single-precision R2
                    WriteCase{23.131995916366577, "23.132"}, WriteCase{999999.4, "999999"}));

INSTANTIATE_TEST_SUITE_P(Exponent, Writing,
                         testing::Values(WriteCase{1e6, "1e+006"}, WriteCase{1e-5, "1e-005"},
                                         WriteCase{1234567, "1.23457e+006"},
                                         WriteCase{-1e6, "-1e+006"},
                                         WriteCase{3.4028234663852886e38, "3.40282e+038"},
                                         WriteCase{1.1754943508222875e-38, "1.17549e-038"},
                                         WriteCase{1e-300, "1e-300"}, WriteCase{1e300, "1e+300"},
                                         WriteCase{4.9406564584124654e-324, "4.94066e-324"},
                                         WriteCase{0.0000999994, "9.99994e-005"}));

// The 17-digit form decides: exact halves and 17-digit forms ending in 5 round up.
INSTANTIATE_TEST_SUITE_P(
    RoundingUp, Writing,
    testing::Values(WriteCase{98730.25, "98730.3"},  // printf("%g") gives 98730.2
                    WriteCase{76141.25, "76141.3"},  // printf("%g") gives 76141.2
                    WriteCase{-98730.25, "-98730.3"},
                    WriteCase{22.67625, "22.6763"},  // 22.676249999... to 17 digits ends in 5
                    WriteCase{999999.5, "1e+006"}, WriteCase{9.999995, "10"},
                    WriteCase{0.000099999951, "0.0001"}, WriteCase{1.000005, "1.00001"},
                    WriteCase{2.000025, "2.00002"}));  // 2.0000249999999999

INSTANTIATE_TEST_SUITE_P(
    NotFinite, Writing,
    testing::Values(WriteCase{std::numeric_limits<double>::infinity(), "1.#INF"},
                    WriteCase{-std::numeric_limits<double>::infinity(), "-1.#INF"},
                    WriteCase{std::bit_cast<double>(0xFFF8000000000000u), "-1.#IND"},
                    WriteCase{std::bit_cast<double>(0x7FF8000000000000u), "1.#QNAN"},
                    WriteCase{std::bit_cast<double>(0xFFF8000000000001u), "-1.#QNAN"},
                    WriteCase{std::bit_cast<double>(0x7FF0000000000001u), "1.#SNAN"},
                    WriteCase{std::bit_cast<double>(0xFFF4000000000000u), "-1.#SNAN"}));

TEST(Writing, InvalidOperationPrintsAsIndefinite) {
    volatile double zero = 0;
    EXPECT_EQ(format_number(zero / zero), "-1.#IND");
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// -ddd[.ddd] or -d[.ddd]e+ddd, with no trailing zero after a point.
bool has_number_shape(std::string text) {
    if (text.starts_with("-")) text.erase(0, 1);
    const auto e = text.find('e');
    if (e != std::string::npos) {
        const std::string exponent = text.substr(e + 1);
        if (exponent.size() != 4 || (exponent[0] != '+' && exponent[0] != '-') ||
            !all_digits(exponent.substr(1))) {
            return false;
        }
        text.erase(e);
        if (text.size() != 1 && text[1] != '.') return false;
    }
    const auto point = text.find('.');
    if (point == std::string::npos) return all_digits(text);
    const std::string fraction = text.substr(point + 1);
    return all_digits(text.substr(0, point)) && all_digits(fraction) && fraction.back() != '0';
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
        ASSERT_TRUE(has_number_shape(text)) << text;
        const int digits = static_cast<int>(std::count_if(
            text.begin(), text.begin() + std::min(text.find('e'), text.size()), ::isdigit));
        const int leading_zeros =
            text.find_first_of("123456789") - text.find_first_of("0123456789");
        EXPECT_LE(digits - leading_zeros, 6) << text;

        const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        const double unit = std::pow(10.0, exponent - 5);
        const double back = std::strtod(text.c_str(), nullptr);
        ASSERT_LE(std::fabs(back - value), 0.5 * unit + 1e-11 * unit) << value << " " << text;

        const int shown = printed_exponent(text);
        const bool exponent_form = text.find('e') != std::string::npos;
        ASSERT_EQ(exponent_form, shown < -4 || shown >= 6) << text;
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

}  // namespace
}  // namespace kestrane
