// Generated instance identifiers: the objects of a value whose schema node
// declares a "cs_generated_id" property marked "instanceId".
#pragma once

#include <functional>
#include <string>

#include "schema/layer_index.h"
#include "tarn/rapidjson.h"

namespace TarnGeneratedIds {

// Whether some object of value lacks the generated identifier its node
// declares; schema is the root of the schema's layer index.
bool Missing(const TarnSchemaValidation::LayerNode& schema, const rapidjson::Value& value);

// Adds make() as the identifier of every such object that has none.
void Fill(const TarnSchemaValidation::LayerNode& schema, rapidjson::Value& value,
          rapidjson::Document::AllocatorType& allocator, const std::function<std::string()>& make);

// A fresh random (version 4) UUID text.
std::string NewId();

} // namespace TarnGeneratedIds
