// A JSON object built member by member and written on one line, as the program's results are:
// numbers, strings, true and false, and objects (alone or in arrays) nested inside for the
// figures that belong together.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kestrane {

class JsonObject {
  public:
    // Adds "key":value, the value in shortest_text: the shortest text that reads back to the
    // same double, or null when it is not finite. `key` (UTF-8) is written as a JSON string,
    // with quotes, backslashes and control characters escaped. Keys are not checked for
    // repeats.
    JsonObject& add_number(std::string_view key, double value);

    // Adds "key":"value", `value` (UTF-8) escaped as keys are. `key` as above.
    JsonObject& add_string(std::string_view key, std::string_view value);

    // Adds "key":true or "key":false. `key` as above.
    JsonObject& add_bool(std::string_view key, bool value);

    // Adds "key":{...}, the members of `inner` as it stands now. `key` as above.
    JsonObject& add_object(std::string_view key, const JsonObject& inner);

    // Adds "key":[n,...], the numbers in order as add_number writes them ([] for none).
    JsonObject& add_numbers(std::string_view key, std::span<const double> values);

    // Adds "key":[{...},...], the objects in order ([] for none). `key` as above.
    JsonObject& add_array(std::string_view key, std::span<const JsonObject> items);

    // The object: "{", the members in the order added, separated by ",", "}"; no spaces and
    // no line end.
    std::string text() const;

  private:
    void add_key(std::string_view key);
    void add_quoted(std::string_view text);

    std::string members_;
};

}  // namespace kestrane
