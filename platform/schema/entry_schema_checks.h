// Checks of the JSON schema that a schema entry carries, before it is
// registered: it must be a draft-4 schema that rapidjson can compile and
// validate with, and its layer markers must make sense.
#pragma once

#include <string>

#include "tarn/rapidjson.h"

namespace TarnSchemaEntry {

const char* Draft4MetaSchemaText();

// The first reason the schema cannot be registered, or empty. Problems
// rapidjson would pass over in silence are refused: a "$ref" that is not
// local or leads nowhere, a regular expression its engine cannot compile.
std::string FindSchemaProblem(const rapidjson::Value& schema);

} // namespace TarnSchemaEntry
