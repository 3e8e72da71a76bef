#include "json_object.h"

#include <algorithm>

#include "contract.h"
#include "number_writer.h"

namespace kestrane {
namespace {

bool is_plain_key(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

}  // namespace

void JsonObject::add_key(std::string_view key) {
    KESTRANE_EXPECT(is_plain_key(key) && "JSON keys here need no escaping");
    if (!members_.empty()) members_ += ',';
    members_.append(1, '"').append(key).append("\":");
}

JsonObject& JsonObject::add_number(std::string_view key, double value) {
    add_key(key);
    members_ += shortest_text(value);
    return *this;
}

JsonObject& JsonObject::add_object(std::string_view key, const JsonObject& inner) {
    add_key(key);
    members_ += inner.text();
    return *this;
}

std::string JsonObject::text() const {
    return "{" + members_ + "}";
}

}  // namespace kestrane
