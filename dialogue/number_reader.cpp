#include "number_reader.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kestrane {
namespace {

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(int c) {
    return c >= '0' && c <= '9';
}
bool is_sign(int c) {
    return c == '+' || c == '-';
}

// Takes white space; true when a character other than white space follows.
bool skip_space(InputCursor& in) {
    while (is_space(in.peek()))
        in.take();
    return in.peek() != InputCursor::kEnd;
}

// Collects the characters of one number. The limit applies to the characters the number
// keeps in the end: an exponent marker and sign taken only to look ahead may go back.
class NumberText {
  public:
    explicit NumberText(int max_chars) : max_chars_(max_chars) {}

    // Takes the next character into the text; false once the text is sure to be too long.
    bool take_from(InputCursor& in) {
        if (length_ == max_chars_ + kLookAhead) return false;
        text_[length_++] = static_cast<char>(in.take());
        return true;
    }
    // Gives the last character back to the input.
    void put_back(InputCursor& in) { in.put_back(static_cast<unsigned char>(text_[--length_])); }
    // Keeps the last character taken out of the value.
    void exclude_last() {
        --length_;
        ++excluded_;
    }
    bool too_long() const { return length_ + excluded_ > max_chars_; }
    std::string_view view() const { return {text_, static_cast<std::size_t>(length_)}; }

  private:
    static constexpr int kLookAhead = 2;  // an exponent marker and its sign
    static_assert(kBandNumberChars + kLookAhead <= 32);
    char text_[32] = {};
    int length_ = 0;
    int excluded_ = 0;
    int max_chars_;
};

// Decimal exponent of the leading digit of `text`'s value, saturated, for telling an
// overflow from an underflow. Only called for text whose value has a non-zero digit.
long long leading_decimal_exponent(std::string_view text) {
    long long leading = 0;
    bool seen_point = false;
    bool seen_nonzero = false;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        const char c = text[i];
        if (c == '.') {
            seen_point = true;
        } else if (is_digit(c)) {
            if (c != '0') seen_nonzero = true;
            if (!seen_point && seen_nonzero) ++leading;
            if (seen_point && !seen_nonzero) --leading;
        }
    }
    long long exponent = 0;
    bool negative = false;
    if (i + 1 < text.size()) {
        negative = text[i + 1] == '-';
        for (std::size_t j = i + 1; j < text.size(); ++j) {
            if (is_digit(text[j]) && exponent < 1'000'000'000)
                exponent = exponent * 10 + (text[j] - '0');
        }
    }
    return leading + (negative ? -exponent : exponent);
}

}  // namespace

double decimal_text_value(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && is_sign(text.front())) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = leading_decimal_exponent(text) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || std::fabs(value) < std::numeric_limits<double>::min()) {
        value = 0;
    }
    return negative ? -value : value;
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

RealRead read_real(InputCursor& in, int max_chars) {
    if (!skip_space(in)) return {ReadStatus::end_of_input, 0};
    NumberText text(max_chars);
    const RealRead too_long{ReadStatus::too_long, 0};

    if (is_sign(in.peek()) && !text.take_from(in)) return too_long;
    int digits = 0;
    bool seen_point = false;
    for (;;) {
        const int c = in.peek();
        if (is_digit(c)) {
            ++digits;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        if (!text.take_from(in)) return too_long;
    }
    if (digits == 0) return {ReadStatus::not_a_number, 0};

    if (in.peek() == 'e' || in.peek() == 'E') {
        if (!text.take_from(in)) return too_long;
        bool exponent_sign = false;
        if (is_sign(in.peek())) {
            if (!text.take_from(in)) return too_long;
            exponent_sign = true;
        }
        if (is_digit(in.peek())) {
            while (is_digit(in.peek())) {
                if (!text.take_from(in)) return too_long;
            }
        } else {
            // No exponent after all: the last character taken goes back; with a sign, the
            // marker stays taken but is not part of the value.
            text.put_back(in);
            if (exponent_sign) text.exclude_last();
        }
    }
    if (text.too_long()) return too_long;
    return {ReadStatus::ok, decimal_text_value(text.view())};
}

IntegerRead read_repeat_answer(InputCursor& in) {
    if (!skip_space(in)) return {ReadStatus::end_of_input, 0};
    int taken = 0;
    auto take = [&] {
        ++taken;
        return in.take();
    };
    auto room = [&] { return taken < kRepeatAnswerChars; };

    bool negative = false;
    if (is_sign(in.peek())) negative = take() == '-';
    int base = 10;
    bool any_digit = false;
    if (room() && in.peek() == '0') {
        take();
        any_digit = true;
        base = 8;
        if (room() && (in.peek() == 'x' || in.peek() == 'X')) {
            take();
            base = 16;
        }
    }
    auto digit_value = [base](int c) {
        int v = 99;
        if (is_digit(c)) v = c - '0';
        if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        return v < base ? v : -1;
    };
    long long magnitude = 0;  // at most 15 characters: no overflow in 64 bits
    while (room() && digit_value(in.peek()) >= 0) {
        magnitude = magnitude * base + digit_value(take());
        any_digit = true;
    }
    if (!any_digit) return {ReadStatus::not_a_number, 0};
    const long long value = negative ? -magnitude : magnitude;
    constexpr long long kMax = std::numeric_limits<std::int32_t>::max();
    constexpr long long kMin = std::numeric_limits<std::int32_t>::min();
    return {ReadStatus::ok, static_cast<std::int32_t>(value > kMax   ? kMax
                                                      : value < kMin ? kMin
                                                                     : value)};
}

}  // namespace kestrane
