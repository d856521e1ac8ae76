// The validator's rules about the store's layer markers. They read schema
// nodes the way the layer split does: through "properties" and "items"
// only, without following "$ref"; each takes the schema's layer index.
#pragma once

#include "schema/findings.h"
#include "schema/layer_index.h"

namespace TarnSchemaValidation {

// Code 3: members whose node is marked "vital" or "cached" are refused.
void CheckUserLayer(const LayerNode& schema, const rapidjson::Value& value, Findings& findings);

// Code 4: every object the split descends into has its members described
// under "properties", every non-empty array it descends into an "items"
// node with a "type".
void CheckSplittable(const LayerNode& schema, const rapidjson::Value& value, Findings& findings);

// Code 7: members marked "instanceId" are non-empty strings without "'".
void CheckIdentifierText(const LayerNode& schema, const rapidjson::Value& value, Findings& findings);

} // namespace TarnSchemaValidation
