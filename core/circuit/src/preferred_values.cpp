#include "kestrane/circuit/preferred_values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "kestrane/numeric/contract.h"

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

// Each series' name and table, in the order of PreferredSeries.
struct SeriesTable {
    std::string_view name;
    std::span<const std::uint16_t> members;
};
constexpr SeriesTable kSeriesTables[] = {{"E6", kE6},   {"E12", kE12}, {"E24", kE24},
                                         {"E48", kE48}, {"E96", kE96}, {"E192", kE192}};

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

// 10^0 to 10^49, each the double nearest to it.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                   1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19,
                                   1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28, 1e29,
                                   1e30, 1e31, 1e32, 1e33, 1e34, 1e35, 1e36, 1e37, 1e38, 1e39,
                                   1e40, 1e41, 1e42, 1e43, 1e44, 1e45, 1e46, 1e47, 1e48, 1e49};
constexpr int kLargestPowerOfTen = 49;

// value * 10^exponent with one rounding of the power and one of the product or quotient.
// The members met for any float have exponents from -48 to 37; the clamp only keeps the
// table read inside the table.
double times_power_of_ten(double value, int exponent) {
    const int power = std::clamp(exponent, -kLargestPowerOfTen, kLargestPowerOfTen);
    return power >= 0 ? value * kPowersOfTen[power] : value / kPowersOfTen[-power];
}

// lower * upper within 5e-16 of its value, relative: the product of the hundredths is exact,
// then two powers and two products each rounded once.
double product_of_members(DecimalMember lower, DecimalMember upper) {
    const double hundredths = static_cast<double>(lower.hundredths) * upper.hundredths;
    return times_power_of_ten(times_power_of_ten(hundredths, lower.exponent), upper.exponent);
}

// The member as decimal text for strtod: "470e-40".
std::string power_text(std::uint32_t hundredths, int exponent) {
    return std::to_string(hundredths) + "e" + std::to_string(exponent);
}

// The double nearest to a member. hundredths is below 2^53 and 10^k is exact in double
// precision for 0 <= k <= 22 (5^22 < 2^53), so there one multiplication or division of two
// exact operands rounds once, correctly. Beyond, std::strtod converts the decimal text: it
// is correctly rounded in glibc and in wasi-libc alike, so the page's module gives the same
// bits. The members met for any float have exponents from -48 to 37.
double member_value(DecimalMember member) {
    constexpr int kExactPowers = 22;
    const double hundredths = member.hundredths;
    if (member.exponent >= 0 && member.exponent <= kExactPowers) {
        return hundredths * kPowersOfTen[member.exponent];
    }
    if (member.exponent < 0 && member.exponent >= -kExactPowers) {
        return hundredths / kPowersOfTen[-member.exponent];
    }
    return std::strtod(power_text(member.hundredths, member.exponent).c_str(), nullptr);
}

