#include <string>
#include <vector>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {

std::string InstanceIdToWrite(rapidjson::Document::AllocatorType& allocator,
                              const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                              rapidjson::Value& value) {
    ConfigStoreDocument::PopulateGeneratedInstanceId(schemaObject->GetSchemaDocument(), value, allocator);
    return GetInstanceIdFromValue(value, schemaObject);
}

DesiredRow MakeDesiredRow(rapidjson::Document::AllocatorType& allocator, const std::string& version,
                          const std::string& component, const std::string& group, const std::string& name,
                          const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject, rapidjson::Value& value) {
    const std::string instanceId = InstanceIdToWrite(allocator, schemaObject, value);
    using TarnPlatform::SqlQuote;
    DesiredRow row;
    row.statement =
        "insert or replace into DesiredUserConfig(identifier, name, configgroup, component, version, Value, "
        "BootAction) values (" + SqlQuote(instanceId) + ", " + SqlQuote(name) + ", " + SqlQuote(group) + ", " +
        SqlQuote(component) + ", " + SqlQuote(version) + ", ?, ?)";
    ConfigStoreDocument::SerializeValue(value, row.value);
    return row;
}

void WriteDesiredRow(const std::shared_ptr<DBStore::StoreConnection>& conn, const DesiredRow& row) {
    if (DBStore::Execute(conn, row.statement, {row.value, "SET"}, {}, 3000) != 0)
        throw ConfigStoreException("Write desired config failed");
}

void WriteDesiredConfigValue(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& name,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value) {
    WriteDesiredRow(conn, MakeDesiredRow(allocator, version, component, group, name, schemaObject, value));
}

} // namespace TarnConfigStore
