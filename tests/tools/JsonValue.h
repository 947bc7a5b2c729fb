// A strict JSON reader for checking the doctor's output: it accepts exactly
// the grammar of RFC 8259 and builds a tree to look facts up in.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace TrelvoTest {

struct JsonValue {
    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    double number = 0;
    std::string string;
    // Array elements, or object members' values in order.
    std::vector<JsonValue> elements;
    // Object members' names, parallel to elements.
    std::vector<std::string> names;

    bool has(const std::string& name) const;
    // The member of that name; a null value when there is none.
    const JsonValue& operator[](const std::string& name) const;
    const JsonValue& operator[](size_t index) const { return elements.at(index); }
    bool isNull() const { return type == Type::kNull; }
};

// nullopt unless text is one well-formed JSON value (surrounded by white
// space at most).
std::optional<JsonValue> ParseJson(const std::string& text);

}  // namespace TrelvoTest
