// Every message the console writes besides the dialogue's own prompts and results. Each fits
// on one line of at most 80 columns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "kestrane/model/design.h"

namespace kestrane {

inline constexpr std::size_t kMessageColumns = 80;

// `prefix`, then `text` between double quotes, then `suffix`: the quoted text with control
// characters, bytes above 127, backslashes and quotes escaped, and cut short with "..." where
// the whole line would be wider than 80 columns.
std::string quoted_message(std::string_view prefix, std::string_view text, std::string_view suffix);

// `text` between double quotes, escaped as quoted_message escapes it but never cut short: for
// file names, which a message must name whole even beyond 80 columns.
std::string quoted_whole(std::string_view text);

// A field that is not a number: `rejected` is what was dropped, from the start of the field
// to the end of its line. Quoted with control characters, bytes above 127, backslashes and
// quotes escaped, and cut short with "..." to keep the line within 80 columns.
std::string not_a_number_message(std::string_view rejected);

// A number longer than `max_chars` characters (at most three digits): `rejected` as above.
std::string too_long_message(std::string_view rejected, int max_chars);

// Why a design was refused (`refusal` is not Refusal::none): a zero, or a product
// 2 x R1 x cutoff so small that the capacitors leave the single-precision range.
std::string_view refusal_message(Refusal refusal);

// Written when the input ends in the middle of a design.
inline constexpr std::string_view kInputEndedMessage =
    "Input ended before the design was complete.";

}  // namespace kestrane
