// Fuzzes the console number readers. The input is read as a run of numbers the way the
// console reads it (a rejected field drops the rest of its line), and every read is checked:
// the stream reader against the pure scanner over the same characters, the value and the
// characters taken against the C library's strtod and strtoll, and progress.
//
// Input layout: byte 0 chooses the readers, two bits per read in turn (0 and 3: the cutoff and
// R1 reader, 1: the band reader, 2: the repeat answer); the remaining bytes are the console
// input. A selector of 0x90 asks in dialogue order: cutoff, R1, band, repeat answer.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "kestrane/console/number_reader.h"
#include "kestrane/text/number_scan.h"

namespace {

using kestrane::InputCursor;
using kestrane::ReadStatus;

void check(bool condition, const char* what, std::string_view rest) {
    if (condition) return;
    std::fprintf(stderr, "number_reader_fuzz: %s; input from the read on: \"", what);
    for (const char ch : rest.substr(0, 60)) {
        const auto c = static_cast<unsigned char>(ch);
        std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
    }
    std::fputs("\"\n", stderr);
    __builtin_trap();
}

// The characters the cursor delivers: a CR is a line feed, and an LF right after it is gone.
std::string as_delivered(std::string_view raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        text += raw[i] == '\r' ? '\n' : raw[i];
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    }
    return text;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What the C library makes of a real number at the start of `text` (white space already
// skipped): only the characters that can appear in a console number are shown to strtod, so
// its hexadecimal, infinity and not-a-number forms cannot come into play.
struct LibraryReal {
    ReadStatus status;
    double value;
    std::size_t taken;
};

LibraryReal library_real(std::string_view text, int max_chars) {
    const std::size_t run = std::min(text.find_first_not_of("0123456789.eE+-"), text.size());
    const std::string shown(text.substr(0, std::min<std::size_t>(run, 4096)));
    char* end = nullptr;
    double value = std::strtod(shown.c_str(), &end);
    const auto length = static_cast<std::size_t>(end - shown.c_str());
    if (length == 0) return {ReadStatus::not_a_number, 0, 0};
    // A marker that a sign and then no digit follow stays taken, when the number has no
    // exponent of its own.
    const bool has_exponent = text.substr(0, length).find_first_of("eE") != std::string::npos;
    const bool marker_kept = !has_exponent && length + 1 < text.size() &&
                             (text[length] == 'e' || text[length] == 'E') &&
                             (text[length + 1] == '+' || text[length + 1] == '-') &&
                             (length + 2 == text.size() || !is_digit(text[length + 2]));
    const std::size_t taken = length + (marker_kept ? 1 : 0);
    if (taken > static_cast<std::size_t>(max_chars)) return {ReadStatus::too_long, 0, taken};
    if (std::fabs(value) < 2.2250738585072014e-308) value = std::copysign(0.0, value);
    return {ReadStatus::ok, value, taken};
}

// The repeat answer by strtoll over its first 15 characters, clamped to 32 bits.
long long library_repeat(std::string_view text) {
    const std::string shown(text.substr(0, kestrane::kRepeatAnswerChars));
    const long long value = std::strtoll(shown.c_str(), nullptr, 0);
    return std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, value));
}

std::size_t after_space(std::string_view text, std::size_t pos) {
    while (pos < text.size() && kestrane::is_number_space(static_cast<unsigned char>(text[pos])))
        ++pos;
    return pos;
}

void check_real_read(InputCursor& in, std::string_view text, int max_chars) {
    const auto before = static_cast<std::size_t>(in.taken());
    const std::string_view rest = text.substr(before);
    const kestrane::RealRead read = kestrane::read_real(in, max_chars);
    const kestrane::RealScan scan = kestrane::scan_real(rest, max_chars);
    const std::size_t start = after_space(text, before);
    if (start == text.size()) {
        check(read.status == ReadStatus::end_of_input && scan.status == kestrane::ScanStatus::empty,
              "white space to the end is not the end of input", rest);
        return;
    }
    const LibraryReal library = library_real(text.substr(start), max_chars);
    check(read.status == library.status, "the status differs from strtod's reading", rest);
    const auto taken = static_cast<std::size_t>(in.taken()) - before;
    if (read.status == ReadStatus::ok) {
        check(scan.status == kestrane::ScanStatus::ok && scan.taken == taken,
              "the stream and the scanner take different characters", rest);
        check(start + library.taken == before + taken, "the characters taken differ from strtod's",
              rest);
        check(std::memcmp(&read.value, &library.value, sizeof read.value) == 0 &&
                  std::memcmp(&read.value, &scan.value, sizeof read.value) == 0,
              "the value differs from strtod's", rest);
        return;
    }
    check(read.status != ReadStatus::not_a_number ||
              (scan.status == kestrane::ScanStatus::not_a_number && scan.taken == taken),
          "the stream and the scanner disagree on a field that is not a number", rest);
    check(read.status != ReadStatus::too_long ||
              (scan.status == kestrane::ScanStatus::too_long && taken <= scan.taken &&
               before + taken - start <= static_cast<std::size_t>(max_chars) + 2),
          "a number too long is taken too far", rest);
    const std::size_t line_end = std::min(text.find('\n', before + taken), text.size());
    check(in.drop_line() == text.substr(before + taken, line_end - before - taken),
          "drop_line returns other characters than the rest of the line", rest);
}

void check_repeat_read(InputCursor& in, std::string_view text) {
    const auto before = static_cast<std::size_t>(in.taken());
    const std::string_view rest = text.substr(before);
    const kestrane::IntegerRead read = kestrane::read_repeat_answer(in);
    const std::size_t start = after_space(text, before);
    check((read.status == ReadStatus::end_of_input) == (start == text.size()),
          "end of input misjudged for the repeat answer", rest);
    if (read.status == ReadStatus::end_of_input) return;
    check(read.value == library_repeat(text.substr(start)), "the value differs from strtoll's",
          rest);
    check(static_cast<std::size_t>(in.taken()) - start <= kestrane::kRepeatAnswerChars,
          "the repeat answer took more than 15 characters", rest);
    if (read.status != ReadStatus::ok) in.drop_line();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned selector = data[0];
    const std::string raw(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string text = as_delivered(raw);
    std::istringstream stream(raw);
    InputCursor in(stream);
    for (unsigned read = 0; in.peek() != InputCursor::kEnd; ++read) {
        const long long before = in.taken();
        switch ((selector >> (2 * (read % 4))) & 3) {
            case 1:
                check_real_read(in, text, kestrane::kBandNumberChars);
                break;
            case 2:
                check_repeat_read(in, text);
                break;
            default:
                check_real_read(in, text, kestrane::kDesignNumberChars);
        }
        check(in.taken() > before || in.peek() == InputCursor::kEnd, "a read made no progress",
              std::string_view(text).substr(static_cast<std::size_t>(before)));
    }
    check(static_cast<std::size_t>(in.taken()) == text.size(), "input left after the end", text);
    return 0;
}
