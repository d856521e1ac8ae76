// Small operations on configuration documents.
#pragma once

#include <string>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace ConfigStoreDocument {

// True when value is an object with a member of that name.
TARN_PLATFORM_EXPORT bool ValueExists(const rapidjson::Value& value, const std::string& name);

} // namespace ConfigStoreDocument
