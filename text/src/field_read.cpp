#include "kestrane/text/field_read.h"

#include <algorithm>

#include "kestrane/text/number_scan.h"
#include "kestrane/text/page_text.h"

namespace kestrane {
namespace {

bool is_space(char c) {
    return is_number_space(static_cast<unsigned char>(c));
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

// Whether `text` (a number's text) has a digit other than 0 before any exponent.
bool has_nonzero_digit(std::string_view text) {
    for (const char c : text) {
        if (c == 'e' || c == 'E') return false;
        if (c >= '1' && c <= '9') return true;
    }
    return false;
}

// Whether `value` is one that a field of `kind` takes, and if not, why.
bool takes(FieldKind kind, double value, std::string_view shown, std::string& message) {
    if (kind == FieldKind::design) return true;
    if (kind == FieldKind::band) {
        if (is_band_value(value)) return true;
        message = band_message(shown);
        return false;
    }
    if (kind >= FieldKind::order) {
        constexpr FilterSetting kFilter[] = {FilterSetting::order, FilterSetting::ripple_db,
                                             FilterSetting::edge_khz, FilterSetting::loss_db};
        const FilterSetting setting =
            kFilter[static_cast<int>(kind) - static_cast<int>(FieldKind::order)];
        if (is_filter_value(setting, value)) return true;
        message = filter_setting_message(setting, shown);
        return false;
    }
    if (kind == FieldKind::tolerance) {
        if (is_tolerance_percent(value)) return true;
        message = tolerance_message(shown);
        return false;
    }
    constexpr OpAmpSetting kSettings[] = {OpAmpSetting::gbw_mhz, OpAmpSetting::gain_db,
                                          OpAmpSetting::output_ohm, OpAmpSetting::amplitude_v,
                                          OpAmpSetting::attenuation_hz};
    const OpAmpSetting setting =
        kSettings[static_cast<int>(kind) - static_cast<int>(FieldKind::gbw)];
    if (is_setting_value(setting, value)) return true;
    message = setting_message(setting, shown);
    return false;
}

}  // namespace

int field_number_chars(FieldKind kind) {
    return kind == FieldKind::band ? kBandNumberChars : kDesignNumberChars;
}

FieldRead read_field(std::string_view text, FieldKind kind) {
    const int max_chars = field_number_chars(kind);
    const RealScan scan = scan_prefixed_real(text, max_chars);
    const std::string_view shown = trimmed(text);
    FieldRead read;
    switch (scan.status) {
        case ScanStatus::empty:
            return read;
        case ScanStatus::too_long:
            read.status = FieldStatus::too_long;
            read.message = page_too_long_message(shown, max_chars);
            return read;
        case ScanStatus::not_a_number:
            break;
        case ScanStatus::ok:
            if (std::all_of(text.begin() + static_cast<std::ptrdiff_t>(scan.taken), text.end(),
                            is_space)) {
                read.status = FieldStatus::ok;
                read.value = scan.value;
                if (!takes(kind, scan.value, shown, read.message)) {
                    read.status = FieldStatus::out_of_range;
                    read.value = 0;
                } else if (scan.value == 0 && has_nonzero_digit(shown)) {
                    read.note = underflow_note(shown);
                }
                return read;
            }
            break;
    }
    read.status = FieldStatus::not_a_number;
    read.message = page_not_a_number_message(shown);
    return read;
}

std::string_view field_kind_name(FieldKind kind) {
    constexpr std::string_view kNames[] = {"design",  "band",       "tolerance", "gbw",
                                           "gain_db", "output_ohm", "amplitude", "frequency",
                                           "order",   "ripple_db",  "edge_khz",  "loss_db"};
    return kNames[static_cast<std::size_t>(kind)];
}

std::string_view field_status_name(FieldStatus status) {
    switch (status) {
        case FieldStatus::ok:
            return "ok";
        case FieldStatus::empty:
            return "empty";
        case FieldStatus::not_a_number:
            return "not_a_number";
        case FieldStatus::too_long:
            return "too_long";
        case FieldStatus::out_of_range:
            return "out_of_range";
    }
    return "?";
}

}  // namespace kestrane
