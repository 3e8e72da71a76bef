#include "kestrane/text/page_text.h"

#include <cmath>
#include <limits>

#include "kestrane/cascade/request.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
// The most characters a page's message quotes, "..." included: a field of the page is read
// beside its message, which need not fit a console's line.
constexpr std::size_t kPageQuotedCharacters = 40;
constexpr double kHertzPerKilohertz = 1000;
constexpr double kHertzPerMegahertz = 1e6;

std::string setting_quoted(std::string_view what, std::string_view shown, std::string_view rule) {
    std::string message = "Not ";
    message.append(what);
    message.append(": ");
    return page_quoted_message(message, shown, ". " + std::string(rule));
}

// The length in bytes of the well-formed UTF-8 sequence at the start of `text` that is not a
// control character, or 0 when it does not start with one.
std::size_t character_bytes(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead >= 0x20 && lead < 0x7F) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        if (lead == 0xC2) low = 0xA0;  // U+0080 to U+009F are control characters
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// The first character of `text` as a quoted message shows it, and its length in bytes.
std::pair<std::string, std::size_t> shown_character(std::string_view text) {
    const std::size_t length = character_bytes(text);
    if (length > 0 && text[0] != '"' && text[0] != '\\') {
        return {std::string(text.substr(0, length)), length};
    }
    const auto c = static_cast<unsigned char>(text[0]);
    if (c == '"' || c == '\\') return {std::string{'\\', static_cast<char>(c)}, 1};
    constexpr std::string_view kHex = "0123456789abcdef";
    return {std::string{'\\', 'x', kHex[c >> 4], kHex[c & 0xF]}, 1};
}

// The number of characters (code points) of well-formed UTF-8 `text`.
std::size_t character_count(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

}  // namespace

std::string page_quoted_message(std::string_view prefix, std::string_view text,
                                std::string_view suffix) {
    constexpr std::string_view kEllipsis = "...";
    constexpr std::size_t room = kPageQuotedCharacters;
    std::string shown;
    std::size_t columns = 0;
    while (!text.empty()) {
        const auto [next, bytes] = shown_character(text);
        const std::size_t width = character_count(next);
        const std::size_t reserve = bytes == text.size() ? 0 : kEllipsis.size();
        if (columns + width + reserve > room) {
            shown += kEllipsis;
            break;
        }
        shown += next;
        columns += width;
        text.remove_prefix(bytes);
    }
    std::string message(prefix);
    return message.append(1, '"').append(shown).append(1, '"').append(suffix);
}

std::string page_not_a_number_message(std::string_view rejected) {
    return page_quoted_message("Not a number: ", rejected,
                               ". Numbers look like 1000, -2.5, .5 or 4.7e3.");
}

std::string page_too_long_message(std::string_view rejected, int max_chars) {
    const std::string suffix = ". At most " + std::to_string(max_chars) + " characters.";
    return page_quoted_message("Number too long: ", rejected, suffix);
}

bool is_band_value(double hz) {
    return std::isfinite(hz);
}

std::string band_message(std::string_view shown) {
    return setting_quoted("a band", shown,
                          "It is finite: at most " + format_number(kLargest) + " Hz either way.");
}

bool is_filter_value(FilterSetting setting, double value) {
    switch (setting) {
        case FilterSetting::order:
            return value >= 1 && value <= kMaxOrder && value == std::floor(value);
        case FilterSetting::ripple_db:
            return value >= kMinRippleDb && value <= kMaxRippleDb;
        case FilterSetting::edge_khz:
            return value > 0 && std::isfinite(value * kHertzPerKilohertz);
        default:
            return is_positive_finite(value);
    }
}

std::string filter_setting_message(FilterSetting setting, std::string_view shown) {
    switch (setting) {
        case FilterSetting::order:
            return setting_quoted(
                "an order", shown,
                "It is a whole number from 1 to " + std::to_string(kMaxOrder) + ".");
        case FilterSetting::ripple_db:
            return setting_quoted("a ripple", shown,
                                  "It runs from " + format_number(kMinRippleDb) + " to " +
                                      format_number(kMaxRippleDb) + " dB.");
        case FilterSetting::edge_khz:
            return setting_quoted("an edge", shown,
                                  "It is above 0 and at most " +
                                      format_number(kLargest / kHertzPerKilohertz) + " kHz.");
        default:
            return setting_quoted("a loss", shown, "It is above 0 dB and finite.");
    }
}

std::string underflow_note(std::string_view shown) {
    return page_quoted_message("Read as 0: ", shown,
                               " is below the smallest number read, " +
                                   format_number(std::numeric_limits<double>::min()) + ".");
}

std::string stored_note(std::string_view what, std::string_view unit, double read, double stored) {
    const std::string stored_text = format_number(stored);
    if (stored_text == format_number(read)) return "";
    return "Stored as " + stored_text + " " + std::string(unit) + ": " + std::string(what) +
           " is kept in single precision, clamped to its range.";
}

std::string design_field_refusal(Refusal refusal, bool cutoff, double stored) {
    if (refusal == Refusal::product_too_small) return std::string(refusal_message(refusal));
    if (refusal != Refusal::zero_input || stored != 0) return "";
    return std::string("Cannot design with ") + (cutoff ? "a cutoff" : "an R1") +
           " of 0: C1 and C2 would be infinite.";
}

std::string slew_refusal(double amplitude_v) {
    return "The slew rate for a " + format_number(amplitude_v) +
           " V peak input sine leaves the double range; a smaller amplitude has one.";
}

std::string attenuation_refusal(double hz) {
    return "No attenuation at " + format_number(hz) +
           " Hz: the response there leaves the double range.";
}

bool is_tolerance_percent(double percent) {
    return percent >= 0 && percent < 100;
}

std::string tolerance_message(std::string_view shown) {
    return setting_quoted("a tolerance", shown, "Tolerances run from 0 to below 100 %.");
}

bool is_setting_value(OpAmpSetting setting, double value) {
    switch (setting) {
        case OpAmpSetting::gbw_mhz:
            return opamp_from_fields(value, kDefaultOpenLoopGainDb, kDefaultOutputOhm).refused ==
                   OpAmpField::none;
        case OpAmpSetting::gain_db:
            return opamp_from_fields(kDefaultGbwMhz, value, kDefaultOutputOhm).refused ==
                   OpAmpField::none;
        case OpAmpSetting::output_ohm:
            return opamp_from_fields(kDefaultGbwMhz, kDefaultOpenLoopGainDb, value).refused ==
                   OpAmpField::none;
        default:
            return is_positive_finite(value);
    }
}

std::string setting_message(OpAmpSetting setting, std::string_view shown) {
    switch (setting) {
        case OpAmpSetting::gbw_mhz:
            return setting_quoted("a gain-bandwidth product", shown,
                                  "It is above 0 MHz and at most " +
                                      format_number(kLargest / kHertzPerMegahertz) + " MHz.");
        case OpAmpSetting::gain_db:
            return setting_quoted("an open-loop gain", shown, "It is above 0 dB and finite.");
        case OpAmpSetting::output_ohm:
            return setting_quoted("an output resistance", shown,
                                  "It is 0 \u03A9 or more and finite.");
        case OpAmpSetting::amplitude_v:
            return setting_quoted("an amplitude", shown, "It is above 0 V and finite.");
        default:
            return setting_quoted("a frequency", shown, "It is above 0 Hz and finite.");
    }
}

std::string attenuation_line(double hz, double db) {
    return "Attenuation at " + format_number(hz) + " Hz from the DC gain, dB: " + format_number(db);
}

}  // namespace kestrane
