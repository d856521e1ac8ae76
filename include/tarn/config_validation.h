// Validation of configuration values, their instance identifiers and their
// split into the store's value layers.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "tarn/export.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

// Validator codes (see JsonValidator::Code): user values and desired
// documents, and default values.
TARN_EXPORT extern const std::set<int> USER_VALIDATION_CODES;     // {0, 1, 3, 7, 8}
TARN_EXPORT extern const std::set<int> DEFAULT_VALIDATION_CODES;  // {0, 1, 4, 8}

// Layer names, as the keys of SplitConfig's result.
inline constexpr char LAYER_USER[] = "user";
inline constexpr char LAYER_VITAL[] = "vital";
inline constexpr char LAYER_CACHED[] = "cached";

// The user value that asks for an object's default configuration to go.
inline constexpr char DELETE_DEFAULT_VALUE[] = "DELETE_DEFAULT";

// Logs every error of a validation result (code 1083) and returns whether
// there was none. A result that is not an array of {"field", "error"}
// strings throws ConfigStoreException "Invalid JSON".
TARN_EXPORT bool checkValidationErrors(const rapidjson::Value& result);

// Validates a user value of one object against its user schema; path names
// the value in messages. With allowDeleteDefault a string value is accepted
// exactly when it is "DELETE_DEFAULT", without schema validation.
TARN_EXPORT bool ValidateUserObject(const rapidjson::Value& schema, const rapidjson::Value& value,
                                    const std::string& path, bool allowDeleteDefault);

// Prunes value in place to its part of the layer ("user", "vital" or
// "cached") as the schema node's markers say; returns whether anything of
// it belongs there. Shapes the walk expects and does not find throw
// ConfigStoreException "Invalid JSON".
TARN_EXPORT bool ProcessConfig(rapidjson::Value& value, const rapidjson::Value& schemaNode, const std::string& layer);

// The value's instance identifier: empty for a singleton object; otherwise
// the string member named by the object's identifier field, error 1032
// ("Invalid value for key <field>") when it is missing or not a string.
TARN_EXPORT std::string GetInstanceIdFromValue(const rapidjson::Value& value,
                                               const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject);

// The compact JSON texts of the value's three layers under "user", "vital"
// and "cached"; a layer that gets nothing has the empty text.
TARN_EXPORT std::unordered_map<std::string, std::string> SplitConfig(const rapidjson::Value& value,
                                                                     const rapidjson::Value& schema);

} // namespace TarnConfigStore
