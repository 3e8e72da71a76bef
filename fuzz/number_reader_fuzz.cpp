// Fuzzes the console number readers: the input is read as a run of numbers, each read checked
// against an independent reading of the same text.
//
// Input layout: byte 0 chooses the readers, two bits per read in turn (0 and 3: the cutoff and
// R1 reader, 1: the band reader, 2: the repeat answer); the remaining bytes are the console
// input. A selector of 0x90 asks in dialogue order: cutoff, R1, band, repeat answer.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>

#include "input_cursor.h"
#include "number_reader.h"

namespace {

using kestrane::InputCursor;
using kestrane::ReadStatus;

const char* status_name(ReadStatus status) {
    switch (status) {
        case ReadStatus::ok:
            return "ok";
        case ReadStatus::end_of_input:
            return "end_of_input";
        case ReadStatus::not_a_number:
            return "not_a_number";
        case ReadStatus::too_long:
            return "too_long";
    }
    return "?";
}

// What the current read is, for the failure report.
struct ReadContext {
    std::string_view text;
    std::size_t iteration = 0;
    const char* reader = "";
    long long before = 0;
    long long after = 0;
};
ReadContext context;

void print_escaped(std::string_view s) {
    for (const unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", c);
        }
    }
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "number_reader_fuzz: %s\n  read %zu (%s), taken %lld -> %lld\n  input: \"",
                 what, context.iteration, context.reader, context.before, context.after);
    print_escaped(context.text);
    std::fprintf(stderr, "\"\n");
    if (context.before >= 0 && static_cast<std::size_t>(context.before) <= context.text.size()) {
        std::fprintf(stderr, "  from the read on: \"");
        print_escaped(context.text.substr(static_cast<std::size_t>(context.before), 40));
        std::fprintf(stderr, "\"\n");
    }
    __builtin_trap();
}

void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_sign(char c) {
    return c == '+' || c == '-';
}

// The characters the reader sees: every CR that comes right before an LF is dropped.
std::string as_read(std::string_view raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

std::size_t skip_space(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_space(text[pos]))
        ++pos;
    return pos;
}

// ---- Real numbers -------------------------------------------------------------------------

// What a real read should do, worked out from the text alone.
struct ExpectedReal {
    ReadStatus status = ReadStatus::end_of_input;
    std::size_t number_start = 0;  // after the white space
    std::size_t consumed_end = 0;  // for ok: where the next read begins
    std::size_t number_chars = 0;  // characters the number takes, a kept dangling marker too
    std::string_view value_text;   // sign, digits, point, exponent: what the value is read from
};

ExpectedReal expect_real(std::string_view text, std::size_t pos, std::size_t max_chars) {
    ExpectedReal e;
    const std::size_t q = skip_space(text, pos);
    e.number_start = q;
    if (q == text.size()) {
        e.status = ReadStatus::end_of_input;
        e.consumed_end = q;
        return e;
    }
    auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
    std::size_t i = q;
    if (is_sign(at(i))) ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            ++digits;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        e.status = ReadStatus::not_a_number;
        return e;
    }
    const std::size_t mantissa_end = i;
    std::size_t value_end = mantissa_end;
    std::size_t end = mantissa_end;
    if (at(i) == 'e' || at(i) == 'E') {
        std::size_t k = i + 1;
        const bool sign = is_sign(at(k));
        if (sign) ++k;
        if (is_digit(at(k))) {
            while (is_digit(at(k)))
                ++k;
            value_end = end = k;
        } else if (sign) {
            end = mantissa_end + 1;  // the marker stays taken, the sign goes back
        }
    }
    e.number_chars = end - q;
    e.value_text = text.substr(q, value_end - q);
    e.consumed_end = end;
    e.status = e.number_chars > max_chars ? ReadStatus::too_long : ReadStatus::ok;
    return e;
}

