// Storing the configuration a SmartNIC host is to receive (boot mode 3).
#include <exception>
#include <string>

#include "desired/desired_document.h"
#include "maintenance/boot_mode.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

// Every shared object the document gave no row: back to its defaults when
// they are mutable, otherwise deleted.
constexpr char kOmittedSharedObjects[] =
    "INSERT OR REPLACE INTO DesiredUserConfig (Component, ConfigGroup, Name, BootAction) SELECT Component, "
    "ConfigGroup, Name, CASE WHEN mutableDefaultConfig=1 THEN \"SET_DEFAULT\" ELSE 'DELETE' END FROM "
    "ss.ConfigSchema WHERE (Component, ConfigGroup, Name) IN ( SELECT Component, ConfigGroup, Name FROM "
    "ss.SmartnicSchema WHERE ss.SmartnicSchema.ValueType = \"tarn-shared\" AND (Component, ConfigGroup, Name) "
    "NOT IN ( SELECT Component, ConfigGroup, Name FROM DesiredUserConfig ) );";

void Detach(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    if (DBStore::ExecuteV2(conn, DETACH_SCHEMA_STORE, nullptr, nullptr, 3000) != 0)
        CSLogger::Log(0, "Failed to detach schema store");
}

} // namespace

void SetDesiredSmartnicConfiguration(rapidjson::Document& document) {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    if (DBStore::ExecuteV2(conn, AttachSchemaStoreStatement(), nullptr, nullptr, 3000) != 0)
        throw ConfigStoreException("Failed to attach schema store");
    if (DBStore::BeginTransaction(conn) != 0) throw ConfigStoreException("Failed to start set desired transaction");
    try {
        if (DBStore::ExecuteV2(conn, CLEANUP_DESIRED_CONFIG, nullptr, nullptr, 3000) != 0)
            throw ConfigStoreException("Failed to cleanup desired configuration.");
        ProcessSmartnicDocument(document, conn);
        if (DBStore::ExecuteV2(conn, kOmittedSharedObjects, nullptr, nullptr, 3000) != 0)
            throw ConfigStoreException("Failed to initialize the configuration for smartnic.");
        SetBootModeOn(BOOTMODE_SMARTNIC_CONFIG, conn);
        if (DBStore::CommitTransaction(conn) != 0)
            throw ConfigStoreException("Failed to commit set desired transaction");
    } catch (const std::exception& e) {
        DBStore::CancelTransaction(conn);
        Detach(conn);
        throw ConfigStoreException((std::string("SetDesiredSmartnicConfiguration failed: ") + e.what()).c_str());
    }
    Detach(conn);
    CSLogger::Log(2, "Desired configuration set for smartnic.");
}

} // namespace TarnConfigStore
