// Equality of JSON values as draft 4 defines it for "enum" and
// "uniqueItems" (numbers by value, 1 and 1.0 alike; object members in any
// order), a hash that agrees with it, and an index of an array's elements by
// that hash, so both keywords cost a lookup per value instead of a
// comparison with every other.
#pragma once

#include <cstddef>
#include <vector>

#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b);
size_t JsonHash(const rapidjson::Value& value);

// The elements of an array (which must outlive the index) sorted by hash:
// one sequential pass and a sort to build, where a hash set would touch
// memory at random for every element, which for an enum of millions of
// values costs more than the rest of its registration.
class JsonValueIndex {
public:
    explicit JsonValueIndex(const rapidjson::Value& array);
    bool Contains(const rapidjson::Value& value) const;
    // The position of the first element equal to one before it; the array's
    // size when the elements are unique.
    size_t FirstRepeat() const;

private:
    struct Entry {
        size_t hash;
        size_t position;
        const rapidjson::Value* value;
    };
    std::vector<Entry> m_entries;  // by hash, then position
};

// Compares two numbers: exactly when both are integers, else as doubles.
// Negative, zero or positive as a is below, equal to or above b.
int CompareNumbers(const rapidjson::Value& a, const rapidjson::Value& b);

} // namespace TarnSchemaValidation
