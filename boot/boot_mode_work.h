// The work of the boot modes that apply pending configuration. The load runs
// one of them inside its transaction, with the schema store attached as ss;
// each throws on its first failure and leaves the rollback to the load.
#pragma once

#include <memory>
#include <string>

#include "tarn/export.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

class ConfigWorkCopy;

inline constexpr char BOOT_CONFIGURATION_PATH[] = "/etc/halden/boot_configuration.json";

// Boot mode 1: the stored desired configuration replaces the user
// configuration of the objects that take part in desired-state
// configuration; their user values it does not restate go, except on the
// host's fixed instances. With copy, Config's trigger-free copy that the
// connection's "config" names, it does the triggers' work itself.
void BootWithNewDesiredConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                     const ConfigWorkCopy* copy);

// Boot mode 3: the boot action of each stored row (SET, SET_DEFAULT, DELETE);
// instances of shared objects that no row names go.
void SetupSmartnicBootConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn);

// Boot mode 2: every valid object of the boot configuration document becomes
// user configuration; a bad object is logged and skipped.
void ProcessBootDocument(const std::shared_ptr<DBStore::StoreConnection>& conn);

// Writes one instance of a boot document object as its user value, keeping
// the row's other layers and creation time and raising its revision. Throws
// ConfigStoreException "Write user config failed".
void WriteBootDocumentObject(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& key,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value);

} // namespace TarnConfigStore
