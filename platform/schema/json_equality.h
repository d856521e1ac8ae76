// Equality of JSON values as draft 4 defines it for "enum" and
// "uniqueItems" (numbers by value, 1 and 1.0 alike; object members in any
// order), and a hash that agrees with it, so both keywords cost one lookup
// per value instead of a comparison with every other.
#pragma once

#include <cstddef>
#include <unordered_set>

#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b);
size_t JsonHash(const rapidjson::Value& value);

struct JsonHashOf {
    size_t operator()(const rapidjson::Value* v) const { return JsonHash(*v); }
};
struct JsonEqualOf {
    bool operator()(const rapidjson::Value* a, const rapidjson::Value* b) const { return JsonEqual(*a, *b); }
};
// Values that must outlive the set.
using JsonValueSet = std::unordered_set<const rapidjson::Value*, JsonHashOf, JsonEqualOf>;

// Compares two numbers: exactly when both are integers, else as doubles.
// Negative, zero or positive as a is below, equal to or above b.
int CompareNumbers(const rapidjson::Value& a, const rapidjson::Value& b);

} // namespace TarnSchemaValidation
