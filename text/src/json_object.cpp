#include "kestrane/text/json_object.h"

#include "kestrane/text/number_writer.h"

namespace kestrane {

void JsonObject::add_quoted(std::string_view text) {
    members_ += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            members_.append(1, '\\').append(1, c);
        } else if (byte < 0x20) {
            constexpr std::string_view kHex = "0123456789abcdef";
            members_.append("\\u00").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
        } else {
            members_ += c;
        }
    }
    members_ += '"';
}

void JsonObject::add_key(std::string_view key) {
    if (!members_.empty()) members_ += ',';
    add_quoted(key);
    members_ += ':';
}

JsonObject& JsonObject::add_number(std::string_view key, double value) {
    add_key(key);
    members_ += shortest_text(value);
    return *this;
}

JsonObject& JsonObject::add_string(std::string_view key, std::string_view value) {
    add_key(key);
    add_quoted(value);
    return *this;
}

JsonObject& JsonObject::add_bool(std::string_view key, bool value) {
    add_key(key);
    members_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::add_object(std::string_view key, const JsonObject& inner) {
    add_key(key);
    members_ += inner.text();
    return *this;
}

JsonObject& JsonObject::add_numbers(std::string_view key, std::span<const double> values) {
    add_key(key);
    members_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) members_ += ',';
        members_ += shortest_text(values[i]);
    }
    members_ += ']';
    return *this;
}

JsonObject& JsonObject::add_array(std::string_view key, std::span<const JsonObject> items) {
    add_key(key);
    members_ += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) members_ += ',';
        members_ += items[i].text();
    }
    members_ += ']';
    return *this;
}

std::string JsonObject::text() const {
    return "{" + members_ + "}";
}

}  // namespace kestrane
