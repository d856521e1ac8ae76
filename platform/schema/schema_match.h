// Checking a value against a compiled schema node. Nodes reached from more
// than one place (SchemaNode::shared) are checked once per value of a run,
// whatever the number of paths that lead to them.
#pragma once

#include <cstdint>
#include <string>

#include "schema/compiled_schema.h"

namespace TarnSchemaValidation {

// The verdict on one value, with the first failure found in document order:
// the node whose keyword failed and the failing value's pointer within the
// value. A failure inside "allOf", "anyOf", "oneOf", "not" or a schema
// dependency is told as that keyword of the node holding it.
struct Outcome {
    bool valid = true;
    const SchemaNode* node = nullptr;
    std::string keyword;
    std::string valuePointer;
};

Outcome Match(const SchemaNode& node, const rapidjson::Value& value);
bool Matches(const SchemaNode& node, const rapidjson::Value& value);

// Nodes this thread has checked a value against so far (each check of a
// node's own keywords once).
uint64_t NodeChecks();

} // namespace TarnSchemaValidation
