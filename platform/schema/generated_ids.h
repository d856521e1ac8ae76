// Generated instance identifiers: the objects of a value whose schema node
// declares a "cs_generated_id" property marked "instanceId".
#pragma once

#include <functional>
#include <string>

#include "tarn/rapidjson.h"

namespace TarnGeneratedIds {

// Whether the schema node declares the generated identifier for its objects.
bool DeclaresGeneratedId(const rapidjson::Value& node);

// Whether some object of value lacks the generated identifier its node declares.
bool Missing(const rapidjson::Value& schema, const rapidjson::Value& value);

// Adds make() as the identifier of every such object that has none.
void Fill(const rapidjson::Value& schema, rapidjson::Value& value, rapidjson::Document::AllocatorType& allocator,
          const std::function<std::string()>& make);

// A fresh random (version 4) UUID text.
std::string NewId();

} // namespace TarnGeneratedIds
