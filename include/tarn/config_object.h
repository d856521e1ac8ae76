// Writing the user value of one configuration object while the host runs,
// as an operator does. It is read back with ReadConfigLayers (config_diff.h).
#pragma once

#include <string>

#include "tarn/export.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

// Stores value, a JSON object, as the user value of one instance of the
// registered object id: the instance its identifier member names (added
// where the schema generates identifiers and value has none; none for a
// singleton). The value is checked against the object's user schema, then
// written as the boot writes the boot configuration document: the row keeps
// its creation time and its automatic, vital and cached values, its
// revision rises by one, and a desired value pending for it goes. Returns
// the instance's identifier (empty for a singleton).
// Throws ConfigStoreException with nothing stored: "No schema registered for
// <c/g/k>"; "Validation failed for /<c>/<g>/<k>: " and every error as
// "'<field>' <reason>", joined by "; " (each also logged, code 1083); error
// 1032 when the value lacks its identifier; "Write user config failed".
TARN_EXPORT std::string SetUserConfigObject(const TarnSchemaStore::SchemaObjectId& id, rapidjson::Document& value);

} // namespace TarnConfigStore
