// Small operations on configuration documents.
#pragma once

#include <string>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace ConfigStoreDocument {

// True when value is an object with a member of that name.
TARN_PLATFORM_EXPORT bool ValueExists(const rapidjson::Value& value, const std::string& name);

// The value as compact JSON text, the form the store's value columns keep.
TARN_PLATFORM_EXPORT void SerializeValue(const rapidjson::Value& value, std::string& out);

// Adds a fresh identifier to every object of value whose schema node declares
// a generated identifier (a "cs_generated_id" property marked "instanceId")
// and that has none yet; an existing member is never replaced. The added
// strings are allocated from allocator, the allocator of value's document.
TARN_PLATFORM_EXPORT void PopulateGeneratedInstanceId(const rapidjson::Value& schema, rapidjson::Value& value,
                                                      rapidjson::Document::AllocatorType& allocator);

} // namespace ConfigStoreDocument
