// Fuzzes the whole dialogue: the input is the console input of one run. The transcript must
// be made of the dialogue's own texts in the dialogue's order, with numbers in the console's
// format, and a second run over the same input must write the same transcript.
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "console_texts.h"
#include "dialogue.h"
#include "number_reader.h"

namespace {

// Designs per run: each one is a full component search, the bulk of the time per input.
constexpr int kMaxDesigns = 2;

using namespace kestrane::expected;

void print_escaped(std::string_view s) {
    for (const unsigned char c : s) {
        if (c == '\n') {
            std::fputs("\\n\n", stderr);
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", c);
        }
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view take_digits(std::string_view& s) {
    std::size_t n = 0;
    while (n < s.size() && is_digit(s[n]))
        ++n;
    const std::string_view digits = s.substr(0, n);
    s.remove_prefix(n);
    return digits;
}

// A finite number as the console writes it: six significant digits at most, no trailing
// zeros in a fraction, plain decimals for decimal exponents -4 to 5, otherwise
// d[.ddddd]e[+-]ddd.
bool is_finite_console_number(std::string_view s) {
    if (s == "0") return true;
    if (!s.empty() && s.front() == '-') s.remove_prefix(1);
    if (s.empty()) return false;
    const std::size_t e = s.find('e');
    if (e != std::string_view::npos) {
        std::string_view mantissa = s.substr(0, e);
        std::string_view exponent = s.substr(e + 1);
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
    // 0.ddd: at most three zeros before the first significant digit (exponent -4).
    std::size_t zeros = 0;
    while (zeros < fraction.size() && fraction[zeros] == '0')
        ++zeros;
    if (zeros == fraction.size()) return false;  // "0.000" is not how zero is written
    return zeros <= 3 && fraction.size() - zeros <= 6;
}

bool is_console_infinity(std::string_view s) {
    return s == "1.#INF" || s == "-1.#INF";
}

// Walks a transcript piece by piece in the dialogue's order.
class Transcript {
  public:
    explicit Transcript(std::string_view text) : full_(text), rest_(text) {}

    bool eat(std::string_view piece) {
        if (!rest_.starts_with(piece)) return false;
        rest_.remove_prefix(piece.size());
        return true;
    }
    void expect(std::string_view piece, const char* what) {
        if (!eat(piece)) fail(what);
    }
    // A number up to the next space or line feed.
    void expect_number(bool infinity_allowed, const char* what) {
        std::size_t n = 0;
        while (n < rest_.size() && rest_[n] != '\n' && rest_[n] != ' ')
            ++n;
        const std::string_view number = rest_.substr(0, n);
        if (!is_finite_console_number(number) &&
            !(infinity_allowed && is_console_infinity(number))) {
            fail(what);
        }
        rest_.remove_prefix(n);
    }
    bool at_end() const { return rest_.empty(); }

    [[noreturn]] void fail(const char* what) const {
        std::fprintf(stderr, "dialogue_fuzz: %s at offset %zu\n--- rest of transcript:\n", what,
                     full_.size() - rest_.size());
        print_escaped(rest_.substr(0, 400));
        std::fputs("\n---\n", stderr);
        __builtin_trap();
    }

  private:
    std::string_view full_;
    std::string_view rest_;
};

// A prompt, written again after each complaint about the field typed at it.
void expect_prompt(Transcript& t, std::string_view prompt, int max_chars, const char* what) {
    const std::string too_long_message = too_long(max_chars);
    for (;;) {
        t.expect(prompt, what);
        if (!t.eat(kNotANumber) && !t.eat(too_long_message)) return;
    }
}

void check_transcript(std::string_view output, int status) {
    Transcript t(output);
    auto finish = [&](int expected_status, const char* what) {
        if (!t.at_end()) t.fail(what);
        if (status != expected_status) t.fail("wrong exit status for how the transcript ends");
    };

    t.expect(kDrawing, "circuit drawing expected");
    int designs = 0;
    for (;;) {
        expect_prompt(t, kCutoffPrompt, kestrane::kDesignNumberChars, "cutoff prompt expected");
        if (t.eat("\n")) return finish(0, "output after the input ended at the cutoff prompt");

        expect_prompt(t, kR1Prompt, kestrane::kDesignNumberChars, "R1 prompt expected");
        if (t.eat(kInputEnded)) return finish(1, "output after the input-ended message");
        if (t.eat(kZeroRefused) || t.eat(kTinyRefused)) continue;

        t.expect("\nR1, Ohm: ", "R1 line, a refusal or the input-ended message expected");
        t.expect_number(false, "R1 is not a finite console number");
        t.expect("\nR2, Ohm: ", "R2 line expected");
        t.expect_number(false, "R2 is not a finite console number");
        t.expect("\nC1, nF: ", "C1 line expected");
        t.expect_number(false, "C1 is not a finite console number");
        t.expect("\nC2, nF: ", "C2 line expected");
        t.expect_number(false, "C2 is not a finite console number");
        t.expect("\n", "line feed after C2 expected");

        t.expect("\nPassband, Hz: 0-", "passband line expected");
        t.expect_number(true, "passband edge is not a console number");
        t.expect(" (amplitude pulsation 0.005dB)\n\n", "passband legend expected");

        expect_prompt(t, kBandPrompt, kestrane::kBandNumberChars, "band prompt expected");
        if (t.eat(kInputEnded)) return finish(1, "output after the input-ended message");
        t.expect("+/-", "phase deviation line expected");
        t.expect_number(false, "phase deviation is not a finite console number");
        t.expect(" radian.\n\n", "phase deviation legend expected");
        t.expect(kCredits, "credit block expected");

        if (++designs == kMaxDesigns) return finish(0, "output after the last allowed design");
        t.expect(kRepeatPrompt, "repeat prompt expected");
        if (t.at_end()) return finish(0, "");
        if (t.eat("\n")) return finish(0, "output after the input ended at the repeat prompt");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    kestrane::DialogueOptions options;
    options.max_designs = kMaxDesigns;

    std::istringstream first_in(input);
    std::ostringstream first_out;
    const int first_status = kestrane::run_dialogue(first_in, first_out, options);
    if (first_status != 0 && first_status != 1) {
        std::fprintf(stderr, "dialogue_fuzz: exit status %d\n", first_status);
        __builtin_trap();
    }
    const std::string transcript = first_out.str();
    check_transcript(transcript, first_status);

    std::istringstream second_in(input);
    std::ostringstream second_out;
    const int second_status = kestrane::run_dialogue(second_in, second_out, options);
    if (second_status != first_status || second_out.str() != transcript) {
        std::fprintf(stderr, "dialogue_fuzz: a second run over the same input differs\n");
        __builtin_trap();
    }
    return 0;
}
