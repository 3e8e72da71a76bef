#include "preferred_values.h"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace kestrane {
namespace {

// The standard's tables, one decade each, in hundredths.
constexpr std::uint16_t kE6[] = {100, 150, 220, 330, 470, 680};
constexpr std::uint16_t kE12[] = {100, 120, 150, 180, 220, 270, 330, 390, 470, 560, 680, 820};
constexpr std::uint16_t kE24[] = {100, 110, 120, 130, 150, 160, 180, 200, 220, 240, 270, 300,
                                  330, 360, 390, 430, 470, 510, 560, 620, 680, 750, 820, 910};
constexpr std::uint16_t kE48[] = {100, 105, 110, 115, 121, 127, 133, 140, 147, 154, 162, 169,
                                  178, 187, 196, 205, 215, 226, 237, 249, 261, 274, 287, 301,
                                  316, 332, 348, 365, 383, 402, 422, 442, 464, 487, 511, 536,
                                  562, 590, 619, 649, 681, 715, 750, 787, 825, 866, 909, 953};
constexpr std::uint16_t kE96[] = {
    100, 102, 105, 107, 110, 113, 115, 118, 121, 124, 127, 130, 133, 137, 140, 143,
    147, 150, 154, 158, 162, 165, 169, 174, 178, 182, 187, 191, 196, 200, 205, 210,
    215, 221, 226, 232, 237, 243, 249, 255, 261, 267, 274, 280, 287, 294, 301, 309,
    316, 324, 332, 340, 348, 357, 365, 374, 383, 392, 402, 412, 422, 432, 442, 453,
    464, 475, 487, 499, 511, 523, 536, 549, 562, 576, 590, 604, 619, 634, 649, 665,
    681, 698, 715, 732, 750, 768, 787, 806, 825, 845, 866, 887, 909, 931, 953, 976};
constexpr std::uint16_t kE192[] = {
    100, 101, 102, 104, 105, 106, 107, 109, 110, 111, 113, 114, 115, 117, 118, 120, 121, 123,
    124, 126, 127, 129, 130, 132, 133, 135, 137, 138, 140, 142, 143, 145, 147, 149, 150, 152,
    154, 156, 158, 160, 162, 164, 165, 167, 169, 172, 174, 176, 178, 180, 182, 184, 187, 189,
    191, 193, 196, 198, 200, 203, 205, 208, 210, 213, 215, 218, 221, 223, 226, 229, 232, 234,
    237, 240, 243, 246, 249, 252, 255, 258, 261, 264, 267, 271, 274, 277, 280, 284, 287, 291,
    294, 298, 301, 305, 309, 312, 316, 320, 324, 328, 332, 336, 340, 344, 348, 352, 357, 361,
    365, 370, 374, 379, 383, 388, 392, 397, 402, 407, 412, 417, 422, 427, 432, 437, 442, 448,
    453, 459, 464, 470, 475, 481, 487, 493, 499, 505, 511, 517, 523, 530, 536, 542, 549, 556,
    562, 569, 576, 583, 590, 597, 604, 612, 619, 626, 634, 642, 649, 657, 665, 673, 681, 690,
    698, 706, 715, 723, 732, 741, 750, 759, 768, 777, 787, 796, 806, 816, 825, 835, 845, 856,
    866, 876, 887, 898, 909, 920, 931, 942, 953, 965, 976, 988};

// One member as an exact decimal: hundredths * 10^exponent, hundredths from 100 to 1000.
struct DecimalMember {
    std::uint32_t hundredths;
    int exponent;
};

// Members are numbered over all decades: index i * n + j (n members a decade) is member j of
// the decade of 10^i, so index 0 is 1.00 and index -1 the last member below it.
DecimalMember member_at(std::span<const std::uint16_t> members, long index) {
    const long size = static_cast<long>(members.size());
    const long decade = index >= 0 ? index / size : -((size - 1 - index) / size);
    const auto position = static_cast<std::size_t>(index - decade * size);
    return {members[position], static_cast<int>(decade) - 2};
}

// An unsigned integer of 384 bits, least significant limb first. The midpoint comparison
// below needs at most about 280 bits for any float.
constexpr std::size_t kWideLimbs = 12;
using WideUnsigned = std::array<std::uint32_t, kWideLimbs>;

WideUnsigned wide_from(std::uint64_t value) {
    WideUnsigned wide{};
    wide[0] = static_cast<std::uint32_t>(value);
    wide[1] = static_cast<std::uint32_t>(value >> 32);
    return wide;
}

void multiply(WideUnsigned& wide, std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : wide) {
        const std::uint64_t product = std::uint64_t{limb} * factor + carry;
        limb = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
}

void multiply_by_power_of_five(WideUnsigned& wide, int power) {
    constexpr int kLargestStep = 13;  // 5^13 = 1220703125 fits a limb
    for (; power > 0; power -= kLargestStep) {
        std::uint32_t factor = 1;
        for (int i = 0; i < power && i < kLargestStep; ++i)
            factor *= 5;
        multiply(wide, factor);
    }
}

void shift_left(WideUnsigned& wide, int bits) {
    const auto limbs = static_cast<std::size_t>(bits / 32);
    const int rest = bits % 32;
    for (std::size_t i = kWideLimbs; i-- > 0;) {
        const std::uint64_t high = i >= limbs ? wide[i - limbs] : 0;
        const std::uint64_t low = i >= limbs + 1 ? wide[i - limbs - 1] : 0;
        wide[i] = static_cast<std::uint32_t>(((high << 32 | low) << rest) >> 32);
    }
}

bool at_least(const WideUnsigned& left, const WideUnsigned& right) {
    for (std::size_t i = kWideLimbs; i-- > 0;) {
        if (left[i] != right[i]) return left[i] > right[i];
    }
    return true;
}

// A positive finite float as significand * 2^exponent, the significand below 2^24.
struct BinaryValue {
    std::uint32_t significand;
    int exponent;
};

BinaryValue binary_value(float magnitude) {
    const auto bits = std::bit_cast<std::uint32_t>(magnitude);
    const auto biased = static_cast<int>(bits >> 23);
    const std::uint32_t fraction = bits & 0x7FFFFFu;
    if (biased == 0) return {fraction, -149};
    return {fraction | 0x800000u, biased - 150};
}

// True when x^2 >= lower * upper, exactly: with x = m * 2^e and the product
// h * 10^d = h * 2^d * 5^d, compares m^2 * 2^(2e - d) with h * 5^d, moving each negative
// power to the other side.
bool at_or_above_midpoint(BinaryValue x, DecimalMember lower, DecimalMember upper) {
    WideUnsigned square = wide_from(std::uint64_t{x.significand} * x.significand);
    WideUnsigned product = wide_from(std::uint64_t{lower.hundredths} * upper.hundredths);
    const int decimal_exponent = lower.exponent + upper.exponent;
    const int binary_exponent = 2 * x.exponent - decimal_exponent;
    if (decimal_exponent >= 0) {
        multiply_by_power_of_five(product, decimal_exponent);
    } else {
        multiply_by_power_of_five(square, -decimal_exponent);
    }
    if (binary_exponent >= 0) {
        shift_left(square, binary_exponent);
    } else {
        shift_left(product, -binary_exponent);
    }
    return at_least(square, product);
}

// 10^0 to 10^47, each the double nearest to it.
constexpr double kPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30, 1e31,
    1e32, 1e33, 1e34, 1e35, 1e36, 1e37, 1e38, 1e39, 1e40, 1e41, 1e42, 1e43, 1e44, 1e45, 1e46, 1e47};

