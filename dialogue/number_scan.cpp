#include "number_scan.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <version>

namespace kestrane {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_sign(char c) {
    return c == '+' || c == '-';
}
bool is_marker(char c) {
    return c == 'e' || c == 'E';
}

// The parts of a number's text as number_prefix_length delimits it.
struct NumberParts {
    std::string_view sign_and_mantissa;  // optional sign, digits and point
    int mantissa_digits = 0;
    bool has_marker = false;
    bool has_exponent_sign = false;
    std::string_view exponent_digits;
};

NumberParts split_number(std::string_view number) {
    NumberParts parts;
    std::size_t i = 0;
    if (i < number.size() && is_sign(number[i])) ++i;
    for (; i < number.size() && !is_marker(number[i]); ++i) {
        if (is_digit(number[i])) ++parts.mantissa_digits;
    }
    parts.sign_and_mantissa = number.substr(0, i);
    if (i == number.size()) return parts;
    parts.has_marker = true;
    ++i;
    if (i < number.size() && is_sign(number[i])) {
        parts.has_exponent_sign = true;
        ++i;
    }
    parts.exponent_digits = number.substr(i);
    return parts;
}

// Decimal exponent of the leading non-zero digit of a number text, saturated, for telling an
// overflow from an underflow.
long long leading_decimal_exponent(std::string_view mantissa, std::string_view exponent_text) {
    long long leading = 0;
    bool seen_point = false;
    bool seen_nonzero = false;
    for (const char c : mantissa) {
        if (c == '.') {
            seen_point = true;
        } else if (is_digit(c)) {
            if (c != '0') seen_nonzero = true;
            if (!seen_point && seen_nonzero) ++leading;
            if (seen_point && !seen_nonzero) --leading;
        }
    }
    const bool negative = !exponent_text.empty() && exponent_text.front() == '-';
    long long exponent = 0;
    for (const char c : exponent_text) {
        if (is_digit(c) && exponent < 1'000'000'000) exponent = exponent * 10 + (c - '0');
    }
    return leading + (negative ? -exponent : exponent);
}

// The value of a number text (sign, mantissa, and an exponent with digits or none at all):
// beyond the double range an infinity with its sign, below the normal range a signed zero.
double decimal_value(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && is_sign(text.front())) text.remove_prefix(1);
    double value = 0;
    const char* const last = text.data() + text.size();
#if defined(__cpp_lib_to_chars)
    const auto [end, error] = std::from_chars(text.data(), last, value);
    assert(end == last && "the scanner hands over whole numbers only");
#else
    // Without floating-point from_chars (libc++ before 20, in the page's WebAssembly build),
    // strtod reads the same text to the same correctly rounded double: an overflow is an
    // infinity, and an underflow a value below the normal range, which becomes 0 below.
    const std::string whole(text);
    char* end = nullptr;
    value = std::strtod(whole.c_str(), &end);
    assert(end == whole.c_str() + whole.size() && "the scanner hands over whole numbers only");
    const std::errc error = std::isinf(value) ? std::errc::result_out_of_range : std::errc();
    (void)last;
#endif
    if (error == std::errc::result_out_of_range) {
        const std::size_t marker = text.find_first_of("eE");
        const std::string_view mantissa = text.substr(0, marker);
        const std::string_view exponent =
            marker == std::string_view::npos ? std::string_view() : text.substr(marker + 1);
        const bool overflow = leading_decimal_exponent(mantissa, exponent) > 0;
        value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || std::fabs(value) < std::numeric_limits<double>::min()) {
        value = 0;
    }
    return negative ? -value : value;
}

}  // namespace

bool is_number_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t number_prefix_length(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && is_sign(text[i])) ++i;
    bool seen_point = false;
    bool seen_digit = false;
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            seen_digit = true;
        } else if (text[i] == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
    }
    if (!seen_digit || i == text.size() || !is_marker(text[i])) return i;
    ++i;
    if (i < text.size() && is_sign(text[i])) ++i;
    while (i < text.size() && is_digit(text[i]))
        ++i;
    return i;
}

RealScan scan_real(std::string_view text, int max_chars) {
    RealScan scan;
    std::size_t start = 0;
    while (start < text.size() && is_number_space(static_cast<unsigned char>(text[start])))
        ++start;
    if (start == text.size()) {
        scan.taken = start;
        return scan;
    }
    const std::string_view number = text.substr(start, number_prefix_length(text.substr(start)));
    const NumberParts parts = split_number(number);
    if (parts.mantissa_digits == 0) {
        scan.status = ScanStatus::not_a_number;
        scan.taken = start + number.size();
        return scan;
    }
    // An exponent with no digit: its last character (sign, else marker) is not taken, and a
    // marker kept before a returned sign adds nothing to the value.
    const bool dangling_exponent = parts.has_marker && parts.exponent_digits.empty();
    const std::size_t length = number.size() - (dangling_exponent ? 1 : 0);
    if (length > static_cast<std::size_t>(max_chars)) {
        scan.status = ScanStatus::too_long;
        scan.taken = start + number.size();
        return scan;
    }
    scan.status = ScanStatus::ok;
    scan.value = decimal_value(dangling_exponent ? parts.sign_and_mantissa : number);
    scan.taken = start + length;
    return scan;
}

float to_single_clamped(double value) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kSmallestNormal = std::numeric_limits<float>::min();
    const double magnitude = std::fabs(value);
    if (magnitude > kLargest) return static_cast<float>(std::copysign(kLargest, value));
    if (magnitude != 0 && magnitude < kSmallestNormal) {
        return static_cast<float>(std::copysign(kSmallestNormal, value));
    }
    return static_cast<float>(value);
}

}  // namespace kestrane
