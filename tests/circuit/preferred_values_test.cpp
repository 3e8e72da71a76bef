#include "kestrane/circuit/preferred_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "nearest_member_cases.h"

namespace kestrane {
namespace {

using Series = PreferredSeries;

std::vector<int> members_of(Series series) {
    const auto members = series_members(series);
    return {members.begin(), members.end()};
}

bool contains(Series series, int hundredths) {
    const std::vector<int> members = members_of(series);
    return std::find(members.begin(), members.end(), hundredths) != members.end();
}

std::string decimal_text(int hundredths, int exponent) {
    return std::to_string(hundredths) + "e" + std::to_string(exponent);
}

// The float and the double nearest to hundredths * 10^exponent, by the C library's correctly
// rounded decimal conversion.
float decimal_float(int hundredths, int exponent) {
    return std::strtof(decimal_text(hundredths, exponent).c_str(), nullptr);
}
double decimal_double(int hundredths, int exponent) {
    return std::strtod(decimal_text(hundredths, exponent).c_str(), nullptr);
}

TEST(PreferredValues, TablesAreTheStandardsFormulaValuesSaveItsExceptions) {
    // E48 to E192: round(100 * 10^(i/n)), except E192's 9.20 where that gives 9.19.
    for (const Series series : {Series::e48, Series::e96, Series::e192}) {
        const std::vector<int> members = members_of(series);
        const int n = static_cast<int>(members.size());
        for (int i = 0; i < n; ++i) {
            const int formula = static_cast<int>(std::lround(100 * std::pow(10.0, i / double(n))));
            const int expected = series == Series::e192 && formula == 919 ? 920 : formula;
            EXPECT_EQ(members[std::size_t(i)], expected) << series_name(series) << " #" << i;
        }
    }
    // E24: round(10 * 10^(i/24)) in tenths, except the eight values the standard raises or
    // lowers: 2.6 -> 2.7, 2.9 -> 3.0, 3.2 -> 3.3, 3.5 -> 3.6, 3.8 -> 3.9, 4.2 -> 4.3,
    // 4.6 -> 4.7, 8.3 -> 8.2.
    const std::vector<int> e24 = members_of(Series::e24);
    const int exceptions[][2] = {{26, 27}, {29, 30}, {32, 33}, {35, 36},
                                 {38, 39}, {42, 43}, {46, 47}, {83, 82}};
    for (int i = 0; i < 24; ++i) {
        int tenths = static_cast<int>(std::lround(10 * std::pow(10.0, i / 24.0)));
        for (const auto& [formula, standard] : exceptions) {
            if (tenths == formula) tenths = standard;
        }
        EXPECT_EQ(e24[std::size_t(i)], 10 * tenths) << "E24 #" << i;
    }
}

TEST(PreferredValues, TablesHaveTheirLengthsAndRiseStrictly) {
    const std::size_t lengths[] = {6, 12, 24, 48, 96, 192};
    for (std::size_t s = 0; s < 6; ++s) {
        const std::vector<int> members = members_of(kPreferredSeries[s]);
        EXPECT_EQ(members.size(), lengths[s]);
        EXPECT_EQ(members.front(), 100);
        EXPECT_LT(members.back(), 1000);
        EXPECT_TRUE(std::adjacent_find(members.begin(), members.end(), std::greater_equal<int>()) ==
                    members.end())
            << series_name(kPreferredSeries[s]);
    }
}

TEST(PreferredValues, EachSeriesIsEveryOtherMemberOfTheNextWhereTheStandardNestsThem) {
    const Series nested[][2] = {{Series::e6, Series::e12},
                                {Series::e12, Series::e24},
                                {Series::e48, Series::e96},
                                {Series::e96, Series::e192}};
    for (const auto& [smaller, larger] : nested) {
        const std::vector<int> small = members_of(smaller);
        const std::vector<int> large = members_of(larger);
        for (std::size_t i = 0; i < small.size(); ++i) {
            EXPECT_EQ(small[i], large[2 * i]) << series_name(smaller) << " #" << i;
        }
    }
    // E24 is not part of the three-digit series: 2.7, 3.3 and 8.2 are in neither.
    for (const int e24_only : {270, 330, 820}) {
        EXPECT_FALSE(contains(Series::e48, e24_only)) << e24_only;
        EXPECT_FALSE(contains(Series::e192, e24_only)) << e24_only;
    }
}

TEST(PreferredValues, NamesRoundTripInEitherCaseAndNothingElseIsAName) {
    const char* names[] = {"E6", "E12", "E24", "E48", "E96", "E192"};
    for (std::size_t s = 0; s < 6; ++s) {
        EXPECT_EQ(series_name(kPreferredSeries[s]), names[s]);
        EXPECT_EQ(series_from_name(names[s]), kPreferredSeries[s]);
    }
    EXPECT_EQ(series_from_name("e12"), Series::e12);
    EXPECT_EQ(series_from_name("e192"), Series::e192);
    for (const char* other : {"", "E", "e", "E 12", "E12 ", "E3", "E1920", "12", "x12"}) {
        EXPECT_FALSE(series_from_name(other).has_value()) << other;
    }
}

TEST(NearestPreferred, TheFloatNearestEveryMemberRoundsToTheDoubleNearestIt) {
    // Over every decade that normal floats reach: the float nearest a member rounds to that
    // member, given as the double the library's decimal conversion gives for it.
    for (const Series series : kPreferredSeries) {
        for (int exponent = -40; exponent <= 36; ++exponent) {
            for (const int hundredths : members_of(series)) {
                const float member = decimal_float(hundredths, exponent);
                if (member < std::numeric_limits<float>::min() || std::isinf(member)) continue;
                ASSERT_EQ(nearest_preferred(member, series), decimal_double(hundredths, exponent))
                    << series_name(series) << " " << hundredths << "e" << exponent;
            }
        }
    }
}

// The floats just below and just above the geometric midpoint of each pair of neighbouring
// members, the decade's last member and the next decade's first included, in every decade
// that floats reach, go to the lower and the upper member; negated, to their negatives. The
// midpoint sqrt(lower * upper) is computed in double precision, which places it well inside
// its float interval (the test asserts the margin): no float comes nearer than about 1e-12
// of a midpoint, relative, which python3 confirms in exact rational arithmetic. Left out are
// the subnormal pairs whose nearest floats fall outside the pair.
TEST(NearestPreferred, GoesToTheNearerMemberOnEachSideOfEveryGeometricMidpoint) {
    const double largest = std::numeric_limits<float>::max();
    int pairs_checked = 0;
    for (const Series series : kPreferredSeries) {
        std::vector<int> members = members_of(series);
        members.push_back(1000);
        for (int exponent = -47; exponent <= 36; ++exponent) {
            const double scale = std::pow(10.0, exponent);
            for (std::size_t i = 0; i + 1 < members.size(); ++i) {
                const double midpoint = std::sqrt(double(members[i]) * members[i + 1]) * scale;
                if (midpoint > largest) break;
                float below = static_cast<float>(midpoint);
                if (below > midpoint) below = std::nextafter(below, 0.0f);
                const float above = std::nextafter(below, std::numeric_limits<float>::max());
                if (below < members[i] * scale || above > members[i + 1] * scale) continue;
                ASSERT_GT(midpoint - below, 1e-13 * midpoint);
                ASSERT_GT(above - midpoint, 1e-13 * midpoint);
                const double lower = decimal_double(members[i], exponent);
                const double upper = decimal_double(members[i + 1], exponent);
                const std::string where = std::string(series_name(series)) + " " +
                                          std::to_string(members[i]) + "e" +
                                          std::to_string(exponent);
                ASSERT_EQ(nearest_preferred(below, series), lower) << where;
                ASSERT_EQ(nearest_preferred(above, series), upper) << where;
                ASSERT_EQ(nearest_preferred(-below, series), -lower) << where;
                ASSERT_EQ(nearest_preferred(-above, series), -upper) << where;
                ++pairs_checked;
            }
        }
    }
    // 378 pairs a decade over 84 decades, less the few beyond the float range and the
    // coarsest subnormal ones.
    EXPECT_GT(pairs_checked, 30000);
}

TEST(NearestPreferred, CrossesDecadeBoundaries) {
    struct Case {
        float value;
        Series series;
        double expected;
    };
    // E12's 8.2 and 10 meet at sqrt(82) = 9.0554; E96's 976 and 1000 at sqrt(976000) =
    // 987.927; E192's 9.88 and 10.0 at sqrt(98.8) = 9.93982; E6's 0.68 and 1.0 at
    // sqrt(0.68) = 0.824621.
    const Case cases[] = {
        {9.9f, Series::e12, 10.0},
        {0.0995f, Series::e12, 0.1},
        {9.05f, Series::e12, 8.2},
        {9.06f, Series::e12, 10.0},
        {987.9f, Series::e96, 976.0},
        {988.0f, Series::e96, 1000.0},
        {9.939f, Series::e192, 9.88},
        {9.94f, Series::e192, 10.0},
        {0.8246f, Series::e6, 0.68},
        {0.8247f, Series::e6, 1.0},
        {-9.9f, Series::e12, -10.0},
        {-0.0995f, Series::e12, -0.1},
        {-987.9e-12f, Series::e96, -976e-12},
        {-988e-12f, Series::e96, -1e-9},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nearest_preferred(c.value, c.series), c.expected)
            << c.value << " in " << series_name(c.series);
    }
    for (const Series series : kPreferredSeries) {
        EXPECT_EQ(nearest_preferred(std::nextafter(1.0f, 0.0f), series), 1.0);
        EXPECT_EQ(nearest_preferred(std::nextafter(1e-9f, 1.0f), series), 1e-9);
    }
}

TEST(NearestPreferred, ZerosInfinitiesAndNotANumberComeBackUnchanged) {
    const float infinity = std::numeric_limits<float>::infinity();
    for (const Series series : kPreferredSeries) {
        EXPECT_EQ(nearest_preferred(0.0f, series), 0.0f);
        EXPECT_TRUE(std::signbit(nearest_preferred(-0.0f, series)));
        EXPECT_EQ(nearest_preferred(infinity, series), infinity);
        EXPECT_EQ(nearest_preferred(-infinity, series), -infinity);
        EXPECT_TRUE(std::isnan(nearest_preferred(std::nanf(""), series)));
    }
}

TEST(NearestPreferred, ReachesBothEndsOfTheFloatRange) {
    // The smallest subnormal, 1.401e-45, lies between 1.0e-45 and 1.5e-45 in E6 (midpoint
    // 1.2247e-45) and goes to 1.5e-45; in E192 between 1.40e-45 and 1.42e-45 (midpoint
    // 1.40996e-45), to 1.40e-45.
    const float smallest = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(nearest_preferred(smallest, Series::e6), 1.5e-45);
    EXPECT_EQ(nearest_preferred(-smallest, Series::e192), -1.4e-45);
    // The largest float, 3.40282e38: E48's neighbours 3.32e38 and 3.48e38 meet at 3.39906e38,
    // below it, so it goes to 3.48e38, beyond the float range but a double like any other.
    const float largest = std::numeric_limits<float>::max();
    EXPECT_EQ(nearest_preferred(largest, Series::e6), 3.3e38);
    EXPECT_EQ(nearest_preferred(largest, Series::e24), 3.3e38);
    EXPECT_EQ(nearest_preferred(largest, Series::e48), 3.48e38);
    EXPECT_EQ(nearest_preferred(-largest, Series::e48), -3.48e38);
    EXPECT_EQ(nearest_preferred(3.399e38f, Series::e48), 3.32e38);
    EXPECT_EQ(nearest_preferred(largest, Series::e96), 3.40e38);
    EXPECT_EQ(nearest_preferred(largest, Series::e192), 3.40e38);
}

TEST(NearestMember, DoublesWithinUlpsOfAMidpointGoWhereExactArithmeticSends) {
    // Expected from tests/tools/nearest_member_cases.py (exact fractions), down to subnormals
    // and up to 1e292, where the members' powers of ten lie beyond the table.
    for (const NearestMemberCase& c : kNearestMemberCases) {
        const PreferredSeries series = *series_from_name(c.series);
        const double member = std::strtod(c.member, nullptr);
        EXPECT_EQ(nearest_member(c.value, series), member) << c.value;
        EXPECT_EQ(nearest_member(-c.value, series), -member) << c.value;
    }
    EXPECT_EQ(nearest_member(0.0, Series::e12), 0.0);
    EXPECT_TRUE(std::isnan(nearest_member(NAN, Series::e12)));
    EXPECT_EQ(nearest_member(-INFINITY, Series::e12), -INFINITY);
}

}  // namespace
}  // namespace kestrane
