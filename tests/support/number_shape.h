// The shape of a finite number as the console writes it, checked character by character: an
// independent reading of the format for the writer's tests and the dialogue fuzz target.
#pragma once

#include <string_view>

namespace kestrane::expected {

namespace shape_detail {

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

inline std::string_view take_digits(std::string_view& s) {
    std::size_t n = 0;
    while (n < s.size() && is_digit(s[n]))
        ++n;
    const std::string_view digits = s.substr(0, n);
    s.remove_prefix(n);
    return digits;
}

// d[.ddddd]e[+-]ddd with the exponent below -4 or at least 6.
inline bool is_exponent_form(std::string_view mantissa, std::string_view exponent) {
    if (mantissa.empty() || mantissa[0] < '1' || mantissa[0] > '9') return false;
    mantissa.remove_prefix(1);
    if (!mantissa.empty()) {
        if (mantissa[0] != '.') return false;
        mantissa.remove_prefix(1);
        const std::string_view fraction = take_digits(mantissa);
        if (!mantissa.empty() || fraction.empty() || fraction.size() > 5) return false;
        if (fraction.back() == '0') return false;
    }
    if (exponent.size() != 4 || (exponent[0] != '+' && exponent[0] != '-')) return false;
    for (std::size_t i = 1; i < 4; ++i) {
        if (!is_digit(exponent[i])) return false;
    }
    const int x = (exponent[1] - '0') * 100 + (exponent[2] - '0') * 10 + (exponent[3] - '0');
    const int signed_x = exponent[0] == '-' ? -x : x;
    return signed_x < -4 || signed_x >= 6;
}

// ddd[.ddd] with at most six significant digits and a decimal exponent from -4 to 5.
inline bool is_plain_form(std::string_view s) {
    const std::string_view whole = take_digits(s);
    if (whole.empty() || (whole.size() > 1 && whole[0] == '0')) return false;
    std::string_view fraction;
    if (!s.empty()) {
        if (s[0] != '.') return false;
        s.remove_prefix(1);
        fraction = take_digits(s);
        if (!s.empty() || fraction.empty() || fraction.back() == '0') return false;
    }
    if (whole != "0") return whole.size() + fraction.size() <= 6;
    std::size_t zeros = 0;  // 0.000ddd at most: exponent -4
    while (zeros < fraction.size() && fraction[zeros] == '0')
        ++zeros;
    return zeros < fraction.size() && zeros <= 3 && fraction.size() - zeros <= 6;
}

}  // namespace shape_detail

// True when `s` is a finite number as the console writes it: "0", or an optional "-", then six
// significant digits at most with no trailing zeros in a fraction, in plain decimals for
// decimal exponents -4 to 5 and as d[.ddddd]e[+-]ddd otherwise.
inline bool is_finite_console_number(std::string_view s) {
    if (s == "0") return true;
    if (!s.empty() && s.front() == '-') s.remove_prefix(1);
    const std::size_t e = s.find('e');
    if (e == std::string_view::npos) return shape_detail::is_plain_form(s);
    return shape_detail::is_exponent_form(s.substr(0, e), s.substr(e + 1));
}

}  // namespace kestrane::expected
