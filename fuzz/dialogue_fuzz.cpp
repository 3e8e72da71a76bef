// Fuzzes the whole dialogue: the input is the console input of one run. The transcript must
// be made of the dialogue's own texts in the dialogue's order, with numbers in the console's
// format, and a second run over the same input must write the same transcript.
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "console_texts.h"
#include "kestrane/console/dialogue.h"
#include "kestrane/text/number_scan.h"
#include "number_shape.h"

namespace {

// Designs per run: each one is a full component search, the bulk of the time per input.
constexpr int kMaxDesigns = 2;

using namespace kestrane::expected;

void print_escaped(std::string_view s) {
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            std::fputs("\\n\n", stderr);
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", c);
        }
    }
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
    // A message line that starts with `start` and ends with `end`, on one line of at most 80
    // columns.
    bool eat_message(std::string_view start, std::string_view end) {
        if (!rest_.starts_with(start)) return false;
        const std::size_t line_end = rest_.find('\n', start.size());
        if (line_end == std::string_view::npos) return false;
        const std::string_view line = rest_.substr(0, line_end + 1);
        if (!line.ends_with(end) || line.size() - 2 > 80) fail("malformed message");
        rest_.remove_prefix(line.size());
        return true;
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
    const std::string too_long_end_text = too_long_end(max_chars);
    for (;;) {
        t.expect(prompt, what);
        if (!t.eat_message(kNotANumberStart, kNotANumberEnd) &&
            !t.eat_message(kTooLongStart, too_long_end_text)) {
            return;
        }
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