// An unsigned integer of up to kLimbs 32-bit limbs, least significant first: just enough
// arithmetic to compare a double's square with a product of two members exactly.
class WideInteger {
  public:
    explicit WideInteger(std::uint64_t value) {
        limb_[0] = static_cast<std::uint32_t>(value);
        limb_[1] = static_cast<std::uint32_t>(value >> 32);
        used_ = 2;
    }

    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (int i = 0; i < used_; ++i) {
            const std::uint64_t product = std::uint64_t{limb_[i]} * factor + carry;
            limb_[i] = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) push(static_cast<std::uint32_t>(carry));
    }

    // Times 5^count.
    void multiply_by_power_of_five(int count) {
        constexpr std::uint32_t kFivePower13 = 1220703125;  // 5^13, the largest below 2^32
        for (; count >= 13; count -= 13)
            multiply(kFivePower13);
        for (; count > 0; --count)
            multiply(5);
    }

    void shift_left(int bits) {
        const int limbs = bits / 32;
        const int rest = bits % 32;
        KESTRANE_CHECK(used_ + limbs + 1 <= kLimbs);
        for (int i = used_ - 1; i >= 0; --i)
            limb_[i + limbs] = limb_[i];
        for (int i = 0; i < limbs; ++i)
            limb_[i] = 0;
        used_ += limbs;
        if (rest == 0) return;
        std::uint32_t carry = 0;
        for (int i = limbs; i < used_; ++i) {
            const std::uint32_t next = limb_[i] >> (32 - rest);
            limb_[i] = limb_[i] << rest | carry;
            carry = next;
        }
        if (carry != 0) push(carry);
    }

    // value^2 for value below 2^64: value times its low half, plus value times its high half
    // shifted by 32 bits.
    static WideInteger square_of(std::uint64_t value) {
        const auto low = static_cast<std::uint32_t>(value);
        const auto high = static_cast<std::uint32_t>(value >> 32);
        WideInteger low_part(value);
        low_part.multiply(low);
        WideInteger high_part(value);
        high_part.multiply(high);
        high_part.shift_left(32);
        low_part.add(high_part);
        return low_part;
    }

    // -1, 0 or 1 as this is below, equal to or above `other`.
    int compare(const WideInteger& other) const {
        const int top = std::max(used_, other.used_);
        for (int i = top - 1; i >= 0; --i) {
            const std::uint32_t a = i < used_ ? limb_[i] : 0;
            const std::uint32_t b = i < other.used_ ? other.limb_[i] : 0;
            if (a != b) return a < b ? -1 : 1;
        }
        return 0;
    }

  private:
    // Enough for a double's square times 5^650 shifted by 3000 bits: under 4400 bits.
    static constexpr int kLimbs = 160;
    std::uint32_t limb_[kLimbs] = {};
    int used_ = 0;

    void push(std::uint32_t value) {
        KESTRANE_CHECK(used_ < kLimbs);
        limb_[used_++] = value;
    }

    void add(const WideInteger& other) {
        const int top = std::max(used_, other.used_);
        std::uint64_t carry = 0;
        for (int i = 0; i < top; ++i) {
            const std::uint64_t a = i < used_ ? limb_[i] : 0;
            const std::uint64_t b = i < other.used_ ? other.limb_[i] : 0;
            const std::uint64_t sum = a + b + carry;
            limb_[i] = static_cast<std::uint32_t>(sum);
            carry = sum >> 32;
        }
        used_ = top;
        if (carry != 0) push(static_cast<std::uint32_t>(carry));
    }
};

// True when magnitude^2 >= lower * upper in exact arithmetic. With magnitude = M 2^E (M an
// integer below 2^53) and lower * upper = H 10^e = H 5^e 2^e (H the product of the
// hundredths), both sides become integers once the power of five and the power of two are
// moved to the side where their exponents are positive.
bool square_at_or_above_exactly(double magnitude, DecimalMember lower, DecimalMember upper) {
    int binary_exponent = 0;
    const double fraction = std::frexp(magnitude, &binary_exponent);
    constexpr int kMantissaBits = 53;
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, kMantissaBits));
    const int e = lower.exponent + upper.exponent;
    WideInteger square = WideInteger::square_of(mantissa);
    WideInteger product(std::uint64_t{lower.hundredths} * upper.hundredths);
    if (e >= 0) {
        product.multiply_by_power_of_five(e);
    } else {
        square.multiply_by_power_of_five(-e);
    }
    const int shift = 2 * (binary_exponent - kMantissaBits) - e;
    if (shift >= 0) {
        square.shift_left(shift);
    } else {
        product.shift_left(-shift);
    }
    return square.compare(product) >= 0;
}

