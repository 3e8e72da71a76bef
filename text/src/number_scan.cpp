#include "kestrane/text/number_scan.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <version>

#include "kestrane/numeric/contract.h"

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
    KESTRANE_EXPECT(end == last && "the scanner hands over whole numbers only");
#else
    // Without floating-point from_chars (libc++ before 20, in the page's WebAssembly build),
    // strtod reads the same text to the same correctly rounded double: an overflow is an
    // infinity, and an underflow a value below the normal range, which becomes 0 below.
    const std::string whole(text);
    char* end = nullptr;
    value = std::strtod(whole.c_str(), &end);
    KESTRANE_EXPECT(end == whole.c_str() + whole.size() &&
                    "the scanner hands over whole numbers only");
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

// An SI prefix at the start of `text`: its decimal exponent and its length in bytes, or a
// length of 0 when there is none.
struct SiPrefix {
    int exponent = 0;
    std::size_t length = 0;
};

SiPrefix si_prefix_at(std::string_view text) {
    constexpr struct {
        std::string_view text;
        int exponent;
    } kPrefixes[] = {{"p", -12}, {"n", -9}, {"u", -6}, {"\xC2\xB5", -6}, {"\xCE\xBC", -6},
                     {"m", -3},  {"k", 3},  {"K", 3},  {"M", 6},         {"G", 9}};
    for (const auto& prefix : kPrefixes) {
        if (text.starts_with(prefix.text)) return {prefix.exponent, prefix.text.size()};
    }
    return {};
}

// The number text (as number_prefix_length delimits it, with exponent digits or no marker)
// with its exponent moved by `shift`; the exponent is saturated, which keeps its meaning.
std::string shifted_number(std::string_view number, int shift) {
    const NumberParts parts = split_number(number);
    long long exponent = 0;
    for (const char c : parts.exponent_digits) {
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (c - '0');
    }
    if (parts.has_exponent_sign && number[number.size() - parts.exponent_digits.size() - 1] == '-')
        exponent = -exponent;
    return std::string(parts.sign_and_mantissa) + "e" + std::to_string(exponent + shift);
}

}  // namespace

RealScan scan_prefixed_real(std::string_view text, int max_chars) {
    RealScan scan = scan_real(text, max_chars);
    if (scan.status != ScanStatus::ok) return scan;
    const SiPrefix prefix = si_prefix_at(text.substr(scan.taken));
    if (prefix.length == 0) return scan;
    std::size_t start = 0;
    while (is_number_space(static_cast<unsigned char>(text[start])))
        ++start;
    const std::string shifted =
        shifted_number(text.substr(start, scan.taken - start), prefix.exponent);
    scan.value = decimal_value(shifted);
    scan.taken += prefix.length;
    return scan;
}

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

}  // namespace kestrane
