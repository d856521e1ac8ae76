// Writing desired configuration rows: shared by the desired document and the
// SmartNIC configuration.
#pragma once

#include <memory>
#include <string>

#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

inline constexpr char CLEANUP_DESIRED_CONFIG[] = "DELETE from DesiredUserConfig;";

// The member names of a document level, as the texts they hold (a NUL byte
// inside included).
inline std::string MemberName(const rapidjson::Value& name) {
    return std::string(name.GetString(), name.GetStringLength());
}

// ValidateUserObject for a value of a user document, the value as a whole:
// for a multi-instance object an array holds one instance per element, each
// validated on its own (path "<path>/<index>"), all of them, so that every
// error is logged; for a singleton an array is refused.
bool ValidateUserInstances(const TarnSchemaStore::SchemaObject& schemaObject, const rapidjson::Value& value,
                           const std::string& path);

// The instance identifier of a value about to be written (empty for a
// singleton): a generated one is added to value from allocator, the
// document's allocator, where the schema asks for one. Throws 1032 when the
// value lacks its identifier.
std::string InstanceIdToWrite(rapidjson::Document::AllocatorType& allocator,
                              const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                              rapidjson::Value& value);

// Writes one value row (boot action "SET") of the object; a generated
// identifier is added to value from allocator, the document's allocator,
// where the schema asks for one. Throws 1032 when the value lacks its
// identifier and ConfigStoreException "Write desired config failed" when
// the row cannot be written.
void WriteDesiredConfigValue(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& name,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value);

// WriteDesiredConfigValue in its two steps, for writing on one thread what
// another makes: the row of a value (a generated identifier added to the
// value from allocator where the schema asks for one; throws 1032 when the
// value lacks its identifier), and writing it (throws ConfigStoreException
// "Write desired config failed").
struct DesiredRow {
    std::string statement;  // the value bound to its first parameter, "SET" to its second
    std::string value;
};
DesiredRow MakeDesiredRow(rapidjson::Document::AllocatorType& allocator, const std::string& version,
                          const std::string& component, const std::string& group, const std::string& name,
                          const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject, rapidjson::Value& value);
void WriteDesiredRow(const std::shared_ptr<DBStore::StoreConnection>& conn, const DesiredRow& row);

// Validates every object of a SmartNIC document and writes the valid ones;
// throws when any failed, after all were validated and logged.
void ProcessSmartnicDocument(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn);

} // namespace TarnConfigStore
