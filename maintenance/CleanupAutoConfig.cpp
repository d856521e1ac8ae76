#include "tarn/cleanup.h"

#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

void CleanupAutoConfig() {
    CSLogger::Log(2, "Cleanup auto configurations");
    auto conn = GetDBConnection(DBStore::CONFIG_STORE, false);
    if (!conn) {
        CSLogger::Log(0, "Cleanup failed: could not connect to ConfigStore");
        return;
    }
    if (DBStore::ExecuteV2(conn, "update config set autoconfvalue=null;", nullptr, nullptr, 3000) == 1)
        throw ConfigStoreException("Error removing auto configuration value.");
    // Objects that only ever had an automatic value have nothing left.
    static const char kDeleteEmpty[] =
        "delete from config where uservalue is null and vitalvalue is null and cachedvalue is null and DesiredValue is null;";
    if (DBStore::ExecuteV2(conn, kDeleteEmpty, nullptr, nullptr, 3000) == 1)
        throw ConfigStoreException("Error cleaning up config.");
}

} // namespace TarnConfigStore