// True when magnitude^2 >= lower * upper as exact arithmetic decides it. The square of a
// double is rounded once (1.2e-16, relative) and the product is within 5e-16 of its value
// while the members' powers of ten are in the table: where they differ by more than 1e-14 the
// doubles decide; nearer, beyond the table, or where either overflows or underflows, the
// integers of square_at_or_above_exactly do. The square of a float is
// exact and no float comes within 1e-12 of a product of neighbours, relative (the tests check
// every midpoint that floats reach), so floats are always decided by the doubles.
bool square_at_or_above(double magnitude, DecimalMember lower, DecimalMember upper) {
    constexpr double kDecisive = 1e-14;
    const auto beyond_table = [](DecimalMember member) {
        return std::abs(member.exponent) > kLargestPowerOfTen;
    };
    if (beyond_table(lower) || beyond_table(upper)) {
        return square_at_or_above_exactly(magnitude, lower, upper);
    }
    const double square = magnitude * magnitude;
    const double product = product_of_members(lower, upper);
    const double gap = square - product;
    if (gap > kDecisive * product) return true;
    if (gap < -kDecisive * product) return false;
    return square_at_or_above_exactly(magnitude, lower, upper);
}

// The member nearest to `magnitude` (positive, finite) is the one at `index` with
// lower * upper <= magnitude^2 < upper * next on both sides.
//
// The walk starts at the index whose formula value 10^(index/n) is nearest; the tables stray
// from the formula by less than half a step, so that is at most one member off the result.
// The walk allows a few steps more.
constexpr int kMostSteps = 4;

long nearest_index(std::span<const std::uint16_t> members, double magnitude) {
    const auto at_or_above_midpoint = [&](long lower_index) {
        return square_at_or_above(magnitude, member_at(members, lower_index),
                                  member_at(members, lower_index + 1));
    };
    const double size = static_cast<double>(members.size());
    long index = std::lround(size * std::log10(magnitude));
    for (int step = 0; step < kMostSteps && at_or_above_midpoint(index); ++step)
        ++index;
    for (int step = 0; step < kMostSteps && !at_or_above_midpoint(index - 1); ++step)
        --index;
    return index;
}

// The index of the first member at or above `low` (positive, finite): from the index the
// formula 10^(index/n) suggests, which is at most one member off, a few steps either way.
long first_index_at_or_above(std::span<const std::uint16_t> members, double low) {
    const double size = static_cast<double>(members.size());
    long index = static_cast<long>(std::floor(size * std::log10(low))) - kMostSteps;
    while (member_value(member_at(members, index)) < low)
        ++index;
    return index;
}

}  // namespace

std::span<const std::uint16_t> series_members(PreferredSeries series) {
    return kSeriesTables[static_cast<std::size_t>(series)].members;
}

std::string_view series_name(PreferredSeries series) {
    return kSeriesTables[static_cast<std::size_t>(series)].name;
}

std::optional<PreferredSeries> series_from_name(std::string_view name) {
    // The names differ from series_name's only in the case of their "E".
    if (name.empty() || (name.front() != 'E' && name.front() != 'e')) return std::nullopt;
    for (const PreferredSeries series : kPreferredSeries) {
        if (series_name(series).substr(1) == name.substr(1)) return series;
    }
    return std::nullopt;
}

std::size_t preferred_members(PreferredSeries series, double low, double high,
                              std::span<double> out) {
    if (!(low > 0) || !(high < HUGE_VAL) || !(low <= high)) return 0;
    const std::span<const std::uint16_t> members = series_members(series);
    std::size_t count = 0;
    for (long index = first_index_at_or_above(members, low);; ++index) {
        const double member = member_value(member_at(members, index));
        if (!(member <= high)) return count;
        if (count < out.size()) out[count] = member;
        ++count;
    }
}

double nearest_preferred(float value, PreferredSeries series) {
    return nearest_member(static_cast<double>(value), series);
}

double nearest_member(double value, PreferredSeries series) {
    if (value == 0 || !std::isfinite(value)) return value;
    const std::span<const std::uint16_t> members = series_members(series);
    const double magnitude = std::fabs(value);
    const double nearest = member_value(member_at(members, nearest_index(members, magnitude)));
    return std::copysign(nearest, value);
}

}  // namespace kestrane
