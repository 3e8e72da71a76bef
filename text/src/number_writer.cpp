#include "kestrane/text/number_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace kestrane {
namespace {

constexpr int kExactDigits = 17;
constexpr int kShownDigits = 6;

std::string not_finite_text(double value) {
    if (std::isinf(value)) return value > 0 ? "1.#INF" : "-1.#INF";
    const auto bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t kInvalidOperationNan = 0xFFF8000000000000u;
    constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
    if (bits == kInvalidOperationNan) return "-1.#IND";
    std::string text = std::signbit(value) ? "-" : "";
    return text + ((bits & kQuietBit) != 0 ? "1.#QNAN" : "1.#SNAN");
}

// The six leading digits of |value| after rounding its 17-digit form, and the decimal
// exponent of the first of them.
struct SixDigits {
    char digits[kShownDigits];
    int exponent;
};

SixDigits six_digits(double magnitude) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, magnitude,
                                      std::chars_format::scientific, kExactDigits - 1);
    // text is "d.dddddddddddddddde[+-]dd..."
    SixDigits six;
    six.digits[0] = text[0];
    for (int i = 1; i < kShownDigits; ++i)
        six.digits[i] = text[i + 1];
    const char seventh = text[kShownDigits + 1];
    int exponent = 0;
    std::from_chars(text + kExactDigits + 2 + (text[kExactDigits + 2] == '+'), result.ptr,
                    exponent);
    if (seventh >= '5') {
        int i = kShownDigits - 1;
        while (i >= 0 && six.digits[i] == '9')
            six.digits[i--] = '0';
        if (i >= 0) {
            ++six.digits[i];
        } else {
            six.digits[0] = '1';
            ++exponent;
        }
    }
    six.exponent = exponent;
    return six;
}

std::string three_digit_exponent(int exponent) {
    std::string text = exponent < 0 ? "e-" : "e+";
    const int magnitude = std::abs(exponent);
    text += static_cast<char>('0' + magnitude / 100);
    text += static_cast<char>('0' + magnitude / 10 % 10);
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

// The digits `digits` (leading digit first, trailing zeros dropped) with the decimal exponent
// `x` of the first, laid out as format_number does for `precision` significant digits; with a
// leading "-" when `negative`.
std::string laid_out(std::string digits, int x, int precision, bool negative) {
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const std::size_t shown = digits.size();
    std::string text = negative ? "-" : "";
    if (x < -4 || x >= precision) {
        text.append(digits, 0, 1);
        if (shown > 1) text.append(1, '.').append(digits, 1);
        return text.append(three_digit_exponent(x));
    }
    if (x < 0)
        return text.append("0.").append(static_cast<std::size_t>(-x - 1), '0').append(digits);
    const auto whole = static_cast<std::size_t>(x) + 1;
    if (shown <= whole) return text.append(digits).append(whole - shown, '0');
    return text.append(digits, 0, whole).append(1, '.').append(digits, whole);
}

// Every double has an exact decimal expansion of at most 767 significant digits (the smallest
// subnormal's is 751 long), so to_chars with this precision writes it exactly.
constexpr int kAllDigits = 767;

}  // namespace

std::string format_number(double value) {
    if (!std::isfinite(value)) return not_finite_text(value);
    if (value == 0) return "0";
    const SixDigits six = six_digits(std::fabs(value));
    return laid_out(std::string(six.digits, kShownDigits), six.exponent, kShownDigits, value < 0);
}

std::string format_bound(double value, int digits, BoundRounding direction) {
    if (!std::isfinite(value)) return not_finite_text(value);
    if (value == 0) return "0";
    const int precision = digits < 1 ? 1 : (digits > kExactDigits ? kExactDigits : digits);
    // The exact expansion "d.ddd...e[+-]x" of the magnitude.
    char text[kAllDigits + 16];
    const auto result = std::to_chars(text, text + sizeof text, std::fabs(value),
                                      std::chars_format::scientific, kAllDigits - 1);
    const char* const marker = std::find(text, result.ptr, 'e');
    int exponent = 0;
    std::from_chars(marker + 1 + (marker[1] == '+'), result.ptr, exponent);
    std::string kept(1, text[0]);
    kept.append(text + 2, static_cast<std::size_t>(precision - 1));
    const char* const beyond = text + 1 + precision;
    const bool inexact = std::any_of(beyond, marker, [](char c) { return c > '0'; });
    // Away from zero when the direction points away from it: up for positives, down for
    // negatives; otherwise the kept digits are the truncation, towards zero.
    const bool away = (direction == BoundRounding::up) == (value > 0);
    if (inexact && away) {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9')
            kept[--i] = '0';
        if (i > 0) {
            ++kept[i - 1];
        } else {
            kept.insert(kept.begin(), '1');
            kept.pop_back();
            ++exponent;
        }
    }
    return laid_out(kept, exponent, precision, value < 0);
}

std::string engineering_text(double value, std::string_view unit) {
    constexpr std::string_view kPrefixes[] = {"p", "n", "\u00B5", "m", "", "k", "M", "G"};
    constexpr int kLowestExponent = -12;
    constexpr int kSignificant = 3;
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value,
                                       std::chars_format::scientific, kSignificant - 1);
    const std::string_view scientific(digits, static_cast<std::size_t>(written.ptr - digits));
    const std::size_t marker = scientific.find('e');
    int exponent = 0;
    const char* exponent_text = scientific.data() + marker + 1;
    if (*exponent_text == '+') ++exponent_text;
    std::from_chars(exponent_text, written.ptr, exponent);
    const int group = exponent - kLowestExponent < 0 ? -1 : (exponent - kLowestExponent) / 3;
    if (value == 0 || !std::isfinite(value) || group < 0 || group >= std::ssize(kPrefixes)) {
        return format_number(value) + " " + std::string(unit);
    }
    // The digits without the point, then the point put back after one to three of them.
    std::string mantissa;
    for (const char c : scientific.substr(0, marker)) {
        if (c != '.') mantissa += c;
    }
    const bool negative = mantissa.front() == '-';
    if (negative) mantissa.erase(0, 1);
    const auto before_point = static_cast<std::size_t>(exponent - kLowestExponent - 3 * group + 1);
    std::string shown = mantissa.substr(0, before_point);
    std::string fraction = mantissa.substr(before_point);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) shown += "." + fraction;
    return (negative ? "-" : "") + shown + " " +
           std::string(kPrefixes[static_cast<std::size_t>(group)]) + std::string(unit);
}

std::string shortest_text(double value) {
    if (!std::isfinite(value)) return "null";
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, written.ptr);
}

}  // namespace kestrane
