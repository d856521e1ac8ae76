// JSON-schema validation (draft 4) of configuration values.
#pragma once

#include <set>
#include <string>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace JsonValidator {

// The codes a caller passes select the checks of one validation. Callers use
// fixed sets: {0, 1, 3, 7, 8} for user values and desired documents,
// {0, 1, 4, 8} for default values. Other numbers are ignored.
enum Code : int {
    // The draft-4 keywords of the schema.
    CHECK_SCHEMA = 0,
    // Report every error that can be found, not only the first.
    ALL_ERRORS = 1,
    // User layer: a member whose schema node is marked "vital" or "cached"
    // must not be present.
    USER_LAYER = 3,
    // The value can be split into layers: every member of an object the split
    // walks is described under its node's "properties", and every non-empty
    // array it walks has an "items" node naming its "type".
    SPLITTABLE = 4,
    // Instance identifiers (members marked "instanceId") are non-empty
    // strings without an apostrophe or a NUL byte, so they can stand in
    // statement texts.
    IDENTIFIER_TEXT = 7,
    // Missing generated identifiers ("cs_generated_id" marked "instanceId")
    // are no error: they are added after validation.
    GENERATED_ID_OPTIONAL = 8,
};

// Validates value against schema. result becomes an array with one object
// {"field": location, "error": reason} per error (empty when valid), its
// values allocated from result's allocator. field is the offending value's
// JSON pointer, after path when one is given; error names the failed keyword
// and what it expected. A schema that cannot be used gives one error under
// the keyword "schema". Returns whether there was no error.
TARN_PLATFORM_EXPORT bool Validate(const rapidjson::Value& schema, const rapidjson::Value& value,
                                   rapidjson::Document& result, const std::set<int>& codes, const std::string& path);

} // namespace JsonValidator
