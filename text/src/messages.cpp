#include "kestrane/text/messages.h"

namespace kestrane {
namespace {

constexpr std::string_view kEllipsis = "...";

// `c` as it appears between the quotes of a message.
std::string shown_character(unsigned char c) {
    if (c == '"' || c == '\\') return std::string{'\\', static_cast<char>(c)};
    if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
    constexpr std::string_view kHex = "0123456789abcdef";
    return std::string{'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
}

}  // namespace

std::string quoted_message(std::string_view prefix, std::string_view text,
                           std::string_view suffix) {
    const std::size_t fixed = prefix.size() + 2 + suffix.size();
    const std::size_t room = kMessageColumns > fixed ? kMessageColumns - fixed : 0;
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string next = shown_character(static_cast<unsigned char>(text[i]));
        const bool last = i + 1 == text.size();
        const std::size_t reserve = last ? 0 : kEllipsis.size();
        if (shown.size() + next.size() + reserve > room) {
            shown += kEllipsis;
            break;
        }
        shown += next;
    }
    std::string message(prefix);
    return message.append(1, '"').append(shown).append(1, '"').append(suffix);
}

std::string quoted_whole(std::string_view text) {
    std::string quoted(1, '"');
    for (const char c : text)
        quoted += shown_character(static_cast<unsigned char>(c));
    return quoted.append(1, '"');
}

std::string not_a_number_message(std::string_view rejected) {
    return quoted_message("Not a number: ", rejected,
                          ". Numbers look like 1000, -2.5, .5 or 4.7e3.");
}

std::string too_long_message(std::string_view rejected, int max_chars) {
    const std::string suffix = ". At most " + std::to_string(max_chars) + " characters.";
    return quoted_message("Number too long: ", rejected, suffix);
}

std::string_view refusal_message(Refusal refusal) {
    if (refusal == Refusal::zero_input)
        return "Cannot design: a cutoff or R1 of 0 makes C1 and C2 infinite.";
    return "Cannot design: 2 x R1 x cutoff is so small that C1 and C2 would be infinite.";
}

}  // namespace kestrane
