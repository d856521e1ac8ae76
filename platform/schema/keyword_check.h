// The draft-4 keywords of a schema, checked against its compiled nodes.
#pragma once

#include "schema/compiled_schema.h"
#include "schema/findings.h"

namespace TarnSchemaValidation {

// Adds the errors of value against the compiled schema, which must be
// usable. Only the first unless the findings want all: then the value is
// taken apart along the schema ("properties", "items", "allOf") and the
// parts are validated on their own, so independent errors are all reported.
void CheckKeywords(const CompiledSchema& compiled, const rapidjson::Value& value, Findings& findings);

} // namespace TarnSchemaValidation