// The float nearest to a member; an infinity beyond the float range. The members that
// floats round to have exponents from -47 to 36.
float member_float(DecimalMember member) {
    const double hundredths = member.hundredths;
    const double value = member.exponent >= 0 ? hundredths * kPowersOfTen[member.exponent]
                                              : hundredths / kPowersOfTen[-member.exponent];
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// The first guess is the index whose formula value 10^(index/n) is nearest; the tables
// stray from the formula by less than half a step, so it is at most one member off the
// result. The walk allows a few steps more.
constexpr int kMostSteps = 4;

long nearest_index(std::span<const std::uint16_t> members, float magnitude) {
    const BinaryValue x = binary_value(magnitude);
    const double size = static_cast<double>(members.size());
    long index = std::lround(size * std::log10(static_cast<double>(magnitude)));
    for (int step = 0; step < kMostSteps; ++step) {
        if (!at_or_above_midpoint(x, member_at(members, index), member_at(members, index + 1)))
            break;
        ++index;
    }
    for (int step = 0; step < kMostSteps; ++step) {
        if (at_or_above_midpoint(x, member_at(members, index - 1), member_at(members, index)))
            break;
        --index;
    }
    return index;
}

}  // namespace

std::span<const std::uint16_t> series_members(PreferredSeries series) {
    switch (series) {
        case PreferredSeries::e6:
            return kE6;
        case PreferredSeries::e12:
            return kE12;
        case PreferredSeries::e24:
            return kE24;
        case PreferredSeries::e48:
            return kE48;
        case PreferredSeries::e96:
            return kE96;
        case PreferredSeries::e192:
            return kE192;
    }
    return kE192;
}

std::string_view series_name(PreferredSeries series) {
    switch (series) {
        case PreferredSeries::e6:
            return "E6";
        case PreferredSeries::e12:
            return "E12";
        case PreferredSeries::e24:
            return "E24";
        case PreferredSeries::e48:
            return "E48";
        case PreferredSeries::e96:
            return "E96";
        case PreferredSeries::e192:
            return "E192";
    }
    return "";
}

std::optional<PreferredSeries> series_from_name(std::string_view name) {
    for (const PreferredSeries series : kPreferredSeries) {
        if (series_name(series) == name) return series;
    }
    return std::nullopt;
}

float nearest_preferred(float value, PreferredSeries series) {
    if (value == 0 || !std::isfinite(value)) return value;
    const std::span<const std::uint16_t> members = series_members(series);
    const float magnitude = std::fabs(value);
    const float nearest = member_float(member_at(members, nearest_index(members, magnitude)));
    return std::copysign(nearest, value);
}

}  // namespace kestrane
