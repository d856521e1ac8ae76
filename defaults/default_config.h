// Writing one default value of a default file into DefaultConfig.
#pragma once

#include <memory>
#include <string>

#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

inline constexpr char DEFAULT_CONFIG_DIR[] = "/etc/halden/default-config/";

// Where a value stands in its element: position in the "config" array, or
// -1 for a single value. Names the instance in messages.
struct DefaultValuePlace {
    int position;
    // Errors of the element's values (objects {"instance", "field", "error"}),
    // allocated from the errors document.
    rapidjson::Value* elementErrors;
};

// Validates value against the object's schema and, when it is valid, writes
// its row (layers split, generated identifier filled in from allocator, the
// default file's allocator). An invalid value is logged with every error and
// its errors added to place.elementErrors; nothing is written for it. A
// failed write is logged. Other failures throw.
void WriteDefaultConfigValue(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& name,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value, rapidjson::Document& errors, const DefaultValuePlace& place);

} // namespace TarnConfigStore
