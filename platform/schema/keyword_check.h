// The draft-4 keywords of a schema, checked by rapidjson's validator.
#pragma once

#include "schema/compiled_schema.h"
#include "schema/findings.h"

namespace TarnSchemaValidation {

// Adds the errors of value against the compiled schema (compiled from
// schema, which must stay the same). rapidjson stops at the first error;
// when the findings want all, the value is taken apart along the schema
// ("properties", "items", "allOf") and the parts are validated on their
// own, so independent errors are all reported.
void CheckKeywords(const rapidjson::Value& schema, const CompiledSchema& compiled, const rapidjson::Value& value,
                   Findings& findings);

} // namespace TarnSchemaValidation
