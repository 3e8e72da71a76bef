#include "kestrane/numeric/portable_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "portable_math_cases.h"

namespace kestrane {
namespace {

namespace cases = portable_cases;

// How many doubles lie between a and b (0 when equal); both finite or equal.
std::uint64_t ulps_apart(double a, double b) {
    if (a == b) return 0;
    // Map the bit patterns onto a line on which neighbouring doubles are neighbouring integers.
    auto ordered = [](double v) {
        const auto bits = std::bit_cast<std::int64_t>(v);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    const std::int64_t ia = ordered(a);
    const std::int64_t ib = ordered(b);
    return ia > ib ? static_cast<std::uint64_t>(ia - ib) : static_cast<std::uint64_t>(ib - ia);
}

template <class Function, std::size_t N>
void expect_within_one_ulp(const char* name, Function f, const cases::UnaryCase (&table)[N]) {
    for (const cases::UnaryCase& c : table) {
        EXPECT_LE(ulps_apart(f(c.x), c.expected), 1u)
            << name << "(" << std::hexfloat << c.x << ") = " << f(c.x) << ", want " << c.expected;
    }
}

TEST(PortableMath, WithinOneUlpOfTheCorrectlyRoundedValue) {
    expect_within_one_ulp("exp", portable::exp, cases::kExp);
    expect_within_one_ulp("log", portable::log, cases::kLog);
    expect_within_one_ulp("log10", portable::log10, cases::kLog10);
    expect_within_one_ulp("sin", portable::sin, cases::kSin);
    expect_within_one_ulp("cos", portable::cos, cases::kCos);
    for (const cases::BinaryCase& c : cases::kAtan2) {
        EXPECT_LE(ulps_apart(portable::atan2(c.y, c.x), c.expected), 1u)
            << "atan2(" << std::hexfloat << c.y << ", " << c.x << ")";
    }
}

TEST(PortableMath, OddFunctionsAreOdd) {
    for (const cases::UnaryCase& c : cases::kSin) {
        EXPECT_EQ(portable::sin(-c.x), -portable::sin(c.x)) << c.x;
        EXPECT_EQ(portable::cos(-c.x), portable::cos(c.x)) << c.x;
    }
    for (const cases::BinaryCase& c : cases::kAtan2) {
        EXPECT_EQ(portable::atan2(-c.y, c.x), -portable::atan2(c.y, c.x));
    }
}

TEST(PortableMath, SpecialValues) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double pi = 0x1.921fb54442d18p+1;
    EXPECT_EQ(portable::exp(0.0), 1.0);
    EXPECT_EQ(portable::exp(inf), inf);
    EXPECT_EQ(portable::exp(-inf), 0.0);
    EXPECT_EQ(portable::exp(710.0), inf);
    EXPECT_EQ(portable::exp(-746.0), 0.0);
    EXPECT_EQ(portable::exp(-745.0), 0x0.0000000000001p-1022);  // e^-745 rounds to 2^-1074
    EXPECT_TRUE(std::isnan(portable::exp(nan)));

    for (auto f : {portable::log, portable::log10}) {
        EXPECT_EQ(f(1.0), 0.0);
        EXPECT_EQ(f(0.0), -inf);
        EXPECT_EQ(f(-0.0), -inf);
        EXPECT_EQ(f(inf), inf);
        EXPECT_TRUE(std::isnan(f(-1.0)));
        EXPECT_TRUE(std::isnan(f(-inf)));
        EXPECT_TRUE(std::isnan(f(nan)));
    }

    EXPECT_EQ(portable::sin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(portable::sin(-0.0)));
    EXPECT_EQ(portable::cos(0.0), 1.0);
    for (auto f : {portable::sin, portable::cos}) {
        EXPECT_TRUE(std::isnan(f(inf)));
        EXPECT_TRUE(std::isnan(f(-inf)));
        EXPECT_TRUE(std::isnan(f(nan)));
    }

    EXPECT_EQ(portable::atan2(0.0, 0.0), 0.0);
    EXPECT_TRUE(std::signbit(portable::atan2(-0.0, 1.0)));
    EXPECT_EQ(portable::atan2(0.0, -0.0), pi);
    EXPECT_EQ(portable::atan2(-0.0, -1.0), -pi);
    EXPECT_EQ(portable::atan2(1.0, 0.0), pi / 2);
    EXPECT_EQ(portable::atan2(-1.0, -0.0), -pi / 2);
    EXPECT_EQ(portable::atan2(1.0, inf), 0.0);
    EXPECT_EQ(portable::atan2(1.0, -inf), pi);
    EXPECT_EQ(portable::atan2(inf, 1.0), pi / 2);
    EXPECT_EQ(portable::atan2(inf, inf), pi / 4);
    EXPECT_EQ(portable::atan2(-inf, -inf), -0x1.2d97c7f3321d2p+1);  // -3 pi / 4
    EXPECT_TRUE(std::isnan(portable::atan2(nan, 1.0)));
    EXPECT_TRUE(std::isnan(portable::atan2(1.0, nan)));
}

}  // namespace
}  // namespace kestrane