// The value of accepted number text by the library's decimal conversion: beyond the double
// range an infinity with its sign, below the normal range zero.
double expected_value(std::string_view number) {
    check(!number.empty(), "empty number text");
    const bool negative = number.front() == '-';
    std::string_view body = number;
    if (body.front() == '+') body.remove_prefix(1);  // from_chars takes '-' but not '+'
    double value = 0;
    const auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    check(end == body.data() + body.size(), "from_chars does not take the whole number text");
    if (error == std::errc::result_out_of_range) {
        // Overflow or underflow: strtod tells them apart by its result.
        const std::string copy(body);
        const double saturated = std::strtod(copy.c_str(), nullptr);
        if (std::isinf(saturated)) return saturated;
        return negative ? -0.0 : 0.0;
    }
    check(error == std::errc(), "from_chars rejects the number text");
    if (std::fabs(value) < std::numeric_limits<double>::min()) return negative ? -0.0 : 0.0;
    return value;
}

bool same_value(double a, double b) {
    if (a == 0 && b == 0) return true;  // either sign of zero
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

// Checks one real read; returns its status.
ReadStatus check_real_read(InputCursor& in, std::string_view text, int max_chars) {
    const std::size_t before = static_cast<std::size_t>(in.taken());
    const ExpectedReal e = expect_real(text, before, static_cast<std::size_t>(max_chars));
    const kestrane::RealRead read = kestrane::read_real(in, max_chars);
    context.after = in.taken();
    check(context.after >= context.before, "the read gave back more than it took");
    const auto after = static_cast<std::size_t>(context.after);
    check(after <= text.size(), "taken count beyond the input");

    if (read.status != e.status) {
        std::fprintf(stderr, "status %s, expected %s\n", status_name(read.status),
                     status_name(e.status));
        fail("real read: wrong status");
    }
    switch (read.status) {
        case ReadStatus::end_of_input:
            check(after == text.size(), "end of input reported before the end");
            break;
        case ReadStatus::not_a_number: {
            // Only white space, a sign and a point may have been taken.
            std::size_t i = e.number_start;
            check(after >= i, "not_a_number before the white space ended");
            if (i < after && is_sign(text[i])) ++i;
            if (i < after && text[i] == '.') ++i;
            check(i == after, "not_a_number took characters beyond a sign and a point");
            break;
        }
        case ReadStatus::too_long: {
            check(after >= e.number_start, "too_long before the white space ended");
            const std::size_t taken_chars = after - e.number_start;
            check(taken_chars >= static_cast<std::size_t>(max_chars) + 1 &&
                      taken_chars <= static_cast<std::size_t>(max_chars) + 2,
                  "too_long read did not stop within two characters of the limit");
            check(after <= e.number_start + e.number_chars + 1,
                  "too_long read took more than the number and one look-ahead sign");
            break;
        }
        case ReadStatus::ok: {
            check(after == e.consumed_end, "real read took a different number of characters");
            const std::string_view taken = text.substr(e.number_start, after - e.number_start);
            check(taken.size() <= static_cast<std::size_t>(max_chars), "number over its limit");
            const char last = taken.back();
            if (last == 'e' || last == 'E') {
                check(after < text.size() && is_sign(text[after]),
                      "dangling exponent marker not followed by a sign");
            }
            const double expected = expected_value(e.value_text);
            if (!same_value(read.value, expected)) {
                std::fprintf(stderr, "value %.17g, expected %.17g\n", read.value, expected);
                fail("real read: wrong value");
            }
            break;
        }
    }
    return read.status;
}

// ---- Repeat answers -----------------------------------------------------------------------

ReadStatus check_repeat_read(InputCursor& in, std::string_view text) {
    const std::size_t before = static_cast<std::size_t>(in.taken());
    const kestrane::IntegerRead read = kestrane::read_repeat_answer(in);
    context.after = in.taken();
    check(context.after >= context.before, "the read gave back more than it took");
    const auto after = static_cast<std::size_t>(context.after);
    check(after <= text.size(), "taken count beyond the input");

    const std::size_t q = skip_space(text, before);
    if (q == text.size()) {
        check(read.status == ReadStatus::end_of_input, "repeat answer: expected end_of_input");
        check(after == text.size(), "end of input reported before the end");
        return read.status;
    }
    check(read.status != ReadStatus::end_of_input, "repeat answer: end_of_input too early");
    check(read.status != ReadStatus::too_long, "repeat answer: too_long is never expected");

    // strtoll in base 0 over at most 15 characters (NUL-terminated copy; an embedded NUL
    // ends the number there as it would any other character that is not a digit).
    const std::string field(text.substr(q, kestrane::kRepeatAnswerChars));
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(field.c_str(), &end, 0);
    check(errno == 0, "strtoll overflow on 15 characters");
    std::size_t length = static_cast<std::size_t>(end - field.c_str());
    const std::size_t sign = is_sign(field[0]) ? 1 : 0;
    if (length == 0) {
        check(read.status == ReadStatus::not_a_number, "repeat answer: expected not_a_number");
        check(read.value == 0, "not_a_number answer with a value other than 0");
        check(after == q + sign, "not_a_number answer took more than a sign");
        return read.status;
    }
    // "0x" with no hex digit after it: strtoll stops after the 0, the reader takes the x too.
    if (length == sign + 1 && field[sign] == '0' && length < field.size() &&
        (field[length] == 'x' || field[length] == 'X')) {
        ++length;
    }
    check(read.status == ReadStatus::ok, "repeat answer: expected ok");
    check(length <= static_cast<std::size_t>(kestrane::kRepeatAnswerChars),
          "repeat answer over 15 characters");
    check(after == q + length, "repeat answer took a different number of characters");
    constexpr long long kMax = std::numeric_limits<std::int32_t>::max();
    constexpr long long kMin = std::numeric_limits<std::int32_t>::min();
    const long long clamped = parsed > kMax ? kMax : parsed < kMin ? kMin : parsed;
    if (read.value != clamped) {
        std::fprintf(stderr, "value %d, expected %lld\n", read.value, clamped);
        fail("repeat answer: wrong value");
    }
    return read.status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned selector = data[0];
    const std::string raw(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string text = as_read(raw);
    context = ReadContext{};
    context.text = text;

    std::istringstream stream(raw);
    InputCursor in(stream);
    // Every read but the last takes at least one character, so this many reads must reach
    // the end of input.
    const std::size_t max_reads = text.size() + 2;
    for (std::size_t iteration = 0;; ++iteration) {
        context.iteration = iteration;
        context.before = context.after = in.taken();
        check(iteration <= max_reads, "reads do not reach the end of input");
        check(context.before >= 0 && static_cast<std::size_t>(context.before) <= text.size(),
              "taken count out of range");
        const auto before = static_cast<std::size_t>(context.before);
        // The cursor stands at the character the count says.
        const int expected_next =
            before < text.size() ? static_cast<unsigned char>(text[before]) : InputCursor::kEnd;
        check(in.peek() == expected_next, "cursor out of step with the input");

        ReadStatus status = ReadStatus::ok;
        switch ((selector >> (2 * (iteration % 4))) & 3U) {
            case 1:
                context.reader = "band";
                status = check_real_read(in, text, kestrane::kBandNumberChars);
                break;
            case 2:
                context.reader = "repeat";
                status = check_repeat_read(in, text);
                break;
            default:
                context.reader = "design";
                status = check_real_read(in, text, kestrane::kDesignNumberChars);
                break;
        }
        if (status == ReadStatus::end_of_input) break;
        if (status != ReadStatus::ok) {
            // As the dialogue does after a field it cannot use.
            const auto from = static_cast<std::size_t>(in.taken());
            in.drop_line();
            const std::size_t line_end = text.find('\n', from);
            const std::size_t expected = line_end == std::string::npos ? text.size() : line_end + 1;
            context.after = in.taken();
            check(static_cast<std::size_t>(in.taken()) == expected,
                  "drop_line did not stop after the line feed");
        }
        check(static_cast<std::size_t>(in.taken()) > before || in.peek() == InputCursor::kEnd,
              "a read made no progress");
    }
    check(static_cast<std::size_t>(in.taken()) == text.size(), "input left after end_of_input");
    return 0;
}
