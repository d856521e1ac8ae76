// Storing a desired document for the next boot (boot mode 1).
#include <exception>
#include <string>

#include "desired/desired_document.h"
#include "maintenance/boot_mode.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

void SetDesiredUserConfig(rapidjson::Document& document,
                          const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache) {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    if (DBStore::BeginTransaction(conn) != 0) throw ConfigStoreException("Failed to start set desired transaction");
    try {
        if (DBStore::ExecuteV2(conn, CLEANUP_DESIRED_CONFIG, nullptr, nullptr, 3000) != 0)
            throw ConfigStoreException("Failed to cleanup desired configuration.");
        ProcessDesiredDocument(document, conn, cache);
        SetBootModeOn(BOOTMODE_NEW_DESIRED_CONFIG, conn);
        if (DBStore::CommitTransaction(conn) != 0)
            throw ConfigStoreException("Failed to commit set desired transaction");
    } catch (const std::exception& e) {
        DBStore::CancelTransaction(conn);
        throw ConfigStoreException((std::string("SetDesiredUserConfig failed: ") + e.what()).c_str());
    }
    CSLogger::Log(2, "Desired configuration set");
}

} // namespace TarnConfigStore
