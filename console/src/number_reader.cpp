#include "kestrane/console/number_reader.h"

#include <limits>
#include "kestrane/numeric/contract.h"

namespace kestrane {
namespace {

// Takes white space; true when a character other than white space follows.
bool skip_space(InputCursor& in) {
    while (is_number_space(in.peek()))
        in.take();
    return in.peek() != InputCursor::kEnd;
}

ReadStatus read_status(ScanStatus status) {
    switch (status) {
        case ScanStatus::ok:
            return ReadStatus::ok;
        case ScanStatus::too_long:
            return ReadStatus::too_long;
        default:
            return ReadStatus::not_a_number;  // a character follows, so nothing is empty
    }
}

int digit_value(int c, int base) {
    int value = base;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

RealRead read_real(InputCursor& in, int max_chars) {
    KESTRANE_EXPECT(max_chars >= 0);
    RealRead read;
    if (!skip_space(in)) return read;
    // Two characters past the limit settle it: an exponent marker and sign that go back.
    const std::size_t limit = static_cast<std::size_t>(max_chars) + 2;
    while (read.text.size() < limit && in.peek() != InputCursor::kEnd) {
        read.text += static_cast<char>(in.peek());
        if (number_prefix_length(read.text) != read.text.size()) {
            read.text.pop_back();
            break;
        }
        in.take();
    }
    const RealScan scan = scan_real(read.text, max_chars);
    read.status = read_status(scan.status);
    read.value = scan.value;
    if (read.status == ReadStatus::ok && scan.taken < read.text.size()) {
        KESTRANE_EXPECT(scan.taken + 1 == read.text.size());
        in.put_back(static_cast<unsigned char>(read.text.back()));
        read.text.pop_back();
    }
    return read;
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
    if (in.peek() == '+' || in.peek() == '-') negative = take() == '-';
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
    long long magnitude = 0;  // at most 15 characters: no overflow in 64 bits
    while (room() && digit_value(in.peek(), base) >= 0) {
        magnitude = magnitude * base + digit_value(take(), base);
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
